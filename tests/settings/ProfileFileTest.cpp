#include <sys/stat.h>

#include <map>

#include "SettingsTestUtil.h"
#include "io/WriteFaults.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

TEST(ProfileFile, ReadsNamesWithoutCaseAndValuesWithoutBlanks) {
  TScratch scratch;
  const std::string path = scratch.Path("a.ini");
  WriteText(path,
            "; comment\n[Split]\n  OutputFolder =   /music/out  \r\nKEY=first\nkey=second\n"
            "Empty=\n[other]\nb=2\na=1\n");
  const TProfileFile ini(path);
  EXPECT_EQ(ini.State(), TProfileState::Loaded);
  EXPECT_EQ(ini.ReadString("SPLIT", "outputfolder", "x"), "/music/out");
  EXPECT_EQ(ini.ReadString("split", "Key", "x"), "first");  // the first of two entries
  EXPECT_EQ(ini.ReadString("split", "Empty", "x"), "");     // present but empty: no default
  EXPECT_EQ(ini.ReadString("split", "Absent", "def"), "def");
  EXPECT_EQ(ini.ReadString("Nope", "a", "def"), "def");
  const auto entries = ini.ReadSection("OTHER");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Key, "b");  // file order, not name order
  EXPECT_EQ(entries[1].Value, "1");
}

TEST(ProfileFile, LimitsValuesAndSectionKeys) {
  TScratch scratch;
  const std::string path = scratch.Path("a.ini");
  std::string keys;
  // 1000 keys of 19 bytes with their zero: 862 fit in 16383 bytes.
  for (int i = 0; i < 1000; ++i) keys += "Component" + std::to_string(100000000 + i) + "=v\n";
  std::string umlauts;
  for (int i = 0; i < 100; ++i) umlauts += "\xC3\xA4";
  WriteText(path, "[s]\nlong=" + std::string(2000, 'a') + umlauts + "\n[t]\n" + keys);
  const TProfileFile ini(path, true);
  const std::string value = ini.ReadString("s", "long", "");
  EXPECT_EQ(value.size(), 2000u + 47 * 2);  // 2047 characters, none of them split
  EXPECT_EQ(ini.ReadSection("t").size(), 16383u / 19);
}

TEST(ProfileFile, FilesThatAreNoProfileReadAsEmpty) {
  TScratch scratch;
  EXPECT_EQ(TProfileFile(scratch.Path("missing.ini")).State(), TProfileState::Missing);
  WriteText(scratch.Path("bin.ini"), std::string("[s]\na=1\n\0\x01", 10));
  EXPECT_EQ(TProfileFile(scratch.Path("bin.ini")).State(), TProfileState::NotText);
  // No UTF-8: text for display reads as windows-1252, the settings keep the bytes.
  WriteText(scratch.Path("latin1.ini"), "[s]\na=K\xF6ln \x80\x9F\x81\n");
  EXPECT_EQ(TProfileFile(scratch.Path("latin1.ini"), true).ReadString("s", "a", ""),
            "K\u00F6ln \u20AC\u0178\u0081");
  EXPECT_EQ(TProfileFile(scratch.Path("latin1.ini"), false).ReadString("s", "a", ""),
            "K\xF6ln \x80\x9F\x81");
  WriteText(scratch.Path("big.ini"), "[s]\na=1\n" + std::string(TProfileFile::MaxFileBytes, ';'));
  const TProfileFile big(scratch.Path("big.ini"));
  EXPECT_EQ(big.State(), TProfileState::TooLarge);
  EXPECT_EQ(big.ReadString("s", "a", "def"), "def");
  EXPECT_EQ(TProfileFile(scratch.Path()).State(), TProfileState::Unreadable);
}

TEST(ProfileFile, WriteChangesOneEntryAndKeepsTheRest) {
  TScratch scratch;
  const std::string path = scratch.Path("a.ini");
  WriteText(path,
            "; made by hand\n\n[UPGRADE]\nPos=1\n; the folder\n[split]\nTYPE=5\n"
            "Extra=keep me\n[Unknown]\nx=y\n");
  chmod(path.c_str(), 0640);
  TProfileFile ini(path);
  ASSERT_TRUE(ini.WriteString("SPLIT", "Type", "1"));
  ASSERT_TRUE(ini.WriteString("LANGUAGE", "Default", "2"));
  const TProfileFile again(path);
  EXPECT_EQ(again.ReadString("split", "type", ""), "1");
  EXPECT_EQ(again.ReadString("split", "extra", ""), "keep me");
  EXPECT_EQ(again.ReadString("upgrade", "pos", ""), "1");
  EXPECT_EQ(again.ReadString("unknown", "x", ""), "y");
  EXPECT_EQ(again.ReadString("language", "default", ""), "2");
  const std::string text = ReadText(path);
  EXPECT_NE(text.find("; made by hand"), std::string::npos);
  EXPECT_NE(text.find("; the folder"), std::string::npos);
  EXPECT_EQ(text.find("TYPE=5"), std::string::npos);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(scratch.Entries(), 1u);
}

TEST(ProfileFile, FailedWriteLeavesTheOldFileWhole) {
  TScratch scratch;
  const std::string path = scratch.Path("a.ini");
  const std::string old = "[SPLIT]\nType=0\n[Other]\nkeep=" + std::string(500, 'k') + "\n";
  WriteText(path, old);
  TProfileFile ini(path);
  SetWriteFaultHook([] { return false; });  // the disk is full
  EXPECT_FALSE(ini.WriteString("SPLIT", "Type", "1"));
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(ReadText(path), old);
  EXPECT_EQ(scratch.Entries(), 1u);

  // A value that would break into a second line, and a file that could not be read back.
  EXPECT_FALSE(ini.WriteString("SPLIT", "OutputFolder", "/a\n[Evil]\nx=1"));
  EXPECT_EQ(ReadText(path), old);
  WriteText(path, old + std::string(TProfileFile::MaxFileBytes, ';'));
  EXPECT_FALSE(ini.WriteString("SPLIT", "Type", "1"));
  EXPECT_EQ(fs::file_size(path), old.size() + TProfileFile::MaxFileBytes);

  EXPECT_FALSE(TProfileFile(scratch.Path("no/such/folder.ini")).WriteString("a", "b", "c"));
}

TEST(ProfileFile, ParsesIntegers) {
  const std::map<std::string, int32_t> good = {{"10", 10},
                                               {"-5", -5},
                                               {"0x0A", 10},
                                               {"0X1f", 31},
                                               {"$FF", 255},
                                               {"-$10", -16},
                                               {"$FFFFFFFF", -1},
                                               {"2147483647", INT32_MAX},
                                               {"-2147483648", INT32_MIN}};
  for (const auto& [text, expected] : good) {
    int32_t value = 0;
    EXPECT_TRUE(TryParseInteger(text, value) && value == expected) << text;
  }
  int32_t value;
  for (const char* bad : {"2147483648", "$100000000", "", "abc", "12abc", "0x", "$", "-", "1.5"})
    EXPECT_FALSE(TryParseInteger(bad, value)) << bad;
}

}  // namespace
}  // namespace pelcato::test
