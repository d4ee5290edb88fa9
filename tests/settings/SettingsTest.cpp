#include <unistd.h>

#include <tuple>

#include "SettingsTestUtil.h"
#include "io/WriteFaults.h"
#include "settings/AppSettings.h"
#include "settings/Language.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.ProgramFolder = Scratch.Folder();
    setenv("HOME", "/home/someone", 1);
  }
  void Write(const std::string& text) { WriteText(Scratch.Path("Pelcato.ini"), text); }
  TAppSettings Load() {
    TAppSettings loaded;
    loaded.ProgramFolder = Scratch.Folder();
    LoadSettings(loaded);
    return loaded;
  }

  TScratch Scratch;
  TAppSettings Settings;
};

TEST_F(SettingsTest, MissingFileGivesTheDefaults) {
  const TAppSettings s = Load();
  EXPECT_EQ(s.OutputFolder, "/home/someone/");
  EXPECT_EQ(std::tie(s.UpgradePos, s.SplitType, s.SplitInto, s.SplitHour, s.SplitMin, s.SplitSec),
            std::make_tuple(0, TSplitType::IntoParts, 2, 0, 3, 0));
  EXPECT_EQ(s.Language, LangAuto);
  // Pieces of a VBR file show their true length unless the user says otherwise.
  EXPECT_TRUE(s.VbrHeader);
  EXPECT_EQ(s.Id3v2, 0);
  EXPECT_FALSE(s.Exact);
}

TEST_F(SettingsTest, OutputChoicesAreReadAsAnyNonZeroNumberAndWrittenBack) {
  for (bool TAppSettings::*field : {&TAppSettings::VbrHeader, &TAppSettings::Exact}) {
    const std::string key = field == &TAppSettings::Exact ? "Exact" : "VbrHeader";
    const bool byDefault = field == &TAppSettings::VbrHeader;
    SCOPED_TRACE(key);
    for (const auto& [text, expected] :
         std::vector<std::pair<std::string, bool>>{{"1", true},
                                                   {"0x10", true},
                                                   {"-1", true},
                                                   {"0", false},
                                                   {"yes", byDefault},
                                                   {"", byDefault}}) {
      Write("[output]\n" + key + "=" + text + "\n");
      EXPECT_EQ(Load().*field, expected) << text;
    }
    Write("[OUTPUT]\nOther=x\n");
    Settings = Load();
    Settings.*field = true;
    ASSERT_TRUE(SaveSettings(Settings));
    EXPECT_TRUE(Load().*field);
    const std::string text = ReadText(Scratch.Path("Pelcato.ini"));
    EXPECT_NE(text.find("[OUTPUT]\nOther=x\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n" + key + "=1\n"), std::string::npos) << text;
    Settings.*field = false;
    ASSERT_TRUE(SaveSettings(Settings));
    EXPECT_FALSE(Load().*field);
  }
}

TEST_F(SettingsTest, Id3v2IsOneOfThreeChoicesAndWrittenBack) {
  for (const auto& [text, expected] : std::vector<std::pair<std::string, int>>{
           {"1", 1}, {"2", 2}, {"0x2", 2}, {"3", 0}, {"-1", 0}, {"new", 0}}) {
    Write("[output]\nId3v2=" + text + "\n");
    EXPECT_EQ(Load().Id3v2, expected) << text;
  }
  Write("[OUTPUT]\nVbrHeader=1\n");
  Settings = Load();
  Settings.Id3v2 = 2;
  ASSERT_TRUE(SaveSettings(Settings));
  EXPECT_EQ(Load().Id3v2, 2);
  const std::string text = ReadText(Scratch.Path("Pelcato.ini"));
  EXPECT_NE(text.find("[OUTPUT]\nVbrHeader=1\nId3v2=2\n"), std::string::npos) << text;
}

TEST_F(SettingsTest, ReadsNumbersAndFallsBackForText) {
  Write(
      "[split]\nInto=0x0A\nHour=$2\nMin=abc\nSec=0X1e\nType=5\nOutputFolder= /data/x \n"
      "[Upgrade]\nPos=1\n[LANGUAGE]\nDefault=-5\n");
  TAppSettings s = Load();
  // Any non-zero type is the duration mode.
  EXPECT_EQ(std::tie(s.SplitInto, s.SplitHour, s.SplitMin, s.SplitSec, s.SplitType),
            std::make_tuple(10, 2, 3, 30, TSplitType::ByDuration));
  EXPECT_EQ(s.OutputFolder, "/data/x");
  EXPECT_EQ(s.UpgradePos, 1);
  EXPECT_EQ(s.Language, LangEnglish);
  Write("[LANGUAGE]\nDefault=12\n[SPLIT]\nInto=letters\n");
  s = Load();
  EXPECT_EQ(s.Language, LangAuto);
  EXPECT_EQ(s.SplitInto, 2);
}

