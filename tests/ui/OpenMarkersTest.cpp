// The open command, the file facts and the tag page, the markers and the preview controls of
// the main window, on real MP3 files with a scripted player.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>

#include "EditorTestSupport.h"
#include "UiTestSupport.h"
#include "edit/TagText.h"
#include "edit/TimeCode.h"
#include "mp3/Mpg123Player.h"
#include "sound/NullAudioOutput.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {
namespace {

using test::Data;
using test::ExpectState;
using test::Mouse;
using test::TEditor;

QString FileBytesWithTag(const QString& source, const QByteArray& title, const QString& dir) {
  QFile in(source);
  EXPECT_TRUE(in.open(QIODevice::ReadOnly));
  QByteArray bytes = in.readAll();
  QByteArray tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, title.size(), title);
  tag[127] = char(255);
  const QString path = dir + QStringLiteral("tagged.mp3");
  QFile out(path);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(bytes + tag);
  return path;
}

// ---- Open ---------------------------------------------------------------------------------

TEST(OpenCommand, ValidFileFillsBothPagesAndEnablesTheFileOpenSet) {
  TEditor w;
  w.Open(Data("id3v11.mp3"));
  EXPECT_EQ(w.Dialogs.DialogTitles, QStringList{QStringLiteral("Open MP3 file")});
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_EQ(w->Label12->text(), Data("id3v11.mp3"));
  EXPECT_EQ(w->Label24->text(), "3 KB");
  EXPECT_EQ(w->Label18->text(), "MPEG 2.5 Layer 3");
  EXPECT_EQ(w->Label19->text(), "Mono");
  EXPECT_EQ(w->Label20->text(), "8000 Hz");
  EXPECT_EQ(w->Label21->text(), "8 Kbps");
  EXPECT_EQ(w->Label22->text(), "000:00:02.500");
  EXPECT_EQ(w->LabelLen->text(), "000:00:02.500");
  EXPECT_EQ(w->TrackBarPos->maximum(), 2500);
  EXPECT_TRUE(w->RzCheckBox1->isChecked());
  EXPECT_EQ(w->RzEdit1->text(), "Track Seven");
  EXPECT_EQ(w->RzEdit5->text(), "7");
  EXPECT_EQ(w->RzComboBox1->currentIndex(), 8);
  EXPECT_EQ(w->RzMaskEdit2->text(), "000:00:02.500");
  EXPECT_EQ(w->StartMs(), 0);
  EXPECT_EQ(w->EndMs(), 2500);
  EXPECT_TRUE(w->PanelState->isHidden());
  EXPECT_TRUE(w.Dialogs.Messages.empty());

  // Unchecking "Include" disables the tag edits; a file without a tag leaves them empty.
  w->RzCheckBox1->click();
  EXPECT_FALSE(w->RzEdit1->isEnabled());
  w.Open(Data("cbr128.mp3"));
  EXPECT_TRUE(w->RzCheckBox1->isEnabled());
  EXPECT_FALSE(w->RzCheckBox1->isChecked());
  EXPECT_TRUE(w->RzEdit1->text().isEmpty());
  EXPECT_EQ(w->RzComboBox1->currentIndex(), -1);
  w->RzCheckBox1->click();
  EXPECT_TRUE(w->RzEdit1->isEnabled());
  EXPECT_TRUE(w->RzComboBox1->isEnabled());
}

TEST(OpenCommand, CancelNotAnMp3AndAnUnreadableFileLeaveWhatTheyShould) {
  TEditor w;
  w.Open(Data("cbr128.mp3"));
  w->RzMaskEdit1->setText(QStringLiteral("000:00:01.000"));
  w.Dialogs.Paths.push_back(QString());  // cancelled
  w->BtnOpenMp3Click();
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_EQ(w->StartMs(), 1000);

  // Not an MP3: the message, the no-file state, and the previous path.
  const QString junk = w.Folder.File(QStringLiteral("junk.mp3"));
  QFile file(junk);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(4096, 'x'));
  file.close();
  w.Open(junk);
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, junk + "\r\nis not a MP3 file");
  EXPECT_EQ(w.Dialogs.Messages[0].Caption, "Information");
  EXPECT_EQ(w.Dialogs.Messages[0].Icon, TMsgIcon::Information);
  ExpectState(*w.Window, TCommandState::NoFile);
  EXPECT_EQ(w->Label12->text(), Data("cbr128.mp3"));
  EXPECT_EQ(w->RzMaskEdit1->text(), "000:00:00.000");

  // A file that cannot be read: its error, the reset state, the file icons as they were.
  w.Open(Data("cbr128.mp3"));
  w.Open(w.Folder.File(QStringLiteral("gone.mp3")));
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[1].Icon, TMsgIcon::Error);
  EXPECT_FALSE(w.Dialogs.Messages[1].Text.isEmpty());
  EXPECT_FALSE(w->BtnSaveMp3->isEnabled());
  EXPECT_FALSE(w->TrackBarPos->isEnabled());
  EXPECT_FALSE(w->ImageFileState1->isHidden());
  EXPECT_EQ(w->Label12->text(), Data("cbr128.mp3"));
  EXPECT_TRUE(w->PanelState->isHidden());
}

