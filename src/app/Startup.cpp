#include "app/Startup.h"

#include <QApplication>
#include <QTimer>

#include "settings/Language.h"
#include "ui/Dialogs.h"

namespace pelcato {

int RunPelcato(TSingleInstance& guard, TDialogs& dialogs, const TStartOptions& options) {
  if (guard.Acquire(InstanceName) == TInstanceState::AlreadyRunning) {
    // The running copy is neither brought to the front nor told anything.
    dialogs.ShowMessage(nullptr, AlreadyRunningText, AlreadyRunningCaption, TMsgIcon::None,
                        TMsgButtons::Ok);
    return 0;
  }
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(ApplicationTitle));
  TFrmMP3Editor window(dialogs, options.Editor);
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
