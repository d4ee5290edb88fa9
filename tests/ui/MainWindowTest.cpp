#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "UiTestSupport.h"
#include "app/Launchers.h"
#include "app/Startup.h"
#include "settings/AppSettings.h"
#include "ui/FormShadow.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {
namespace {

using test::IniHas;
using test::TFakeDialogs;
using test::TProgramFolder;

// With upgradeStarts, every start of the upgrade program is counted there as well.
std::unique_ptr<TFrmMP3Editor> MakeWindow(TFakeDialogs& dialogs, const TProgramFolder& folder,
                                          const char* systemLanguage = "English",
                                          int* upgradeStarts = nullptr) {
  TEditorOptions options;
  options.ProgramFolder = folder.Path();
  options.SystemLanguageName = [systemLanguage] { return std::string(systemLanguage); };
  options = WithDesktopLaunchers(options);
  if (upgradeStarts != nullptr) {
    options.StartUpgrade = [upgradeStarts, start = options.StartUpgrade](
                               const QString& programFolder, uint64_t window, int language) {
      ++*upgradeStarts;
      start(programFolder, window, language);
    };
  }
  return std::make_unique<TFrmMP3Editor>(dialogs, options);
}

QString TextOf(QObject* object) {
  if (auto* label = qobject_cast<QLabel*>(object)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(object)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(object)) return edit->displayText();
  return {};
}

// ---- Start -------------------------------------------------------------------------------

TEST(MainWindowStart, OnlyOpenHelpLanguageMinimiseAndCloseAreEnabled) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  const std::set<QString> enabled = {"BtnOpenMp3", "BtnAbout", "Label28", "RzBmpButton1",
                                     "RzBmpButton2"};
  for (const TControlState& control : CommandStateTable) {
    auto* widget = window->findChild<QWidget*>(QLatin1String(control.Name));
    ASSERT_NE(widget, nullptr) << control.Name;
    if (control.Rule == TControlRule::VisibleFileIcon) continue;
    EXPECT_EQ(widget->isEnabled(), enabled.count(QLatin1String(control.Name)) == 1) << control.Name;
  }
  EXPECT_EQ(window->CommandState(), TCommandState::NoFile);
  EXPECT_TRUE(window->ImageFileState1->isHidden());
  EXPECT_FALSE(window->ImageFileState2->isHidden());
  EXPECT_TRUE(window->PanelState->isHidden());
  EXPECT_FALSE(window->TimerPos->isActive());
  EXPECT_EQ(window->TimerPos->interval(), 1000);
  EXPECT_FALSE(window->ImageStart->isEnabled());
  EXPECT_FALSE(window->ImageEnd->isEnabled());
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST(MainWindowStart, EveryComponentWithItsDesignTextAndHint) {
  TFakeDialogs dialogs;
  TProgramFolder folder;  // no language files: the design texts stay
  auto window = MakeWindow(dialogs, folder);
  EXPECT_EQ(window->objectName(), "FrmMP3Editor");
  EXPECT_EQ(window->size(), QSize(592, 452));
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window->font().pixelSize(), 13);
  const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window->geometry().center() - desktop.center()).manhattanLength(), 2);

  const QString zero = QStringLiteral("000:00:00.000");
  const struct {
    const char* Name;
    QString Text;
    QString Hint;
  } components[] = {
      {"Label11", "Pelcato version " PELCATO_VERSION, {}},
      {"Label28", ">> Language", {}},
      {"RzBmpButton2", "", "Minimize"},
      {"RzBmpButton1", "", "Close"},
      {"BtnOpenMp3", "Open", {}},
      {"BtnSaveMp3", "Save as", {}},
      {"BtnSplit", "Split", {}},
      {"BtnAbout", "Help", {}},
      {"LabelStart", "Start tag", {}},
      {"RzMaskEdit1", zero, {}},
      {"BtnSetStart", "", "Set current postion as start"},
      {"LabelEnd", "End tag", {}},
      {"RzMaskEdit2", zero, {}},
      {"BtnSetEnd", "", "Set current postion as end"},
      {"BtnPlayStart", "&Play", {}},
      {"BtnStop", "&Stop", {}},
      {"ImageStart", {}, "Drag to set start tag"},
      {"ImageEnd", {}, "Drag to set end tag"},
      {"LabelPos", zero, {}},
      {"LabelLen", zero, {}},
      {"Label25", "Opening...", {}},
      {"Label12", "", {}},
      {"RzCheckBox1", "Include", {}},
      {"Label23", "File size:", {}},
      {"Label13", "Encoding:", {}},
      {"Label14", "Channel:", {}},
      {"Label15", "SampleRate:", {}},
      {"Label16", "Bitrate:", {}},
      {"Label17", "Length:", {}},
      {"Label3", "Title:", {}},
      {"Label4", "Artist:", {}},
      {"Label5", "Album:", {}},
      {"Label9", "Genre:", {}},
      {"Label8", "TrackNumber:", {}},
      {"Label6", "Year:", {}},
      {"Label7", "Comment:", {}},
  };
  for (const auto& c : components) {
    SCOPED_TRACE(c.Name);
    auto* widget = window->findChild<QWidget*>(QLatin1String(c.Name));
    ASSERT_NE(widget, nullptr);
    if (!c.Text.isNull()) {
      EXPECT_EQ(TextOf(widget), c.Text);
    }
    if (!c.Hint.isNull()) {
      EXPECT_EQ(widget->toolTip(), c.Hint);
    }
  }
  EXPECT_TRUE(window->PanelState->isHidden());
  // Value labels of the "Standard" page, empty, in this order from the top.
  int lastTop = -1;
  for (QLabel* value : {window->Label24, window->Label18, window->Label19, window->Label20,
                        window->Label21, window->Label22}) {
    EXPECT_TRUE(value->text().isEmpty());
    EXPECT_GT(value->y(), lastTop);
    lastTop = value->y();
  }
  EXPECT_EQ(window->LabelPos->alignment() & Qt::AlignRight, Qt::AlignRight);

  // Pages: "Standard" in front, tabs on the left.
  QTabWidget* pages = window->RzPageControl1;
  EXPECT_EQ(pages->tabPosition(), QTabWidget::West);
  EXPECT_EQ(pages->currentWidget(), window->TabSheet2);
  EXPECT_EQ(pages->tabText(pages->indexOf(window->TabSheet2)), "Standard");
  EXPECT_EQ(pages->tabText(pages->indexOf(window->TabSheet1)), "ID3Tags V1");

  // Tag fields: limits, and every genre at the index of its number.
  EXPECT_EQ(window->RzEdit1->maxLength(), 30);
  EXPECT_EQ(window->RzEdit2->maxLength(), 30);
  EXPECT_EQ(window->RzEdit5->maxLength(), 3);
  EXPECT_EQ(window->RzEdit6->maxLength(), 4);
  EXPECT_EQ(window->RzEdit7->maxLength(), 30);
  EXPECT_GT(window->RzEdit3->maxLength(), 30);
  EXPECT_FALSE(window->RzComboBox1->isEditable());
  ASSERT_EQ(window->RzComboBox1->count(), 148);
  EXPECT_EQ(window->RzComboBox1->itemText(0), "Blues");
  EXPECT_EQ(window->RzComboBox1->itemText(17), "Rock");
  EXPECT_EQ(window->RzComboBox1->currentIndex(), -1);

  // Track bar and masked edits.
  EXPECT_EQ(window->TrackBarPos->maximum(), 100);
  EXPECT_EQ(window->TrackBarPos->value(), 0);
  EXPECT_EQ(window->TrackBarPos->tickPosition(), QSlider::NoTicks);
  EXPECT_EQ(window->RzMaskEdit1->inputMask(), "000:00:00.000;_");
  EXPECT_EQ(window->RzMaskEdit2->inputMask(), "000:00:00.000;_");

  // Objects without a window, and the menus with their Tags.
  QObject* open = window->findChild<QObject*>(QStringLiteral("OpenDialog1"));
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->property("Title").toString(), "Open MP3 file");
  EXPECT_EQ(open->property("Filter").toString(), "MP3(*.mp3)|*.mp3");
  EXPECT_EQ(window->findChild<QObject*>(QStringLiteral("SaveDialog1"))->property("Title"),
            "Save Mp3 file");
  EXPECT_EQ(window->TimerUpgrade->interval(), 500);
  EXPECT_TRUE(window->TimerUpgrade->isSingleShot());

  const QList<QAction*> play = window->PopupMenu1->actions();
  ASSERT_EQ(play.size(), 4);
  EXPECT_EQ(play[0]->objectName(), "PM_Play");
  EXPECT_TRUE(play[1]->isSeparator());
  EXPECT_EQ(play[1]->objectName(), "N1");
  EXPECT_EQ(play[2]->objectName(), "PM_FromStart");
  EXPECT_EQ(play[3]->objectName(), "PM_FromEnd");
  EXPECT_EQ(play[0]->property("Tag").toInt(), 0);
  EXPECT_EQ(play[2]->property("Tag").toInt(), 1);
  EXPECT_EQ(play[3]->property("Tag").toInt(), 2);
  EXPECT_EQ(play[0]->text(), QString::fromUtf8("从当前位置播放"));
  EXPECT_EQ(window->BtnPlay2->menu(), window->PopupMenu1);

  const QList<QAction*> languages = window->PopupMenuView->actions();
  ASSERT_EQ(languages.size(), 5);
  const char* names[] = {"PM_English", "PM_Spanish", "PM_German", "PM_Italian", "PM_French"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(languages[i]->objectName(), names[i]);
    EXPECT_EQ(languages[i]->property("Tag").toInt(), i);
    ASSERT_NE(languages[i]->actionGroup(), nullptr);
    EXPECT_TRUE(languages[i]->actionGroup()->isExclusive());
  }
  EXPECT_TRUE(window->PM_English->isChecked());  // the system said English
}

