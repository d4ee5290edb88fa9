// The files behind faults found so far (tests/data/regress-*), replayed through every reader:
// MP3 files (and the file part of a cutting fuzz input) through the analysis, the picture search
// and the cuts; language and settings files through the message table, a translation and a load and
// save of the settings; time codes through the repair and the reading; ID3v2 tags through the
// pieces' tags.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <tuple>

#include "RobustUtil.h"
#include "edit/TimeCode.h"
#include "settings/AppSettings.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/ProfileFile.h"
#include "tags/Id3v2PieceTag.h"
#include "tags/Id3v2Summary.h"

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

// The names of the files found, so that a test can tell that it found those it expects.
std::vector<std::string> Names(const std::vector<fs::path>& files) {
  std::vector<std::string> names;
  for (const fs::path& f : files) names.push_back(f.filename().string());
  return names;
}

void ExpectAmong(const std::vector<std::string>& names, const std::vector<std::string>& expected) {
  for (const std::string& name : expected) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name << " is missing";
  }
}

TEST(Regression, Mp3Files) {
  TempDir dir;
  const std::vector<fs::path> mp3s = RegressionFiles(".mp3");
  ExpectAmong(Names(mp3s), {"regress-tag-bytes-in-audio.mp3"});
  for (const fs::path& file : mp3s) {
    SCOPED_TRACE(file.filename().string());
    Probe(dir, file.string());
  }
  // Inputs of the cutting fuzz target: eight bytes that choose the range, then the file.
  const std::vector<fs::path> cuts = RegressionFiles(".cut");
  ExpectAmong(Names(cuts), {"regress-tag-over-earlier-frames.cut"});
  for (const fs::path& file : cuts) {
    SCOPED_TRACE(file.filename().string());
    const Bytes b = ReadFile(file.string());
    ASSERT_GT(b.size(), 8u);
    Probe(dir, dir.Put("cut.mp3", Slice(b, 8, b.size() - 8)));
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

// The section names of a profile's text, and "" for the entries before the first section.
std::vector<std::string> SectionNames(const Bytes& bytes) {
  std::vector<std::string> names = {""};
  const std::string text(bytes.begin(), bytes.end());
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t open = line.find_first_not_of(" \t\r");
    const size_t close = line.find(']');
    if (open == std::string::npos || line[open] != '[' || close == std::string::npos) continue;
    std::string name = line.substr(open + 1, close - open - 1);
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    names.push_back(name);
  }
  return names;
}

// What each name of a section holds, in order (names in lower case; a save writes duplicates
// together behind the first), without the entries a settings save writes.
std::map<std::string, std::vector<std::string>> EntriesNotSaved(const TProfileFile& file,
                                                                const std::string& section) {
  static const std::vector<std::pair<const char*, const char*>> saved = {
      {"LANGUAGE", "Default"}, {"SPLIT", "OutputFolder"}, {"SPLIT", "Type"}, {"SPLIT", "Into"},
      {"SPLIT", "Hour"},       {"SPLIT", "Min"},          {"SPLIT", "Sec"}};
  std::map<std::string, std::vector<std::string>> entries;
  for (const TProfileEntry& e : file.ReadSection(section)) {
    const bool written = std::any_of(saved.begin(), saved.end(), [&](const auto& s) {
      return strcasecmp(s.first, section.c_str()) == 0 && strcasecmp(s.second, e.Key.c_str()) == 0;
    });
    std::string name = e.Key;
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (!written) entries[name].push_back(e.Value);
  }
  return entries;
}

TEST(Regression, LanguageAndSettingsFiles) {
  TempDir dir;
  std::vector<fs::path> files = RegressionFiles(".isl");
  for (const fs::path& ini : RegressionFiles(".ini")) files.push_back(ini);
  ExpectAmong(Names(files),
              {"regress-bom-key.ini", "regress-bom-section.ini", "regress-duplicate-keys.ini"});
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const Bytes before = ReadFile(file.string());
    TMessageTable messages;
    LoadMessages(file.string(), messages);
    for (const char* form : {"FrmMP3Editor", "FrmSplitOption"}) {
      TAnyForm target(form);
      EXPECT_TRUE(TranslateForm(target, file.string()));
    }
    // As the settings file: a save keeps every entry it does not write and writes what was
    // read; a file that cannot be read whole is refused and left as it is.
    const std::string copy = dir.Put("Pelcato.ini", before);
    const TProfileFile original(copy);
    TAppSettings settings;
    settings.ProgramFolder = dir.Path() + "/";
    LoadSettings(settings);
    EXPECT_LE(settings.Language, LangAuto);
    const bool readable = original.State() == TProfileState::Loaded;
    ASSERT_EQ(SaveSettings(settings), readable) << int(original.State());
    if (!readable) {
      EXPECT_EQ(ReadFile(copy), before);
      continue;
    }
    const TProfileFile after(copy);
    for (const std::string& section : SectionNames(before)) {
      EXPECT_EQ(EntriesNotSaved(after, section), EntriesNotSaved(original, section))
          << "[" << section << "]";
    }
    TAppSettings reread;
    reread.ProgramFolder = settings.ProgramFolder;
    LoadSettings(reread);
    EXPECT_EQ(
        std::tie(reread.Language, reread.OutputFolder, reread.SplitType, reread.SplitInto,
                 reread.SplitHour, reread.SplitMin, reread.SplitSec),
        std::tie(settings.Language, settings.OutputFolder, settings.SplitType, settings.SplitInto,
                 settings.SplitHour, settings.SplitMin, settings.SplitSec));
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
  const std::vector<fs::path> files = RegressionFiles(".txt");
  ExpectAmong(Names(files), {"regress-timecode-blanks-and-high-tens.txt"});
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const Bytes b = ReadFile(file.string());
    const std::string text(b.begin(), b.end());
    const std::string normal = NormalizeTimeCode(text);
    EXPECT_EQ(normal.size(), std::min<size_t>(text.size(), 13));
    const int64_t ms = ParseTimeCode(normal);
    EXPECT_EQ(ParseTimeCode(FormatTimeCode(ms)), ms);
  }
}

// Source tags for the pieces' ID3v2 tags: no tag or one that reads back to its end.
TEST(Regression, Id3v2Tags) {
  for (const fs::path& file : RegressionFiles(".id3")) {
    SCOPED_TRACE(file.filename().string());
    const Bytes b = ReadFile(file.string());
    SummarizeId3v2(b.data(), b.size());
    const TPieceTag tag = TId3v2PieceTag(b).Render(TId3v2Mode::Keep, {});
    const auto back = SummarizeId3v2(tag.Bytes.data(), tag.Bytes.size());
    EXPECT_TRUE(tag.Bytes.empty() || (back && back->Problem.empty()));
  }
}

}  // namespace
}  // namespace pelcato::test
