// The program's main window: a borderless, skinned window of fixed size that owns the
// analysis component and the state the commands share (the open file's analysis, the marker
// positions and the list of temporary copies).
#pragma once

#include <QLocale>
#include <QPoint>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "edit/MarkerTrack.h"
#include "edit/TagText.h"
#include "mp3/KorvaMp3.h"
#include "mp3/MediaPlayer.h"
#include "settings/AppSettings.h"
#include "settings/MessageTable.h"
#include "shadow/ShadowImage.h"
#include "tags/Id3v2PieceTag.h"
#include "ui/CommandState.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QTimer;
class QToolButton;

namespace pelcato {

class TBmpButton;
class TClickLabel;
class TLevelEstimator;
class TWaveTrack;
class TWaveView;
class TDialogs;
class TFormShadow;
class TQtLanguageHost;
class TSkinImage;

// What the window takes from outside; tests replace each part.
struct TEditorOptions {
  // The folder holding Pelcato.ini, Languages/, Tmp/ and upgrade.exe, ending with "/".
  // Empty: the folders ResolveFolders finds for the program file.
  QString ProgramFolder;
  // The preview player handed to the analysis component. Empty: the libmpg123 player.
  std::function<std::unique_ptr<TMediaPlayer>()> MakePlayer;
  // The English name of the system's language, for a language not chosen yet. Empty: the
  // system locale's.
  std::function<std::string()> SystemLanguageName;
  // The locale whose separators the file facts use and whose legacy code page the tag texts
  // are in. Empty: the system's.
  std::optional<QLocale> Locale;
  // Help: opens the online user guide; false when nothing could show it, and the window then
  // shows GuideAddress to copy. Empty: Help does nothing. The program passes the desktop's
  // launchers (see WithDesktopLaunchers in app/Startup.h).
  std::function<bool()> OpenGuide;
  QString GuideAddress;
  // Starts the upgrade program of the program folder for the window (its native handle) in
  // the language given. Empty: no upgrade program is started.
  std::function<void(const QString& programFolder, uint64_t windowHandle, int language)>
      StartUpgrade;
};

class TFrmMP3Editor : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 592;
  static constexpr int kClientHeight = 452;
  static constexpr TShadowColor kShadowTint = 0xA1794A;  // red 74, green 121, blue 161

  // Builds the window's components and runs FormCreate. dialogs must outlive the window.
  TFrmMP3Editor(TDialogs& dialogs, TEditorOptions options = {}, QWidget* parent = nullptr);
  ~TFrmMP3Editor() override;

  // The settings record and the message table of the process.
  TAppSettings& Settings() { return FSettings; }
  const TMessageTable& Messages() const { return FMessages; }
  // Paths of the temporary copies made by the open command, deleted when the window closes.
  QStringList& TempFiles() { return FTempFiles; }
  TKorvaMP3* Mp3() const { return FMp3.get(); }
  TFormShadow* Shadow() const { return FShadow.get(); }
  TCommandState CommandState() const { return FCommandState; }

  // Puts every control of the state table into its setting for state; the file-state icons
  // only when withIcons.
  void ApplyCommandState(TCommandState state, bool withIcons = true);
  // Resets both markers to the ends of the track and enables or disables the marker controls.
  void LayoutMarkers(bool enabled);
  // A marker's picture position -> milliseconds -> its edit; and milliseconds -> picture.
  void MarkerToTime(TMarker which);
  void TimeToMarker(TMarker which, int64_t ms);
  // The open command without its dialog: what the program does for a file named at start.
  void OpenFile(const QString& path);
  // A second start of the program hands over a file: the window comes to the front, and
  // takes the file unless a command runs (false then).
  bool AcceptHandOver();
  // Opens the file taken, as the open command does.
  void OpenHandedOver(const QString& path);
  // What the second start says when the window does not take its file: the caption, and the
  // text that the file's path follows on a line of its own, in the window's language.
  std::pair<QString, QString> BusyNotice() const;
  // Plays from fromMs; a failure shows the player's reason. True when the preview runs.
  bool StartPreview(int64_t fromMs);
  // The waveform of the open file: the estimate at once, then decoded peaks.
  const TWaveTrack& Wave() const { return *FWave; }
  // The session ends or the process is told to end: the dialogs that are up are rejected (and
  // any that a command opens as it unwinds), and the window closes once no command runs, its
  // settings written. A close by the window's own button waits for the user instead.
  void CloseFromOutside();
  // A command is under way (a dialog or message box is up, or a file is being opened or
  // written): a handed-over or dropped file is not opened, and the keys do nothing.
  bool CommandRunning() const;
  // "1 KB" up to 1023 bytes, else whole kilobytes with the locale's thousands separator.
  QString SizeText(int64_t bytes) const;

  int64_t StartMs() const { return FStartMs; }
  int64_t EndMs() const { return FEndMs; }
  const TMarkerPair& Markers() const { return FMarkers; }
  const TTagCodePage& TagCodePage() const { return FTagCodePage; }
  // The tag the tag page describes: all zero unless "Include" is checked.
  TID3v1Tag BuildTagFromEdits() const;
  // The fields of an ID3v2 tag from the tag page, in UTF-8: none unless "Include" is checked;
  // all of them with all, else only those that differ from what the page showed at the open.
  TPieceTagFields Id3v2FieldsFromEdits(bool all) const;