// What can go wrong with the places of the controls the user works: one standing partly outside
// the rounded window, under another control, or on top of another one.
TEST(MainWindowStart, ControlsLieInsideTheWindowShapeUncoveredAndApart) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  const QRegion shape = window->mask();
  const struct {
    QWidget* Area;
    QStringList Names;
  } areas[] = {
      {window.get(),
       {"RzBmpButton2", "RzBmpButton1",   "BtnOpenMp3",  "BtnSaveMp3",  "BtnSplit",  "BtnAbout",
        "Label28",      "RzMaskEdit1",    "BtnSetStart", "RzMaskEdit2", "BtnSetEnd", "BtnPlayStart",
        "BtnPlay2",     "BtnStop",        "ImageStart",  "ImageEnd",    "LabelPos",  "LabelLen",
        "TrackBarPos",  "RzPageControl1", "Label12"}},
      {window->TabSheet1,
       {"RzCheckBox1", "RzEdit1", "RzEdit2", "RzEdit3", "RzEdit7", "RzComboBox1", "RzEdit5",
        "RzEdit6"}},
  };
  window->RzPageControl1->setCurrentWidget(window->TabSheet1);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  for (const auto& area : areas) {
    std::vector<std::pair<QString, QRect>> placed;
    for (const QString& name : area.Names) {
      SCOPED_TRACE(name.toStdString());
      auto* control = area.Area->findChild<QWidget*>(name);
      ASSERT_NE(control, nullptr);
      const QRect inWindow(control->mapTo(window.get(), QPoint(0, 0)), control->size());
      EXPECT_TRUE(QRegion(inWindow).subtracted(shape).isEmpty());
      EXPECT_TRUE(area.Area->rect().contains(control->geometry()));
      QWidget* hit = window->childAt(inWindow.center());
      EXPECT_TRUE(hit == control || control->isAncestorOf(hit))
          << (hit ? hit->objectName().toStdString() : "nothing");
      for (const auto& [other, rect] : placed) {
        // The play button and its arrow form one control and share their border column.
        const QRect overlap = rect.intersected(control->geometry());
        const bool shared = other == "BtnPlayStart" && name == "BtnPlay2" && overlap.width() == 1;
        EXPECT_TRUE(overlap.isEmpty() || shared) << other.toStdString();
      }
      placed.emplace_back(name, control->geometry());
    }
  }
  // The command buttons in one row, in their order; minimise beside close at the top right.
  int left = 0;
  for (QWidget* button :
       {window->BtnOpenMp3, window->BtnSaveMp3, window->BtnSplit, window->BtnAbout}) {
    EXPECT_EQ(button->y(), window->BtnOpenMp3->y());
    EXPECT_GT(button->x(), left);
    left = button->x();
  }
  EXPECT_EQ(window->RzBmpButton2->geometry().right() + 1, window->RzBmpButton1->x());
  EXPECT_GT(window->RzBmpButton1->x(), window->BtnAbout->x());
  window->hide();
}

