// "Save as" and "Split" with [OUTPUT] Id3v2, on a source tagged by ffmpeg, read back by mutagen:
// the kept tag takes only the edited fields of the tag page, a new one all of them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "EditorTestSupport.h"
#include "TagsTestUtil.h"
#include "ui/NumericEdit.h"
#include "ui/UnitSplitOption.h"

namespace pelcato {
namespace {

using test::Data;
using test::Has;
using test::Hex;
using test::MutagenDump;
using test::TEditor;
using test::WhenModal;

std::string LineStarting(const std::vector<std::string>& dump, const std::string& prefix) {
  for (const std::string& line : dump)
    if (line.rfind(prefix, 0) == 0) return line;
  return "";
}

TEST(SaveId3v2, KeptTagTakesTheEditedFieldsAndANewOneAllOfThem) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString(), source = folder + "/ffmpeg.mp3";
  const std::string title = "A title far longer than thirty characters";
  test::Output("ffmpeg -v error -f lavfi -i color=c=red:s=8x8 -frames:v 1 -y '" + folder +
               "/cover.png'");
  test::Output("ffmpeg -v error -i '" + Data("cbr128.mp3").toStdString() + "' -i '" + folder +
               "/cover.png' -map 0 -map 1 -c copy -id3v2_version 3 -write_id3v1 1 -metadata '" +
               "title=" + title + "' -metadata artist=Someone '" + source + "'");
  const auto before = MutagenDump(source);
  const std::string picture = LineStarting(before, "picture");
  ASSERT_NE(picture, "");

  TEditor w;
  w.Window->Settings().Id3v2 = 1;
  w.Window->Settings().OutputFolder = folder + "/split";
  QDir().mkpath(QString::fromStdString(folder + "/split"));
  w.Open(QString::fromStdString(source));
  ASSERT_TRUE(w->RzCheckBox1->isChecked());  // ffmpeg's ID3v1 tag, its title cut to 30
  w->RzEdit2->setText(QStringLiteral("Кино"));
  const std::string kept = folder + "/kept.mp3";
  w.Dialogs.Paths.push_back(QString::fromStdString(kept));
  w->BtnSaveMp3Click();
  auto dump = MutagenDump(kept);
  EXPECT_EQ(dump[0], "version 2.3");
  EXPECT_TRUE(Has(dump, LineStarting(before, "text TIT2")));  // whole, not the page's 30
  EXPECT_NE(LineStarting(dump, "text TPE1 " + Hex("Кино") + " encoding 1"), "");
  EXPECT_TRUE(Has(dump, picture));
  const test::Bytes keptBytes = test::ReadFile(kept);
  const auto v1 = EncodeId3v1(w->BuildTagFromEdits());
  EXPECT_TRUE(std::equal(v1.begin(), v1.end(), keptBytes.end() - 128));

  WhenModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TFrmSplitOption*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->EditN->SetValue(2);
    dialog->BtnOk->click();
  });
  w->BtnSplitClick();
  const QStringList pieces =
      QDir(QString::fromStdString(folder + "/split")).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(pieces.size(), 2);
  for (int i = 0; i < 2; ++i) {
    dump = MutagenDump(folder + "/split/" + pieces[i].toStdString());
    EXPECT_NE(LineStarting(dump, "text TRCK " + Hex(std::to_string(i + 1) + "/2")), "");
    EXPECT_NE(LineStarting(dump, "text TPE1 " + Hex("Кино")), "");
    EXPECT_TRUE(Has(dump, picture));
  }

  // A new tag: every field of the page, the title as the page has it.
  w.Window->Settings().Id3v2 = 2;
  const std::string fresh = folder + "/new.mp3";
  w.Dialogs.Paths.push_back(QString::fromStdString(fresh));
  w->BtnSaveMp3Click();
  dump = MutagenDump(fresh);
  EXPECT_EQ(dump[0], "version 2.4");
  EXPECT_NE(LineStarting(dump, "text TIT2 " + Hex(title.substr(0, 30)) + " encoding 3"), "");
  EXPECT_NE(LineStarting(dump, "text TPE1 " + Hex("Кино") + " encoding 3"), "");
  EXPECT_EQ(LineStarting(dump, "picture"), "");
  EXPECT_EQ(test::AudioOf(test::ReadFile(fresh)), test::AudioOf(keptBytes));

  // A tag TagLib cannot read: the piece without it, and the result box says why.
  test::Bytes broken = test::ReadFile(source);
  const char* id = "TPE1";
  std::fill_n(std::search(broken.begin(), broken.end(), id, id + 4) + 4, 4, 0x7F);
  const std::string brokenSource = folder + "/broken.mp3";
  test::WriteFile(brokenSource, broken);
  w.Window->Settings().Id3v2 = 1;
  w.Open(QString::fromStdString(brokenSource));
  const std::string without = folder + "/without.mp3";
  w.Dialogs.Paths.push_back(QString::fromStdString(without));
  w->BtnSaveMp3Click();
  EXPECT_TRUE(w.Dialogs.Messages.back().Text.contains(
      QStringLiteral("\nthe source's ID3v2 tag is left out: ")));
  EXPECT_EQ(test::TagEnd(test::ReadFile(without)), 0u);
}

}  // namespace
}  // namespace pelcato
