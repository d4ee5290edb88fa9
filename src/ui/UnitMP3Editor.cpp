// The main window: its creation and closing, the borderless window, the command states, and
// the language, Help and tag handlers. Its components are built in EditorComponents.cpp, the
// commands in the other Editor*.cpp files.
#include "ui/UnitMP3Editor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegion>
#include <QSlider>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <utility>

#include "edit/TagText.h"
#include "mp3/Id3Tags.h"
#include "mp3/Mpg123Player.h"
#include "settings/Language.h"
#include "settings/qt/QtSettings.h"
#include "ui/Dialogs.h"
#include "ui/QtTranslations.h"
#include "ui/Skin.h"
#include "ui/ufrmShadowFrame.h"
#include "wave/LevelEstimate.h"
#include "wave/WaveTrack.h"

namespace pelcato {

namespace {

// The locale's name as the tag code page lookup reads it; the script tells Serbian and Uzbek
// in Latin letters from the same languages in Cyrillic.
std::string LocaleCodePageName(const QLocale& locale) {
  std::string name = locale.name().toStdString();
  if (locale.script() == QLocale::LatinScript) name += "@latin";
  if (locale.script() == QLocale::CyrillicScript) name += "@cyrillic";
  return name;
}

// A dialog leaves only an event loop it has entered: the rejection waits for it there.
void RejectFromItsLoop(QDialog* dialog) {
  QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
}

// Rejects every dialog that shows while it watches the application's events.
class TDialogsRejected : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* dialog = qobject_cast<QDialog*>(watched); dialog != nullptr && dialog->isWindow()) {
        RejectFromItsLoop(dialog);
      }
    }
    return false;
  }
};

}  // namespace

