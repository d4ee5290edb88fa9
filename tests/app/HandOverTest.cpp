// A second start of the program with a file ("Open with" while a copy runs) hands the file to
// the running copy, which opens it; a second start without one only says that a copy runs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include "UiTestSupport.h"
#include "app/Startup.h"

namespace pelcato {
namespace {

using test::TFakeDialogs;
using test::TProgramFolder;

struct TSecondStart {
  int Exit = -1;
  QString Said;  // the message boxes it showed
};

// The program started again, in a process of its own, on the lock folder given.
TSecondStart StartAgain(const QString& lockFolder, const QStringList& arguments) {
  TProgramFolder folder;
  QProcess second;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockFolder);
  second.setProcessEnvironment(environment);
  second.start(QStringLiteral(PELCATO_WINDOW_PROBE), QStringList{folder.Path()} + arguments);
  // The running copy answers from its event loop, which must run meanwhile.
  QEventLoop loop;
  QObject::connect(&second, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  if (second.state() != QProcess::NotRunning) loop.exec();
  return {second.exitCode(), QString::fromLocal8Bit(second.readAllStandardError()).trimmed()};
}

TEST(HandOver, ASecondStartWithAFileHasTheRunningCopyOpenIt) {
  QTemporaryDir lockFolder;
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", lockFolder.path().toLocal8Bit());
  const QString file = QStringLiteral(PELCATO_TEST_DATA "/cbr128.mp3");

  TProgramFolder folder(true);
  TFakeDialogs dialogs;
  TStartOptions options;
  options.Editor.ProgramFolder = folder.Path();
  TSecondStart withFile, withoutFile, whileBusy;
  QString opened, openedLater;
  options.WindowShown = [&](TFrmMP3Editor& window) {
    QTimer::singleShot(0, &window, [&] {
      withFile = StartAgain(lockFolder.path(), {file});
      QCoreApplication::processEvents();
      opened = window.Label12->text();
      window.showMinimized();
      withoutFile = StartAgain(lockFolder.path(), {});
      // While a command works under the status panel the file waits for nothing: a notice
      // follows once the command is over.
      window.PanelState->show();
      whileBusy = StartAgain(lockFolder.path(), {QStringLiteral(PELCATO_TEST_DATA "/vbr.mp3")});
      QCoreApplication::processEvents();
      window.PanelState->hide();
      QTimer::singleShot(300, &window, [&] {
        openedLater = window.Label12->text();
        window.close();
      });
    });
  };
  TSingleInstance guard;
  EXPECT_EQ(RunPelcato(guard, dialogs, options), 0);
  qputenv("XDG_RUNTIME_DIR", saved);

  EXPECT_EQ(withFile.Exit, 0);
  EXPECT_EQ(withFile.Said, "");
  EXPECT_EQ(opened, file);
  EXPECT_EQ(withoutFile.Exit, 0);
  EXPECT_EQ(withoutFile.Said, "Information: The software is already running!");
  EXPECT_EQ(whileBusy.Said, "");
  EXPECT_EQ(openedLater, file);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text,
            "The file was not opened because another command is still running:\n" PELCATO_TEST_DATA
            "/vbr.mp3");
}

}  // namespace
}  // namespace pelcato