TEST(MainWindowStart, ControlsAboveTheDragStripTakeTheirOwnPresses) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  EXPECT_EQ(window->childAt(100, 60), window->Label10);
  EXPECT_EQ(window->childAt(14, 9), window->Label11);
  EXPECT_EQ(window->childAt(432, 12), window->Label28);
  EXPECT_EQ(window->childAt(200, 60), window->BtnOpenMp3);
  EXPECT_EQ(window->childAt(520, 10), window->RzBmpButton2);
  EXPECT_EQ(window->childAt(560, 10), window->RzBmpButton1);
}

TEST(MainWindowStart, RoundedWindowShape) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  const QRegion shape = window->mask();
  EXPECT_EQ(shape.boundingRect(), QRect(QPoint(2, 1), QPoint(591, 451)));
  EXPECT_FALSE(shape.contains(QPoint(0, 10)));
  EXPECT_FALSE(shape.contains(QPoint(10, 0)));
  EXPECT_FALSE(shape.contains(QPoint(2, 1)));  // the rounded corner
  EXPECT_TRUE(shape.contains(QPoint(6, 1)));
  EXPECT_TRUE(shape.contains(QPoint(2, 10)));
  EXPECT_TRUE(shape.contains(QPoint(300, 451)));
}

TEST(MainWindowStart, LanguageFilesReachEveryComponentTheyName) {
  const QDir languages(QStringLiteral(PELCATO_LANGUAGES));
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  for (const QString& name : languages.entryList({QStringLiteral("*.isl")}, QDir::Files)) {
    QFile file(languages.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    bool inSection = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
      const QString entry = line.trimmed();
      if (entry.startsWith(QLatin1Char('['))) {
        inSection = entry == QLatin1String("[FrmMP3Editor]");
      } else if (inSection && entry.contains(QLatin1Char('.'))) {
        const QString component = entry.left(entry.indexOf(QLatin1Char('.')));
        EXPECT_NE(window->findChild<QObject*>(component), nullptr)
            << qPrintable(name) << " " << qPrintable(component);
      }
    }
  }
}

