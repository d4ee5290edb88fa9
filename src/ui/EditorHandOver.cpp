// A file handed over by a second start of the program ("Open with" in a file manager while a
// copy runs): the window comes to the front and opens it as the open command does. While a
// command runs (a dialog or message box is up, or a file is being opened or written), the file
// is not taken, and the second start shows the notice that says so.
#include <QApplication>
#include <QTimer>

#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {

bool TFrmMP3Editor::CommandRunning() const {
  return FRunningCommands > 0 || QApplication::activeModalWidget() != nullptr ||
         PanelState->isVisible();
}

std::pair<QString, QString> TFrmMP3Editor::BusyNotice() const {
  return {Msg(FMessages.Ms_Info), Msg(FMessages.Ms_Busy)};
}

bool TFrmMP3Editor::AcceptHandOver() {
  if (FClosed) return false;
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  if (!CommandRunning()) return true;
  // The dialog the user is in stays in front of the window.
  if (QWidget* dialog = QApplication::activeModalWidget()) {
    dialog->raise();
    dialog->activateWindow();
  }
  return false;
}

void TFrmMP3Editor::OpenHandedOver(const QString& path) {
  if (FClosed || CommandRunning()) return;
  OpenFile(path);
}

void TFrmMP3Editor::HandedOverNotice(const QString& path) {
  if (FClosed) return;
  // A command that works under the status panel lets events through while it runs: the notice
  // waits until it has finished, so that the command never waits for the user.
  if (PanelState->isVisible()) {
    QTimer::singleShot(100, this, [this, path] { HandedOverNotice(path); });
    return;
  }
  const auto [caption, text] = BusyNotice();
  FDialogs.ShowMessage(this, text + QLatin1Char('\n') + path, caption, TMsgIcon::Information,
                       TMsgButtons::Ok);
}

}  // namespace pelcato