  // Components, named as the language files address them.
  TSkinImage* FS = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  TClickLabel* Label28 = nullptr;
  TBmpButton* RzBmpButton1 = nullptr;
  TBmpButton* RzBmpButton2 = nullptr;
  TBmpButton* BtnOpenMp3 = nullptr;
  TBmpButton* BtnSaveMp3 = nullptr;
  TBmpButton* BtnSplit = nullptr;
  TBmpButton* BtnOutput = nullptr;  // the output options of Save as and Split
  TBmpButton* BtnAbout = nullptr;
  QLabel* LabelStart = nullptr;
  QLineEdit* RzMaskEdit1 = nullptr;
  QPushButton* BtnSetStart = nullptr;
  QLabel* LabelEnd = nullptr;
  QLineEdit* RzMaskEdit2 = nullptr;
  QPushButton* BtnSetEnd = nullptr;
  QPushButton* BtnPlayStart = nullptr;
  QToolButton* BtnPlay2 = nullptr;
  QPushButton* BtnStop = nullptr;
  TSkinImage* ImageStart = nullptr;
  TSkinImage* ImageEnd = nullptr;
  QLabel* LabelPos = nullptr;
  QFrame* RzSeparator1 = nullptr;
  QLabel* LabelLen = nullptr;
  QSlider* TrackBarPos = nullptr;
  QTabWidget* RzPageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  TWaveView* PaintBoxWave = nullptr;  // the waveform of the open file
  QTimer* TimerWave = nullptr;        // moves the position line while a preview plays
  QLabel* Label23 = nullptr;
  QLabel* Label13 = nullptr;
  QLabel* Label14 = nullptr;
  QLabel* Label15 = nullptr;
  QLabel* Label16 = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label24 = nullptr;
  QLabel* Label18 = nullptr;
  QLabel* Label19 = nullptr;
  QLabel* Label20 = nullptr;
  QLabel* Label21 = nullptr;
  QLabel* Label22 = nullptr;
  QCheckBox* RzCheckBox1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QLineEdit* RzEdit1 = nullptr;
  QLineEdit* RzEdit2 = nullptr;
  QLineEdit* RzEdit3 = nullptr;
  QComboBox* RzComboBox1 = nullptr;
  QLineEdit* RzEdit5 = nullptr;
  QLineEdit* RzEdit6 = nullptr;
  QLineEdit* RzEdit7 = nullptr;
  QWidget* PanelState = nullptr;
  TSkinImage* Image1 = nullptr;
  QLabel* Label25 = nullptr;
  QProgressBar* ProgressSplit = nullptr;  // pieces written, while a split runs
  TSkinImage* ImageFileState1 = nullptr;
  TSkinImage* ImageFileState2 = nullptr;
  QLabel* Label12 = nullptr;
  QObject* OpenDialog1 = nullptr;
  QObject* SaveDialog1 = nullptr;
  QTimer* TimerPos = nullptr;
  QTimer* TimerUpgrade = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* PM_Play = nullptr;
  QAction* N1 = nullptr;
  QAction* PM_FromStart = nullptr;
  QAction* PM_FromEnd = nullptr;
  QMenu* PopupMenuView = nullptr;
  QAction* PM_English = nullptr;
  QAction* PM_Spanish = nullptr;
  QAction* PM_German = nullptr;
  QAction* PM_Italian = nullptr;
  QAction* PM_French = nullptr;

 signals:
  // Another language was chosen: the window's texts and messages changed.
  void LanguageSwitched();