TFrmMP3Editor::TFrmMP3Editor(TDialogs& dialogs, TEditorOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      FDialogs(dialogs),
      FOptions(std::move(options)) {
  InitSkinResources();
  CreateComponents();
  FormCreate();
}

TFrmMP3Editor::~TFrmMP3Editor() {
  // A window destroyed without a close event (the application ending) still writes its
  // settings and deletes its working copies; the shadow, a window of its own, goes with it.
  FormClose();
}

void TFrmMP3Editor::AutoSizeLabels() {
  AutoSizeCaptions(this);
  FitTabCaptions(RzPageControl1);
}

// ---- Creation and closing -------------------------------------------------------------------

void TFrmMP3Editor::FormCreate() {
  // A folder given by the caller holds everything; the program's own folder does when it
  // holds "Languages/", else the program is installed and uses the user's folders.
  if (FOptions.ProgramFolder.isEmpty()) {
    ResolveFolders(FSettings, QtProgramFolder());
  } else {
    UseProgramFolder(FSettings, FOptions.ProgramFolder.toStdString());
  }
  LoadSettings(FSettings);
  FLocale = FOptions.Locale.value_or(QLocale::system());
  FTagCodePage = TagCodePageForLocale(LocaleCodePageName(FLocale));
  FLanguageHost = std::make_unique<TQtLanguageHost>(this);
  const std::string systemLanguage =
      FOptions.SystemLanguageName ? FOptions.SystemLanguageName() : QtSystemLanguageName();
  StartLanguage(*FLanguageHost, FSettings, FMessages, systemLanguage);
  UseQtTranslations(FSettings.Language);
  AutoSizeLabels();
  ApplyKeyHints();
  SetWindowShape();
  FShadow = std::make_unique<TFormShadow>();
  FShadow->SetForm(this);
  FShadow->SetShadowColor(kShadowTint);
  FMp3 = std::make_unique<TKorvaMP3>(FOptions.MakePlayer ? FOptions.MakePlayer()
                                                         : std::make_unique<TMpg123Player>());
  FTempFiles.clear();
  RzComboBox1->clear();
  for (const char* genre : ID3Genres) RzComboBox1->addItem(QString::fromLatin1(genre));
  RzComboBox1->setCurrentIndex(-1);
  LayoutMarkers(false);
  if (FSettings.UpgradePos == 0) TimerUpgrade->start();
}

void TFrmMP3Editor::FormClose() {
  if (FClosed) return;
  FClosed = true;
  FWave->Clear();  // the decode stops at once
  TimerPos->stop();
  TimerWave->stop();
  TimerUpgrade->stop();
  FMp3.reset();
  FShadow.reset();
  DeleteTempFiles();
  QString title = windowTitle();
  if (title.isEmpty()) title = QString::fromLatin1(ApplicationTitle);
  SaveSettings(FSettings, [this, title](const std::string& message) {
    FDialogs.ShowMessage(this, QString::fromStdString(message), title, TMsgIcon::Error,
                         TMsgButtons::Ok);
  });
  if (FSettings.UpgradePos != 0) LaunchUpgrade();
}

void TFrmMP3Editor::DeleteTempFiles() {
  // A copy that cannot be deleted stays on disk; the folder stays as well.
  for (const QString& path : std::as_const(FTempFiles)) {
    if (QFile::exists(path)) QFile::remove(path);
  }
  FTempFiles.clear();
}

void TFrmMP3Editor::closeEvent(QCloseEvent* event) {
  // The window manager's close (the desktop's, not our Close button's) comes from outside.
  if (event->spontaneous()) EndDialogsForClose();
  if (FRunningCommands > 0) {
    FCloseWaiting = true;
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TFrmMP3Editor::CloseFromOutside() {
  if (FClosed) return;
  EndDialogsForClose();
  close();
}

void TFrmMP3Editor::EndDialogsForClose() {
  if (FClosed) return;
  // Dialogs that open from now on, as the command unwinds or the settings are written, go the
  // same way.
  if (!FEndingDialogs) {
    FEndingDialogs = true;
    qApp->installEventFilter(new TDialogsRejected(this));
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
      RejectFromItsLoop(dialog);
    }
  }
}

TFrmMP3Editor::TRunningCommand::~TRunningCommand() {
  if (--FWindow.FRunningCommands > 0 || !FWindow.FCloseWaiting) return;
  FWindow.FCloseWaiting = false;
  FWindow.close();
}

void TFrmMP3Editor::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  WMShowWindow(true);
}

void TFrmMP3Editor::hideEvent(QHideEvent* event) {
  WMShowWindow(false);
  QWidget::hideEvent(event);
}

void TFrmMP3Editor::WMShowWindow(bool shown) {
  // The shadow shows and hides with the window (also when the desktop hides a minimised one).
  if (FShadow) FShadow->SetShadowVisible(shown);
}

// ---- The borderless window ----------------------------------------------------------------

void TFrmMP3Editor::SetWindowShape() {
  // A rounded rectangle one pixel inside the skin picture's top-left corner, with corners of
  // a 9 x 9 ellipse.
  QRegion region;
  for (const TPixelRect& r : RoundRectShape(FS->x() + 1, FS->y() + 1, FS->x() + FS->width(),
                                            FS->y() + FS->height(), 9, 9)) {
    region += QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  }
  setMask(region & rect());
}

bool TFrmMP3Editor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ImageStart || watched == ImageEnd) {
    const bool start = watched == ImageStart;
    // Only a mouse event may be treated as one: the pictures also see paint and show events.
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        start ? ImageStartMouseDown(mouse) : ImageEndMouseDown(mouse);
        return true;
      }
      case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        start ? ImageStartMouseMove(mouse) : ImageEndMouseMove(mouse);
        return true;
      }
      case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        start ? ImageStartMouseUp(mouse) : ImageEndMouseUp(mouse);
        return true;
      }
      default:
        break;
    }
  }
  if (watched == Label10) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        Label10MouseDown(static_cast<QMouseEvent*>(event));
        return true;
      case QEvent::MouseMove:
        if (FManualMove) {
          move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - FManualMoveOffset);
          return true;
        }
        break;
      case QEvent::MouseButtonRelease:
        FManualMove = false;
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFrmMP3Editor::Label10MouseDown(QMouseEvent* event) {
  FManualMove = false;
  // The desktop moves the window as if its caption were dragged; where no window manager
  // offers that, the window follows the mouse itself.
  if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove()) return;
  FManualMove = true;
  FManualMoveOffset = event->globalPosition().toPoint() - pos();
}

void TFrmMP3Editor::RzBmpButton1Click() {
  close();
}

void TFrmMP3Editor::RzBmpButton2Click() {
  showMinimized();
}

// ---- Command states and markers -----------------------------------------------------------