// The window measuring with libmpg123, as the desktop program does.
void UseDecoder(TEditor& w, std::function<std::unique_ptr<TMediaPlayer>()> make) {
  TEditorOptions options;
  options.ProgramFolder = w.Folder.Path();
  options.SystemLanguageName = [] { return std::string("English"); };
  options.Locale = QLocale(QLocale::English, QLocale::UnitedStates);
  options.MakePlayer = std::move(make);
  w.Window = std::make_unique<TFrmMP3Editor>(w.Dialogs, options);
}

void UseDecoder(TEditor& w) {
  UseDecoder(w, [] { return std::make_unique<TMpg123Player>(); });
}

QStringList Copies(const TEditor& w) {
  return QDir(w.Folder.File("Tmp")).entryList(QDir::Files);
}

// libmpg123 finds no audio in a file whose broken ID3v2 tag holds a large picture; the copy
// without the picture frame plays.
TEST(OpenCommand, RefusedFileWithAPictureIsOfferedAsACopy) {
  TKorvaMP3 audio(std::make_unique<TMpg123Player>());
  audio.AnalyzeFile(Data("mono.mp3").toStdString());
  for (const bool yes : {true, false}) {
    TEditor w;
    UseDecoder(w);
    w.Dialogs.Answers.push_back(yes ? TMsgAnswer::Yes : TMsgAnswer::No);
    w.Open(Data("id3v2-apic-bad-size.mp3"));
    ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(w.Dialogs.Messages[0].Buttons, TMsgButtons::YesNo);
    EXPECT_TRUE(w.Dialogs.Messages[0].Text.startsWith("The file is not playable: "))
        << w.Dialogs.Messages[0].Text.toStdString();
    ExpectState(*w.Window, TCommandState::FileOpen);
    if (!yes) {
      EXPECT_EQ(w->Label12->text(), Data("id3v2-apic-bad-size.mp3"));
      EXPECT_TRUE(Copies(w).isEmpty());
      continue;
    }
    ASSERT_EQ(Copies(w).size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d{15}\\.mp3$").match(Copies(w)[0]).hasMatch())
        << Copies(w)[0].toStdString();
    EXPECT_EQ(w->Label12->text(), w.Folder.File("Tmp/") + Copies(w)[0]);
    EXPECT_EQ(w->TempFiles(), QStringList{w->Label12->text()});
    // The player's length of the audio: the copy plays.
    EXPECT_EQ(w->LabelLen->text().toStdString(), FormatTimeCode(audio.Info.Duration));
    w->close();
    EXPECT_TRUE(Copies(w).isEmpty());
  }

  // No offer for a picture in a file the player plays, for a refused file without a picture,
  // nor for a refusal that is not about what the file holds, whatever its text says.
  TEditor w;
  UseDecoder(w);
  w.Open(Data("id3v2-apic.mp3"));
  QFile mono(Data("mono.mp3"));
  ASSERT_TRUE(mono.open(QIODevice::ReadOnly));
  const QByteArray frame = QByteArray("TIT2\0\0\0\6\0\0\0Title", 16);
  QFile refused(w.Folder.File("zeros.mp3"));
  ASSERT_TRUE(refused.open(QIODevice::WriteOnly));
  refused.write(QByteArray("ID3\3\0\0\0\0\0\x10", 10) + frame + QByteArray(70000, '\0') +
                mono.readAll());
  refused.close();
  w.Open(refused.fileName());
  EXPECT_TRUE(w.Dialogs.Messages.empty()) << w.Dialogs.Messages.size();
  ExpectState(*w.Window, TCommandState::FileOpen);
  TEditor scripted;
  scripted.Player->OpenError = "MCI error 277: the device refused the file";
  scripted.Open(Data("id3v2-apic-bad-size.mp3"));
  EXPECT_TRUE(scripted.Dialogs.Messages.empty());
  EXPECT_TRUE(Copies(w).isEmpty());
  EXPECT_TRUE(Copies(scripted).isEmpty());
}

// A player that fails as the copy is measured, as a disk that goes away would.
class TFailsOnTheCopy : public TMpg123Player {
 public:
  void SetLengthOnly(bool lengthOnly) override {
    // Each file opened is measured once: the second is the copy.
    if (lengthOnly && ++FMeasures == 2) throw std::runtime_error("The disk went away");
    TMpg123Player::SetLengthOnly(lengthOnly);
  }

 private:
  int FMeasures = 0;
};

TEST(OpenCommand, TheCopyGoesAtCloseAlsoWhenItsAnalysisFails) {
  TEditor w;
  UseDecoder(w, [] { return std::make_unique<TFailsOnTheCopy>(); });
  w.Dialogs.Answers.push_back(TMsgAnswer::Yes);
  w.Open(Data("id3v2-apic-bad-size.mp3"));
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[1].Text, "The disk went away");
  ASSERT_EQ(Copies(w).size(), 1);
  EXPECT_EQ(w->TempFiles(), QStringList{w.Folder.File("Tmp/") + Copies(w)[0]});
  w->close();
  EXPECT_TRUE(Copies(w).isEmpty());
}

