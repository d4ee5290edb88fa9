// Language and settings files that are odd or hostile: huge values and lines, byte order
// marks, invalid UTF-8, thousands of keys, percent signs, integers without digits.
#include <strings.h>
#include <sys/stat.h>

#include <vector>

#include "SettingsTestUtil.h"
#include "settings/AppSettings.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

// A window whose components take every value; each assignment is noted as
// "Component.Property=value" in the order it happened.
class TRecordingForm : public TFormTarget {
 public:
  explicit TRecordingForm(std::string name) : FName(std::move(name)) {}
  std::string FormName() const override { return FName; }
  std::unique_ptr<TComponentTarget> FindComponent(const std::string& name) override {
    for (const char* known : {"", "Label1", "Edit1"})
      if (strcasecmp(known, name.c_str()) == 0) return std::make_unique<TComponent>(known, Log);
    return nullptr;
  }
  std::vector<std::string> Log;

 private:
  struct TComponent : TComponentTarget {
    TComponent(std::string name, std::vector<std::string>& log) : Name(std::move(name)), L(log) {}
    bool HasProperty(const std::string&) const override { return true; }
    bool SetString(const std::string& p, const std::string& v) override { return Note(p, v); }
    bool SetInteger(const std::string& p, int32_t v) override { return Note(p, std::to_string(v)); }
    bool SetStringList(const std::string& p, const std::vector<std::string>& lines) override {
      std::string all;
      for (const std::string& line : lines) all += line + ";";
      return Note(p, all);
    }
    bool Note(const std::string& p, const std::string& v) {
      L.push_back(Name + "." + p + "=" + v);
      return true;
    }
    std::string Name;
    std::vector<std::string>& L;
  };
  std::string FName;
};

class HostileText : public ::testing::Test {
 protected:
  // Writes text as the settings file and as a language file, and reads it in every way.
  void Read(const std::string& text) {
    WriteText(Scratch.Path("Pelcato.ini"), text);
    Messages = TMessageTable();
    LoadMessages(Scratch.Path("Pelcato.ini"), Messages);
    Form.Log.clear();
    EXPECT_TRUE(TranslateForm(Form, Scratch.Path("Pelcato.ini")));
    Settings = TAppSettings();
    Settings.ProgramFolder = Scratch.Folder();
    LoadSettings(Settings);
  }

  TScratch Scratch;
  TMessageTable Messages;
  TRecordingForm Form{"FrmMP3Editor"};
  TAppSettings Settings;
};

using Log = std::vector<std::string>;

