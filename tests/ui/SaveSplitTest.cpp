// "Save as", the split options dialog and "Split" of the main window, on real MP3 files; what
// they write is compared with the analysis component's own cut of the same ranges.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <tuple>

#include "EditorTestSupport.h"
#include "edit/TimeCode.h"
#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "io/WriteFaults.h"
#include "ui/NumericEdit.h"
#include "ui/Skin.h"
#include "ui/UnitSplitOption.h"

namespace pelcato {
namespace {

using test::Data;
using test::ExpectState;
using test::TEditor;
using test::TFakeDialogs;
using test::WhenModal;
using test::WhenSplitOptionsAskEvery;

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the analysis component itself writes for the range and tag: the reference.
QByteArray CoreCut(const QString& source, int64_t startMs, int64_t endMs, const TID3v1Tag& tag,
                   const QString& folder, bool vbrHeader = false) {
  TKorvaMP3 mp3(nullptr);
  mp3.VbrHeader = vbrHeader;
  mp3.AnalyzeFile(source.toStdString());
  const QString path = folder + QStringLiteral("/reference.mp3");
  QFile::remove(path);
  int64_t bytes = 0;
  int64_t ms = 0;
  EXPECT_TRUE(mp3.SaveSegment(startMs, endMs, path.toStdString(), tag, bytes, ms));
  const QByteArray content = Bytes(path);
  QFile::remove(path);
  return content;
}

// ---- Save as ------------------------------------------------------------------------------

TEST(SaveAs, WritesTheMarkedRangeAsTheCoreCutsIt) {
  TEditor w;
  QTemporaryDir out;
  w.Open(Data("id3v11.mp3"));
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.700"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.900"));

  // With the tag page as edited: the tag comes from the edits, not from the source.
  w->RzEdit1->setText(QStringLiteral("New title"));
  w->RzEdit5->setText(QStringLiteral("300"));  // no track number
  const QString tagged = out.filePath(QStringLiteral("tagged.mp3"));
  w.Dialogs.Paths.push_back(tagged);
  w->BtnSaveMp3Click();
  EXPECT_EQ(w.Dialogs.DialogTitles.last(), "Save Mp3 file");
  EXPECT_EQ(w.Dialogs.Suffixes.last(), "mp3");
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "MP3 successfully saved to\n\r" + tagged);
  const TID3v1Tag tag = w->BuildTagFromEdits();
  EXPECT_EQ(std::string(tag.Title, 9), "New title");
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.Genre, 8);
  const QByteArray written = Bytes(tagged);
  EXPECT_EQ(written, CoreCut(Data("id3v11.mp3"), 700, 1900, tag, out.path()));
  EXPECT_EQ(written.right(128).left(12), QByteArray("TAGNew title"));

  // "Include" unchecked: no tag, although the source has one.
  w->RzCheckBox1->setChecked(false);
  const QString plain = out.filePath(QStringLiteral("plain.mp3"));
  w.Dialogs.Paths.push_back(plain);
  w->BtnSaveMp3Click();
  EXPECT_EQ(Bytes(plain), CoreCut(Data("id3v11.mp3"), 700, 1900, TID3v1Tag{}, out.path()));
  EXPECT_NE(Bytes(plain).right(128).left(3), QByteArray("TAG"));
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_EQ(w->StartMs(), 700);
}

TEST(SaveAs, RefusesEqualMarkersAndTheOpenFileByAnyName) {
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("Song.mp3"));
  ASSERT_TRUE(QFile::copy(Data("cbr128.mp3"), source));
  const QByteArray before = Bytes(source);
  TEditor w;
  w.Open(source);

  w->RzMaskEdit2->setText(QStringLiteral("000:00:00.000"));
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "Starting or ending point setting error");
  EXPECT_EQ(w.Dialogs.DialogTitles.size(), 1u);  // only the open dialog
  w->RzMaskEdit2->setText(QStringLiteral("000:00:02.000"));

  const QString link = dir.filePath(QStringLiteral("link.mp3"));
  ASSERT_TRUE(QFile::link(source, link));
  for (const QString& name : {dir.filePath(QStringLiteral("SONG.mp3")), link}) {
    w.Dialogs.Paths.push_back(name);
    w->BtnSaveMp3Click();
    EXPECT_EQ(w.Dialogs.Messages.back().Text,
              "Please use other file name.\nCannot save as\n" + name);
    EXPECT_EQ(w.Dialogs.Messages.back().Caption, "Information");
  }
  EXPECT_EQ(Bytes(source), before);
  EXPECT_TRUE(QFileInfo(link).isSymLink());
}