void TFrmMP3Editor::ApplyCommandState(TCommandState state, bool withIcons) {
  FCommandState = state;
  QWidget* const focus = focusWidget();
  for (const TControlState& control : CommandStateTable) {
    auto* widget = findChild<QWidget*>(QLatin1String(control.Name));
    if (widget == nullptr) continue;
    const bool on = control.In(state);
    switch (control.Rule) {
      case TControlRule::Enabled:
        widget->setEnabled(on);
        break;
      case TControlRule::TagEdit:
        widget->setEnabled(on && RzCheckBox1->isChecked());
        break;
      case TControlRule::VisibleFileIcon:
        if (withIcons) widget->setVisible(on);
        break;
    }
  }
  // Play and Stop take turns: the focus goes from the one turned off to the other, so that
  // Space stops what a click on Play started (not on to a time code's edit).
  if (focus == BtnPlayStart && !BtnPlayStart->isEnabled() && BtnStop->isEnabled()) {
    BtnStop->setFocus();
  } else if (focus == BtnStop && !BtnStop->isEnabled() && BtnPlayStart->isEnabled()) {
    BtnPlayStart->setFocus();
  }
  SyncWaveState();
}

void TFrmMP3Editor::ApplyStateTo(std::initializer_list<const char*> names, TCommandState state) {
  for (const TControlState& control : CommandStateTable) {
    if (std::find_if(names.begin(), names.end(), [&](const char* name) {
          return std::strcmp(name, control.Name) == 0;
        }) == names.end()) {
      continue;
    }
    if (auto* widget = findChild<QWidget*>(QLatin1String(control.Name))) {
      const bool on = control.In(state);
      widget->setEnabled(control.Rule == TControlRule::TagEdit ? on && RzCheckBox1->isChecked()
                                                               : on);
    }
  }
}

void TFrmMP3Editor::LayoutMarkers(bool enabled) {
  FMarkers.Layout(TrackBarPos->x(), TrackBarPos->width());
  ImageStart->move(FStartMarker.CurrentLeft, ImageStart->y());
  ImageEnd->move(FEndMarker.CurrentLeft, ImageEnd->y());
  // The marker controls are usable exactly where a file is open; the pictures show their
  // disabled look by themselves.
  ApplyStateTo({"ImageStart", "ImageEnd", "LabelStart", "LabelEnd", "RzMaskEdit1", "RzMaskEdit2"},
               enabled ? TCommandState::FileOpen : TCommandState::NoFile);
  SyncWaveState();
}

// ---- Language ---------------------------------------------------------------------------

void TFrmMP3Editor::Label28Click() {
  PopupMenuView->popup(Label28->mapToGlobal(QPoint(0, Label28->height())));
}

void TFrmMP3Editor::PM_EnglishClick() {
  auto* item = qobject_cast<QAction*>(sender());
  if (item == nullptr) return;
  if (SwitchLanguage(*FLanguageHost, FSettings, FMessages, item->property("Tag").toInt())) {
    UseQtTranslations(FSettings.Language);
    AutoSizeLabels();
    ApplyKeyHints();
    emit LanguageSwitched();
  }
}

// ---- Help and upgrade ---------------------------------------------------------------------

void TFrmMP3Editor::BtnAboutClick() {
  if (!FOptions.OpenGuide || FOptions.OpenGuide()) return;
  // Without a browser the address is shown to copy: the box's text can be selected.
  FDialogs.ShowMessage(this,
                       Msg(FMessages.Ms_NoBrowser) + QLatin1Char('\n') + FOptions.GuideAddress,
                       Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
}

void TFrmMP3Editor::TimerUpgradeTimer() {
  TimerUpgrade->stop();
  LaunchUpgrade();
}

void TFrmMP3Editor::LaunchUpgrade() {
  if (FOptions.StartUpgrade) {
    FOptions.StartUpgrade(QString::fromStdString(FSettings.ProgramFolder), uint64_t(winId()),
                          FSettings.Language);
  }
}

// ---- Tags ---------------------------------------------------------------------------------

void TFrmMP3Editor::RzCheckBox1Click() {
  ApplyTagEditState();
}

void TFrmMP3Editor::ApplyTagEditState() {
  ApplyStateTo({"RzEdit1", "RzEdit2", "RzEdit3", "RzEdit5", "RzEdit6", "RzEdit7", "RzComboBox1"},
               FCommandState);
}

}  // namespace pelcato
