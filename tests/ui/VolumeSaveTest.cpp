// "Save as" and "Split" with the [OUTPUT] volume write what pelcato-cli writes with the same
// volume options (which the volume tests hold against decoders and mp3gain), and say so; the
// Volume group of the output options dialog sets it, and decoders play the result louder by
// exactly the steps chosen.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "../cli/CliRun.h"
#include "../volume/VolumeCheck.h"
#include "EditorTestSupport.h"
#include "ui/UnitOutputOptions.h"
#include "ui/UnitVolumeOptions.h"

namespace pelcato {
namespace {

using test::Data;
using test::RunCliWith;
using test::TEditor;
using test::WhenModal;
using test::WhenSplitOptionsAskEvery;

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(VolumeSave, SaveAsAndSplitWriteTheCommandLinesPiecesAndSayWhatTheyDid) {
  const QString source = Data("cbr128.mp3");
  QTemporaryDir out;
  TEditor w;
  w.Window->Settings().OutputFolder = out.path().toStdString();
  w.Window->Settings().GainSteps = 2;
  w.Window->Settings().FadeInMs = 300;
  w.Open(source);
  w->RzCheckBox1->setChecked(false);  // no tag, as --no-tag
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.200"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:02.000"));
  const QString saved = out.filePath(QStringLiteral("saved.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, "MP3 successfully saved to\n\r" + saved +
                                            "\nGain: +3.01 dB\nFade in: 300 ms, fade out: 0 ms");
  const QString cli = out.filePath(QStringLiteral("cli.mp3"));
  test::TRun r = RunCliWith({"cut", source.toStdString(), "200", "2000", cli.toStdString(),
                             "--no-tag", "--gain", "3", "--fade-in", "300"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Bytes(saved), Bytes(cli));

  // Each piece normalised on its own.
  w.Window->Settings().Normalize = true;
  w.Window->Settings().FadeInMs = 0;
  WhenSplitOptionsAskEvery(1);
  w->BtnSplitClick();
  ASSERT_EQ(w.Dialogs.Messages.size(), 3u);  // the question and the result
  EXPECT_TRUE(w.Dialogs.Messages[2].Text.contains("\nNormalised to -18 LUFS, gain "))
      << w.Dialogs.Messages[2].Text.toStdString();
  const QString parts = out.filePath(QStringLiteral("cli"));
  r = RunCliWith({"split", source.toStdString(), "--every", "0:00:01", "--out", parts.toStdString(),
                  "--no-tag", "--normalize"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  int pieces = 0;
  for (const QString& name : QDir(parts).entryList(QDir::Files)) {
    EXPECT_EQ(Bytes(out.filePath(name)), Bytes(parts + QLatin1Char('/') + name))
        << name.toStdString();
    ++pieces;
  }
  EXPECT_EQ(pieces, 3);
}

TEST(VolumeSave, ALayerIIFileKeepsItsVolumeAndTheWindowSaysSo) {
  QTemporaryDir out;
  TEditor w;
  w.Window->Settings().GainSteps = -3;
  w.Open(Data("layer2.mp3"));
  w->RzCheckBox1->setChecked(false);
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.200"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.000"));
  const QString saved = out.filePath(QStringLiteral("saved.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text,
            "MP3 successfully saved to\n\r" + saved +
                "\nThe volume of Layer I and II files cannot be changed without re-encoding: it "
                "was left as it is.");
  const QString cli = out.filePath(QStringLiteral("cli.mp3"));
  ASSERT_EQ(RunCliWith({"cut", Data("layer2.mp3").toStdString(), "200", "1000", cli.toStdString(),
                        "--no-tag"})
                .Status,
            0);
  EXPECT_EQ(Bytes(saved), Bytes(cli));
}

TEST(VolumeSave, AGainTypedInTheDialogInDbIsKeptAndDecodersPlayThePieceThatMuchLouder) {
  const QString source = Data("cbr128.mp3");
  QTemporaryDir out;
  TEditor w;
  w.Open(source);
  w->RzCheckBox1->setChecked(false);
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.300"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:02.000"));
  const QString plain = out.filePath(QStringLiteral("plain.mp3"));
  w.Dialogs.Paths.push_back(plain);
  w->BtnSaveMp3Click();

  // Beside the output group, the volume the settings hold; 4.5 dB typed is the nearest of the
  // steps of 1.505 dB, three of them.
  WhenModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TFrmOutputOptions*>(modal);
    ASSERT_NE(dialog, nullptr);
    TVolumeOptionsGroup* group = dialog->GroupVolume;
    ASSERT_NE(group, nullptr);
    EXPECT_GE(group->geometry().left(), dialog->GroupOutput->geometry().right());
    EXPECT_EQ(group->geometry().top(), dialog->GroupOutput->geometry().top());
    EXPECT_EQ(group->SpinGain->text(), QStringLiteral("0.0 dB"));
    EXPECT_FALSE(group->SpinTarget->isEnabled());
    // Typed as a person types it, the box left with Tab.
    QApplication::setActiveWindow(dialog);
    group->SpinGain->setFocus();
    QTest::keyClick(group->SpinGain, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(group->SpinGain, QStringLiteral("4.5"));
    QTest::keyClick(group->SpinGain, Qt::Key_Tab);
    EXPECT_EQ(group->SpinGain->value(), 3);
    EXPECT_EQ(group->SpinGain->text(), QStringLiteral("+4.5 dB"));
    dialog->BtnOk->click();
  });
  QTest::mouseClick(w->BtnOutput, Qt::LeftButton);
  EXPECT_EQ(w->Settings().GainSteps, 3);

  const QString gained = out.filePath(QStringLiteral("gained.mp3"));
  w.Dialogs.Paths.push_back(gained);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[1].Text,
            "MP3 successfully saved to\n\r" + gained + "\nGain: +4.52 dB");
  for (const test::TTool tool : {test::TTool::Mpg123, test::TTool::Ffmpeg}) {
    SCOPED_TRACE(test::ToolName(tool));
    const test::TFloatPcm a = test::DecodeFloat(tool, plain.toStdString());
    const test::TFloatPcm b = test::DecodeFloat(tool, gained.toStdString());
    ASSERT_TRUE(a.Ok && b.Ok);
    ASSERT_EQ(a.Samples.size(), b.Samples.size());
    ASSERT_GT(a.Frames(), 44100);
    const double factor = std::pow(2.0, 3 / 4.0);
    double most = 0.0;
    for (size_t i = 0; i < a.Samples.size(); ++i) {
      most = std::max(most, std::fabs(double(b.Samples[i]) - a.Samples[i] * factor));
    }
    EXPECT_LT(most, 2e-5);
  }

  // Kept in the settings file when the window closes.
  w->close();
  EXPECT_TRUE(w.Folder.ReadSettings().contains(
      "GainSteps=3\nNormalize=0\nNormalizeTarget=-18\nFadeInMs=0\nFadeOutMs=0\n"));
}

}  // namespace
}  // namespace pelcato