TEST_F(SettingsTest, SaveWritesItsEntriesAndKeepsTheOthers) {
  Write("; hand-made\n[UPGRADE]\nPos=1\n[Mine]\nx=1\n[SPLIT]\nType=5\n");
  Settings = Load();
  Settings.Language = LangGerman;
  Settings.SplitType = TSplitType::ByDuration;
  Settings.OutputFolder = "/home/someone/Music/";
  Settings.UpgradePos = 0;  // never written
  ASSERT_TRUE(SaveSettings(Settings));
  const TAppSettings s = Load();
  EXPECT_EQ(s.Language, LangGerman);
  EXPECT_EQ(s.SplitType, TSplitType::ByDuration);
  EXPECT_EQ(s.OutputFolder, "/home/someone/Music/");
  EXPECT_EQ(s.UpgradePos, 1);
  const std::string text = ReadText(Scratch.Path("Pelcato.ini"));
  EXPECT_NE(text.find("; hand-made"), std::string::npos);
  EXPECT_NE(text.find("[Mine]\nx=1"), std::string::npos);
  EXPECT_EQ(text.find("Pos=0"), std::string::npos);
}

TEST_F(SettingsTest, SaveCreatesTheFileWithoutAnUpgradeSection) {
  Settings.Language = LangAuto;
  ASSERT_TRUE(SaveSettings(Settings));
  const std::string text = ReadText(Scratch.Path("Pelcato.ini"));
  EXPECT_EQ(text.find("UPGRADE"), std::string::npos);
  // The language first, then the split entries in their order, then the output choices.
  EXPECT_EQ(text,
            "[LANGUAGE]\nDefault=7\n\n[SPLIT]\nOutputFolder=\nType=0\nInto=2\nHour=0\n"
            "Min=3\nSec=0\n\n[OUTPUT]\nVbrHeader=1\nId3v2=0\nExact=0\nGainSteps=0\n"
            "Normalize=0\nNormalizeTarget=-18\nFadeInMs=0\nFadeOutMs=0\n");
}

TEST_F(SettingsTest, FailedSaveReportsThePathAndStops) {
  // A program folder below a file: nothing can be created there.
  WriteText(Scratch.Path("file"), "x");
  Settings.ProgramFolder = Scratch.Path("file") + "/";
  std::vector<std::string> shown;
  EXPECT_FALSE(SaveSettings(Settings, [&](const std::string& m) { shown.push_back(m); }));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Unable to write to " + Scratch.Path("file") + "/Pelcato.ini.");

  // A full disk at the third entry (each is written in two parts): the first two are written,
  // the old file is never cut.
  Settings.ProgramFolder = Scratch.Folder();
  const std::string old = "[SPLIT]\nType=0\nInto=9\n";
  Write(old);
  int writes = 0;
  SetWriteFaultHook([&] { return ++writes <= 4; });
  Settings.Language = LangItalian;
  Settings.SplitInto = 4;
  EXPECT_FALSE(SaveSettings(Settings));
  SetWriteFaultHook(nullptr);
  const TAppSettings s = Load();
  EXPECT_EQ(s.Language, LangItalian);
  EXPECT_EQ(s.SplitInto, 9);
}

TEST(ProgramFolder, IsTheFolderOfTheProgramWithASlash) {
  EXPECT_EQ(GetProgramFolder("/opt/pelcato/bin/pelcato"), "/opt/pelcato/bin/");
  EXPECT_EQ(GetProgramFolder("/pelcato"), "/");
  EXPECT_EQ(IncludeTrailingSlash("/usr/bin"), "/usr/bin/");
  EXPECT_EQ(IncludeTrailingSlash("/"), "/");
  const std::string own = GetProgramFolder();
  EXPECT_EQ(own.front(), '/');
  EXPECT_EQ(own.back(), '/');
  EXPECT_TRUE(fs::exists(own + "settings_tests"));
}

// The folders of a copy beside its language files and of an installed program, with the
// user's folders taken from the environment.
class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Scratch.Path("prefix/bin"));
    fs::create_directories(Scratch.Path("prefix/share/pelcato/Languages"));
    WriteText(Scratch.Path("prefix/share/pelcato/Languages/German.isl"),
              "[FrmMP3Editor]\nCaption=Installiert\n");
    setenv("HOME", Scratch.Path("home").c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
  }
  TScratch Scratch;
};

