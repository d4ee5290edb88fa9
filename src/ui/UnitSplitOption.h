// The split options dialog: the output folder, and a split into a number of parts or into
// pieces of a duration. It checks the folder and the values on Ok and only then stores them in
// the split settings. A button beside Ok opens the output options.
#pragma once

#include <QDialog>
#include <cstdint>

#include "settings/AppSettings.h"
#include "settings/MessageTable.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pelcato {

class TDialogs;
class TNumericEdit;

class TFrmSplitOption : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 402;
  static constexpr int kClientHeight = 330;

  // Builds the controls and runs FormCreate from settings, which Ok and Browse write to.
  TFrmSplitOption(TDialogs& dialogs, TAppSettings& settings, const TMessageTable& messages,
                  QWidget* parent = nullptr);

  // The length of the file to split, in ms: a piece must be shorter.
  int64_t FileLength = 0;

  // Translates the dialog from the language file of the settings' language.
  void LoadDialogLanguage();
  // The error text for the values of the chosen mode, or an empty text.
  QString ValidateOptions() const;

  QLabel* LabelFolder = nullptr;
  QLineEdit* EditFolder = nullptr;
  QPushButton* BtnBrowse = nullptr;
  QPushButton* BtnOpen = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* LabelFilename = nullptr;
  QLabel* LabelEx = nullptr;
  QFrame* Bevel3 = nullptr;
  QRadioButton* RadioButtonInto = nullptr;
  TNumericEdit* EditN = nullptr;
  QRadioButton* RadioButtonBy = nullptr;
  TNumericEdit* EditHour = nullptr;
  TNumericEdit* EditMin = nullptr;
  TNumericEdit* EditSec = nullptr;
  QLabel* LabelHour = nullptr;
  QLabel* LabelMin = nullptr;
  QLabel* LabelSec = nullptr;
  QFrame* Bevel2 = nullptr;
  QPushButton* BtnOk = nullptr;
  QPushButton* BtnCancel = nullptr;
  QPushButton* BtnOutput = nullptr;  // the output options dialog

 public slots:
  void RadioButtonIntoClick();
  void BtnBrowseClick();
  void BtnOpenClick();
  void BtnOkClick();
  void BtnOutputClick();

 private:
  void CreateComponents();
  void FormCreate();
  void Inform(const QString& text);

  TDialogs& FDialogs;
  TAppSettings& FSettings;
  const TMessageTable& FMessages;
};

// Shows the dialog modally for a file of fileLength ms. True when the user confirmed it with
// Ok, which stored the values.
bool ShowSplitOptions(TDialogs& dialogs, TAppSettings& settings, const TMessageTable& messages,
                      int64_t fileLength, QWidget* parent = nullptr);

}  // namespace pelcato
