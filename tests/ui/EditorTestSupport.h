// The main window on real MP3 files, with a player that does what the test says.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "UiTestSupport.h"
#include "ui/NumericEdit.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"
#include "ui/UnitSplitOption.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace pelcato::test {

inline QString Data(const char* name) {
  return QStringLiteral(PELCATO_TEST_DATA "/") + QLatin1String(name);
}

// A player that does what the test says and plays in no time unless told.
struct TPlayerScript {
  int64_t Length = -1;    // -1: the file's computed length stands (the open fails)
  std::string OpenError;  // non-empty: opening fails with this text
  int64_t Position = 0;   // what the player reports while it plays
  bool Stopped = false;   // the player has played to the end
  int64_t PlayedFrom = -1;
  int Plays = 0;
  bool Open = false;
};

class TScriptedPlayer : public TMediaPlayer {
 public:
  explicit TScriptedPlayer(std::shared_ptr<TPlayerScript> s) : S(std::move(s)) {}
  void Open(const std::string&) override {
    if (!S->OpenError.empty()) throw EPlayerError(S->OpenError);
    if (S->Length < 0) throw EPlayerError("no length");
    S->Open = true;
    S->Stopped = false;
  }
  int64_t Length() override { return S->Length; }
  int64_t Position() override { return S->Position; }
  void SetPosition(int64_t ms) override { S->Position = S->PlayedFrom = ms; }
  void Play() override { ++S->Plays; }
  TPlayerMode Mode() override {
    if (!S->Open) return TPlayerMode::NotOpen;
    return S->Stopped ? TPlayerMode::Stopped : TPlayerMode::Playing;
  }
  void Close() override { S->Open = false; }

 private:
  std::shared_ptr<TPlayerScript> S;
};

struct TEditor {
  TFakeDialogs Dialogs;
  TProgramFolder Folder;
  std::shared_ptr<TPlayerScript> Player = std::make_shared<TPlayerScript>();
  std::unique_ptr<TFrmMP3Editor> Window;

  explicit TEditor(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates),
                   int64_t length = 2500) {
    Player->Length = length;
    TEditorOptions options;
    options.ProgramFolder = Folder.Path();
    options.SystemLanguageName = [] { return std::string("English"); };
    options.Locale = locale;
    options.MakePlayer = [p = Player] { return std::make_unique<TScriptedPlayer>(p); };
    Window = std::make_unique<TFrmMP3Editor>(Dialogs, options);
  }
  void Open(const QString& path) {
    Dialogs.Paths.push_back(path);
    Window->BtnOpenMp3Click();
  }
  TFrmMP3Editor* operator->() const { return Window.get(); }
};

// Runs action once the next modal dialog shows.
inline void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    action(modal);
  });
}

// Answers the next split options dialog with pieces of the given seconds and Ok.
inline void WhenSplitOptionsAskEvery(int seconds) {
  WhenModal([seconds](QWidget* modal) {
    auto* dialog = qobject_cast<TFrmSplitOption*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->RadioButtonBy->setChecked(true);
    dialog->EditHour->SetValue(seconds / 3600);
    dialog->EditMin->SetValue(seconds / 60 % 60);
    dialog->EditSec->SetValue(seconds % 60);
    dialog->BtnOk->click();
  });
}

// Sends a mouse event to a marker picture at a point in the window's coordinates.
inline void Mouse(TFrmMP3Editor& w, QWidget* picture, QEvent::Type type, QPoint windowPoint,
                  Qt::MouseButton button = Qt::LeftButton) {
  const QPointF local = picture->mapFrom(&w, windowPoint);
  QMouseEvent event(type, local, picture->mapToGlobal(local), button,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                    Qt::NoModifier);
  QCoreApplication::sendEvent(picture, &event);
}

// Every control that the command states switch, as the state says: written down here from the
// window's design, not taken from the window's own table. During a split only Minimise is left.
inline void ExpectState(TFrmMP3Editor& w, TCommandState state) {
  const bool noFile = state == TCommandState::NoFile;
  const bool open = state == TCommandState::FileOpen;
  const bool previewing = state == TCommandState::Previewing;
  const bool splitting = state == TCommandState::Splitting;
  const bool checked = w.RzCheckBox1->isChecked();
  const struct {
    const char* Names;
    bool Enabled;
  } groups[] = {
      {"BtnOpenMp3 BtnAbout Label28 RzBmpButton1", !splitting},
      {"RzBmpButton2", true},
      {"BtnSaveMp3 BtnSplit BtnPlayStart BtnPlay2 TrackBarPos BtnSetStart BtnSetEnd", open},
      {"BtnStop", previewing},
      {"ImageStart ImageEnd LabelStart LabelEnd RzMaskEdit1 RzMaskEdit2 RzCheckBox1 BtnOutput",
       open || previewing},
      {"RzEdit1 RzEdit2 RzEdit3 RzEdit5 RzEdit6 RzEdit7 RzComboBox1",
       (open || previewing) && checked},
  };
  for (const auto& group : groups) {
    for (const QString& name : QString::fromLatin1(group.Names).split(QLatin1Char(' '))) {
      auto* widget = w.findChild<QWidget*>(name);
      ASSERT_NE(widget, nullptr) << name.toStdString();
      EXPECT_EQ(widget->isEnabled(), group.Enabled) << name.toStdString();
    }
  }
  EXPECT_EQ(w.ImageFileState1->isHidden(), noFile);
  EXPECT_EQ(w.ImageFileState2->isHidden(), !noFile);
  EXPECT_EQ(w.CommandState(), state);
}

}  // namespace pelcato::test
