// Pelcato, the desktop program: cuts MP3 files without re-encoding them.
#include <QApplication>

#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "settings/Language.h"
#include "sound/QtAudioOutput.h"
#include "ui/Dialogs.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(pelcato::ApplicationTitle));
  // Held until the process ends: the kernel releases the lock with it.
  pelcato::TSingleInstance guard;
  pelcato::TQtDialogs dialogs;
  pelcato::TStartOptions options;
  // The preview plays through the desktop's sound server.
  options.Editor.MakePlayer = [] { return pelcato::MakeDesktopPlayer(); };
  return pelcato::RunPelcato(guard, dialogs, options);
}