// The end marker dragged fully left leaves the start picture no room: nudging it keeps it at
// 0 ms on the track, and "Save as" refuses the empty range. Afterwards the drags still save
// exactly the range they show.
TEST(SaveAs, MarkersPushedTogetherStayOnTheTrackAndSaveTheirRange) {
  QTemporaryDir out;
  TEditor w;
  w.Open(Data("cbr128.mp3"));
  const int64_t length = w->TrackBarPos->maximum();
  using test::Mouse;
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonPress, {568, 180});
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonRelease, {-500, 180});
  ASSERT_EQ(w->EndMs(), 0);
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonPress, {137, 180});
  for (const int x : {138, 141, 127, 150}) {
    Mouse(*w.Window, w->ImageStart, QEvent::MouseMove, {x, 180});
    EXPECT_EQ(w->ImageStart->x(), 129) << x;
    EXPECT_EQ(w->StartMs(), 0) << x;
  }
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonRelease, {139, 180});
  EXPECT_EQ(w->StartMs(), 0);
  EXPECT_EQ(w->RzMaskEdit1->text(), "000:00:00.000");
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "Starting or ending point setting error");
  EXPECT_EQ(w.Dialogs.DialogTitles.size(), 1u);  // no save dialog

  // The end a little way right, the start pushed against it.
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonPress, {143, 180});
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonRelease, {343, 180});
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonPress, {137, 180});
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonRelease, {1000, 180});
  const int64_t start = w->StartMs();
  const int64_t end = w->EndMs();
  EXPECT_GT(start, 0);
  EXPECT_LT(start, end);
  EXPECT_LT(end, length);
  EXPECT_EQ(w->RzMaskEdit1->text(), QString::fromStdString(FormatTimeCode(start)));
  const QString target = out.filePath(QStringLiteral("range.mp3"));
  w.Dialogs.Paths.push_back(target);
  w->BtnSaveMp3Click();
  EXPECT_EQ(Bytes(target), CoreCut(Data("cbr128.mp3"), start, end, TID3v1Tag{}, out.path()));
}

TEST(SaveAs, AFailedWriteSaysSoAndLeavesNothing) {
  QTemporaryDir out;
  TEditor w;
  w.Open(Data("cbr128.mp3"));
  const QString target = out.filePath(QStringLiteral("failed.mp3"));
  SetWriteFaultHook([] { return false; });
  w.Dialogs.Paths.push_back(target);
  w->BtnSaveMp3Click();
  SetWriteFaultHook({});
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "Cannot save Mp3 file");
  EXPECT_EQ(w.Dialogs.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  EXPECT_TRUE(w->PanelState->isHidden());
}

TEST(SaveAs, TheDesktopsSaveDialogAddsMp3AndStartsWhereItWasLastUsed) {
  QTemporaryDir dir, source, other;
  TQtDialogs dialogs;
  // The first time in the folder given, with no name.
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Save Mp3 file");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"MP3(*.mp3)"});
    EXPECT_EQ(dialog->directory().absolutePath(), source.path());
    EXPECT_EQ(dialog->selectedFiles(), QStringList{source.path()});
    dialog->setDirectory(dir.path());
    dialog->selectFile(QStringLiteral("piece"));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  const QString filter = QStringLiteral("MP3(*.mp3)|*.mp3");
  EXPECT_EQ(dialogs.SaveFile(nullptr, QStringLiteral("Save Mp3 file"), filter,
                             QStringLiteral("mp3"), source.path()),
            dir.filePath(QStringLiteral("piece.mp3")));
  // Then where the last one was confirmed, with its name, whatever folder is given.
  WhenModal([&dir](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->directory().absolutePath(), dir.path());
    EXPECT_EQ(dialog->selectedFiles(), QStringList{dir.filePath(QStringLiteral("piece.mp3"))});
    dialog->reject();
  });
  EXPECT_TRUE(dialogs
                  .SaveFile(nullptr, QStringLiteral("Save Mp3 file"), filter, QStringLiteral("mp3"),
                            other.path())
                  .isEmpty());
}

