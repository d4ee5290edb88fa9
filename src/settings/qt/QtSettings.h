// The Qt side of settings and languages: the property adapter that lets a language file
// translate any window built from Qt objects, the main window's part in a language switch,
// and the few platform queries the core takes as parameters.
//
// How a window is found by a translation:
// - The window's objectName is its section name ("FrmMP3Editor", "FrmSplitOption").
// - Every component is a descendant QObject whose objectName is the component name
//   ("BtnOpenMp3", "PM_Play", "TabSheet1"); names match without regard to letter case. Keep
//   menus and their actions, and anything created on demand, parented to the window.
// - Property names and where they land:
//     Caption  QLabel, QAbstractButton, QAction: text; QMenu, QGroupBox: title; a page of a
//              QTabWidget: its tab text; a window (and the translated window itself):
//              windowTitle
//     Hint     toolTip of a QWidget or QAction
//     Text     QLineEdit text; QPlainTextEdit, QTextEdit plain text; QComboBox current text
//     Title    QFileDialog windowTitle
//     Filter   QFileDialog name filters (from "Description|*.a;*.b|..." pairs)
//     Left, Top, Width, Height   QWidget geometry
//     Tag      the dynamic property "Tag" (an int) of any object
//     Color    a QWidget's background (0x00BBGGRR; system colours leave the palette alone),
//              also kept in the dynamic property "Color"
//     Items    QComboBox, QListWidget items; Lines: QPlainTextEdit, QTextEdit lines
//   Every other name, and every other kind (Visible, Enabled, Font.Name, ...), is skipped.
// - A component that is no widget (a dialog created only when it is shown, a timer) is a
//   plain QObject child of the window with the component's objectName and a dynamic property
//   for every property a language file may set, holding its design value:
//       auto* open = new QObject(window);
//       open->setObjectName("OpenDialog1");
//       open->setProperty("Title", QString("Open MP3 file"));
//   A translation overwrites such a property (a QString for Caption, Hint, Text, Title and
//   Filter, an int for integers, a QStringList for Items and Lines); read it back when the
//   dialog is created (NameFiltersFromFilter converts a Filter). The same dynamic properties
//   work on widgets for names the table above does not map for their class.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "settings/AppSettings.h"
#include "settings/Language.h"

class QWidget;

namespace pelcato {

// A window of Qt objects as a translation target.
class TQtFormTarget : public TFormTarget {
 public:
  explicit TQtFormTarget(QObject* form) : FForm(form) {}
  std::string FormName() const override;
  std::unique_ptr<TComponentTarget> FindComponent(const std::string& name) override;

 private:
  QObject* FForm;
};

// TranslateForm on a Qt window.
bool TranslateWidget(QObject* form, const std::string& languageFile);

// The main window's part in ApplyLanguage: Label11 is found by name, the application title is
// the main window's title (also the caption of the settings error box), and the five
// language items are checkable QActions named PM_English ... PM_French.
class TQtLanguageHost : public TLanguageHost {
 public:
  explicit TQtLanguageHost(QWidget* mainWindow);
  TFormTarget& MainForm() override { return FForm; }
  void SetApplicationTitle(const std::string& title) override;
  void CheckLanguageItem(const std::string& itemName) override;

 private:
  QWidget* FWindow;
  TQtFormTarget FForm;
};

// QCoreApplication::applicationDirPath() with a trailing "/".
std::string QtProgramFolder();
// The English name of the system locale's language ("German"), for DetectSystemLanguage.
std::string QtSystemLanguageName();
// An error box captioned with the title of parent's window, for SaveSettings.
TSettingsErrorReport QtSettingsErrorBox(QWidget* parent);
// "MP3 files|*.mp3|All files|*.*" as QFileDialog name filters.
QStringList NameFiltersFromFilter(const QString& filter);

}  // namespace pelcato
