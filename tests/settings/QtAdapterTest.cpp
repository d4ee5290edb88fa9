#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include "SettingsTestUtil.h"
#include "settings/qt/QtSettings.h"

namespace pelcato::test {
namespace {

// A small window as the designs build theirs: named components at fixed places.
struct TWindow {
  TWindow() {
    form.setObjectName("FrmMP3Editor");
    label->setObjectName("Label13");
    label->setGeometry(5, 6, 70, 16);
    button->setObjectName("BtnOpenMp3");
    tabs->setObjectName("PageControl1");
    page->setObjectName("TabSheet2");
    tabs->addTab(page, "Standard");
    combo->setObjectName("ComboBoxGenre");
    combo->addItems({"x", "y"});
    menu->setObjectName("PopupMenuView");
    for (const char* name : {"PM_English", "PM_Spanish", "PM_German", "PM_Italian", "PM_French"}) {
      QAction* item = menu->addAction(name);
      item->setObjectName(name);
      item->setCheckable(true);
    }
    dialog->setObjectName("OpenDialog1");
    dialog->setProperty("Title", QString("Open MP3 file"));
  }
  QWidget form;
  QLabel* label = new QLabel("Encoding:", &form);
  QPushButton* button = new QPushButton("Open", &form);
  QTabWidget* tabs = new QTabWidget(&form);
  QWidget* page = new QWidget;
  QComboBox* combo = new QComboBox(&form);
  QMenu* menu = new QMenu(&form);
  QObject* dialog = new QObject(&form);
};

TEST(QtAdapter, TranslatesAWindowOfQtObjects) {
  TScratch scratch;
  const std::string path = scratch.Path("x.isl");
  WriteText(path,
            "[FrmMP3Editor]\nCaption=Pelcato\nbtnopenmp3.caption = Öffnen \n"
            "Label13.Hint=Die Kodierung\nLabel13.Left=0x20\nLabel13.Width=90\nLabel13.Tag=7\n"
            "Label13.Color=$0000FF\nLabel13.Visible=False\nLabel13.Font.Name=Arial\n"
            "Label13.Items=a||b\nTabSheet2.Caption=Allgemein\nPM_German.Caption=Deutsch\n"
            "OpenDialog1.Title=MP3-Datei öffnen\nOpenDialog1.Filter=MP3|*.mp3\n"
            "ComboBoxGenre.Items=Rock||Pop||Jazz\nLabel13.Top=oben\nLabel13.Caption=late\n");
  TWindow w;
  EXPECT_TRUE(TranslateWidget(&w.form, path));
  EXPECT_EQ(w.form.windowTitle(), "Pelcato");
  EXPECT_EQ(w.button->text(), "Öffnen");
  EXPECT_EQ(w.label->toolTip(), "Die Kodierung");
  EXPECT_EQ(w.label->geometry(), QRect(32, 6, 90, 16));
  EXPECT_EQ(w.label->property("Tag").toInt(), 7);
  EXPECT_EQ(w.label->palette().color(QPalette::Window), QColor(255, 0, 0));
  EXPECT_TRUE(w.label->isVisibleTo(&w.form));
  EXPECT_EQ(w.tabs->tabText(0), "Allgemein");
  EXPECT_EQ(w.menu->findChild<QAction*>("PM_German")->text(), "Deutsch");
  EXPECT_EQ(w.dialog->property("Title").toString(), "MP3-Datei öffnen");
  EXPECT_FALSE(w.dialog->property("Filter").isValid());  // the stand-in declares no Filter
  EXPECT_EQ(w.combo->count(), 3);
  EXPECT_EQ(w.combo->itemText(2), "Jazz");
  EXPECT_EQ(w.label->text(), "Encoding:");  // after the bad Top: not applied
}

TEST(QtAdapter, FileDialogsAndDialogCaptions) {
  QDialog options;
  options.setObjectName("FrmSplitOption");
  auto* save = new QFileDialog(&options);
  save->setObjectName("SaveDialog1");
  TScratch scratch;
  WriteText(scratch.Path("x.isl"),
            "[FrmSplitOption]\nCaption=Teilen\nSaveDialog1.Title=Speichern\n"
            "SaveDialog1.Filter=MP3 files (*.mp3)|*.mp3|All|*.a;*.b\n");
  TranslateWidget(&options, scratch.Path("x.isl"));
  EXPECT_EQ(options.windowTitle(), "Teilen");
  EXPECT_EQ(save->windowTitle(), "Speichern");
  EXPECT_EQ(save->nameFilters(), QStringList({"MP3 files (*.mp3)", "All (*.a *.b)"}));
}

TEST(QtAdapter, LanguageHostChecksOneItemAndSetsTheTitle) {
  TWindow w;
  TQtLanguageHost host(&w.form);
  host.CheckLanguageItem("PM_Italian");
  host.CheckLanguageItem("PM_French");
  int checked = 0;
  for (QAction* item : w.menu->actions()) checked += item->isChecked();
  EXPECT_EQ(checked, 1);
  EXPECT_TRUE(w.menu->findChild<QAction*>("PM_French")->isChecked());
  host.SetApplicationTitle("Pelcato");
  EXPECT_EQ(w.form.windowTitle(), "Pelcato");
  // No display name: the platform would append it to every other window's title.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

TEST(QtAdapter, SystemQueries) {
  EXPECT_EQ(QtProgramFolder().back(), '/');
  EXPECT_TRUE(fs::exists(QtProgramFolder() + "settings_qt_tests"));
  EXPECT_FALSE(QtSystemLanguageName().empty());
}

}  // namespace
}  // namespace pelcato::test
