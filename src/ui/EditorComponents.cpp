// The main window's components: their places, properties and texts as the design gives them,
// and the handlers they are wired to. Everything the window does with them is in the other
// files of the window.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <iterator>
#include <tuple>
#include <utility>

#include "settings/Language.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {

namespace {

constexpr char kZeroTimeCode[] = "000:00:00.000";
constexpr char kTimeCodeMask[] = "000:00:00.000;_";

const QString kStyleSheet = QStringLiteral(R"(
QLabel { color: #17304A; }
QPushButton, QToolButton {
  color: #17304A;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #D6E3EF);
  border: 1px solid #6F9BC2; border-radius: 4px; padding: 0px;
}
QPushButton:hover, QToolButton:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #E6EFF7);
  border-color: #3B6A93;
}
QPushButton:pressed, QToolButton:pressed { background: #C3D5E6; }
QPushButton:disabled, QToolButton:disabled {
  color: #9AAAB9; background: #EEF2F6; border-color: #C3D0DC;
}
QToolButton::menu-indicator { subcontrol-origin: padding; subcontrol-position: center; }
QLineEdit {
  color: #17304A; background: #FFFFFF; border: 1px solid #9FB7CD; border-radius: 2px;
  padding: 0px 3px; selection-background-color: #3B6A93;
}
QLineEdit:disabled { color: #A3B1BE; background: #F1F4F7; border-color: #CCD7E1; }
QLineEdit#RzMaskEdit1 { color: #1E8C3A; border-color: #2E9E44; }
QLineEdit#RzMaskEdit1:disabled { color: #94C7A0; border-color: #BCDDC4; }
QLineEdit#RzMaskEdit2 { color: #C0392B; border-color: #D04545; }
QLineEdit#RzMaskEdit2:disabled { color: #DDA39D; border-color: #EAC3BF; }
QComboBox {
  color: #17304A; background: #FFFFFF; border: 1px solid #9FB7CD; border-radius: 2px;
  padding: 0px 3px;
}
QComboBox:disabled { color: #A3B1BE; background: #F1F4F7; border-color: #CCD7E1; }
QCheckBox { color: #17304A; }
QCheckBox:disabled { color: #9AAAB9; }
QTabWidget::pane { border: 1px solid #9FB7CD; background: #FFFFFF; border-radius: 3px; }
QTabBar::tab {
  color: #21415F; background: #E3ECF4; border: 1px solid #9FB7CD; border-right: none;
  padding: 4px 2px; margin-bottom: 1px; border-top-left-radius: 4px;
  border-bottom-left-radius: 4px;
}
QTabBar::tab:selected { color: #17304A; background: #FFFFFF; }
QTabBar::tab:!selected:hover { background: #F2F6FA; }
QWidget#TabSheet1, QWidget#TabSheet2, QWidget#TabSheet3 { background: #FFFFFF; }
)");

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setGeometry(x, y, w, h);
  label->setAlignment(align);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int x, int y, int w, int h, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setGeometry(x, y, w, h);
  if (maxLength > 0) edit->setMaxLength(maxLength);
  return edit;
}

}  // namespace

// ---- Components ---------------------------------------------------------------------------

void TFrmMP3Editor::CreateComponents() {
  setObjectName(QStringLiteral("FrmMP3Editor"));
  setWindowTitle(QString::fromLatin1(ApplicationTitle));
  setWindowIcon(QIcon(QStringLiteral(":/app/pelcato.svg")));
  setFixedSize(kClientWidth, kClientHeight);
  setFont(SkinFont(13));
  setStyleSheet(kStyleSheet);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  FImageList1 = {QStringLiteral(":/markers/start.svg"),
                 QStringLiteral(":/markers/start_disabled.svg"),
                 QStringLiteral(":/markers/end.svg"), QStringLiteral(":/markers/end_disabled.svg"),
                 QStringLiteral(":/icons/play.svg")};

  FS = new TSkinImage(this);
  FS->setObjectName(QStringLiteral("FS"));
  FS->setGeometry(1, 0, 592, 452);
  FS->SetPicture(QStringLiteral(":/skin/background.svg"));
  FS->setAttribute(Qt::WA_TransparentForMouseEvents);

  Label10 = MakeLabel(this, "Label10", QString(), 0, 0, 592, 105);
  Label10->installEventFilter(this);

  const QFont titleFont = SkinFont(11, true);
  Label11 = MakeLabel(this, "Label11", QString::fromLatin1(VersionCaption), 12, 6, 300, 14);
  Label11->setFont(titleFont);
  Label11->setStyleSheet(QStringLiteral("color: #FFFFFF;"));
  Label11->setProperty("AutoSize", true);

  Label28 = new TClickLabel(QStringLiteral(">> Language"), this);
  Label28->setObjectName(QStringLiteral("Label28"));
  Label28->setGeometry(429, 8, 80, 14);
  Label28->setFont(titleFont);
  Label28->setStyleSheet(QStringLiteral("color: #FFFFFF;"));
  Label28->setCursor(Qt::PointingHandCursor);
  Label28->setProperty("AutoSize", true);
  connect(Label28, &TClickLabel::clicked, this, &TFrmMP3Editor::Label28Click);

  RzBmpButton2 = new TBmpButton(QStringLiteral(":/buttons/minimize"), this);
  RzBmpButton2->setObjectName(QStringLiteral("RzBmpButton2"));
  RzBmpButton2->setGeometry(513, 1, 27, 20);
  RzBmpButton2->setToolTip(QStringLiteral("Minimize"));
  connect(RzBmpButton2, &QAbstractButton::clicked, this, &TFrmMP3Editor::RzBmpButton2Click);

  RzBmpButton1 = new TBmpButton(QStringLiteral(":/buttons/close"), this);
  RzBmpButton1->setObjectName(QStringLiteral("RzBmpButton1"));
  RzBmpButton1->setGeometry(540, 1, 40, 20);
  RzBmpButton1->setToolTip(QStringLiteral("Close"));
  connect(RzBmpButton1, &QAbstractButton::clicked, this, &TFrmMP3Editor::RzBmpButton1Click);

  const struct {
    TBmpButton** Button;
    const char* Name;
    const char* Picture;
    const char* Caption;
    int Left;
    void (TFrmMP3Editor::*Click)();
  } commands[] = {
      {&BtnOpenMp3, "BtnOpenMp3", ":/buttons/open", "Open", 171, &TFrmMP3Editor::BtnOpenMp3Click},
      {&BtnSaveMp3, "BtnSaveMp3", ":/buttons/save", "Save as", 251,
       &TFrmMP3Editor::BtnSaveMp3Click},
      {&BtnSplit, "BtnSplit", ":/buttons/split", "Split", 329, &TFrmMP3Editor::BtnSplitClick},
      {&BtnOutput, "BtnOutput", ":/buttons/output", "Output", 408, &TFrmMP3Editor::BtnOutputClick},
      {&BtnAbout, "BtnAbout", ":/buttons/help", "Help", 515, &TFrmMP3Editor::BtnAboutClick},
  };
  for (const auto& command : commands) {
    auto* button = new TBmpButton(QLatin1String(command.Picture), this);
    button->setObjectName(QLatin1String(command.Name));
    button->setText(QLatin1String(command.Caption));
    button->setGeometry(command.Left, 34, 64, 64);
    connect(button, &QAbstractButton::clicked, this, command.Click);
    *command.Button = button;
  }
  BtnOutput->setToolTip(QStringLiteral("How Save as and Split write their files"));

  // Start and end marker controls: a caption, the masked edit and the button that takes the
  // current position, one row each. The caption labels end where their edits begin, whatever
  // their text.
  const QIcon markerIcon(QStringLiteral(":/icons/set_marker.svg"));
  const auto markerRow = [&](const char* captionName, const char* caption, int captionLeft,
                             const char* editName, const char* buttonName, const char* hint,
                             int top, void (TFrmMP3Editor::*click)()) {
    QLabel* label = MakeLabel(this, captionName, QLatin1String(caption), captionLeft, top + 4, 0, 0,
                              Qt::AlignRight | Qt::AlignVCenter);
    label->adjustSize();
    label->setProperty("AutoSize", true);
    QLineEdit* edit = MakeEdit(this, editName, 240, top, 96, 24, 0);
    label->setBuddy(edit);
    auto* button = new QPushButton(this);
    button->setObjectName(QLatin1String(buttonName));
    button->setGeometry(337, top + 1, 25, 23);
    button->setToolTip(QLatin1String(hint));
    connect(button, &QPushButton::clicked, this, click);
    edit->setInputMask(QLatin1String(kTimeCodeMask));
    edit->setText(QLatin1String(kZeroTimeCode));
    edit->setProperty("Tag", 0);  // 1 while the program writes the text
    connect(edit, &QLineEdit::textChanged, this, &TFrmMP3Editor::RzMaskEdit1Change);
    button->setIcon(markerIcon);
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::NoFocus);
    return std::tuple{label, edit, button};
  };
  std::tie(LabelStart, RzMaskEdit1, BtnSetStart) =
      markerRow("LabelStart", "Start tag", 185, "RzMaskEdit1", "BtnSetStart",
                "Set current postion as start", 113, &TFrmMP3Editor::BtnSetStartClick);
  std::tie(LabelEnd, RzMaskEdit2, BtnSetEnd) =
      markerRow("LabelEnd", "End tag", 192, "RzMaskEdit2", "BtnSetEnd",
                "Set current postion as end", 139, &TFrmMP3Editor::BtnSetEndClick);

  // Preview.
  BtnPlayStart = new QPushButton(QStringLiteral("&Play"), this);
  BtnPlayStart->setObjectName(QStringLiteral("BtnPlayStart"));
  BtnPlayStart->setGeometry(368, 114, 88, 48);
  BtnPlayStart->setIcon(QIcon(QStringLiteral(":/icons/play.svg")));
  connect(BtnPlayStart, &QPushButton::clicked, this, &TFrmMP3Editor::BtnPlayStartClick);

  BtnPlay2 = new QToolButton(this);
  BtnPlay2->setObjectName(QStringLiteral("BtnPlay2"));
  BtnPlay2->setGeometry(455, 114, 25, 48);
  BtnPlay2->setPopupMode(QToolButton::InstantPopup);

  BtnStop = new QPushButton(QStringLiteral("&Stop"), this);
  BtnStop->setObjectName(QStringLiteral("BtnStop"));
  BtnStop->setGeometry(484, 114, 88, 48);
  BtnStop->setIcon(QIcon(QStringLiteral(":/icons/stop.svg")));
  connect(BtnStop, &QPushButton::clicked, this, &TFrmMP3Editor::BtnStopClick);

  // Position and length, the track bar and the marker pictures above it.
  LabelPos = MakeLabel(this, "LabelPos", QLatin1String(kZeroTimeCode), 41, 179, 84, 16,
                       Qt::AlignRight | Qt::AlignVCenter);
  RzSeparator1 = new QFrame(this);
  RzSeparator1->setObjectName(QStringLiteral("RzSeparator1"));
  RzSeparator1->setGeometry(23, 198, 102, 1);
  RzSeparator1->setStyleSheet(QStringLiteral("background: #9FB7CD;"));
  LabelLen = MakeLabel(this, "LabelLen", QLatin1String(kZeroTimeCode), 41, 200, 84, 16,
                       Qt::AlignRight | Qt::AlignVCenter);

  TrackBarPos = new QSlider(Qt::Horizontal, this);
  TrackBarPos->setObjectName(QStringLiteral("TrackBarPos"));
  TrackBarPos->setGeometry(128, 189, 449, 20);
  auto* trackStyle = new TTrackBarStyle;
  trackStyle->setParent(TrackBarPos);
  TrackBarPos->setStyle(trackStyle);
  TrackBarPos->setTickPosition(QSlider::NoTicks);
  TrackBarPos->setRange(0, 100);
  TrackBarPos->setValue(0);
  connect(TrackBarPos, &QSlider::valueChanged, this, &TFrmMP3Editor::TrackBarPosChange);

  ImageStart = new TSkinImage(this);
  ImageStart->setObjectName(QStringLiteral("ImageStart"));
  ImageStart->setGeometry(129, 173, 16, 16);
  ImageStart->SetPicture(FImageList1[0], FImageList1[1]);
  ImageStart->setToolTip(QStringLiteral("Drag to set start tag"));
  ImageEnd = new TSkinImage(this);
  ImageEnd->setObjectName(QStringLiteral("ImageEnd"));
  ImageEnd->setGeometry(560, 173, 16, 16);
  ImageEnd->SetPicture(FImageList1[2], FImageList1[3]);
  ImageEnd->setToolTip(QStringLiteral("Drag to set end tag"));
  for (TSkinImage* marker : {ImageStart, ImageEnd}) {
    marker->setCursor(Qt::PointingHandCursor);
    marker->installEventFilter(this);
  }

  // The two information pages, tabs on the left.
  RzPageControl1 = new TPageControl(this);
  RzPageControl1->setObjectName(QStringLiteral("RzPageControl1"));
  RzPageControl1->setGeometry(21, 225, 553, 184);
  RzPageControl1->setTabPosition(QTabWidget::West);
  RzPageControl1->setDocumentMode(false);
  RzPageControl1->setFocusPolicy(Qt::NoFocus);
  // Turned text reads best in the font's own width.
  QFont tabFont = RzPageControl1->font();
  tabFont.setStretch(QFont::Unstretched);
  RzPageControl1->tabBar()->setFont(tabFont);
  RzPageControl1->setUsesScrollButtons(false);
  CreateStandardPage();
  CreateTagPage();
  CreateWavePage();
  RzPageControl1->setCurrentWidget(TabSheet2);

  // The status panel shown while files are opened or written.
  PanelState = new QWidget(this);
  PanelState->setObjectName(QStringLiteral("PanelState"));
  PanelState->setGeometry(201, 201, 190, 50);
  Image1 = new TSkinImage(PanelState);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, 190, 50);
  Image1->SetPicture(QStringLiteral(":/panel/status.svg"));
  Label25 = MakeLabel(PanelState, "Label25", QStringLiteral("Opening..."), 50, 0, 132, 50);
  Label25->setStyleSheet(QStringLiteral("color: #FFFFFF;"));
  ProgressSplit = new QProgressBar(PanelState);
  ProgressSplit->setObjectName(QStringLiteral("ProgressSplit"));
  ProgressSplit->setGeometry(50, 40, 130, 4);
  ProgressSplit->setTextVisible(false);
  ProgressSplit->setStyleSheet(
      QStringLiteral("QProgressBar { background: #5B7FA3; border: none; }"
                     "QProgressBar::chunk { background: #FFFFFF; }"));
  ProgressSplit->hide();
  Label25->setProperty("AutoSize", true);
  PanelState->hide();

  // The open file at the bottom.
  ImageFileState1 = new TSkinImage(this);
  ImageFileState1->setObjectName(QStringLiteral("ImageFileState1"));
  ImageFileState1->setGeometry(10, 430, 16, 16);
  ImageFileState1->SetPicture(QStringLiteral(":/icons/file_loaded.svg"));
  ImageFileState2 = new TSkinImage(this);
  ImageFileState2->setObjectName(QStringLiteral("ImageFileState2"));
  ImageFileState2->setGeometry(10, 430, 16, 16);
  ImageFileState2->SetPicture(QStringLiteral(":/icons/file_none.svg"));
  Label12 = MakeLabel(this, "Label12", QString(), 30, 431, 552, 16);
  Label12->setFont(SkinFont(11));
  Label12->setStyleSheet(QStringLiteral("color: #FFFFFF;"));

  // Components without a window of their own: the file dialogs keep what a language file may
  // change of them until they are shown.
  OpenDialog1 = new QObject(this);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setProperty("Title", QStringLiteral("Open MP3 file"));
  OpenDialog1->setProperty("Filter", QStringLiteral("MP3(*.mp3)|*.mp3"));
  SaveDialog1 = new QObject(this);
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  SaveDialog1->setProperty("Title", QStringLiteral("Save Mp3 file"));
  SaveDialog1->setProperty("Filter", QStringLiteral("MP3(*.mp3)|*.mp3"));

  TimerPos = new QTimer(this);
  TimerPos->setObjectName(QStringLiteral("TimerPos"));
  TimerPos->setInterval(1000);
  connect(TimerPos, &QTimer::timeout, this, &TFrmMP3Editor::TimerPosTimer);
  TimerUpgrade = new QTimer(this);
  TimerUpgrade->setObjectName(QStringLiteral("TimerUpgrade"));
  TimerUpgrade->setInterval(500);
  TimerUpgrade->setSingleShot(true);
  connect(TimerUpgrade, &QTimer::timeout, this, &TFrmMP3Editor::TimerUpgradeTimer);

  CreateMenus();
  CreateKeys();
  setAcceptDrops(true);
  ApplyCommandState(TCommandState::NoFile);
}

void TFrmMP3Editor::CreateStandardPage() {
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  RzPageControl1->addTab(TabSheet2, QStringLiteral("Standard"));
  const struct {
    QLabel** Caption;
    const char* CaptionName;
    const char* Text;
    QLabel** Value;
    const char* ValueName;
  } rows[] = {
      {&Label23, "Label23", "File size:", &Label24, "Label24"},
      {&Label13, "Label13", "Encoding:", &Label18, "Label18"},
      {&Label14, "Label14", "Channel:", &Label19, "Label19"},
      {&Label15, "Label15", "SampleRate:", &Label20, "Label20"},
      {&Label16, "Label16", "Bitrate:", &Label21, "Label21"},
      {&Label17, "Label17", "Length:", &Label22, "Label22"},
  };
  int top = 14;
  for (const auto& row : rows) {
    *row.Caption = MakeLabel(TabSheet2, row.CaptionName, QLatin1String(row.Text), 8, top, 112, 20,
                             Qt::AlignRight | Qt::AlignVCenter);
    *row.Value = MakeLabel(TabSheet2, row.ValueName, QString(), 130, top, 380, 20);
    (*row.Caption)->setProperty("AutoSize", true);
    (*row.Caption)->setBuddy(*row.Value);
    top += 26;
  }
}

void TFrmMP3Editor::CreateTagPage() {
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  RzPageControl1->addTab(TabSheet1, QStringLiteral("ID3Tags V1"));
  RzCheckBox1 = new QCheckBox(QStringLiteral("Include"), TabSheet1);
  RzCheckBox1->setObjectName(QStringLiteral("RzCheckBox1"));
  RzCheckBox1->setGeometry(86, 8, 200, 20);
  connect(RzCheckBox1, &QCheckBox::toggled, this, &TFrmMP3Editor::RzCheckBox1Click);

  const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
  Label3 = MakeLabel(TabSheet1, "Label3", QStringLiteral("Title:"), 4, 36, 76, 22, right);
  RzEdit1 = MakeEdit(TabSheet1, "RzEdit1", 86, 36, 218, 22, 30);
  Label4 = MakeLabel(TabSheet1, "Label4", QStringLiteral("Artist:"), 4, 66, 76, 22, right);
  RzEdit2 = MakeEdit(TabSheet1, "RzEdit2", 86, 66, 218, 22, 30);
  Label5 = MakeLabel(TabSheet1, "Label5", QStringLiteral("Album:"), 4, 96, 76, 22, right);
  RzEdit3 = MakeEdit(TabSheet1, "RzEdit3", 86, 96, 218, 22, 0);
  Label7 = MakeLabel(TabSheet1, "Label7", QStringLiteral("Comment:"), 4, 126, 76, 22, right);
  RzEdit7 = MakeEdit(TabSheet1, "RzEdit7", 86, 126, 218, 22, 30);

  Label9 = MakeLabel(TabSheet1, "Label9", QStringLiteral("Genre:"), 310, 36, 86, 22, right);
  RzComboBox1 = new QComboBox(TabSheet1);
  RzComboBox1->setObjectName(QStringLiteral("RzComboBox1"));
  RzComboBox1->setGeometry(402, 36, 106, 22);
  RzComboBox1->setEditable(false);
  RzComboBox1->setMaxVisibleItems(16);
  Label8 = MakeLabel(TabSheet1, "Label8", QStringLiteral("TrackNumber:"), 310, 66, 86, 22, right);
  RzEdit5 = MakeEdit(TabSheet1, "RzEdit5", 402, 66, 46, 22, 3);
  Label6 = MakeLabel(TabSheet1, "Label6", QStringLiteral("Year:"), 310, 96, 86, 22, right);
  RzEdit6 = MakeEdit(TabSheet1, "RzEdit6", 402, 96, 56, 22, 4);
  // The captions take the width of their translated text and grow to the left.
  const std::pair<QLabel*, QWidget*> captions[] = {
      {Label3, RzEdit1},     {Label4, RzEdit2}, {Label5, RzEdit3}, {Label7, RzEdit7},
      {Label9, RzComboBox1}, {Label8, RzEdit5}, {Label6, RzEdit6}};
  for (const auto& [label, edit] : captions) {
    label->setProperty("AutoSize", true);
    label->setBuddy(edit);
  }
}

void TFrmMP3Editor::CreateMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  const struct {
    QAction** Item;
    const char* Name;
    const char* Caption;
    int Picture;
  } playItems[] = {
      {&PM_Play, "PM_Play", "从当前位置播放", 4},
      {&PM_FromStart, "PM_FromStart", "从①开始播放", 0},
      {&PM_FromEnd, "PM_FromEnd", "从②开始播放", 2},
  };
  int tag = 0;
  for (const auto& item : playItems) {
    auto* action =
        new QAction(QIcon(FImageList1[item.Picture]), QString::fromUtf8(item.Caption), PopupMenu1);
    action->setObjectName(QLatin1String(item.Name));
    action->setProperty("Tag", tag++);
    connect(action, &QAction::triggered, this, &TFrmMP3Editor::PM_PlayClick);
    PopupMenu1->addAction(action);
    *item.Item = action;
    if (item.Item == &PM_Play) {
      N1 = PopupMenu1->addSeparator();
      N1->setObjectName(QStringLiteral("N1"));
    }
  }
  BtnPlay2->setMenu(PopupMenu1);

  PopupMenuView = new QMenu(this);
  PopupMenuView->setObjectName(QStringLiteral("PopupMenuView"));
  auto* group = new QActionGroup(PopupMenuView);
  group->setExclusive(true);
  // In the order of the language codes, which are their tags.
  const struct {
    QAction** Item;
    const char* Caption;
  } languageItems[] = {{&PM_English, "English"},
                       {&PM_Spanish, "Spanish"},
                       {&PM_German, "German"},
                       {&PM_Italian, "Italian"},
                       {&PM_French, "French"}};
  static_assert(std::size(languageItems) == std::size(LanguageItemNames));
  tag = 0;
  for (const auto& item : languageItems) {
    auto* action = new QAction(QLatin1String(item.Caption), PopupMenuView);
    action->setObjectName(QLatin1String(LanguageItemNames[tag]));
    action->setProperty("Tag", tag++);
    action->setCheckable(true);
    group->addAction(action);
    connect(action, &QAction::triggered, this, &TFrmMP3Editor::PM_EnglishClick);
    PopupMenuView->addAction(action);
    *item.Item = action;
  }
}

}  // namespace pelcato
