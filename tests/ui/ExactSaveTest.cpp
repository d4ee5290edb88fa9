// "Save as" and "Split" with [OUTPUT] Exact=1 write what pelcato-cli writes with --exact.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "../cli/CliRun.h"
#include "EditorTestSupport.h"
#include "ui/NumericEdit.h"
#include "ui/UnitSplitOption.h"

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

// pelcato-cli's exact cut of the range, without a tag.
QByteArray CliCut(const QString& source, int64_t startMs, int64_t endMs, const QString& folder) {
  const QString path = folder + QStringLiteral("/cli.mp3");
  QFile::remove(path);
  const test::TRun r =
      RunCliWith({"cut", source.toStdString(), std::to_string(startMs), std::to_string(endMs),
                  path.toStdString(), "--exact", "--no-tag"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  return Bytes(path);
}

// The length the player would measure, as pelcato-cli's info tells it.
int64_t PlayerLength(const QString& source) {
  const std::string out = RunCliWith({"info", source.toStdString()}).Out;
  const size_t at = out.find("\nDuration: ");
  return at == std::string::npos ? -1 : std::stoll(out.substr(at + 11));
}

TEST(ExactSave, SaveAsAndSplitWriteTheCommandLinesExactPieces) {
  const QString source = Data("vbr-v2.mp3");
  const int64_t length = PlayerLength(source);
  ASSERT_GT(length, 1000);
  QTemporaryDir out;
  TEditor w(QLocale(QLocale::English, QLocale::UnitedStates), length);
  w.Window->Settings().OutputFolder = out.path().toStdString();
  w.Window->Settings().Exact = true;
  w.Open(source);
  w->RzCheckBox1->setChecked(false);  // no tag, as --no-tag

  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.333"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:00.917"));
  const QString saved = out.filePath(QStringLiteral("saved.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text.toStdString(),
            ("MP3 successfully saved to\n\r" + saved +
             "\nExact to the sample: in gapless players each file plays exactly its range.")
                .toStdString());
  const QByteArray piece = Bytes(saved);
  EXPECT_EQ(piece, CliCut(source, 333, 917, out.path()));
  EXPECT_TRUE(piece.left(200).contains("LAME"));

  WhenSplitOptionsAskEvery(1);
  w->BtnSplitClick();
  const QString day = QDate::currentDate().toString(QStringLiteral("yyMMdd"));
  for (int i = 0; i < 2; ++i) {
    const QString name = out.filePath(
        QStringLiteral("vbr-v2-%1-%2.mp3").arg(day).arg(i + 1, 4, 10, QLatin1Char('0')));
    EXPECT_EQ(Bytes(name), CliCut(source, 1000 * i, i == 0 ? 1000 : length, out.path())) << i;
  }
}

TEST(ExactSave, ALayerIIFileGetsWholeFramesAndTheWindowSaysSo) {
  QTemporaryDir out;
  TEditor w;
  w.Window->Settings().Exact = true;
  w.Open(Data("layer2.mp3"));
  w->RzMaskEdit1->setText(QStringLiteral("000:00:00.200"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.000"));
  const QString saved = out.filePath(QStringLiteral("saved.mp3"));
  w.Dialogs.Paths.push_back(saved);
  w->BtnSaveMp3Click();
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text,
            "MP3 successfully saved to\n\r" + saved +
                "\nThis file cannot be cut exact to the sample: whole frames were written.");
  EXPECT_GT(Bytes(saved).size(), 0);
}

}  // namespace
}  // namespace pelcato