// ---- Facts --------------------------------------------------------------------------------

TEST(FileFacts, SizesSeparatorsAndCodePagesFollowTheLocale) {
  TEditor english;
  EXPECT_EQ(english->SizeText(0), "1 KB");
  EXPECT_EQ(english->SizeText(1023), "1 KB");
  EXPECT_EQ(english->SizeText(1024), "1 KB");
  EXPECT_EQ(english->SizeText(1536), "2 KB");
  EXPECT_EQ(english->SizeText(5000000), "4,883 KB");

  TEditor german(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(german->SizeText(5000000), "4.883 KB");
  german.Open(Data("mpeg25.mp3"));
  EXPECT_EQ(german->Label18->text(), "MPEG 2,5 Layer 3");

  // Tags in Cyrillic and Greek letters read through their own code pages, and the edits'
  // texts go back to the same bytes.
  const struct {
    QLocale Locale;
    QByteArray Bytes;
    QString Text;
  } tags[] = {
      {QLocale(QLocale::Russian, QLocale::Russia), "\xCF\xF0\xE8\xE2\xE5\xF2",
       QString::fromUtf8("Привет")},
      {QLocale(QLocale::Greek, QLocale::Greece), "\xC3\xE5\xE9\xDC", QString::fromUtf8("Γειά")},
  };
  for (const auto& t : tags) {
    TEditor w(t.Locale);
    w.Open(FileBytesWithTag(Data("cbr128.mp3"), t.Bytes, w.Folder.Path()));
    EXPECT_EQ(w->RzEdit1->text(), t.Text);
    EXPECT_EQ(Utf8ToTagText(w->RzEdit1->text().toStdString(), w->TagCodePage()),
              t.Bytes.toStdString());
  }
}

TEST(FileFacts, AFileWithoutLengthDividesByNothing) {
  TEditor w(QLocale::c(), 0);
  w.Open(Data("cbr128.mp3"));
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_EQ(w->LabelLen->text(), "000:00:00.000");
  EXPECT_EQ(w->EndMs(), 0);
  EXPECT_EQ(w->RzMaskEdit2->text(), "000:00:00.000");
  w->RzMaskEdit1->setText(QStringLiteral("000:00:05.000"));
  EXPECT_EQ(w->StartMs(), 0);
  w->BtnPlayStartClick();  // nothing to play from the end
  EXPECT_EQ(w.Player->Plays, 0);
}

// ---- Markers ------------------------------------------------------------------------------

TEST(Markers, DraggingHoldsThePicturesApartAndReachesBothEnds) {
  TEditor w;
  // Without a file nothing moves.
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonPress, {137, 180});
  Mouse(*w.Window, w->ImageStart, QEvent::MouseMove, {300, 180});
  EXPECT_EQ(w->ImageStart->x(), 129);

  w.Open(Data("cbr128.mp3"));
  const int64_t length = w->TrackBarPos->maximum();
  // The end picture dragged far left stops 6 pixels right of the start picture.
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonPress, {568, 180});
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseMove, {-500, 180});
  EXPECT_EQ(w->ImageEnd->x(), 135);
  EXPECT_EQ(w->EndMs(), 0);
  EXPECT_EQ(w->RzMaskEdit2->text(), "000:00:00.000");
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonRelease, {-500, 180});
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseMove, {500, 180});  // released: stays
  EXPECT_EQ(w->ImageEnd->x(), 135);

  // The end marker back at the far right gives the full length.
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonPress, {143, 180});
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonRelease, {2000, 180});
  EXPECT_EQ(w->ImageEnd->x(), 560);
  EXPECT_EQ(w->EndMs(), length);

  // The start picture stops 7 pixels left of the end picture, and its time never passes the
  // end marker's.
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.000"));
  const int endLeft = w->ImageEnd->x();
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonPress, {137, 180});
  Mouse(*w.Window, w->ImageStart, QEvent::MouseMove, {600, 180});
  EXPECT_EQ(w->ImageStart->x(), endLeft - 7);
  EXPECT_LE(w->StartMs(), w->EndMs());
  EXPECT_EQ(w->RzMaskEdit1->text(), QString::fromStdString(FormatTimeCode(w->StartMs())));
  // Fully left again: 0.
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonRelease, {-600, 180});
  EXPECT_EQ(w->ImageStart->x(), 129);
  EXPECT_EQ(w->StartMs(), 0);
  EXPECT_EQ(w->RzMaskEdit1->text(), "000:00:00.000");
}

