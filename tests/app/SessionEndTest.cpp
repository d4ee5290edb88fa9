// The window closes as its Close button does when the session ends, when the process is told
// to end (kill -TERM) and when it is destroyed without a close: the settings are written and
// the working copies deleted.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <string>

#include "UiTestSupport.h"
#include "app/Startup.h"

namespace pelcato {
namespace {

using test::IniHas;
using test::TFakeDialogs;
using test::TProgramFolder;

TEditorOptions InFolder(const TProgramFolder& folder) {
  TEditorOptions options;
  options.ProgramFolder = folder.Path();
  return options;
}

// WindowProbe on the given folder; Shown() tells whether it got as far as its window.
class TWindowProcess {
 public:
  explicit TWindowProcess(const QString& folder) {
    int out[2];
    if (pipe(out) != 0) return;
    const QByteArray path = folder.toLocal8Bit();
    FPid = fork();
    if (FPid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      // A lock folder of its own: other tests may run the program at the same time.
      setenv("XDG_RUNTIME_DIR", path.constData(), 1);
      execl(PELCATO_WINDOW_PROBE, PELCATO_WINDOW_PROBE, path.constData(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // The answer, or what came within half a minute.
    char c = 0;
    pollfd ready{out[0], POLLIN, 0};
    while (poll(&ready, 1, 30000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') FAnswer += c;
    close(out[0]);
  }
  ~TWindowProcess() {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
  }
  bool Shown() const { return FAnswer == "shown"; }
  // Sends the signal and waits for the end; the exit status, -1 when a signal ended it, or -2
  // when the program was still running after half a minute (it is killed then).
  int EndWith(int signal) {
    kill(FPid, signal);
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (waitpid(FPid, &status, WNOHANG) == 0) {
      if (waited.elapsed() > 30000) return -2;  // the destructor kills it
      usleep(10000);
    }
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t FPid = -1;
  std::string FAnswer;
};

TEST(SessionEnd, TerminationSignalsCloseTheWindowLikeItsCloseButton) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    TProgramFolder folder(true);
    folder.WriteSettings("[LANGUAGE]\nDefault=4\n[UPGRADE]\nPos=0\n");
    TWindowProcess program(folder.Path());
    ASSERT_TRUE(program.Shown());
    ASSERT_TRUE(QFile::exists(folder.File(QStringLiteral("Tmp/working.mp3"))));
    EXPECT_EQ(program.EndWith(signal), 0);
    const QByteArray ini = folder.ReadSettings();
    EXPECT_TRUE(IniHas(ini, "SPLIT", "Into=2")) << ini.constData();
    EXPECT_TRUE(IniHas(ini, "LANGUAGE", "Default=4")) << ini.constData();
    EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral("Tmp/working.mp3"))));
  }
}

TEST(SessionEnd, AGivenFolderHoldsEverything) {
  TProgramFolder folder;  // no Languages/: still the folder of everything
  TFakeDialogs dialogs;
  TFrmMP3Editor window(dialogs, InFolder(folder));
  window.TimerUpgrade->stop();
  const std::string path = folder.Path().toStdString();
  EXPECT_EQ(window.Settings().TempFolder, path + "Tmp/");
  EXPECT_EQ(window.Settings().SettingsFile, path + "Pelcato.ini");
  EXPECT_EQ(window.Settings().LanguageFolder, path + "Languages/");
}

TEST(SessionEnd, LeavingTheEventLoopClosesTheWindow) {
  TProgramFolder folder(true);
  qputenv("XDG_RUNTIME_DIR", folder.Path().toLocal8Bit());  // a lock of this test's own
  TStartOptions options;
  options.Editor.ProgramFolder = folder.Path();
  const QString copy = folder.File(QStringLiteral("Tmp/working.mp3"));
  options.WindowShown = [&](TFrmMP3Editor& window) {
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    window.TempFiles() << copy;
    window.TimerUpgrade->stop();
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
  };
  TFakeDialogs dialogs;
  TSingleInstance guard;
  EXPECT_EQ(RunPelcato(guard, dialogs, options), 0);
  EXPECT_TRUE(IniHas(folder.ReadSettings(), "SPLIT", "Into=2"));
  EXPECT_FALSE(QFile::exists(copy));
}

TEST(SessionEnd, AWindowDestroyedWithoutACloseStillWritesItsSettingsOnce) {
  TProgramFolder folder;
  const QString copy = folder.File(QStringLiteral("Tmp/working.mp3"));
  {
    TFakeDialogs dialogs;
    auto window = std::make_unique<TFrmMP3Editor>(dialogs, InFolder(folder));
    window->TimerUpgrade->stop();
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    window->TempFiles() << copy;
    window.reset();
    EXPECT_TRUE(IniHas(folder.ReadSettings(), "SPLIT", "Into=2"));
    EXPECT_FALSE(QFile::exists(copy));
  }
  // Closed first and destroyed later: one save, so one error box when it fails.
  TProgramFolder blocked;
  ASSERT_TRUE(QDir(blocked.Path()).mkdir(QStringLiteral("Pelcato.ini")));
  TFakeDialogs dialogs;
  auto window = std::make_unique<TFrmMP3Editor>(dialogs, InFolder(blocked));
  window->TimerUpgrade->stop();
  window->show();
  window->close();
  window.reset();
  EXPECT_EQ(dialogs.Messages.size(), 1u);
}

}  // namespace
}  // namespace pelcato
