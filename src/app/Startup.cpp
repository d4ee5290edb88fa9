#include "app/Startup.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <memory>

#include "app/InstanceChannel.h"
#include "app/Launchers.h"
#include "settings/Language.h"
#include "ui/Dialogs.h"

namespace pelcato {

namespace {

// The write end of the pipe the signal handler writes into; the event loop reads the other.
int gSignalPipe = -1;

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(gSignalPipe, &byte, 1);
  errno = saved;
}

// While it lives, SIGTERM, SIGINT and SIGHUP close the window from outside (see
// CloseFromOutside), from the event loop: the handler only writes a byte into a pipe.
class TCloseOnSignal {
 public:
  explicit TCloseOnSignal(TFrmMP3Editor& window) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    FRead = fds[0];
    gSignalPipe = fds[1];
    FNotifier = std::make_unique<QSocketNotifier>(FRead, QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, &window, [this, &window] {
      char buffer[64];
      while (read(FRead, buffer, sizeof buffer) > 0) {
      }
      window.CloseFromOutside();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &FOld[i]);
  }
  ~TCloseOnSignal() {
    if (FRead < 0) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &FOld[i], nullptr);
    FNotifier.reset();
    close(gSignalPipe);
    gSignalPipe = -1;
    close(FRead);
  }
  TCloseOnSignal(const TCloseOnSignal&) = delete;
  TCloseOnSignal& operator=(const TCloseOnSignal&) = delete;

 private:
  static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
  struct sigaction FOld[std::size(kSignals)]{};
  int FRead = -1;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace

TEditorOptions WithDesktopLaunchers(TEditorOptions options) {
  if (!options.OpenGuide) {
    options.OpenGuide = [] { return OpenDocument(web::GuideAddress); };
    options.GuideAddress = web::GuideAddress;
  }
  if (!options.StartUpgrade) {
    options.StartUpgrade = [](const QString& programFolder, uint64_t windowHandle, int language) {
      StartUpgradeProgram(programFolder, UpgradeParameters(windowHandle, language));
    };
  }
  return options;
}

int RunPelcato(TSingleInstance& guard, TDialogs& dialogs, const TStartOptions& options) {
  const TInstanceState state = guard.Acquire(InstanceName);
  if (state == TInstanceState::AlreadyRunning) {
    // A file manager's "Open with" reaches the running copy, which opens the file or says why
    // it does not; without a file, or when that copy does not answer, it is told nothing.
    if (!options.OpenAtStart.isEmpty()) {
      const THandOverReply reply =
          HandOverFile(InstanceSocketPath(guard.Folder(), InstanceName), options.OpenAtStart);
      if (reply.Result == THandOverReply::Taken) return 0;
      if (reply.Result == THandOverReply::Busy) {
        dialogs.ShowMessage(nullptr, reply.Text, reply.Caption, TMsgIcon::Information,
                            TMsgButtons::Ok);
        return 0;
      }
    }
    dialogs.ShowMessage(nullptr, AlreadyRunningText, AlreadyRunningCaption, TMsgIcon::None,
                        TMsgButtons::Ok);
    return 0;
  }
  if (state == TInstanceState::Unguarded) {
    std::fprintf(stderr,
                 "pelcato: no folder of this user's own holds the single-copy lock; "
                 "more than one copy may run at a time\n");
  }
  TFrmMP3Editor window(dialogs, WithDesktopLaunchers(options.Editor));
  TInstanceServer instances;
  const auto busyNotice = [&window, &instances] {
    const auto [caption, text] = window.BusyNotice();
    instances.SetBusyNotice(caption, text);
  };
  busyNotice();
  QObject::connect(&window, &TFrmMP3Editor::LanguageSwitched, &instances, busyNotice);
  instances.SetTaker([&window] { return window.AcceptHandOver(); });
  if (state == TInstanceState::First) {
    instances.Listen(InstanceSocketPath(guard.Folder(), InstanceName));
  }
  QObject::connect(&instances, &TInstanceServer::FileHandedOver, &window,
                   &TFrmMP3Editor::OpenHandedOver);
  // The end of the session and the end of the event loop close the window: the settings are
  // written and the working copies deleted. The end of the session does not wait for the
  // dialogs that are up.
  TCloseOnSignal signalClose(window);
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window,
                   [&window](QSessionManager&) { window.CloseFromOutside(); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window, &QWidget::close);
  window.show();
  if (options.WindowShown) options.WindowShown(window);
  if (!options.OpenAtStart.isEmpty()) {
    // From the event loop, so the window is painted before the analysis holds it.
    QTimer::singleShot(0, &window,
                       [&window, file = options.OpenAtStart] { window.OpenFile(file); });
  }
  return QApplication::exec();
}

}  // namespace pelcato