// Values are cut at 2047 characters, lines without "=" are passed over whatever their length,
// and the last line counts without a line break behind it.
TEST_F(HostileText, HugeValuesAndLinesAndNoFinalLineBreak) {
  const std::string huge(100'000, 'h');
  const std::string cut(TProfileFile::MaxValueChars, 'h');
  Read("[Messages]\nMs_Error=" + huge + "\n" + huge + "\nMs_Info=after\n[FrmMP3Editor]\n" +
       "Label1.Caption=" + huge + "\n" + huge +
       "\nLabel1.Hint=after\n[SPLIT]\nOutputFolder=" + huge + "\nInto=5");
  EXPECT_EQ(Messages.Ms_Error, cut);
  EXPECT_EQ(Messages.Ms_Info, "after");
  EXPECT_EQ(Form.Log, (Log{"Label1.Caption=" + cut, "Label1.Hint=after"}));
  EXPECT_EQ(Settings.OutputFolder, cut);
  EXPECT_EQ(Settings.SplitInto, 5);
  // The settings are written back whole; the long value keeps its 100,000 characters.
  Settings.SplitInto = 6;
  ASSERT_TRUE(SaveSettings(Settings));
  EXPECT_NE(ReadText(Scratch.Path("Pelcato.ini")).find("Ms_Error=" + huge + "\n"),
            std::string::npos);
  // A name longer than the room for a section's names ends the list of that section there.
  Read("[FrmMP3Editor]\nLabel1.Caption=first\n" + huge + "=x\nLabel1.Hint=after\n");
  EXPECT_EQ(Form.Log, (Log{"Label1.Caption=first"}));
}

// A byte order mark does not hide the first section, and a save keeps it; line ends may be
// CR LF or a lone CR.
TEST_F(HostileText, ByteOrderMarkAndLineEnds) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::pair<std::string, std::string> sections[] = {
      {"[Messages]", "Ms_Error=Fehler"},
      {"[FrmMP3Editor]", "Label1.Caption=Öffnen"},
      {"[SPLIT]", "Into=7"}};
  for (const std::string end : {"\n", "\r\n", "\r"}) {
    for (size_t first = 0; first < 3; ++first) {
      SCOPED_TRACE(int(end.back()) * 10 + int(first));
      std::string text = bom;
      for (size_t i = 0; i < 3; ++i) {
        const auto& [header, entry] = sections[(first + i) % 3];
        text += header + end + entry + end;
      }
      Read(text);
      EXPECT_EQ(Messages.Ms_Error, "Fehler");
      EXPECT_EQ(Form.Log, Log{"Label1.Caption=Öffnen"});
      EXPECT_EQ(Settings.SplitInto, 7);
    }
  }
  Read(bom + "[SPLIT]\nInto=7\n[Mine]\nkeep=1\n");
  Settings.SplitInto = 3;
  ASSERT_TRUE(SaveSettings(Settings));
  const std::string saved = ReadText(Scratch.Path("Pelcato.ini"));
  EXPECT_EQ(saved.rfind(bom, 0), 0u);
  EXPECT_EQ(saved.find(bom, 1), std::string::npos);
  EXPECT_NE(saved.find("[Mine]\nkeep=1\n"), std::string::npos);
  Read(saved);
  EXPECT_EQ(Settings.SplitInto, 3);
}

// A language file that is no UTF-8 is read as windows-1252, every byte a character; the
// settings file is taken as bytes and keeps them through a save.
TEST_F(HostileText, InvalidUtf8) {
  const std::string bad = "K\xF6ln \xC3\x28 \xED\xA0\x80 \xF8\x88\x80\x80\x80";
  const std::string asWindows1252 =
      "K\u00F6ln \u00C3( \u00ED\u00A0\u20AC \u00F8\u02C6\u20AC\u20AC\u20AC";
  Read("[Messages]\nMs_Error=" + bad + "\n[FrmMP3Editor]\nLabel1.Caption=" + bad +
       "\n[SPLIT]\nOutputFolder=/music/" + bad + "\n[Other]\n" + bad + "=" + bad + "\n");
  EXPECT_EQ(Messages.Ms_Error, asWindows1252);
  EXPECT_EQ(Form.Log, (Log{"Label1.Caption=" + asWindows1252}));
  EXPECT_EQ(Settings.OutputFolder, "/music/" + bad);
  ASSERT_TRUE(SaveSettings(Settings));
  const TProfileFile saved(Scratch.Path("Pelcato.ini"));
  EXPECT_EQ(saved.ReadString("SPLIT", "OutputFolder", ""), "/music/" + bad);
  EXPECT_EQ(saved.ReadString("Other", bad, ""), bad);
}