TEST(SaveAs, StartsInTheFolderOfTheFileTheUserOpened) {
  TEditor w;
  QTemporaryDir folder;
  const QString file = folder.filePath(QStringLiteral("song.mp3"));
  ASSERT_TRUE(QFile::copy(Data("cbr128.mp3"), file));
  w.Open(file);
  w->BtnSaveMp3Click();  // cancelled
  w.Open(Data("id3v1.mp3"));
  w->BtnSaveMp3Click();
  EXPECT_EQ(w.Dialogs.SaveFolders, QStringList({folder.path(), QStringLiteral(PELCATO_TEST_DATA)}));
}

// ---- A close during a command ---------------------------------------------------------------

// A close that is no click (a timer, the window manager, the end of the session) arriving
// while Open or "Save as" lets messages through waits for the command; then the window closes
// as its Close button closes it.
TEST(CloseDuringCommand, OpenAndSaveFinishFirstThenTheWindowClosesAndKeepsItsSettings) {
  for (const bool save : {false, true}) {
    SCOPED_TRACE(save ? "Save as" : "Open");
    QTemporaryDir out;
    TEditor w;
    w->show();
    w->Settings().SplitInto = 9;
    const QString target = out.filePath(QStringLiteral("range.mp3"));
    if (save) w.Open(Data("cbr128.mp3"));
    w.Dialogs.Paths.push_back(save ? target : Data("cbr128.mp3"));
    bool closedDuringTheCommand = false;
    QTimer::singleShot(0, w.Window.get(), [&] {
      closedDuringTheCommand = w->PanelState->isVisible();
      w->close();
    });
    save ? w->BtnSaveMp3Click() : w->BtnOpenMp3Click();
    EXPECT_TRUE(closedDuringTheCommand);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->Mp3(), nullptr);
    EXPECT_TRUE(test::IniHas(w.Folder.ReadSettings(), "SPLIT", "Into=9"));
    if (save) {
      EXPECT_EQ(Bytes(target), CoreCut(Data("cbr128.mp3"), 0, 2500, TID3v1Tag{}, out.path()));
      EXPECT_EQ(w.Dialogs.Messages.back().Text, "MP3 successfully saved to\n\r" + target);
    } else {
      EXPECT_EQ(w->Label12->text(), Data("cbr128.mp3"));
    }
  }
}

// ---- The split options dialog ---------------------------------------------------------------

struct TOptions {
  TFakeDialogs Dialogs;
  TAppSettings Settings;
  TMessageTable Messages;
  QTemporaryDir Folder;
  std::unique_ptr<TFrmSplitOption> Dialog;

  TOptions() {
    Settings.OutputFolder = Folder.path().toStdString();
    Dialog = std::make_unique<TFrmSplitOption>(Dialogs, Settings, Messages);
    Dialog->FileLength = 60000;
  }
  QString Ok() {
    const size_t before = Dialogs.Messages.size();
    Dialog->BtnOk->click();
    return Dialogs.Messages.size() > before ? Dialogs.Messages.back().Text : QString();
  }
};

