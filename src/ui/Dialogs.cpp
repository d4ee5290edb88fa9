#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

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
  QMessageBox box(qtIcon, caption, text, qtButtons, parent);
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
                             const QString& suggestedName) {
  QString start = suggestedName;
  if (!FSaveFolder.isEmpty() && !suggestedName.isEmpty()) {
    start = FSaveFolder + QLatin1Char('/') + QFileInfo(suggestedName).fileName();
  } else if (!FSaveFolder.isEmpty()) {
    start = FSaveFolder;
  }
  const QString path = QFileDialog::getSaveFileName(parent, title, start, QtFileFilter(filter));
  if (!path.isEmpty()) FSaveFolder = QFileInfo(path).absolutePath();
  return path;
}

QString TQtDialogs::ExistingDirectory(QWidget* parent, const QString& title,
                                      const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

QString QtFileFilter(const QString& filter) {
  return NameFiltersFromFilter(filter).join(QStringLiteral(";;"));
}

}  // namespace pelcato
