// The program's command line: "--help", "--version" and a mistyped option answer on the terminal,
// without a display and without a word to a running copy; Qt's own options pass.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include "UiTestSupport.h"
#include "app/CommandLine.h"
#include "app/Startup.h"

namespace pelcato {
namespace {

using TAction = TProgramArguments::TAction;

TEST(ProgramArguments, QtsOwnOptionsPassAndDoubleDashEndsTheOptions) {
  // What a session manager or a user hands to Qt is no file and no mistake.
  const TProgramArguments withQt = ParseProgramArguments(
      {"-style", "fusion", "-platform=xcb", "--session", "1a2b_3", "-reverse", "a.mp3", "b.mp3"});
  EXPECT_EQ(withQt.Action, TAction::Run);
  EXPECT_EQ(withQt.File, "a.mp3");
  EXPECT_EQ(ParseProgramArguments({"--", "--help"}).File, "--help");
  EXPECT_EQ(ParseProgramArguments({"a.mp3", "-h"}).Action, TAction::Help);
  EXPECT_EQ(ParseProgramArguments({"a.mp3", "-style"}).Error,
            "pelcato: option -style needs a value (see pelcato --help)");
}

struct TRun {
  int Exit = -1;
  QString Out, Err;
};

// The program itself, without a display, on the lock folder of the running copy.
TRun RunProgram(const QString& lockFolder, const QStringList& arguments) {
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(QLatin1String(name));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockFolder);
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(PELCATO_PROGRAM), arguments);
  // The running copy answers a handed-over name from its event loop: let it run meanwhile.
  QEventLoop loop;
  QObject::connect(&program, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  if (program.state() != QProcess::NotRunning) loop.exec();
  return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
          QString::fromLocal8Bit(program.readAllStandardOutput()),
          QString::fromLocal8Bit(program.readAllStandardError())};
}

TEST(ProgramArguments, HelpVersionAndAMistakeAnswerWithoutADisplayAndLeaveTheRunningCopyAlone) {
  QTemporaryDir lockFolder;
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", lockFolder.path().toLocal8Bit());
  const QString file = QStringLiteral(PELCATO_TEST_DATA "/cbr128.mp3");

  test::TProgramFolder folder(true);
  test::TFakeDialogs dialogs;
  TStartOptions options;
  options.Editor.ProgramFolder = folder.Path();
  options.OpenAtStart = file;
  TRun help, version, mistake;
  QString openAfter;
  options.WindowShown = [&](TFrmMP3Editor& window) {
    QTimer::singleShot(100, &window, [&] {
      help = RunProgram(lockFolder.path(), {QStringLiteral("--help")});
      version = RunProgram(lockFolder.path(), {QStringLiteral("--version")});
      mistake = RunProgram(lockFolder.path(), {QStringLiteral("--bogus"), file});
      QCoreApplication::processEvents();
      openAfter = window.Label12->text();
      window.close();
    });
  };
  TSingleInstance guard;
  EXPECT_EQ(RunPelcato(guard, dialogs, options), 0);
  qputenv("XDG_RUNTIME_DIR", saved);

  EXPECT_EQ(help.Exit, 0);
  EXPECT_TRUE(help.Out.startsWith(QStringLiteral("Usage: pelcato [FILE]\n")))
      << help.Out.toStdString();
  EXPECT_EQ(help.Err, "");
  EXPECT_EQ(version.Exit, 0);
  EXPECT_EQ(version.Out, QStringLiteral("pelcato " PELCATO_VERSION "\n"));
  EXPECT_EQ(mistake.Exit, 2);
  EXPECT_EQ(mistake.Out, "");
  EXPECT_EQ(mistake.Err, "pelcato: unknown option --bogus (see pelcato --help)\n");
  // The running copy kept its file and said nothing.
  EXPECT_EQ(openAfter, file);
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace pelcato
