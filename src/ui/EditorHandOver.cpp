// A file handed over by a second start of the program ("Open with" in a file manager while a
// copy runs): the window comes to the front and opens it as the open command does. While a
// command runs (a dialog or message box is up, or a file is being opened or written), the file
// is not opened, and a notice says so.
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {

bool TFrmMP3Editor::CommandRunning() const {
  return FRunningCommands > 0 || QApplication::activeModalWidget() != nullptr ||
         PanelState->isVisible();
}

void TFrmMP3Editor::OpenHandedOver(const QString& path) {
  if (FClosed) return;
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  if (!CommandRunning()) {
    OpenFile(path);
    return;
  }
  QWidget* dialog = QApplication::activeModalWidget();
  // The dialog the user is in stays in front of the window.
  if (dialog != nullptr) {
    dialog->raise();
    dialog->activateWindow();
  }
  HandedOverNotice(path);
}

void TFrmMP3Editor::HandedOverNotice(const QString& path) {
  if (FClosed) return;
  // A command that works under the status panel lets events through while it runs: the notice
  // waits until it has finished, so that the command never waits for the user.
  if (PanelState->isVisible()) {
    QTimer::singleShot(100, this, [this, path] { HandedOverNotice(path); });
    return;
  }
  FDialogs.ShowMessage(this, Msg(FMessages.Ms_Busy) + QLatin1Char('\n') + path,
                       Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
}

}  // namespace pelcato
