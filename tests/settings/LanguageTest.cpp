#include <map>
#include <set>

#include "SettingsTestUtil.h"
#include "settings/Language.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

// A component with a fixed set of properties, recording what a translation sets.
struct TFakeComponent {
  std::set<std::string> Properties;
  std::map<std::string, std::string> Strings;
  std::map<std::string, int32_t> Integers;
  std::map<std::string, std::vector<std::string>> Lists;
};

class TFakeRef : public TComponentTarget {
 public:
  explicit TFakeRef(TFakeComponent& c) : C(c) {}
  bool HasProperty(const std::string& name) const override { return C.Properties.count(name); }
  bool SetString(const std::string& n, const std::string& v) override {
    return C.Strings[n] = v, true;
  }
  bool SetInteger(const std::string& n, int32_t v) override { return C.Integers[n] = v, true; }
  bool SetStringList(const std::string& n, const std::vector<std::string>& v) override {
    return C.Lists[n] = v, true;
  }
  TFakeComponent& C;
};

class TFakeForm : public TFormTarget {
 public:
  explicit TFakeForm(std::string name) : Name(std::move(name)) {}
  std::string FormName() const override { return Name; }
  std::unique_ptr<TComponentTarget> FindComponent(const std::string& name) override {
    if (name.empty()) return std::make_unique<TFakeRef>(Self);
    for (auto& [n, c] : Components)
      if (strcasecmp(n.c_str(), name.c_str()) == 0) return std::make_unique<TFakeRef>(c);
    return nullptr;
  }
  TFakeComponent& Add(const std::string& name, std::set<std::string> properties) {
    return Components[name] = TFakeComponent{std::move(properties), {}, {}, {}};
  }
  std::string Name;
  TFakeComponent Self{{"Caption", "Hint", "Left"}, {}, {}, {}};
  std::map<std::string, TFakeComponent> Components;
};

const std::set<std::string> kLabel = {"Caption", "Hint", "Left", "Top", "Width", "Tag"};

TEST(DetectSystemLanguage, MatchesTheEnglishNameOfTheLanguage) {
  EXPECT_EQ(DetectSystemLanguage("English"), LangEnglish);
  EXPECT_EQ(DetectSystemLanguage("German"), LangGerman);
  EXPECT_EQ(DetectSystemLanguage("Swiss German"), LangGerman);
  EXPECT_EQ(DetectSystemLanguage("SPANISH"), LangSpanish);
  EXPECT_EQ(DetectSystemLanguage("Chinese"), LangChinese);
  EXPECT_EQ(DetectSystemLanguage("Japanese"), LangJapanese);
  EXPECT_EQ(DetectSystemLanguage("Norwegian Bokmal"), LangAuto);
  EXPECT_EQ(DetectSystemLanguage(""), LangAuto);
  EXPECT_EQ(DetectSystemLanguage("English of some very long kind"), LangAuto);
}

TEST(Messages, LoadExpandsLineBreaksOnlyInNotSaveName) {
  TScratch scratch;
  const std::string path = scratch.Path("x.isl");
  WriteText(path,
            "[Messages]\nMs_NotSaveName=Use another.#10Cannot#10\nMs_NotSave = A#10B \n"
            "ms_splitsave=%1 files, %1 times\n");
  TMessageTable table;
  LoadMessages(path, table);
  EXPECT_EQ(table.Ms_NotSaveName, "Use another.\nCannot\n");
  EXPECT_EQ(table.Ms_NotSave, "A#10B");
  EXPECT_EQ(ReplaceAll(table.Ms_SplitSave, "%1", "4"), "4 files, 4 times");
  EXPECT_EQ(table.Ms_Error, "Error");  // absent: built in

  // Files that cannot be used leave the built-in texts, expanded as a file's would be.
  for (const std::string& bad :
       {std::string("[Messages]\nMs_Error=F\xE9hler\n"), std::string("[Messages]\0Ms_Error=x", 21),
        "[Messages]\nMs_Error=Big\n" + std::string(TProfileFile::MaxFileBytes, ';')}) {
    WriteText(path, bad);
    LoadMessages(path, table);
    EXPECT_EQ(table.Ms_Error, "Error");
    EXPECT_EQ(table.Ms_NotSaveName, "Please use other file name.\nCannot save as\n");
  }
  LoadMessages(scratch.Path("missing.isl"), table);
  EXPECT_EQ(table.Ms_AsCopy, TMessageTable().Ms_AsCopy);
}

TEST(Messages, TextHelpers) {
  EXPECT_EQ(ReplaceAll("%1%1x%1", "%1", "12"), "1212x12");
  EXPECT_EQ(ReplaceAll("a%1", "", "z"), "a%1");
  EXPECT_EQ(SplitAtFirst("Key=va=lue", "="), (std::vector<std::string>{"va=lue", "Key"}));
  EXPECT_EQ(SplitAtFirst("no separator", "="), (std::vector<std::string>{"no separator"}));
  EXPECT_EQ(LanguageFileName(LangGerman), "Languages/German.isl");
  EXPECT_EQ(LanguageFileName(LangJapanese), "Languages/English.isl");
}

