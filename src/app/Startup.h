// The start of the desktop program: one copy per session, the notice for a second copy, and
// otherwise the main window and the event loop until it closes.
#pragma once

#include <QString>
#include <functional>

#include "app/SingleInstance.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {

class TDialogs;

inline constexpr char InstanceName[] = "Korvane_Pelcato";
inline const QString AlreadyRunningText = QStringLiteral("The software is already running!");
inline const QString AlreadyRunningCaption = QStringLiteral("Information");

struct TStartOptions {
  TEditorOptions Editor;
  // A file named on the command line, opened once the window shows, as if chosen in the open
  // dialog. Empty: none.
  QString OpenAtStart;
  // Called once the main window is shown, before the event loop runs.
  std::function<void(TFrmMP3Editor&)> WindowShown;
};

// options with the desktop's launchers where it has none: Help opens the guide's web address,
// the upgrade program is started with its six parameters.
TEditorOptions WithDesktopLaunchers(TEditorOptions options);

// Runs the program on the application object: takes the guard (kept by the caller until the
// process ends); when another copy holds it, shows the notice (fixed English text, before any
// settings or language file is read) and ends; otherwise shows the main window and runs the
// event loop until it closes. The result is the process's exit code.
int RunPelcato(TSingleInstance& guard, TDialogs& dialogs, const TStartOptions& options = {});

}  // namespace pelcato
