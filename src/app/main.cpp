// Pelcato, the desktop program: cuts MP3 files without re-encoding them.
#include <QApplication>
#include <QFileInfo>

#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "settings/Language.h"
#include "sound/QtAudioOutput.h"
#include "ui/Dialogs.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(pelcato::ApplicationTitle));
  // Ties the window to the installed desktop entry (its name and icon in the menu and task bar).
  // Named after the home page's domain reversed, as software centres expect of an id.
  QGuiApplication::setDesktopFileName(QStringLiteral("example.pelcato.Pelcato"));
  // Held until the process ends: the kernel releases the lock with it.
  pelcato::TSingleInstance guard;
  pelcato::TQtDialogs dialogs;
  pelcato::TStartOptions options;
  // "pelcato FILE", as file managers start it for "Open with".
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() > 1) options.OpenAtStart = QFileInfo(arguments[1]).absoluteFilePath();
  // The preview plays through the desktop's sound server.
  options.Editor.MakePlayer = [] { return pelcato::MakeDesktopPlayer(); };
  return pelcato::RunPelcato(guard, dialogs, options);
}