TEST(Markers, TypedTimesSnapToTheirBoundsAndKeepTheCaret) {
  TEditor w;
  w.Open(Data("cbr128.mp3"));  // 2.5 s
  QLineEdit* start = w->RzMaskEdit1;
  QLineEdit* end = w->RzMaskEdit2;
  end->setText(QStringLiteral("000:00:02.000"));
  EXPECT_EQ(w->EndMs(), 2000);
  EXPECT_EQ(w->ImageEnd->x(), 135 + 340);  // 425 pixels * 2000 / 2500

  // A start typed beyond the end snaps to the end; the caret stays where the typing was.
  start->setFocus();
  start->setCursorPosition(8);
  QTest::keyClicks(start, QStringLiteral("9"));
  EXPECT_EQ(start->text(), "000:00:02.000");
  EXPECT_EQ(start->cursorPosition(), 10);  // behind the typed digit and the fixed point
  EXPECT_EQ(w->StartMs(), 2000);

  // 000:99:99.999 reads as 000:59:59.999 before it is clamped to the length.
  end->setText(QStringLiteral("000:99:99.999"));
  EXPECT_EQ(end->text(), "000:00:02.500");
  EXPECT_EQ(w->EndMs(), 2500);
  // An end below the start snaps to the start.
  end->setText(QStringLiteral("000:00:00.100"));
  EXPECT_EQ(end->text(), "000:00:02.000");

  // Deleting a digit leaves a blank, read as 0 and written back as the digit 0.
  start->setText(QStringLiteral("000:00:01.234"));
  start->setCursorPosition(10);
  QTest::keyClick(start, Qt::Key_Delete);
  EXPECT_EQ(start->text(), "000:00:01.034");
  EXPECT_EQ(w->StartMs(), 1034);
  EXPECT_EQ(start->cursorPosition(), 10);
}

