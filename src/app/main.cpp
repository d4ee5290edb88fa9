// Pelcato, the desktop program: cuts MP3 files without re-encoding them.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "settings/Language.h"
#include "sound/QtAudioOutput.h"
#include "ui/Dialogs.h"

int main(int argc, char* argv[]) {
  // Read before Qt needs a display and before a running copy is looked for: "--help" and a
  // mistyped option answer on the terminal and touch nothing else.
  const pelcato::TProgramArguments command =
      pelcato::ParseProgramArguments(std::vector<std::string>(argv + (argc > 0), argv + argc));
  switch (command.Action) {
    case pelcato::TProgramArguments::TAction::Help:
      std::fputs(pelcato::ProgramUsage().c_str(), stdout);
      return 0;
    case pelcato::TProgramArguments::TAction::Version:
      std::fputs(pelcato::ProgramVersionLine().c_str(), stdout);
      return 0;
    case pelcato::TProgramArguments::TAction::Refuse:
      std::fprintf(stderr, "%s\n", command.Error.c_str());
      return pelcato::kExitRefused;
    case pelcato::TProgramArguments::TAction::Run:
      break;
  }
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
  if (!command.File.empty()) {
    options.OpenAtStart = QFileInfo(QFile::decodeName(command.File.c_str())).absoluteFilePath();
  }
  // The preview plays through the desktop's sound server.
  options.Editor.MakePlayer = [] { return pelcato::MakeDesktopPlayer(); };
  return pelcato::RunPelcato(guard, dialogs, options);
}
