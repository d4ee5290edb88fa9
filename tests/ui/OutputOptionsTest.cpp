// The output options as a window user meets them: one dialog, reached from the main window and
// from the split options, kept in [OUTPUT]; and what they do to the files, read back by mutagen,
// ffprobe and ffmpeg rather than by our own reader.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "EditorTestSupport.h"
#include "TagsTestUtil.h"
#include "ui/UnitOutputOptions.h"

namespace pelcato {
namespace {

using test::Data;
using test::Output;
using test::TEditor;
using test::WhenModal;
using test::WhenSplitOptionsAskEvery;

const QString kVbrLine = QStringLiteral("\nVBR header written: players show the true length.");

// The length in seconds that mutagen and ffprobe tell lies within a frame (1152 samples at 44.1
// kHz: 26 ms) of what ffmpeg decodes at 44.1 kHz (every frame, nothing trimmed where the file
// asks for nothing).
void ExpectTrueLength(const QString& file) {
  SCOPED_TRACE(file.toStdString());
  const std::string path = "'" + file.toStdString() + "'";
  const auto number = [](const std::string& command) { return std::stod(Output(command)); };
  const double decoded =
      number("ffmpeg -v error -i " + path + " -ac 1 -ar 44100 -f s16le - | wc -c") / 2 / 44100;
  EXPECT_GT(decoded, 0.5);
  EXPECT_NEAR(number("/usr/bin/python3 -c 'import sys, mutagen.mp3; "
                     "print(mutagen.mp3.MP3(sys.argv[1]).info.length)' " +
                     path),
              decoded, 0.027);
  EXPECT_NEAR(number("ffprobe -v error -show_entries format=duration -of csv=p=0 " + path), decoded,
              0.027);
}

TEST(OutputOptions, ByDefaultAVbrFilesPiecesShowTheirTrueLengthAndTheMessagesSaySo) {
  QTemporaryDir out;
  TEditor w(QLocale(QLocale::English, QLocale::UnitedStates), 3840);
  EXPECT_TRUE(w->Settings().VbrHeader);
  w->Settings().OutputFolder = out.path().toStdString();
  w.Open(Data("pauses-vbr.mp3"));
  w->RzCheckBox1->setChecked(false);
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.400"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:03.100"));
  const QString saved = out.filePath(QStringLiteral("saved.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text.toStdString(),
            ("MP3 successfully saved to\n\r" + saved + kVbrLine).toStdString());
  ExpectTrueLength(saved);

  WhenSplitOptionsAskEvery(1);
  w->BtnSplitClick();
  ASSERT_EQ(w.Dialogs.Messages.size(), 3u);
  EXPECT_EQ(w.Dialogs.Messages[2].Text.toStdString(),
            ("MP3 successfully saved to\n" + out.path() + kVbrLine).toStdString());
  const QString day = QDate::currentDate().toString(QStringLiteral("yyMMdd"));
  for (int i = 1; i <= 4; ++i) {
    ExpectTrueLength(out.filePath(
        QStringLiteral("pauses-vbr-%1-%2.mp3").arg(day).arg(i, 4, 10, QLatin1Char('0'))));
  }
}

// A lame CBR file starts with an "Info" frame that counts the whole file: a piece from its start
// must not carry it, or other programs show the source's length for it.
TEST(OutputOptions, ACutFromTheStartOfALameCbrFileShowsItsOwnLength) {
  QTemporaryDir out;
  TEditor w(QLocale(QLocale::English, QLocale::UnitedStates), 3840);
  w.Open(Data("sweep.mp3"));
  w->RzCheckBox1->setChecked(false);
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.000"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.000"));
  const QString saved = out.filePath(QStringLiteral("start.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  ExpectTrueLength(saved);
}

TEST(OutputOptions, TheDialogFromEitherPlaceKeepsItsChoicesInOutputAndTheFilesFollowThem) {
  QTemporaryDir out;
  TEditor w;
  w->Settings().OutputFolder = out.path().toStdString();
  w.Open(Data("id3v2.mp3"));
  w->RzCheckBox1->setChecked(true);  // the fields of a new tag
  w->RzEdit1->setText(QStringLiteral("Evening"));

  // From the main window: the settings' choices shown, Ok stores the new ones.
  WhenModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TFrmOutputOptions*>(modal);
    ASSERT_NE(dialog, nullptr);
    TOutputOptionsGroup* group = dialog->GroupOutput;
    EXPECT_FALSE(group->CheckExact->isChecked());
    EXPECT_TRUE(group->CheckVbrHeader->isChecked());
    EXPECT_TRUE(group->RadioId3v2None->isChecked());
    QTest::mouseClick(group->CheckExact, Qt::LeftButton);
    group->RadioId3v2New->click();
    dialog->BtnOk->click();
  });
  QTest::mouseClick(w->BtnOutput, Qt::LeftButton);
  EXPECT_TRUE(w->Settings().Exact);
  EXPECT_EQ(w->Settings().Id3v2, 2);

  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.500"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.500"));
  const QString saved = out.filePath(QStringLiteral("exact.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text.toStdString(),
            ("MP3 successfully saved to\n\r" + saved +
             "\nExact to the sample: in gapless players each file plays exactly its range."
             "\nA new ID3v2 tag was written.")
                .toStdString());
  EXPECT_EQ(test::MutagenDump(saved.toStdString()).at(0), "version 2.4");

  // From the split options dialog: stored at once, even when that dialog is then cancelled.
  WhenModal([](QWidget* modal) {
    auto* split = qobject_cast<TFrmSplitOption*>(modal);
    ASSERT_NE(split, nullptr);
    WhenModal([](QWidget* inner) {
      auto* dialog = qobject_cast<TFrmOutputOptions*>(inner);
      ASSERT_NE(dialog, nullptr);
      EXPECT_TRUE(dialog->GroupOutput->CheckExact->isChecked());
      EXPECT_TRUE(dialog->GroupOutput->RadioId3v2New->isChecked());
      dialog->GroupOutput->CheckExact->setChecked(false);
      dialog->GroupOutput->CheckVbrHeader->setChecked(false);
      dialog->GroupOutput->RadioId3v2Keep->click();
      dialog->BtnOk->click();
    });
    QTest::mouseClick(split->BtnOutput, Qt::LeftButton);
    split->BtnCancel->click();
  });
  w->BtnSplitClick();
  EXPECT_EQ(w.Dialogs.Messages.size(), 1u);  // no split ran

  // Kept: the ID3v2 tag of the source; no VBR header asked for, none written.
  const QString kept = out.filePath(QStringLiteral("kept.mp3"));
  w.Dialogs.Paths.push_back(kept);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[1].Text.toStdString(),
            ("MP3 successfully saved to\n\r" + kept + "\nThe source's ID3v2 tag was kept.")
                .toStdString());

  // The choices reach the settings file when the window closes.
  w->close();
  EXPECT_TRUE(w.Folder.ReadSettings().contains("[OUTPUT]\nVbrHeader=0\nId3v2=1\nExact=0\n"));
}

}  // namespace
}  // namespace pelcato