TEST_F(FoldersTest, ACopyWithItsLanguagesKeepsEverythingBesideTheProgram) {
  fs::create_directories(Scratch.Path("copy/Languages"));
  TAppSettings s;
  ResolveFolders(s, Scratch.Path("copy"), Scratch.Path("prefix/share/pelcato"));
  EXPECT_EQ(s.ProgramFolder, Scratch.Path("copy/"));
  EXPECT_EQ(s.LanguageFolder, Scratch.Path("copy/Languages/"));
  EXPECT_EQ(SettingsFilePath(s), Scratch.Path("copy/Pelcato.ini"));
  EXPECT_EQ(TempFolderPath(s), Scratch.Path("copy/Tmp/"));
  s.Language = LangGerman;
  EXPECT_EQ(LanguageFilePath(s), Scratch.Path("copy/Languages/German.isl"));
  EXPECT_FALSE(fs::exists(Scratch.Path("home")));  // nothing made in the user's folders
}

TEST_F(FoldersTest, AnInstalledProgramUsesTheDataFolderAndTheUsersFolders) {
  TAppSettings s;
  ResolveFolders(s, Scratch.Path("prefix/bin/"), Scratch.Path("prefix/share/pelcato/"));
  EXPECT_EQ(s.ProgramFolder, Scratch.Path("prefix/bin/"));  // upgrade.exe stays beside it
  s.Language = LangGerman;
  EXPECT_EQ(LanguageFilePath(s), Scratch.Path("prefix/share/pelcato/Languages/German.isl"));
  EXPECT_EQ(SettingsFilePath(s), Scratch.Path("home/.config/pelcato/Pelcato.ini"));
  EXPECT_EQ(TempFolderPath(s), Scratch.Path("home/.cache/pelcato/Tmp/"));
  // The folders are made, for the user alone, and the settings go there.
  EXPECT_TRUE(fs::is_directory(Scratch.Path("home/.cache/pelcato/Tmp")));
  EXPECT_EQ(fs::status(Scratch.Path("home/.config/pelcato")).permissions() & fs::perms::all,
            fs::perms::owner_all);
  s.SplitInto = 7;
  ASSERT_TRUE(SaveSettings(s));
  TAppSettings loaded;
  ResolveFolders(loaded, Scratch.Path("prefix/bin/"), Scratch.Path("prefix/share/pelcato/"));
  LoadSettings(loaded);
  EXPECT_EQ(loaded.SplitInto, 7);
  EXPECT_FALSE(fs::exists(Scratch.Path("prefix/bin/Pelcato.ini")));
}

TEST_F(FoldersTest, FollowsTheXdgFoldersAndIgnoresRelativeOnes) {
  setenv("XDG_CONFIG_HOME", Scratch.Path("cfg/deep").c_str(), 1);
  setenv("XDG_CACHE_HOME", Scratch.Path("cache").c_str(), 1);
  TAppSettings s;
  ResolveFolders(s, Scratch.Path("prefix/bin"), Scratch.Path("prefix/share/pelcato"));
  EXPECT_EQ(SettingsFilePath(s), Scratch.Path("cfg/deep/pelcato/Pelcato.ini"));
  EXPECT_EQ(TempFolderPath(s), Scratch.Path("cache/pelcato/Tmp/"));
  EXPECT_TRUE(fs::is_directory(Scratch.Path("cfg/deep/pelcato")));

  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
  setenv("XDG_CACHE_HOME", "", 1);
  ResolveFolders(s, Scratch.Path("prefix/bin"), Scratch.Path("prefix/share/pelcato"));
  EXPECT_EQ(SettingsFilePath(s), Scratch.Path("home/.config/pelcato/Pelcato.ini"));
  EXPECT_EQ(TempFolderPath(s), Scratch.Path("home/.cache/pelcato/Tmp/"));
}

TEST_F(FoldersTest, TheInstalledDataFolderIsFoundFromTheProgramsFolder) {
  EXPECT_EQ(InstalledDataFolder(Scratch.Path("prefix/bin/")),
            Scratch.Path("prefix/bin/../share/pelcato/"));
  // Moved away from its data: the configured install prefix's folder.
  fs::create_directories(Scratch.Path("elsewhere"));
  const std::string configured = InstalledDataFolder(Scratch.Path("elsewhere/"));
  EXPECT_EQ(configured.front(), '/');
  EXPECT_TRUE(configured.ends_with("/share/pelcato/")) << configured;
}

TEST_F(FoldersTest, AnUnwritableHomeGivesTheSettingsErrorNotACrash) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  fs::create_directories(Scratch.Path("home"));
  fs::permissions(Scratch.Path("home"), fs::perms::owner_read | fs::perms::owner_exec);
  TAppSettings s;
  ResolveFolders(s, Scratch.Path("prefix/bin/"), Scratch.Path("prefix/share/pelcato/"));
  std::string message;
  EXPECT_FALSE(SaveSettings(s, [&](const std::string& text) { message = text; }));
  EXPECT_EQ(message,
            "Unable to write to " + Scratch.Path("home/.config/pelcato/Pelcato.ini") + ".");
  fs::permissions(Scratch.Path("home"), fs::perms::owner_all);
}

}  // namespace
}  // namespace pelcato::test