TEST(SplitOptions, OkChecksFolderWriteAccessAndValuesInThatOrder) {
  TOptions o;
  EXPECT_EQ(o.Dialog->LabelEx->text(),
            "Ex : xxx-" + QDate::currentDate().toString(QStringLiteral("yyMMdd")) + "-0001");
  // A missing folder comes first, even with bad values.
  o.Dialog->EditN->SetValue(1);
  const QString missing = o.Folder.filePath(QStringLiteral("gone"));
  o.Dialog->EditFolder->setText(missing);
  EXPECT_EQ(o.Ok(), missing + "\nThe output folder does not exist");
  // A folder without write access (root passes every access check, so only as a user).
  if (geteuid() != 0) {
    const QString locked = o.Folder.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    o.Dialog->EditFolder->setText(locked);
    EXPECT_TRUE(o.Ok().startsWith(locked + "\n"));
  }
  o.Dialog->EditFolder->setText(o.Folder.path());
  EXPECT_EQ(o.Ok(), "Please enter a value between 2 and 200");
  o.Dialog->EditN->SetValue(201);
  EXPECT_EQ(o.Ok(), "Please enter a value between 2 and 200");

  // By duration: from one second to just below the file's length.
  o.Dialog->RadioButtonBy->setChecked(true);
  EXPECT_FALSE(o.Dialog->EditN->isEnabled());
  EXPECT_TRUE(o.Dialog->EditSec->isEnabled());
  for (const auto& [h, m, s, ok] :
       {std::tuple{0, 0, 0, false}, {0, 1, 0, false}, {0, 0, 1, true}, {0, 0, 59, true}}) {
    o.Dialog->EditHour->SetValue(h);
    o.Dialog->EditMin->SetValue(m);
    o.Dialog->EditSec->SetValue(s);
    EXPECT_EQ(o.Dialog->ValidateOptions().isEmpty(), ok) << h << m << s;
  }
  o.Dialog->EditSec->SetValue(0);
  EXPECT_EQ(o.Ok(), "Please set time higher than 1 second but less than 000:01:00.000");
  EXPECT_EQ(o.Dialogs.Messages.back().Caption, "Information");
  EXPECT_EQ(o.Dialog->result(), QDialog::Rejected);
  EXPECT_EQ(o.Settings.SplitType, TSplitType::IntoParts);  // nothing stored yet

  // Into 2 and 200 parts pass, and Ok stores every value, the other mode's as well.
  o.Dialog->RadioButtonInto->setChecked(true);
  o.Dialog->EditN->SetValue(200);
  EXPECT_TRUE(o.Dialog->ValidateOptions().isEmpty());
  o.Dialog->EditN->SetValue(2);
  o.Dialog->EditMin->SetValue(7);
  EXPECT_EQ(o.Ok(), QString());
  EXPECT_EQ(o.Dialog->result(), QDialog::Accepted);
  EXPECT_EQ(o.Settings.SplitType, TSplitType::IntoParts);
  EXPECT_EQ(o.Settings.SplitInto, 2);
  EXPECT_EQ(o.Settings.SplitMin, 7);
}

TEST(SplitOptions, RangedEditsClampWhenLeftAndBrowseStoresAtOnce) {
  TOptions o;
  o.Dialog->show();
  o.Dialog->activateWindow();
  o.Dialog->RadioButtonBy->setChecked(true);
  o.Dialog->EditHour->setFocus();
  o.Dialog->EditHour->clear();
  QTest::keyClicks(o.Dialog->EditHour, QStringLiteral("250"));
  QFocusEvent leave(QEvent::FocusOut);
  QCoreApplication::sendEvent(o.Dialog->EditHour, &leave);
  EXPECT_EQ(o.Dialog->EditHour->Value(), 200);
  EXPECT_EQ(o.Dialog->EditN->Format(-1234), "(1,234)");
  EXPECT_EQ(TNumericEdit::Parse(QStringLiteral("(1,234)"), QLocale::c()), -1234);

  // Browse starts in the folder shown and stores the choice at once; Cancel keeps it.
  const QString chosen = o.Folder.filePath(QStringLiteral("chosen"));
  ASSERT_TRUE(QDir().mkdir(chosen));
  o.Dialogs.Paths.push_back(chosen);
  o.Dialog->BtnBrowse->click();
  EXPECT_EQ(o.Dialogs.StartFolders.last(), o.Folder.path());
  EXPECT_EQ(o.Dialog->EditFolder->text(), chosen);
  o.Dialog->BtnCancel->click();
  EXPECT_EQ(o.Settings.OutputFolder, chosen.toStdString());
  EXPECT_EQ(o.Settings.SplitType, TSplitType::IntoParts);  // Cancel stored nothing else

  // Open shows the folder in the file manager, or says that it is missing.
  o.Dialog->BtnOpen->click();
  EXPECT_EQ(o.Dialogs.ShownFolders, QStringList{chosen});
  o.Dialog->EditFolder->setText(QStringLiteral("  "));
  o.Dialog->BtnOpen->click();
  EXPECT_EQ(o.Dialogs.Messages.back().Text, "The output folder does not exist");
}

