#include "ui/UnitSplitOption.h"

#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <climits>

#include "settings/Language.h"
#include "settings/qt/QtSettings.h"
#include "split/SplitOptions.h"
#include "ui/Dialogs.h"
#include "ui/NumericEdit.h"
#include "ui/Skin.h"
#include "ui/UnitOutputOptions.h"

namespace pelcato {

namespace {

template <class W>
W* Place(W* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
  auto* label = Place(new QLabel(QLatin1String(text), parent), name, left, top, 0, 16);
  label->adjustSize();
  return label;
}

QFrame* MakeBevel(QWidget* parent, const char* name, int left, int top, int width) {
  auto* line = Place(new QFrame(parent), name, left, top, width, 2);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

int ToInt(int64_t value) {
  return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

TFrmSplitOption::TFrmSplitOption(TDialogs& dialogs, TAppSettings& settings,
                                 const TMessageTable& messages, QWidget* parent)
    : QDialog(parent), FDialogs(dialogs), FSettings(settings), FMessages(messages) {
  CreateComponents();
  FormCreate();
}

void TFrmSplitOption::CreateComponents() {
  setObjectName(QStringLiteral("FrmSplitOption"));
  setWindowTitle(QStringLiteral("Split options"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(SkinFont(13));
  setModal(true);

  LabelFolder = MakeLabel(this, "LabelFolder", "Output folder:", 24, 16);
  EditFolder = Place(new QLineEdit(this), "EditFolder", 24, 40, 353, 24);
  BtnBrowse =
      Place(new QPushButton(QStringLiteral("Browse..."), this), "BtnBrowse", 188, 72, 107, 25);
  BtnOpen = Place(new QPushButton(QStringLiteral("Open"), this), "BtnOpen", 298, 72, 79, 25);
  Bevel1 = MakeBevel(this, "Bevel1", 24, 108, 353);
  LabelFilename =
      MakeLabel(this, "LabelFilename", "File name: Source file name - Date - Number", 24, 120);
  LabelEx = MakeLabel(this, "LabelEx", "Ex : xxx-240120-001", 24, 144);
  Bevel3 = MakeBevel(this, "Bevel3", 24, 172, 353);
  RadioButtonInto = Place(new QRadioButton(QStringLiteral("Split into:"), this), "RadioButtonInto",
                          24, 192, 153, 17);
  RadioButtonInto->setChecked(true);
  EditN = Place(new TNumericEdit(this), "EditN", 216, 188, 49, 24);
  EditN->SetValue(2);
  RadioButtonBy = Place(new QRadioButton(QStringLiteral("Split by duration:"), this),
                        "RadioButtonBy", 24, 224, 153, 17);
  EditHour = Place(new TNumericEdit(this), "EditHour", 216, 220, 49, 24);
  EditHour->SetRange(0, 200);
  EditMin = Place(new TNumericEdit(this), "EditMin", 272, 220, 49, 24);
  EditMin->SetRange(0, 60);
  EditSec = Place(new TNumericEdit(this), "EditSec", 328, 220, 49, 24);
  EditSec->SetRange(0, 60);
  LabelHour = MakeLabel(this, "LabelHour", "Hour", 216, 248);
  LabelMin = MakeLabel(this, "LabelMin", "Min.", 272, 248);
  LabelSec = MakeLabel(this, "LabelSec", "Sec.", 328, 248);
  Bevel2 = MakeBevel(this, "Bevel2", 24, 277, 353);
  BtnOk = Place(new QPushButton(QStringLiteral("Ok"), this), "BtnOk", 216, 291, 79, 25);
  BtnOk->setDefault(true);
  BtnCancel = Place(new QPushButton(QStringLiteral("Cancel"), this), "BtnCancel", 298, 291, 79, 25);
  // How the pieces are written, on the free left of the button row.
  BtnOutput =
      Place(new QPushButton(QStringLiteral("Output..."), this), "BtnOutput", 24, 291, 107, 25);
  BtnOutput->setToolTip(QStringLiteral("Exact to the sample, VBR header, ID3v2 tag, volume"));

  QWidget* order[] = {EditFolder, BtnBrowse, BtnOpen, RadioButtonInto, EditN,     RadioButtonBy,
                      EditHour,   EditMin,   EditSec, BtnOk,           BtnCancel, BtnOutput};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(RadioButtonInto, &QRadioButton::toggled, this, &TFrmSplitOption::RadioButtonIntoClick);
  connect(BtnBrowse, &QPushButton::clicked, this, &TFrmSplitOption::BtnBrowseClick);
  connect(BtnOpen, &QPushButton::clicked, this, &TFrmSplitOption::BtnOpenClick);
  connect(BtnOk, &QPushButton::clicked, this, &TFrmSplitOption::BtnOkClick);
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(BtnOutput, &QPushButton::clicked, this, &TFrmSplitOption::BtnOutputClick);
}

void TFrmSplitOption::FormCreate() {
  EditFolder->setText(QString::fromStdString(FSettings.OutputFolder));
  EditN->SetValue(FSettings.SplitInto);
  EditHour->SetValue(FSettings.SplitHour);
  EditMin->SetValue(FSettings.SplitMin);
  EditSec->SetValue(FSettings.SplitSec);
  RadioButtonInto->setChecked(FSettings.SplitType == TSplitType::IntoParts);
  RadioButtonBy->setChecked(FSettings.SplitType == TSplitType::ByDuration);
  RadioButtonIntoClick();
  LabelEx->setText(QStringLiteral("Ex : xxx-") +
                   QDate::currentDate().toString(QStringLiteral("yyMMdd")) +
                   QStringLiteral("-0001"));
  LabelEx->adjustSize();
}

void TFrmSplitOption::LoadDialogLanguage() {
  TranslateWidget(this, LanguageFilePath(FSettings));
  // Translated captions take the room their text needs.
  for (QLabel* label : {LabelFolder, LabelFilename, LabelEx, LabelHour, LabelMin, LabelSec}) {
    label->adjustSize();
  }
  // A longer translation of the added button grows to the right, up to Ok.
  BtnOutput->resize(std::clamp(BtnOutput->sizeHint().width(), 107, BtnOk->x() - 8 - BtnOutput->x()),
                    BtnOutput->height());
}

void TFrmSplitOption::RadioButtonIntoClick() {
  EditN->setEnabled(RadioButtonInto->isChecked());
  EditHour->setEnabled(RadioButtonBy->isChecked());
  EditMin->setEnabled(EditHour->isEnabled());
  EditSec->setEnabled(EditHour->isEnabled());
}

void TFrmSplitOption::Inform(const QString& text) {
  FDialogs.ShowMessage(this, text, QString::fromStdString(FMessages.Ms_Info), TMsgIcon::Information,
                       TMsgButtons::Ok);
}

QString TFrmSplitOption::ValidateOptions() const {
  TSplitRequest request;
  request.SplitType = RadioButtonInto->isChecked() ? TSplitType::IntoParts : TSplitType::ByDuration;
  request.SplitInto = ToInt(EditN->Value());
  request.SplitHour = ToInt(EditHour->Value());
  request.SplitMin = ToInt(EditMin->Value());
  request.SplitSec = ToInt(EditSec->Value());
  request.Duration = FileLength;
  return QString::fromStdString(ValidateSplitValues(request, FMessages));
}

void TFrmSplitOption::BtnOkClick() {
  // The ranged edits hold their bounds before anything is checked or stored, whatever ended
  // the typing (a click moves the focus first; other ways of pressing Ok may not). The other
  // mode's values are stored as they are.
  for (TNumericEdit* edit : {EditHour, EditMin, EditSec}) {
    if (edit->isEnabled()) edit->ApplyRange();
  }
  // The folder as typed, blanks included: it is what gets stored.
  const QString folder = EditFolder->text();
  const std::string error = ValidateSplitFolder(folder.toStdString(), FMessages);
  if (!error.empty()) {
    Inform(folder + QLatin1Char('\n') + QString::fromStdString(error));
    return;
  }
  if (const QString values = ValidateOptions(); !values.isEmpty()) {
    Inform(values);
    return;
  }
  FSettings.OutputFolder = folder.toStdString();
  FSettings.SplitInto = ToInt(EditN->Value());
  FSettings.SplitHour = ToInt(EditHour->Value());
  FSettings.SplitMin = ToInt(EditMin->Value());
  FSettings.SplitSec = ToInt(EditSec->Value());
  FSettings.SplitType =
      RadioButtonInto->isChecked() ? TSplitType::IntoParts : TSplitType::ByDuration;
  accept();
}

void TFrmSplitOption::BtnBrowseClick() {
  QString folder = EditFolder->text().trimmed();
  // The chooser starts in the folder when it exists, else where the desktop likes.
  const QString start = FolderExists(folder.toStdString()) ? folder : QString();
  const QString picked = FDialogs.ExistingDirectory(this, QString(), start);
  if (!picked.isEmpty()) folder = picked;
  if (!FolderExists(folder.toStdString())) return;
  if (!CanWriteFolder(folder.toStdString())) {
    Inform(folder + QLatin1Char('\n') + QString::fromStdString(FMessages.Ms_NotWrite));
    return;
  }
  EditFolder->setText(folder);
  // Kept at once: a Cancel of the dialog afterwards does not undo it.
  FSettings.OutputFolder = folder.toStdString();
}

void TFrmSplitOption::BtnOutputClick() {
  // Stored at once, as the output options are wherever they are changed: a Cancel of this
  // dialog afterwards does not undo them.
  ShowOutputOptions(FSettings, this);
}

void TFrmSplitOption::BtnOpenClick() {
  const QString folder = EditFolder->text().trimmed();
  if (!folder.isEmpty() && FolderExists(folder.toStdString())) {
    FDialogs.ShowFolder(folder);
  } else {
    Inform(QString::fromStdString(FMessages.Ms_PathNotExist));
  }
}

bool ShowSplitOptions(TDialogs& dialogs, TAppSettings& settings, const TMessageTable& messages,
                      int64_t fileLength, QWidget* parent) {
  TFrmSplitOption dialog(dialogs, settings, messages, parent);
  dialog.FileLength = fileLength;
  dialog.LoadDialogLanguage();
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace pelcato
