// Every caption label a language file sets shows its whole text in every shipped language:
// no label is narrower or lower than its text, none overlaps its edit or another control, and
// none leaves its page. ctest runs this at 96 and at 120 dots per inch (QT_FONT_DPI).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>

#include "UiTestSupport.h"
#include "settings/AppSettings.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"
#include "ui/UnitOutputOptions.h"
#include "ui/UnitSplitOption.h"

namespace pelcato {
namespace {

using test::TFakeDialogs;
using test::TProgramFolder;

// A window of the program, created in the language the settings file of folder names.
using TWindowMaker =
    std::function<std::unique_ptr<QWidget>(TFakeDialogs& dialogs, const TProgramFolder& folder)>;

struct TWindowCase {
  const char* Section;  // the window's section in the language files
  TWindowMaker Make;
};

// Every translated window, one line each.
const TWindowCase kWindows[] = {
    {"FrmMP3Editor",
     [](TFakeDialogs& dialogs, const TProgramFolder& folder) -> std::unique_ptr<QWidget> {
       TEditorOptions options;
       options.ProgramFolder = folder.Path();
       auto window = std::make_unique<TFrmMP3Editor>(dialogs, options);
       window->TimerUpgrade->stop();
       return window;
     }},
    {"FrmSplitOption",
     [](TFakeDialogs& dialogs, const TProgramFolder& folder) -> std::unique_ptr<QWidget> {
       // The dialog keeps references to the settings and messages it was made with.
       static TAppSettings settings;
       static TMessageTable messages;
       settings = TAppSettings{};
       settings.ProgramFolder = folder.Path().toStdString();
       LoadSettings(settings);
       auto dialog = std::make_unique<TFrmSplitOption>(dialogs, settings, messages);
       dialog->LoadDialogLanguage();
       return dialog;
     }},
    {"FrmOutputOptions",
     [](TFakeDialogs&, const TProgramFolder& folder) -> std::unique_ptr<QWidget> {
       static TAppSettings settings;
       settings = TAppSettings{};
       settings.ProgramFolder = folder.Path().toStdString();
       LoadSettings(settings);
       auto dialog = std::make_unique<TFrmOutputOptions>(settings);
       dialog->LoadDialogLanguage();
       // Its layouts place the controls once it shows.
       dialog->show();
       return dialog;
     }},
};

const struct {
  TLanguageId Id;
  const char* File;
} kLanguages[] = {{LangEnglish, "English.isl"},
                  {LangSpanish, "Spanish.isl"},
                  {LangGerman, "German.isl"},
                  {LangItalian, "Italian.isl"},
                  {LangFrench, "French.isl"}};

// The component names whose Caption the section of the language file sets.
QStringList CaptionedNames(const QString& file, const QString& section) {
  QFile in(file);
  EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << file.toStdString();
  QStringList names;
  bool inSection = false;
  for (const QByteArray& raw : in.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      inSection =
          line.compare(QLatin1Char('[') + section + QLatin1Char(']'), Qt::CaseInsensitive) == 0;
    } else if (inSection) {
      const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
      if (key.endsWith(QLatin1String(".Caption"), Qt::CaseInsensitive)) {
        names << key.left(key.size() - 8);
      }
    }
  }
  return names;
}

// Controls a caption must not cover: the ones the user types into or clicks.
bool IsControl(const QWidget* widget) {
  return qobject_cast<const QLineEdit*>(widget) != nullptr ||
         qobject_cast<const QComboBox*>(widget) != nullptr ||
         qobject_cast<const QAbstractButton*>(widget) != nullptr;
}

TEST(LabelFit, EveryTranslatedCaptionShowsItsWholeText) {
  const QByteArray dpi = qgetenv("QT_FONT_DPI");
  if (!dpi.isEmpty()) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), dpi.toDouble());
  }
  TProgramFolder folder(true);
  int checked = 0;
  for (const auto& window : kWindows) {
    for (const auto& language : kLanguages) {
      SCOPED_TRACE(std::string(window.Section) + " in " + language.File);
      folder.WriteSettings("[LANGUAGE]\nDefault=" + QByteArray::number(language.Id) + "\n");
      TFakeDialogs dialogs;
      const std::unique_ptr<QWidget> form = window.Make(dialogs, folder);
      const QStringList names =
          CaptionedNames(folder.File(QStringLiteral("Languages/") + QLatin1String(language.File)),
                         QLatin1String(window.Section));
      for (const QString& name : names) {
        auto* label = form->findChild<QLabel*>(name, Qt::FindChildrenRecursively);
        if (label == nullptr) {
          // Names match without regard to case; buttons, pages and menu items are no labels.
          for (QLabel* candidate : form->findChildren<QLabel*>()) {
            if (candidate->objectName().compare(name, Qt::CaseInsensitive) == 0) label = candidate;
          }
        }
        if (label == nullptr) continue;
        SCOPED_TRACE(name.toStdString() + " \"" + label->text().toStdString() + "\"");
        ++checked;
        const QFontMetrics metrics(label->font());
        const QRect text = metrics.boundingRect(label->text());
        const QRect room = label->contentsRect();
        EXPECT_GE(room.width(), metrics.horizontalAdvance(label->text()));
        EXPECT_GE(room.width(), text.width());
        EXPECT_GE(room.height(), metrics.height());
        const QRect place = label->geometry();
        EXPECT_TRUE(label->parentWidget()->rect().contains(place))
            << place.x() << "," << place.y() << " " << place.width() << "x" << place.height();
        if (QWidget* buddy = label->buddy()) {
          EXPECT_FALSE(place.intersects(buddy->geometry())) << "covers its edit";
        }
        for (QWidget* other :
             label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
          if (other == label || !IsControl(other)) continue;
          EXPECT_FALSE(place.intersects(other->geometry()))
              << "covers " << other->objectName().toStdString();
        }
      }
    }
  }
  EXPECT_GE(checked, 5 * (17 + 5));
}

