// The window closes as its Close button does when the session ends, when the process is told
// to end (kill -TERM) and when it is destroyed without a close: the settings are written and
// the working copies deleted.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

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

// WindowProbe on the given folder and its further arguments; Shown() tells whether it got as
// far as its window.
class TWindowProcess {
 public:
  explicit TWindowProcess(const QString& folder, const std::vector<std::string>& more = {}) {
    int out[2];
    if (pipe(out) != 0) return;
    const QByteArray path = folder.toLocal8Bit();
    std::vector<const char*> argv{PELCATO_WINDOW_PROBE, path.constData()};
    for (const std::string& word : more) argv.push_back(word.c_str());
    argv.push_back(nullptr);
    FPid = fork();
    if (FPid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      // A lock folder of its own: other tests may run the program at the same time.
      setenv("XDG_RUNTIME_DIR", path.constData(), 1);
      execv(PELCATO_WINDOW_PROBE, const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    close(out[1]);
    FOut = out[0];
    FShown = WaitFor("shown");
  }
  ~TWindowProcess() {
    if (FOut >= 0) close(FOut);
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
  }
  bool Shown() const { return FShown; }
  // Whether the program says line within half a minute.
  bool WaitFor(const std::string& line) {
    std::string said;
    char c = 0;
    pollfd ready{FOut, POLLIN, 0};
    while (poll(&ready, 1, 30000) == 1 && read(FOut, &c, 1) == 1 && c != '\n') said += c;
    return said == line;
  }
  // Sends the signal and waits for the end; the exit status, -1 when a signal ended it, or -2
  // when the program was still running after waitMs (it is killed then).
  int EndWith(int signal, int waitMs = 30000) {
    kill(FPid, signal);
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (waitpid(FPid, &status, WNOHANG) == 0) {
      if (waited.elapsed() > waitMs) return -2;  // the destructor kills it
      usleep(10000);
    }
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t FPid = -1;
  int FOut = -1;
  bool FShown = false;
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

// Logging out, or kill -TERM, while Open, Save as or Split waits in its dialog: the dialogs go,
// the command unwinds, and the window closes with its settings written.
TEST(SessionEnd, AClosingSessionDoesNotWaitForACommandsDialog) {
  for (const char* command : {"open", "save", "split"}) {
    SCOPED_TRACE(command);
    TProgramFolder folder(true);
    folder.WriteSettings("[LANGUAGE]\nDefault=4\n[UPGRADE]\nPos=0\n");
    TWindowProcess program(folder.Path(), {PELCATO_TEST_DATA "/cbr128.mp3", command});
    ASSERT_TRUE(program.Shown());
    ASSERT_TRUE(program.WaitFor("dialog"));
    EXPECT_EQ(program.EndWith(SIGTERM, 15000), 0) << "-2: still waiting for the dialog";
    const QByteArray ini = folder.ReadSettings();
    EXPECT_TRUE(IniHas(ini, "LANGUAGE", "Default=4")) << ini.constData();
    EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral("Tmp/working.mp3"))));
  }
}

// Its open dialog, a real modal one, with a test's hand in it while it is up.
class TModalOpen : public TFakeDialogs {
 public:
  QString OpenFile(QWidget* parent, const QString&, const QString&) override {
    QDialog dialog(parent);
    QTimer::singleShot(0, &dialog, [this, &dialog] { WhileUp(dialog); });
    Result = dialog.exec();
    return {};
  }
  std::function<void(QDialog&)> WhileUp;
  int Result = -1;
};

// The window's own Close button waits for the dialog the user is in; a close from outside
// does not.
TEST(SessionEnd, TheCloseButtonWaitsForTheDialogTheUserIsIn) {
  for (const bool fromOutside : {false, true}) {
    SCOPED_TRACE(fromOutside);
    TProgramFolder folder;
    TModalOpen dialogs;
    TFrmMP3Editor window(dialogs, InFolder(folder));
    window.TimerUpgrade->stop();
    window.show();
    bool upAfterClose = false;
    dialogs.WhileUp = [&](QDialog& dialog) {
      fromOutside ? window.CloseFromOutside() : window.RzBmpButton1Click();
      QCoreApplication::processEvents();
      upAfterClose = dialog.isVisible() && window.isVisible();
      if (upAfterClose) dialog.accept();
    };
    window.BtnOpenMp3Click();
    EXPECT_EQ(upAfterClose, !fromOutside);
    EXPECT_EQ(dialogs.Result, fromOutside ? QDialog::Rejected : QDialog::Accepted);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(IniHas(folder.ReadSettings(), "SPLIT", "Into=2"));
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