TEST(SplitOptions, EnterInARangedEditClampsItBeforeOkChecksAndStores) {
  TOptions o;
  o.Dialog->FileLength = 3600000;
  o.Dialog->show();
  o.Dialog->activateWindow();
  o.Dialog->RadioButtonBy->setChecked(true);
  o.Dialog->EditMin->clear();
  o.Dialog->EditSec->setFocus();
  o.Dialog->EditSec->clear();
  QTest::keyClicks(o.Dialog->EditSec, QStringLiteral("75"));
  QTest::keyClick(o.Dialog->EditSec, Qt::Key_Return);
  EXPECT_EQ(o.Dialog->result(), QDialog::Accepted);
  EXPECT_EQ(o.Dialog->EditSec->text(), "60");
  EXPECT_EQ(o.Dialog->EditMin->text(), "0");
  EXPECT_EQ(o.Settings.SplitSec, 60);
  EXPECT_EQ(o.Settings.SplitMin, 0);
}

// ---- Split ------------------------------------------------------------------------------

TEST(Split, ConfirmsWritesEveryPieceAsTheCoreCutsItAndSkipsTakenNames) {
  QTemporaryDir out;
  TEditor w;
  w.Window->Settings().OutputFolder = out.path().toStdString();  // no trailing "/"
  w.Open(Data("cbr128.mp3"));
  const QString day = QDate::currentDate().toString(QStringLiteral("yyMMdd"));
  // Earlier pieces of the same day keep their names.
  for (const char* n : {"0001", "0003"}) {
    QFile f(out.filePath(QStringLiteral("cbr128-%1-%2.mp3").arg(day, QLatin1String(n))));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  WhenModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TFrmSplitOption*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->EditN->SetValue(12);
    dialog->BtnOk->click();
  });
  w->BtnSplitClick();
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "Split into 12 files and save to\n" + out.path());
  EXPECT_EQ(w.Dialogs.Messages[0].Buttons, TMsgButtons::YesNo);
  EXPECT_EQ(w.Dialogs.Messages[1].Text, "MP3 successfully saved to\n" + out.path());
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_TRUE(w->PanelState->isHidden());

  // 0002, then 0004 to 0014; each piece is the core's cut of its range (2500 ms in 12).
  const TID3v1Tag none{};
  const int numbers[] = {2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  for (int i = 0; i < 12; ++i) {
    const QString name = out.filePath(
        QStringLiteral("cbr128-%1-%2.mp3").arg(day).arg(numbers[i], 4, 10, QLatin1Char('0')));
    const int64_t start = 208 * i;
    const int64_t end = i == 11 ? 2500 : start + 208;
    EXPECT_EQ(Bytes(name), CoreCut(Data("cbr128.mp3"), start, end, none, out.path())) << i;
  }
}