// Ten thousand names in one section: the translation takes those that fit the room for a
// section's names (16 KiB), single reads find every one, and nothing takes long.
TEST_F(HostileText, TenThousandKeysInASection) {
  std::string many;
  for (int i = 0; i < 10'000; ++i) many += "Label1.Tag=" + std::to_string(i) + "\n";
  Read("[FrmMP3Editor]\n" + many + "Label1.Caption=last\n[Messages]\n" + many +
       "Ms_Error=found\n[SPLIT]\n" + many + "Into=9\n");
  ASSERT_EQ(Form.Log.size(), 16383u / 11);  // "Label1.Tag" and its zero: 11 bytes each
  EXPECT_EQ(Form.Log.back(), "Label1.Tag=1488");
  EXPECT_EQ(Messages.Ms_Error, "found");
  EXPECT_EQ(Settings.SplitInto, 9);
}

// Percent signs are text everywhere; only "%1" in the two messages that have it is replaced.
TEST_F(HostileText, PercentSignsAreNeverFormats) {
  const std::string percent = "%s %n %d %x %1 %% %";
  Read("[Messages]\nMs_Error=" + percent + "\nMs_SplitSave=%s: %1 files, %1 %2\n" +
       "[FrmMP3Editor]\nLabel1.Caption=" + percent + "\nEdit1.Text=%n%n%n\n[SPLIT]\n" +
       "OutputFolder=/tmp/%s%n/\n");
  EXPECT_EQ(Messages.Ms_Error, percent);
  EXPECT_EQ(ReplaceAll(Messages.Ms_SplitSave, "%1", "4"), "%s: 4 files, 4 %2");
  EXPECT_EQ(Form.Log, (Log{"Label1.Caption=" + percent, "Edit1.Text=%n%n%n"}));
  EXPECT_EQ(Settings.OutputFolder, "/tmp/%s%n/");
  Settings.ProgramFolder = Scratch.Path("%s%n%x") + "/";  // no such folder: the save fails
  std::string shown;
  EXPECT_FALSE(SaveSettings(Settings, [&](const std::string& m) { shown = m; }));
  EXPECT_EQ(shown, "Unable to write to " + Scratch.Path("%s%n%x") + "/Pelcato.ini.");
}

// An integer property given a prefix without digits ends the translation of the window at
// that entry; the settings take their defaults for such values.
TEST_F(HostileText, IntegersWithoutDigitsStopTheTranslation) {
  for (const char* bad : {"$", "0x", "0X", "-$", "+", "$ 1", "0x-1", "$G", "0x 10"}) {
    Read(std::string("[FrmMP3Editor]\nLabel1.Caption=before\nLabel1.Left=") + bad +
         "\nLabel1.Hint=after\n[SPLIT]\nInto=" + bad + "\nMin=" + bad + "\n");
    EXPECT_EQ(Form.Log, Log{"Label1.Caption=before"}) << bad;
    EXPECT_EQ(Settings.SplitInto, 2) << bad;
    EXPECT_EQ(Settings.SplitMin, 3) << bad;
  }
}

// Things in the place of the files that are no regular files, or whose size says nothing:
// read as no file (or as what they hold), never waited on, never written through.
TEST_F(HostileText, SpecialFilesInThePlaceOfTheFiles) {
  const std::string path = Scratch.Path("Pelcato.ini");
  ASSERT_EQ(mkfifo(Scratch.Path("fifo").c_str(), 0600), 0);
  for (const std::string& target : {Scratch.Path("fifo"), std::string("/dev/zero"),
                                    std::string("/dev/urandom"), Scratch.Path("none")}) {
    SCOPED_TRACE(target);
    fs::create_symlink(target, path);
    Messages = TMessageTable();
    LoadMessages(path, Messages);
    EXPECT_EQ(Messages.Ms_Error, "Error");
    Settings = TAppSettings();
    Settings.ProgramFolder = Scratch.Folder();
    LoadSettings(Settings);
    EXPECT_EQ(Settings.SplitInto, 2);
    // A dangling link gets a file of its own; the others are never written through.
    EXPECT_EQ(SaveSettings(Settings), target == Scratch.Path("none"));
    EXPECT_FALSE(fs::exists(Scratch.Path("none")));
    fs::remove(path);
  }
  // A file whose size reads 0 but which holds text is read whole.
  fs::create_symlink("/proc/self/status", path);
  EXPECT_EQ(TProfileFile(path).State(), TProfileState::Loaded);
}

}  // namespace
}  // namespace pelcato::test