TEST(MainWindowStart, StoredLanguageTranslatesTheWindowAndTheMenuSwitchesIt) {
  TFakeDialogs dialogs;
  TProgramFolder folder(true);
  folder.WriteSettings("[LANGUAGE]\nDefault=2\n[UPGRADE]\nPos=1\n");
  auto window = MakeWindow(dialogs, folder);
  EXPECT_EQ(window->BtnOpenMp3->text(), QString::fromUtf8("Öffnen"));
  EXPECT_EQ(window->RzPageControl1->tabText(window->RzPageControl1->indexOf(window->TabSheet2)),
            "Allgemein");
  EXPECT_EQ(window->findChild<QObject*>(QStringLiteral("OpenDialog1"))->property("Title"),
            QString::fromUtf8("MP3-Datei öffnen"));
  EXPECT_TRUE(window->PM_German->isChecked());
  EXPECT_EQ(window->windowTitle(), "Pelcato");
  // Qt's own dialogs speak the language too.
  const auto qtCancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
  EXPECT_EQ(qtCancel(), "Abbrechen");

  window->show();
  QTest::mouseClick(window->Label28, Qt::LeftButton);
  ASSERT_TRUE(window->PopupMenuView->isVisible());
  EXPECT_EQ(window->PopupMenuView->pos(),
            window->Label28->mapToGlobal(QPoint(0, window->Label28->height())));
  window->PM_French->trigger();
  window->PopupMenuView->hide();
  EXPECT_EQ(window->Settings().Language, 4);
  EXPECT_TRUE(window->PM_French->isChecked());
  EXPECT_FALSE(window->PM_German->isChecked());
  EXPECT_EQ(window->BtnOpenMp3->text(), QString::fromUtf8("Ouvrir"));
  EXPECT_EQ(qtCancel(), "Annuler");
  window->PM_English->trigger();
  EXPECT_EQ(qtCancel(), "Cancel");
  window->hide();
}