// By duration, with [OUTPUT] VbrHeader=1: pieces of one second, the last the rest, each with
// the VBR header frame the core gives that range.
TEST(Split, ByDurationWritesWhatTheCoreWritesWithTheVbrHeaderSetting) {
  QTemporaryDir out;
  TEditor w;
  w.Window->Settings().OutputFolder = out.path().toStdString();
  w.Window->Settings().VbrHeader = true;
  w.Open(Data("vbr.mp3"));
  const int64_t length = w.Window->Mp3()->Info.Duration;
  WhenSplitOptionsAskEvery(1);
  w->BtnSplitClick();
  const int count = int((length + 999) / 1000);
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text,
            QStringLiteral("Split into %1 files and save to\n").arg(count) + out.path());
  const QString day = QDate::currentDate().toString(QStringLiteral("yyMMdd"));
  int withHeader = 0;
  for (int i = 0; i < count; ++i) {
    const QString name =
        out.filePath(QStringLiteral("vbr-%1-%2.mp3").arg(day).arg(i + 1, 4, 10, QLatin1Char('0')));
    const QByteArray piece = Bytes(name);
    EXPECT_EQ(piece, CoreCut(Data("vbr.mp3"), 1000 * i, std::min<int64_t>(1000 * (i + 1), length),
                             TID3v1Tag{}, out.path(), true))
        << i;
    if (piece.left(64).contains("Xing")) ++withHeader;
  }
  EXPECT_GT(withHeader, 0);
}

TEST(Split, AFileWithoutLengthSaysThereIsNothingToSplitAndWritesNothing) {
  QTemporaryDir out;
  TEditor w(QLocale::c(), 0);
  w.Window->Settings().OutputFolder = out.path().toStdString();
  w.Open(Data("cbr128.mp3"));
  ASSERT_EQ(w->Mp3()->Info.Duration, 0);
  WhenModal([](QWidget* modal) { qobject_cast<TFrmSplitOption*>(modal)->BtnOk->click(); });
  w->BtnSplitClick();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "The file has no length: there is nothing to split.");
  EXPECT_EQ(w.Dialogs.Messages[0].Caption, "Information");
  EXPECT_TRUE(QDir(out.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
  ExpectState(*w.Window, TCommandState::FileOpen);
}

TEST(Split, AVanishedFolderFailsOnceAndOtherCommandsAndACloseWaitForTheRun) {
  QTemporaryDir out;
  TEditor w;
  const QString folder = out.filePath(QStringLiteral("pieces"));
  ASSERT_TRUE(QDir().mkdir(folder));
  w.Window->Settings().OutputFolder = folder.toStdString();
  w.Open(Data("cbr128.mp3"));
  w->RzMaskEdit1->setText(QStringLiteral("000:00:01.000"));
  // Commands that arrive while the pieces are written find them disabled.
  bool tried = false;
  w.Dialogs.Paths.push_back(Data("mono.mp3"));
  const auto tryCommands = [&] {
    tried = true;
    EXPECT_EQ(w->CommandState(), TCommandState::Splitting);
    w->BtnOpenMp3->click();
    w->BtnSaveMp3->click();
    w->BtnSplit->click();
    QTest::keyClicks(w->RzMaskEdit1, QStringLiteral("0"));
    w->close();
  };
  WhenModal([folder, tryCommands](QWidget* modal) {
    qobject_cast<TFrmSplitOption*>(modal)->EditN->SetValue(6);
    qobject_cast<TFrmSplitOption*>(modal)->BtnOk->click();
    QDir(folder).removeRecursively();    // gone between the dialog and the pieces
    QTimer::singleShot(0, tryCommands);  // runs between two pieces
  });
  w->BtnSplitClick();
  EXPECT_TRUE(tried);
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);  // the question and one failure
  EXPECT_EQ(w.Dialogs.Messages[1].Text, "Cannot save Mp3 file");
  EXPECT_EQ(w.Dialogs.Messages[1].Icon, TMsgIcon::Error);
  EXPECT_EQ(w->Label12->text(), Data("cbr128.mp3"));
  EXPECT_EQ(w->StartMs(), 1000);
  EXPECT_EQ(w.Dialogs.Paths.size(), 1u);  // the open dialog never ran
  ExpectState(*w.Window, TCommandState::FileOpen);
  // The close came to pass after the run.
  EXPECT_EQ(w->Mp3(), nullptr);
  EXPECT_TRUE(test::IniHas(w.Folder.ReadSettings(), "SPLIT", "Into=6"));
}

}  // namespace
}  // namespace pelcato