TEST(Markers, SetButtonsTakeThePositionWithinTheOtherMarker) {
  TEditor w;
  w.Open(Data("cbr128.mp3"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.500"));
  w->TrackBarPos->setValue(2200);
  EXPECT_EQ(w->LabelPos->text(), "000:00:02.200");
  w->BtnSetStart->click();
  EXPECT_EQ(w->StartMs(), 1500);  // beyond the end marker: the end marker's time
  EXPECT_EQ(w->RzMaskEdit1->text(), "000:00:01.500");
  w->TrackBarPos->setValue(2400);
  w->BtnSetEnd->click();
  EXPECT_EQ(w->EndMs(), 2400);
  EXPECT_EQ(w->ImageEnd->x(), 135 + 408);
}

// ---- Preview ------------------------------------------------------------------------------

TEST(Preview, PlayModesTimerStopAndTheEndOfTheFile) {
  TEditor w;
  w.Open(Data("cbr128.mp3"));
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.500"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:02.000"));
  // Moving the track bar by hand only moves the position label.
  QTest::keyClick(w->TrackBarPos, Qt::Key_PageUp);
  EXPECT_NE(w->LabelPos->text(), "000:00:00.000");
  EXPECT_EQ(w.Player->Plays, 0);
  EXPECT_FALSE(w.Player->Open);
  w->TrackBarPos->setValue(1200);

  // From the position: the track bar stays; the previewing state; the timer ticks.
  w->BtnPlayStartClick();
  EXPECT_EQ(w.Player->PlayedFrom, 1200);
  ExpectState(*w.Window, TCommandState::Previewing);
  EXPECT_TRUE(w->TimerPos->isActive());
  w.Player->Position = 1700;
  w->TimerPosTimer();
  EXPECT_EQ(w->LabelPos->text(), "000:00:01.700");
  // Stop keeps the last position read.
  w->BtnStop->click();
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_FALSE(w->TimerPos->isActive());
  EXPECT_FALSE(w.Player->Open);
  EXPECT_EQ(w->LabelPos->text(), "000:00:01.700");

  // From either marker the position label jumps there at once.
  w->PM_FromStart->trigger();
  EXPECT_EQ(w.Player->PlayedFrom, 500);
  EXPECT_EQ(w->LabelPos->text(), "000:00:00.500");
  w.Player->Stopped = true;  // played to the end
  w.Player->Position = 2499;
  w->TimerPosTimer();
  ExpectState(*w.Window, TCommandState::FileOpen);
  w->PM_FromEnd->trigger();
  EXPECT_EQ(w.Player->PlayedFrom, 2000);
  EXPECT_EQ(w->LabelPos->text(), "000:00:02.000");

  // Opening another file ends the preview first.
  w.Open(Data("mono.mp3"));
  EXPECT_FALSE(w.Player->Open);
  EXPECT_FALSE(w->TimerPos->isActive());
  ExpectState(*w.Window, TCommandState::FileOpen);

  // Nothing plays from the full length; a refusing player shows its reason.
  const int plays = w.Player->Plays;
  w->TrackBarPos->setValue(w->TrackBarPos->maximum());
  w->BtnPlayStartClick();
  EXPECT_EQ(w.Player->Plays, plays);
  w->TrackBarPos->setValue(0);
  w.Player->OpenError = "No audio output device is available";
  w->BtnPlayStartClick();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "No audio output device is available");
  EXPECT_EQ(w.Dialogs.Messages[0].Caption, "Error");
  ExpectState(*w.Window, TCommandState::FileOpen);
}

// The real decoder behind a null output whose clock the test moves: the window follows what
// has been played, and returns to idle at the first tick after the last sample.
TEST(Preview, FollowsTheDecoderAndEndsAtTheFirstTickAfterTheLastSample) {
  const auto clock = TNullClock::Manual();
  test::TFakeDialogs dialogs;
  test::TProgramFolder folder;
  TEditorOptions options;
  options.ProgramFolder = folder.Path();
  options.SystemLanguageName = [] { return std::string("English"); };
  options.MakePlayer = [clock] { return MakeNullPlayer(clock); };
  TFrmMP3Editor w(dialogs, options);
  dialogs.Paths.push_back(Data("cbr128.mp3"));
  w.BtnOpenMp3Click();
  const int64_t length = w.TrackBarPos->maximum();
  w.RzMaskEdit1->setText(QString::fromStdString(FormatTimeCode(length - 1200)));
  w.PM_FromStart->trigger();
  ExpectState(w, TCommandState::Previewing);
  clock->Advance(700);
  w.TimerPosTimer();
  EXPECT_NEAR(w.TrackBarPos->value(), length - 500, 30);
  ExpectState(w, TCommandState::Previewing);
  clock->Advance(1000);  // past the last sample
  w.TimerPosTimer();
  ExpectState(w, TCommandState::FileOpen);
  EXPECT_FALSE(w.TimerPos->isActive());
  EXPECT_NEAR(w.TrackBarPos->value(), length - 500, 30);  // the last position read stays
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace pelcato
