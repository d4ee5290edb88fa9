// "Save as" and "Split" with the [OUTPUT] volume write what pelcato-cli writes with the same
// volume options (which the volume tests hold against decoders and mp3gain), and say so.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include "../cli/CliRun.h"
#include "EditorTestSupport.h"

namespace pelcato {
namespace {

using test::Data;
using test::RunCliWith;
using test::TEditor;
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

}  // namespace
}  // namespace pelcato
