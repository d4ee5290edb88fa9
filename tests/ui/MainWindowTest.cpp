#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "MainWindowTestSupport.h"
#include "UiTestSupport.h"
#include "settings/AppSettings.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"
#include "ui/ufrmShadowFrame.h"

namespace pelcato::test {
namespace {

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
      {"BtnOpenMp3", "Open", "Open (Ctrl+O)"},
      {"BtnSaveMp3", "Save as", "Save as (Ctrl+Shift+S)"},
      {"BtnSplit", "Split", {}},
      {"BtnAbout", "Help", {}},
      {"LabelStart", "Start tag", {}},
      {"RzMaskEdit1", zero, {}},
      {"BtnSetStart", "", "Set current postion as start ([)"},
      {"LabelEnd", "End tag", {}},
      {"RzMaskEdit2", zero, {}},
      {"BtnSetEnd", "", "Set current postion as end (])"},
      {"BtnPlayStart", "&Play", "Play (Space)"},
      {"BtnStop", "&Stop", "Stop (Space)"},
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

  // Pages: "Standard" in front, tabs on the left, their captions (on one or two lines) within
  // the page control's height.
  QTabWidget* pages = window->RzPageControl1;
  EXPECT_EQ(pages->tabPosition(), QTabWidget::West);
  EXPECT_EQ(pages->currentWidget(), window->TabSheet2);
  const auto caption = [&](QWidget* page) {
    return pages->tabText(pages->indexOf(page)).replace(QLatin1Char('\n'), QLatin1Char(' '));
  };
  EXPECT_EQ(caption(window->TabSheet2), "Standard");
  EXPECT_EQ(caption(window->TabSheet1), "ID3Tags V1");
  EXPECT_EQ(caption(window->TabSheet3), "Waveform");
  EXPECT_LE(pages->tabBar()->sizeHint().height(), pages->height());

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
  EXPECT_EQ(window->RzPageControl1->tabText(window->RzPageControl1->indexOf(window->TabSheet3)),
            "Wellenform");
  // The hints name their keys in every language, also after a switch.
  EXPECT_EQ(window->BtnSetStart->toolTip(), "Aktuelle Position als Start setzen ([)");
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
  EXPECT_TRUE(window->BtnOpenMp3->toolTip().startsWith(QString::fromUtf8("Ouvrir (")));
  EXPECT_EQ(window->BtnSetEnd->toolTip().count(QLatin1Char(']')), 1);
  EXPECT_EQ(qtCancel(), "Annuler");
  window->PM_English->trigger();
  EXPECT_EQ(qtCancel(), "Cancel");
  window->hide();
}

}  // namespace
}  // namespace pelcato::test
