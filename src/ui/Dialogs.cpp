#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "settings/qt/QtSettings.h"

namespace pelcato {

TMsgAnswer TQtDialogs::ShowMessage(QWidget* parent, const QString& text, const QString& caption,
                                   TMsgIcon icon, TMsgButtons buttons) {
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  switch (icon) {
    case TMsgIcon::None:
      break;
    case TMsgIcon::Information:
      qtIcon = QMessageBox::Information;
      break;
    case TMsgIcon::Warning:
      qtIcon = QMessageBox::Warning;
      break;
    case TMsgIcon::Error:
      qtIcon = QMessageBox::Critical;
      break;
  }
  const auto qtButtons = buttons == TMsgButtons::YesNo
                             ? (QMessageBox::Yes | QMessageBox::No)
                             : QMessageBox::StandardButtons(QMessageBox::Ok);
  // The messages end their lines as the system they were written for does, with a line feed
  // and a carriage return together; shown here, each pair is one line break.
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
      .replace(QLatin1String("\n\r"), QLatin1String("\n"))
      .replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(qtIcon, caption, shown, qtButtons, parent);
  // Paths and addresses in a message can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  switch (box.exec()) {
    case QMessageBox::Ok:
      return TMsgAnswer::Ok;
    case QMessageBox::Yes:
      return TMsgAnswer::Yes;
    case QMessageBox::No:
      return TMsgAnswer::No;
    default:
      return TMsgAnswer::Cancel;
  }
}

QString TQtDialogs::OpenFile(QWidget* parent, const QString& title, const QString& filter) {
  const QString path =
      QFileDialog::getOpenFileName(parent, title, FOpenFolder, QtFileFilter(filter));
  if (!path.isEmpty()) FOpenFolder = QFileInfo(path).absolutePath();
  return path;
}

QString TQtDialogs::SaveFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& defaultSuffix, const QString& firstFolder) {
  // A dialog object rather than the static call, which adds no suffix. Given a file's path it
  // opens in its folder with the name filled in.
  QFileDialog dialog(parent, title, FSavePath.isEmpty() ? firstFolder : FSavePath,
                     QtFileFilter(filter));
  dialog.setObjectName(QStringLiteral("SaveDialog1"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString path = dialog.selectedFiles().constFirst();
  FSavePath = path;
  return path;
}

QString TQtDialogs::ExistingDirectory(QWidget* parent, const QString& title,
                                      const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

void TQtDialogs::ShowFolder(const QString& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QString QtFileFilter(const QString& filter) {
  return NameFiltersFromFilter(filter).join(QStringLiteral(";;"));
}

}  // namespace pelcato
