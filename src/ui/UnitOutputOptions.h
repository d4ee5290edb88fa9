// The output options: how "Save as" and "Split" write their files (exact to the sample, the VBR
// header, the ID3v2 tag), kept in [OUTPUT] of the settings. One group of controls that any
// window writing pieces can show, and the small dialog that shows it, reachable from the main
// window and from the split options dialog. The dialog lays its groups out side by side: the
// volume of the written files (UnitVolumeOptions.h) stands beside the output group.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <vector>

#include "settings/AppSettings.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QRadioButton;

namespace pelcato {

class TVolumeOptionsGroup;

// A control of the dialog by the name its language file section knows it by, with its
// English hint.
template <class W>
W* Named(W* widget, const char* name, const char* hint = nullptr) {
  widget->setObjectName(QLatin1String(name));
  if (hint != nullptr) widget->setToolTip(QLatin1String(hint));
  return widget;
}

// A group of choices kept in the settings.
class TOptionsGroup : public QGroupBox {
  Q_OBJECT
 public:
  using QGroupBox::QGroupBox;
  // Shows the choices of settings; Store writes the choices shown back into them.
  virtual void Load(const TAppSettings& settings) = 0;
  virtual void Store(TAppSettings& settings) const = 0;
};

// Exact, VbrHeader and Id3v2 of [OUTPUT].
class TOutputOptionsGroup : public TOptionsGroup {
  Q_OBJECT
 public:
  explicit TOutputOptionsGroup(QWidget* parent = nullptr);

  void Load(const TAppSettings& settings) override;
  void Store(TAppSettings& settings) const override;

  QCheckBox* CheckExact = nullptr;
  QCheckBox* CheckVbrHeader = nullptr;
  QLabel* LabelId3v2 = nullptr;
  QRadioButton* RadioId3v2None = nullptr;
  QRadioButton* RadioId3v2Keep = nullptr;
  QRadioButton* RadioId3v2New = nullptr;
};

class TFrmOutputOptions : public QDialog {
  Q_OBJECT
 public:
  // Shows the choices of settings, which Ok stores.
  TFrmOutputOptions(TAppSettings& settings, QWidget* parent = nullptr);

  // Translates the dialog from the language file of the settings' language.
  void LoadDialogLanguage();
  // Puts another group of choices beside the ones already shown; it becomes the dialog's,
  // shows the settings' choices at once and stores its own on Ok.
  void AddGroup(TOptionsGroup* group);

  TOutputOptionsGroup* GroupOutput = nullptr;
  TVolumeOptionsGroup* GroupVolume = nullptr;  // beside the output group
  QPushButton* BtnOk = nullptr;
  QPushButton* BtnCancel = nullptr;

 public slots:
  void BtnOkClick();

 private:
  TAppSettings& FSettings;
  QHBoxLayout* FGroupRow = nullptr;
  std::vector<TOptionsGroup*> FGroups;
  QWidget* FLastFocus = nullptr;  // the last control of the groups that takes the focus
};

// Shows the dialog modally; true when Ok stored the choices.
bool ShowOutputOptions(TAppSettings& settings, QWidget* parent = nullptr);

}  // namespace pelcato