// ---- Moving, minimising, closing -------------------------------------------------------

TEST(MainWindowFrame, DraggingTheTopStripMovesTheWindowButTheTitleDoesNot) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  window->move(100, 80);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QWindow* handle = window->windowHandle();
  const QPoint start = window->pos();

  QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(120, 60));
  QTest::mouseMove(handle, QPoint(150, 80));
  EXPECT_EQ(window->pos(), start + QPoint(30, 20));
  // The window moved under the mouse: the same screen point is where the press began.
  QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(120, 60));
  EXPECT_EQ(window->pos(), start + QPoint(30, 20));

  const QPoint moved = window->pos();
  QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(16, 10));  // on the title
  QTest::mouseMove(handle, QPoint(60, 40));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(60, 40));
  EXPECT_EQ(window->pos(), moved);
  window->hide();
}

TEST(MainWindowFrame, MinimiseHidesTheShadowAndRestoreBringsItBack) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  TFormShadow* shadow = window->Shadow();
  shadow->SetCompositorOverride(true);
  window->move(120, 90);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  ASSERT_TRUE(shadow->isVisible());
  EXPECT_EQ(shadow->geometry(), QRect(window->pos() - QPoint(16, 16), QSize(624, 484)));
  EXPECT_EQ(shadow->ShadowColor(), 0xA1794Au);

  QTest::mouseClick(window->RzBmpButton2, Qt::LeftButton);
  EXPECT_TRUE(window->isMinimized());
  EXPECT_FALSE(shadow->isVisible());

  window->showNormal();
  EXPECT_TRUE(shadow->isVisible());
  EXPECT_EQ(shadow->geometry(), QRect(window->pos() - QPoint(16, 16), QSize(624, 484)));
  window->hide();
  EXPECT_FALSE(shadow->isVisible());
}

TEST(MainWindowClose, DeletesTemporaryCopiesKeepsTmpAndSavesSettings) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.WriteSettings("[UPGRADE]\nPos=1\n[OTHER]\nKeep=me\n");
  auto window = MakeWindow(dialogs, folder);
  const QString first = folder.File(QStringLiteral("Tmp/261207012345678.mp3"));
  const QString second = folder.File(QStringLiteral("Tmp/261207012345999.mp3"));
  const QString other = folder.File(QStringLiteral("Tmp/keep.mp3"));
  for (const QString& path : {first, second, other}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  window->TempFiles() << first << folder.File(QStringLiteral("Tmp/gone-already.mp3")) << second;
  window->Settings().SplitInto = 7;
  window->show();

  QTest::mouseClick(window->RzBmpButton1, Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->Shadow(), nullptr);
  EXPECT_EQ(window->Mp3(), nullptr);
  EXPECT_FALSE(QFile::exists(first));
  EXPECT_FALSE(QFile::exists(second));
  EXPECT_TRUE(QFile::exists(other));  // not ours
  EXPECT_TRUE(QDir(folder.File(QStringLiteral("Tmp"))).exists());
  const QByteArray ini = folder.ReadSettings();
  EXPECT_TRUE(IniHas(ini, "LANGUAGE", "Default=0"));
  EXPECT_TRUE(IniHas(ini, "SPLIT", "Into=7"));
  EXPECT_TRUE(IniHas(ini, "UPGRADE", "Pos=1"));
  EXPECT_TRUE(IniHas(ini, "OTHER", "Keep=me"));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST(MainWindowClose, FailedSettingsWriteIsReportedAndTheWindowStillCloses) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.InstallUpgradeStandIn();
  // A folder where the settings file belongs cannot be replaced by a file.
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("Pelcato.ini")));
  auto window = MakeWindow(dialogs, folder);
  window->TimerUpgrade->stop();  // the launch at start-up is not looked at here
  window->show();
  window->close();
  EXPECT_FALSE(window->isVisible());
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text, "Unable to write to " + folder.Path() + "Pelcato.ini.");
  EXPECT_EQ(dialogs.Messages[0].Caption, "Pelcato");
  EXPECT_EQ(dialogs.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(dialogs.Messages[0].Buttons, TMsgButtons::Ok);
}

// ---- Help and upgrade ----------------------------------------------------------------------