TEST(TranslateForm, AppliesEntriesInOrderAndStopsAtABadInteger) {
  TScratch scratch;
  const std::string path = scratch.Path("x.isl");
  WriteText(path,
            "[FrmMP3Editor]\nLabel13.Left=1\n[FrmSplitOption]\n"
            "  BtnOk . Caption   =   Fine = good  \n"
            "Caption=Split options\n"
            ".Hint=window hint\n"
            "Nobody.Caption=x\n"
            "Label13.Visible=False\n"
            "Label3.Font.Name=Arial\n"
            "Timer1.Left=not a number\n"  // Timer1 has no Left: skipped, not an error
            "label13.LEFT=$14\n"
            "Combo.Items=a||b||c\n"
            "Label13.Top=abc\n"
            "Label14.Caption=after\n");
  TFakeForm form("FrmSplitOption");
  TFakeComponent& ok = form.Add("BtnOk", kLabel);
  TFakeComponent& label13 = form.Add("Label13", kLabel);
  TFakeComponent& label3 = form.Add("Label3", kLabel);
  TFakeComponent& label14 = form.Add("Label14", kLabel);
  form.Add("Timer1", {"Tag"});
  TFakeComponent& combo = form.Add("Combo", {"Items"});
  EXPECT_TRUE(TranslateForm(form, path));
  EXPECT_EQ(ok.Strings["Caption"], "Fine = good");
  EXPECT_EQ(form.Self.Strings["Caption"], "Split options");
  EXPECT_EQ(form.Self.Strings["Hint"], "window hint");
  EXPECT_TRUE(label3.Strings.empty());
  EXPECT_EQ(label13.Integers["Left"], 20);
  EXPECT_EQ(combo.Lists["Items"], (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(label13.Integers.count("Top"), 0u);
  EXPECT_TRUE(label14.Strings.empty());

  EXPECT_TRUE(TranslateForm(form, scratch.Path("missing.isl")));
}

// The design texts of the two windows, built in.
const std::map<std::string, std::map<std::string, std::string>> kDesign = {
    {"FrmMP3Editor",
     {{"Label11.Caption", "Pelcato version 3.3.0.0"},
      {"Label28.Caption", ">> Language"},
      {"RzBmpButton1.Hint", "Close"},
      {"RzBmpButton2.Hint", "Minimize"},
      {"BtnOpenMp3.Caption", "Open"},
      {"BtnSaveMp3.Caption", "Save as"},
      {"BtnSplit.Caption", "Split"},
      {"BtnAbout.Caption", "Help"},
      {"LabelStart.Caption", "Start tag"},
      {"LabelEnd.Caption", "End tag"},
      {"ImageStart.Hint", "Drag to set start tag"},
      {"ImageEnd.Hint", "Drag to set end tag"},
      {"BtnSetStart.Hint", "Set current postion as start"},
      {"BtnSetEnd.Hint", "Set current postion as end"},
      {"BtnPlayStart.Caption", "&Play"},
      {"BtnStop.Caption", "&Stop"},
      {"Label25.Caption", "Opening..."},
      {"TabSheet2.Caption", "Standard"},
      {"Label23.Caption", "File size:"},
      {"Label13.Caption", "Encoding:"},
      {"Label14.Caption", "Channel:"},
      {"Label15.Caption", "SampleRate:"},
      {"Label16.Caption", "Bitrate:"},
      {"Label17.Caption", "Length:"},
      {"TabSheet1.Caption", "ID3Tags V1"},
      {"RzCheckBox1.Caption", "Include"},
      {"Label3.Caption", "Title:"},
      {"Label4.Caption", "Artist:"},
      {"Label5.Caption", "Album:"},
      {"Label9.Caption", "Genre:"},
      {"Label8.Caption", "TrackNumber:"},
      {"Label6.Caption", "Year:"},
      {"Label7.Caption", "Comment:"},
      {"OpenDialog1.Title", "Open MP3 file"},
      {"SaveDialog1.Title", "Save Mp3 file"},
      {"PM_English.Caption", "English"},
      {"PM_Spanish.Caption", "Spanish"},
      {"PM_German.Caption", "German"},
      {"PM_Italian.Caption", "Italian"},
      {"PM_French.Caption", "French"},
      {"PM_Play.Caption", "从当前位置播放"},
      {"PM_FromStart.Caption", "从①开始播放"},
      {"PM_FromEnd.Caption", "从②开始播放"}}},
    {"FrmSplitOption",
     {{"Caption", "Split options"},
      {"LabelFolder.Caption", "Output folder:"},
      {"BtnBrowse.Caption", "Browse..."},
      {"BtnOpen.Caption", "Open"},
      {"LabelFilename.Caption", "File name: Source file name - Date - Number"},
      {"RadioButtonInto.Caption", "Split into:"},
      {"RadioButtonBy.Caption", "Split by duration:"},
      {"LabelHour.Caption", "Hour"},
      {"LabelMin.Caption", "Min."},
      {"LabelSec.Caption", "Sec."},
      {"BtnOk.Caption", "Ok"},
      {"BtnCancel.Caption", "Cancel"}}}};

TEST(LanguageFiles, EveryFileHasEveryKeyInItsOwnWords) {
  // Words that are the same in English and the language.
  const std::map<std::string, std::set<std::string>> same = {
      {"Spanish", {"Error", "Mono", "Min."}},
      {"German", {"Position", "Mono", "Stereo", "Bitrate:", "Album:", "Genre:", "Min."}},
      {"Italian", {"Mono", "Stereo", "Bitrate:", "Album:", "Min.", "Sec."}},
      {"French", {"Position", "Mono", "Min.", "Sec."}}};
  for (const char* language : {"English", "Spanish", "German", "Italian", "French"}) {
    SCOPED_TRACE(language);
    const TProfileFile file(std::string(PELCATO_LANGUAGES) + "/" + language + ".isl", true);
    ASSERT_EQ(file.State(), TProfileState::Loaded);
    auto check = [&](const std::string& section, const std::string& key,
                     const std::string& builtIn) {
      const std::string value = file.ReadString(section, key, "\x01");
      EXPECT_NE(value, "\x01") << section << "/" << key;
      EXPECT_FALSE(value.empty()) << section << "/" << key;
      if (std::string(language) != "English" && !same.at(language).count(builtIn)) {
        EXPECT_NE(value, builtIn) << section << "/" << key;
      }
    };
    for (const TMessageKey& key : MessageKeys) check("Messages", key.Name, key.BuiltIn);
    for (const auto& [section, texts] : kDesign)
      for (const auto& [key, text] : texts) check(section, key, text);
    for (const auto& [section, texts] : kDesign)
      EXPECT_EQ(file.ReadSection(section).size(), texts.size()) << section;
  }
  const TProfileFile english(std::string(PELCATO_LANGUAGES) + "/English.isl");
  EXPECT_EQ(english.ReadString("FrmMP3Editor", "PM_Play.Caption", ""),
            "Play from current position");
  EXPECT_EQ(english.ReadString("FrmMP3Editor", "PM_FromStart.Caption", ""), "Play from start tag");
  EXPECT_EQ(english.ReadString("FrmMP3Editor", "PM_FromEnd.Caption", ""), "Play from end tag");
}

class TFakeHost : public TLanguageHost {
 public:
  TFormTarget& MainForm() override { return Form; }
  void SetApplicationTitle(const std::string& title) override { Title = title; }
  void CheckLanguageItem(const std::string& item) override { Checked = item; }
  TFakeForm Form{"FrmMP3Editor"};
  std::string Title, Checked;
};

TEST(ApplyLanguage, LoadsTheFileOfTheCodeAndTranslatesTheMainWindow) {
  TScratch scratch;
  fs::create_directory(scratch.Path("Languages"));
  for (const char* file : {"English.isl", "German.isl"})
    fs::copy_file(std::string(PELCATO_LANGUAGES) + "/" + file, scratch.Path("Languages/") + file);
  TAppSettings settings;
  settings.ProgramFolder = scratch.Folder();
  TMessageTable messages;
  TFakeHost host;
  TFakeComponent& open = host.Form.Add("BtnOpenMp3", kLabel);
  TFakeComponent& version = host.Form.Add("Label11", kLabel);

  StartLanguage(host, settings, messages, "German");
  EXPECT_EQ(settings.Language, LangGerman);
  EXPECT_EQ(host.Checked, "PM_German");
  EXPECT_EQ(host.Title, "Pelcato");
  EXPECT_EQ(messages.Ms_Error, "Fehler");
  EXPECT_EQ(open.Strings["Caption"], "Öffnen");
  EXPECT_EQ(version.Strings["Caption"], "Pelcato Version 3.3.0.0");

  // A Japanese system: the English texts, and the code stays 6 until the user picks one.
  settings.Language = LangAuto;
  StartLanguage(host, settings, messages, "Japanese");
  EXPECT_EQ(settings.Language, LangJapanese);
  EXPECT_EQ(host.Checked, "PM_English");
  EXPECT_EQ(open.Strings["Caption"], "Open");
  EXPECT_TRUE(SwitchLanguage(host, settings, messages, LangEnglish));
  EXPECT_EQ(settings.Language, LangEnglish);
  host.Checked.clear();
  EXPECT_FALSE(SwitchLanguage(host, settings, messages, LangEnglish));
  EXPECT_TRUE(host.Checked.empty());
}

}  // namespace
}  // namespace pelcato::test