// The five command buttons draw their captions in one font size in every language: a caption
// too long for one line takes two, inside the button and below the picture's symbol, whose
// artwork ends 44 pixels down its 64.
TEST(LabelFit, CommandCaptionsKeepOneFontSizeInEveryLanguage) {
  TProgramFolder folder(true);
  std::set<int> sizes;
  int twoLines = 0;
  for (const auto& language : kLanguages) {
    SCOPED_TRACE(language.File);
    folder.WriteSettings("[LANGUAGE]\nDefault=" + QByteArray::number(language.Id) + "\n");
    TFakeDialogs dialogs;
    const std::unique_ptr<QWidget> form = kWindows[0].Make(dialogs, folder);
    for (const char* name : {"BtnOpenMp3", "BtnSaveMp3", "BtnSplit", "BtnOutput", "BtnAbout"}) {
      auto* button = form->findChild<TBmpButton*>(QLatin1String(name));
      ASSERT_NE(button, nullptr) << name;
      SCOPED_TRACE(button->text().toStdString());
      const TBmpButton::TCaptionLayout layout = button->CaptionLayout();
      sizes.insert(QFontInfo(layout.Font).pixelSize());
      ASSERT_FALSE(layout.Lines.isEmpty());
      ASSERT_LE(layout.Lines.size(), 2);
      twoLines += layout.Lines.size() == 2;
      EXPECT_EQ(layout.Lines.join(QLatin1Char(' ')), button->text());
      const QFontMetrics metrics(layout.Font);
      for (const QString& line : layout.Lines) {
        EXPECT_LE(metrics.horizontalAdvance(QString(line).remove(QLatin1Char('&'))),
                  layout.Text.width());
      }
      EXPECT_GE(layout.Text.height(), int(layout.Lines.size()) * metrics.height());
      EXPECT_TRUE(button->rect().contains(layout.Text));
      EXPECT_TRUE(button->rect().contains(layout.Picture));
      EXPECT_LE(layout.Picture.top() + layout.Picture.height() * 44 / 64, layout.Text.top());
    }
  }
  EXPECT_EQ(sizes, std::set<int>{QFontInfo(SkinFont(13)).pixelSize()});
  EXPECT_GE(twoLines, 1);  // "Save as" does not fit one line in every language
}

}  // namespace
}  // namespace pelcato