TEST(MainWindowHelp, HelpOpensTheGuidePage) {
  test::TUrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  QTest::mouseClick(window->BtnAbout, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  ASSERT_EQ(catcher.Opened.size(), 1);
  EXPECT_EQ(catcher.Opened[0].toString(), web::GuideAddress);
  EXPECT_TRUE(catcher.Opened[0].path().endsWith("/video-tools/pelcato_guide.html"));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST(MainWindowHelp, WithoutABrowserHelpShowsTheGuidesAddress) {
  TFakeDialogs dialogs;
  TProgramFolder folder(true);
  folder.WriteSettings("[LANGUAGE]\nDefault=2\n[UPGRADE]\nPos=1\n");
  TEditorOptions options;
  options.ProgramFolder = folder.Path();
  options.OpenGuide = [] { return false; };  // as the desktop answers without a browser
  options.GuideAddress = web::GuideAddress;
  TFrmMP3Editor window(dialogs, options);
  QTest::mouseClick(window.BtnAbout, Qt::LeftButton);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text,
            QString::fromUtf8("Es konnte kein Webbrowser gestartet werden. Die Anleitung finden "
                              "Sie unter dieser Adresse:\n") +
                web::GuideAddress);
  EXPECT_EQ(dialogs.Messages[0].Caption, "Hinweis");
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QTest::qWait(20);
  }
  return true;
}

TEST(MainWindowUpgrade, WithoutSettingsTheUpgradeStartsHalfASecondAfterStart) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.InstallUpgradeStandIn();
  QElapsedTimer clock;
  clock.start();
  int starts = 0;
  auto window = MakeWindow(dialogs, folder, "German", &starts);
  EXPECT_TRUE(window->TimerUpgrade->isActive());
  window->show();
  ASSERT_TRUE(WaitFor([&] { return !folder.UpgradeArguments().isEmpty(); }, 10000));
  EXPECT_GE(clock.elapsed(), 450);  // a coarse timer may fire up to 5 % early
  EXPECT_FALSE(window->TimerUpgrade->isActive());
  const QStringList args = folder.UpgradeArguments();
  ASSERT_EQ(args.size(), 6);
  EXPECT_EQ(args[0], QString::number(quint64(window->winId())));
  EXPECT_EQ(args.mid(1, 3), QStringList({"Pelcato", PELCATO_VERSION, "German"}));
  EXPECT_EQ(args[4], web::UpgradeServiceEnglish);
  EXPECT_EQ(args[5], web::HomePageEnglish);

  // Once per run: closing does not start it again, and nothing is left to start it later.
  EXPECT_EQ(starts, 1);
  window->close();
  EXPECT_EQ(starts, 1);
  EXPECT_FALSE(window->TimerUpgrade->isActive());
}

TEST(MainWindowUpgrade, WithPosOneTheUpgradeStartsAtCloseAfterTheSave) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.InstallUpgradeStandIn();
  folder.WriteSettings("[UPGRADE]\nPos=1\n[LANGUAGE]\nDefault=5\n");
  int starts = 0;
  auto window = MakeWindow(dialogs, folder, "English", &starts);
  // Nothing is set to start it before the close.
  EXPECT_FALSE(window->TimerUpgrade->isActive());
  window->show();
  EXPECT_EQ(starts, 0);
  const QString handle = QString::number(quint64(window->winId()));
  window->close();
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(IniHas(folder.ReadSettings(), "LANGUAGE", "Default=5"));
  ASSERT_TRUE(WaitFor([&] { return !folder.UpgradeArguments().isEmpty(); }, 10000));
  const QStringList args = folder.UpgradeArguments();
  ASSERT_EQ(args.size(), 6);
  EXPECT_EQ(args[0], handle);
  EXPECT_EQ(args[1], SpacesToCarets(ProductNameChinese));
  EXPECT_FALSE(args[1].contains(QLatin1Char(' ')));
  EXPECT_EQ(args[3], "Chinese");
  EXPECT_EQ(args[4], web::UpgradeServiceChinese);
  EXPECT_EQ(args[5], web::HomePageChinese);
}

TEST(MainWindowUpgrade, MissingUpgradeProgramIsSilent) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.WriteSettings("[UPGRADE]\nPos=2\n");
  auto window = MakeWindow(dialogs, folder);
  window->show();
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace pelcato