 public slots:
  void BtnOpenMp3Click();
  void BtnSaveMp3Click();
  void BtnSplitClick();
  void BtnOutputClick();
  void BtnAboutClick();
  void BtnPlayStartClick();
  void BtnStopClick();
  void PM_PlayClick();
  void TimerPosTimer();
  void TrackBarPosChange();
  void BtnSetStartClick();
  void BtnSetEndClick();
  void RzMaskEdit1Change();
  void RzCheckBox1Click();
  void Label28Click();
  // The click of every item of the language menu, not only English's: the item's Tag is the
  // language it stands for.
  void PM_EnglishClick();
  void TimerUpgradeTimer();
  void RzBmpButton1Click();
  void RzBmpButton2Click();
  void PaintBoxWaveMarkerDragged(TMarker which, int64_t ms, bool release);
  void PaintBoxWavePositionPicked(int64_t ms);
  void TimerWaveTimer();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateComponents();
  void CreateStandardPage();
  void CreateTagPage();
  void CreateWavePage();
  void CreateMenus();
  void CreateKeys();
  // The keys' names behind the hints of their buttons, in whatever language the hints are.
  void ApplyKeyHints();
  // The waveform follows the window: a new file, the markers, the position and the state.
  void ShowWaveform();
  void SyncWaveMarkers();
  void SyncWaveState();
  // The path of an MP3 file among dropped or dragged data; empty when there is none.
  static QString DroppedFile(const QMimeData* data);
  void FormCreate();
  void FormClose();
  void SetWindowShape();
  void WMShowWindow(bool shown);
  void Label10MouseDown(QMouseEvent* event);
  void DeleteTempFiles();
  void LaunchUpgrade();
  void ResetForOpen();
  void ShowOpenedFile();
  void OpenAsCopy();
  QString TempFolder() const;
  void FillStandardPage();
  void FillTagPage();
  // The texts the tag page shows for the open file's ID3v1 tag (empty without one): title,
  // artist, album, comment, year, track; and the genre's item index.
  std::pair<std::array<QString, 6>, int> TagPageAtOpen() const;
  // The tag edits and the genre box, enabled as the state table and "Include" say.
  void ApplyTagEditState();
  void ApplyStateTo(std::initializer_list<const char*> names, TCommandState state);
  void EndPreview();
  void StopPreview();
  // The player's position on the track bar while it plays; its value, or -1 when it does not.
  int64_t ShowPlayPosition();
  // The marker set where the preview is heard, as the brackets do while it plays.
  void MarkHeardPosition(TMarker which);
  void PlayFrom(int mode);
  void WriteMaskEdit(QLineEdit* edit, const QString& text);
  TMarker MarkerOf(QObject* picture) const;
  QWidget* PictureOf(TMarker which) const;
  QLineEdit* EditOf(TMarker which) const;
  void ImageStartMouseDown(QMouseEvent* event);
  void ImageStartMouseMove(QMouseEvent* event);
  void ImageStartMouseUp(QMouseEvent* event);
  void ImageEndMouseDown(QMouseEvent* event);
  void ImageEndMouseMove(QMouseEvent* event);
  void ImageEndMouseUp(QMouseEvent* event);
  void MarkerMouseDown(TMarker which, QMouseEvent* event);
  void MarkerMouseMove(TMarker which, QMouseEvent* event, bool release);
  bool IsOpenFile(const QString& path) const;
  // Gives the save [OUTPUT] Exact; true when the file can be cut exact to the sample.
  bool AskExact();
  // With [OUTPUT] Exact, for pieces that are not exact: the success message's line that says so.
  QString NotExactLine(bool exact) const;
  // Gives the save the pieces' volume as [OUTPUT] asks for it, measuring the pieces from
  // starts[i] to ends[i] (ms) when they are normalised; note gets the lines of the success
  // message that say what was done. False, once the window has said why, when nothing is to
  // be written.
  bool PrepareVolume(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                     QString& note);
  // The line that says granules were held at their gain's limit, when some were.
  QString ClampedNote(bool clamped) const;
  // The Waveform page shows between the markers what the volume does to the sound.
  void SyncWaveVolume();
  void ShowBusy(bool busy);
  // The notice for a dropped file that a command started in the meantime keeps from opening.
  void HandedOverNotice(const QString& path);
  QString Msg(const std::string& text) const { return QString::fromStdString(text); }
  // Labels that take the size of their text, also after a language switch.
  void AutoSizeLabels();

  TDialogs& FDialogs;
  TEditorOptions FOptions;
  TAppSettings FSettings;
  TMessageTable FMessages;
  std::unique_ptr<TQtLanguageHost> FLanguageHost;
  std::unique_ptr<TKorvaMP3> FMp3;
  // The estimate that the open's walk feeds, and the waveform made of it and the decode.
  std::unique_ptr<TLevelEstimator> FEstimator;
  std::unique_ptr<TWaveTrack> FWave;
  std::unique_ptr<TFormShadow> FShadow;
  int64_t FStartMs = 0;
  int64_t FEndMs = 0;
  TMarkerPair FMarkers;
  TMarkerTrack& FStartMarker = FMarkers.Start;
  TMarkerTrack& FEndMarker = FMarkers.End;
  QLocale FLocale;
  TTagCodePage FTagCodePage;
  QStringList FTempFiles;
  // The folder of the file the user opened (not of its working copy): where the first "Save
  // as" of the run starts.
  QString FSourceFolder;
  QStringList FImageList1;
  TCommandState FCommandState = TCommandState::NoFile;
  bool FClosed = false;
  // A command that shows dialogs or lets messages through holds the window open while it
  // runs: a close that arrives meanwhile (a timer, the window manager, the end of the session)
  // is carried out when the outermost command is over, since closing frees the analysis
  // component the command is using.
  class TRunningCommand {
   public:
    explicit TRunningCommand(TFrmMP3Editor& window) : FWindow(window) {
      ++FWindow.FRunningCommands;
    }
    ~TRunningCommand();
    TRunningCommand(const TRunningCommand&) = delete;
    TRunningCommand& operator=(const TRunningCommand&) = delete;

   private:
    TFrmMP3Editor& FWindow;
  };
  int FRunningCommands = 0;
  bool FCloseWaiting = false;
  // A close from outside rejects every dialog shown from then on.
  void EndDialogsForClose();
  bool FEndingDialogs = false;
  // Moving the window by the mouse's motion where the desktop offers no move of its own.
  bool FManualMove = false;
  QPoint FManualMoveOffset;
};

}  // namespace pelcato
