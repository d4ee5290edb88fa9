#include "ui/UnitOutputOptions.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settings/Language.h"
#include "settings/qt/QtSettings.h"
#include "ui/Skin.h"
#include "ui/UnitVolumeOptions.h"

namespace pelcato {

TOutputOptionsGroup::TOutputOptionsGroup(QWidget* parent) : TOptionsGroup(parent) {
  setObjectName(QStringLiteral("GroupOutput"));
  setTitle(QStringLiteral("Output"));
  CheckExact = Named(new QCheckBox(QStringLiteral("Exact to the sample"), this), "CheckExact",
                     "A few frames more than the range, with the gapless fields that make "
                     "libmpg123, ffmpeg and the players built on them play exactly its samples");
  CheckVbrHeader = Named(
      new QCheckBox(QStringLiteral("VBR header where the bit rate varies"), this), "CheckVbrHeader",
      "A header frame that counts the file's frames, so that players show its true "
      "length and seek in it");
  LabelId3v2 = Named(new QLabel(QStringLiteral("ID3v2 tag:"), this), "LabelId3v2");
  RadioId3v2None = Named(new QRadioButton(QStringLiteral("None"), this), "RadioId3v2None");
  RadioId3v2Keep =
      Named(new QRadioButton(QStringLiteral("Keep the source's tag"), this), "RadioId3v2Keep",
            "All its frames; the fields changed on the tag page replace theirs");
  RadioId3v2New =
      Named(new QRadioButton(QStringLiteral("New tag from the tag page"), this), "RadioId3v2New",
            "An ID3v2.4 tag in Unicode, with the fields at full length");

  auto* column = new QVBoxLayout(this);
  column->addWidget(CheckExact);
  column->addWidget(CheckVbrHeader);
  column->addSpacing(8);
  column->addWidget(LabelId3v2);
  for (QRadioButton* radio : {RadioId3v2None, RadioId3v2Keep, RadioId3v2New}) {
    auto* row = new QHBoxLayout;
    row->addSpacing(16);
    row->addWidget(radio);
    column->addLayout(row);
  }
  column->addStretch(1);
}

void TOutputOptionsGroup::Load(const TAppSettings& settings) {
  CheckExact->setChecked(settings.Exact);
  CheckVbrHeader->setChecked(settings.VbrHeader);
  RadioId3v2Keep->setChecked(settings.Id3v2 == 1);
  RadioId3v2New->setChecked(settings.Id3v2 == 2);
  RadioId3v2None->setChecked(settings.Id3v2 != 1 && settings.Id3v2 != 2);
}

void TOutputOptionsGroup::Store(TAppSettings& settings) const {
  settings.Exact = CheckExact->isChecked();
  settings.VbrHeader = CheckVbrHeader->isChecked();
  settings.Id3v2 = RadioId3v2Keep->isChecked() ? 1 : RadioId3v2New->isChecked() ? 2 : 0;
}

TFrmOutputOptions::TFrmOutputOptions(TAppSettings& settings, QWidget* parent)
    : QDialog(parent), FSettings(settings) {
  setObjectName(QStringLiteral("FrmOutputOptions"));
  setWindowTitle(QStringLiteral("Output options"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFont(SkinFont(13));
  setModal(true);

  auto* column = new QVBoxLayout(this);
  // The dialog takes the size its texts need, in every language.
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->setContentsMargins(24, 16, 24, 14);
  FGroupRow = new QHBoxLayout;
  FGroupRow->setSpacing(12);
  column->addLayout(FGroupRow);
  auto* line = Named(new QFrame(this), "Bevel1");
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  column->addSpacing(6);
  column->addWidget(line);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  BtnOk = Named(new QPushButton(QStringLiteral("Ok"), this), "BtnOk");
  BtnOk->setDefault(true);
  BtnCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "BtnCancel");
  for (QPushButton* button : {BtnOk, BtnCancel}) {
    button->setMinimumSize(79, 25);
    buttons->addWidget(button);
  }
  column->addLayout(buttons);

  AddGroup(GroupOutput = new TOutputOptionsGroup(this));
  AddGroup(GroupVolume = new TVolumeOptionsGroup(this));
  connect(BtnOk, &QPushButton::clicked, this, &TFrmOutputOptions::BtnOkClick);
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmOutputOptions::AddGroup(TOptionsGroup* group) {
  group->setParent(this);
  group->Load(FSettings);
  // Groups side by side take the height of the tallest.
  FGroupRow->addWidget(group);
  FGroups.push_back(group);
  // The keys move through the groups in the order they stand, then to the buttons.
  for (QWidget* child : group->findChildren<QWidget*>()) {
    if (child->focusPolicy() == Qt::NoFocus) continue;
    if (FLastFocus != nullptr) setTabOrder(FLastFocus, child);
    FLastFocus = child;
  }
  if (FLastFocus != nullptr) setTabOrder(FLastFocus, BtnOk);
  setTabOrder(BtnOk, BtnCancel);
}

void TFrmOutputOptions::LoadDialogLanguage() {
  TranslateWidget(this, LanguageFilePath(FSettings));
}

void TFrmOutputOptions::BtnOkClick() {
  for (const TOptionsGroup* group : FGroups) group->Store(FSettings);
  accept();
}

bool ShowOutputOptions(TAppSettings& settings, QWidget* parent) {
  TFrmOutputOptions dialog(settings, parent);
  dialog.LoadDialogLanguage();
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace pelcato
