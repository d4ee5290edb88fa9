// The files behind faults found so far (tests/data/regress-*), replayed through every reader:
// MP3 files (and the file part of a cutting fuzz input) through the analysis, the picture search
// and the cuts; language and settings files through the message table, a translation and a load and
// save of the settings; time codes through the repair and the reading.
#include <strings.h>

#include "RobustUtil.h"
#include "edit/TimeCode.h"
#include "settings/AppSettings.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

std::vector<fs::path> RegressionFiles(const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(PELCATO_TEST_DATA)) {
    const fs::path& p = entry.path();
    if (p.filename().string().rfind("regress-", 0) == 0 && p.extension() == extension)
      files.push_back(p);
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Regression, Mp3Files) {
  TempDir dir;
  for (const fs::path& file : RegressionFiles(".mp3")) {
    SCOPED_TRACE(file.filename().string());
    Probe(dir, file.string());
  }
  // Inputs of the cutting fuzz target: eight bytes that choose the range, then the file.
  for (const fs::path& file : RegressionFiles(".cut")) {
    SCOPED_TRACE(file.filename().string());
    const Bytes b = ReadFile(file.string());
    if (b.size() > 8) Probe(dir, dir.Put("cut.mp3", Slice(b, 8, b.size() - 8)));
  }
}

struct TAnyForm : TFormTarget {
  struct TAny : TComponentTarget {
    bool HasProperty(const std::string&) const override { return true; }
    bool SetString(const std::string&, const std::string&) override { return true; }
    bool SetInteger(const std::string&, int32_t) override { return true; }
    bool SetStringList(const std::string&, const std::vector<std::string>&) override {
      return true;
    }
  };
  explicit TAnyForm(std::string name) : Name(std::move(name)) {}
  std::string FormName() const override { return Name; }
  std::unique_ptr<TComponentTarget> FindComponent(const std::string&) override {
    return std::make_unique<TAny>();
  }
  std::string Name;
};

TEST(Regression, LanguageAndSettingsFiles) {
  TempDir dir;
  std::vector<fs::path> files = RegressionFiles(".isl");
  for (const fs::path& ini : RegressionFiles(".ini")) files.push_back(ini);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const Bytes before = ReadFile(file.string());
    TMessageTable messages;
    LoadMessages(file.string(), messages);
    for (const char* form : {"FrmMP3Editor", "FrmSplitOption"}) {
      TAnyForm target(form);
      EXPECT_TRUE(TranslateForm(target, file.string()));
    }
    const std::string copy = dir.Put("Pelcato.ini", before);
    TAppSettings settings;
    settings.ProgramFolder = dir.Path() + "/";
    LoadSettings(settings);
    EXPECT_LE(settings.Language, LangAuto);
    SaveSettings(settings);
    EXPECT_EQ(ReadFile(file.string()), before);
  }
}

// Names given more than once, in any letter case: the first entry is the one read, before and
// after a save; a save writes the others together behind the first, with its spelling.
TEST(Regression, DuplicateNamesInTheSettingsFile) {
  TempDir dir;
  const Bytes file = ReadFile(std::string(PELCATO_TEST_DATA) + "/regress-duplicate-keys.ini");
  dir.Put("Pelcato.ini", file);
  TAppSettings settings;
  settings.ProgramFolder = dir.Path() + "/";
  LoadSettings(settings);
  EXPECT_EQ(settings.SplitInto, 4);
  ASSERT_TRUE(SaveSettings(settings));
  const TProfileFile saved(dir / "Pelcato.ini");
  EXPECT_EQ(saved.ReadString("split", "into", ""), "4");
  EXPECT_EQ(saved.ReadString("mine", "e", ""), "1");
  std::vector<std::string> mine;
  for (const TProfileEntry& e : saved.ReadSection("Mine")) mine.push_back(e.Key + "=" + e.Value);
  EXPECT_EQ(mine, (std::vector<std::string>{"E=1", "E=2", "E=4", "x=3"}));
}

// Names that start with the bytes of a byte order mark, before every section or in front of a
// section line: a write kept them, but put them at the start of the file, where the reader
// took those bytes for a mark and lost the entry (or found a section in its place).
TEST(Regression, NamesStartingWithAByteOrderMarkSurviveAWrite) {
  TempDir dir;
  for (const char* name : {"regress-bom-key.ini", "regress-bom-section.ini"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.Put(name, ReadFile(std::string(PELCATO_TEST_DATA) + "/" + name));
    const std::vector<TProfileEntry> before = TProfileFile(path).ReadSection("");
    ASSERT_FALSE(before.empty());
    TProfileFile writer(path);
    ASSERT_TRUE(writer.WriteString("SPLIT", "Type", "1"));
    const TProfileFile after(path);
    const std::vector<TProfileEntry> now = after.ReadSection("");
    ASSERT_EQ(now.size(), before.size());
    for (size_t i = 0; i < now.size(); ++i) {
      EXPECT_EQ(now[i].Key, before[i].Key);
      EXPECT_EQ(now[i].Value, before[i].Value);
    }
    EXPECT_EQ(after.ReadString("split", "type", ""), "1");
  }
}

TEST(Regression, TimeCodes) {
  for (const fs::path& file : RegressionFiles(".txt")) {
    SCOPED_TRACE(file.filename().string());
    const Bytes b = ReadFile(file.string());
    const std::string text(b.begin(), b.end());
    const std::string normal = NormalizeTimeCode(text);
    EXPECT_EQ(normal.size(), std::min<size_t>(text.size(), 13));
    const int64_t ms = ParseTimeCode(normal);
    EXPECT_EQ(ParseTimeCode(FormatTimeCode(ms)), ms);
  }
}

}  // namespace
}  // namespace pelcato::test
