#include <iconv.h>

#include <map>
#include <set>

#include "SettingsTestUtil.h"
#include "settings/Language.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

// A component with a fixed set of properties; what a translation sets lands in Values as
// text. Copies share their state, so the form can hand out copies of what it keeps.
struct TFake : TComponentTarget {
  struct TState {
    std::set<std::string> Has;
    std::map<std::string, std::string> Values;
  };
  explicit TFake(std::set<std::string> has) : S(new TState{std::move(has), {}}) {}
  bool HasProperty(const std::string& n) const override { return S->Has.count(n); }
  bool SetString(const std::string& n, const std::string& v) override {
    return S->Values[n] = v, true;
  }
  bool SetInteger(const std::string& n, int32_t v) override {
    return S->Values[n] = std::to_string(v), true;
  }
  bool SetStringList(const std::string& n, const std::vector<std::string>& lines) override {
    for (const std::string& line : lines) S->Values[n] += line + ";";
    return true;
  }
  std::map<std::string, std::string>& Values() { return S->Values; }
  std::shared_ptr<TState> S;
};

struct TFakeForm : TFormTarget {
  explicit TFakeForm(std::string name) : Name(std::move(name)) {}
  std::string FormName() const override { return Name; }
  std::unique_ptr<TComponentTarget> FindComponent(const std::string& name) override {
    for (auto& [n, c] : Components)
      if (strcasecmp(n.c_str(), name.c_str()) == 0) return std::make_unique<TFake>(c);
    return nullptr;
  }
  std::map<std::string, std::string>& Add(const std::string& name, std::set<std::string> has) {
    return Components.emplace(name, TFake(std::move(has))).first->second.Values();
  }
  std::string Name;
  std::map<std::string, TFake> Components{{"", TFake({"Caption", "Hint"})}};
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
       {std::string("[Messages]\nMs_Error=F\xE9hler\0\n", 28),
        std::string("[Messages]\0Ms_Error=x", 21),
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
  auto& ok = form.Add("BtnOk", kLabel);
  auto& label13 = form.Add("Label13", kLabel);
  auto& label3 = form.Add("Label3", kLabel);
  auto& label14 = form.Add("Label14", kLabel);
  form.Add("Timer1", {"Tag"});
  auto& combo = form.Add("Combo", {"Items"});
  auto& self = form.Components.at("").Values();
  EXPECT_TRUE(TranslateForm(form, path));
  EXPECT_EQ(ok["Caption"], "Fine = good");
  EXPECT_EQ(self["Caption"], "Split options");
  EXPECT_EQ(self["Hint"], "window hint");
  EXPECT_TRUE(label3.empty());
  EXPECT_EQ(label13["Left"], "20");
  EXPECT_EQ(combo["Items"], "a;b;c;");
  EXPECT_EQ(label13.count("Top"), 0u);
  EXPECT_TRUE(label14.empty());

  EXPECT_TRUE(TranslateForm(form, scratch.Path("missing.isl")));
}

// The keys of the design texts a language file gives for each window.
const std::map<std::string, std::string> kDesignKeys = {
    {"FrmMP3Editor",
     "Label11.Caption Label28.Caption RzBmpButton1.Hint RzBmpButton2.Hint BtnOpenMp3.Caption "
     "BtnSaveMp3.Caption BtnSplit.Caption BtnAbout.Caption LabelStart.Caption LabelEnd.Caption "
     "ImageStart.Hint ImageEnd.Hint BtnSetStart.Hint BtnSetEnd.Hint BtnPlayStart.Caption "
     "BtnStop.Caption Label25.Caption TabSheet2.Caption Label23.Caption Label13.Caption "
     "Label14.Caption Label15.Caption Label16.Caption Label17.Caption TabSheet1.Caption "
     "RzCheckBox1.Caption Label3.Caption Label4.Caption Label5.Caption Label9.Caption "
     "Label8.Caption Label6.Caption Label7.Caption TabSheet3.Caption OpenDialog1.Title "
     "SaveDialog1.Title PM_English.Caption PM_Spanish.Caption PM_German.Caption "
     "PM_Italian.Caption PM_French.Caption PM_Play.Caption PM_FromStart.Caption "
     "PM_FromEnd.Caption BtnOutput.Caption BtnOutput.Hint"},
    {"FrmSplitOption",
     "Caption LabelFolder.Caption BtnBrowse.Caption BtnOpen.Caption LabelFilename.Caption "
     "RadioButtonInto.Caption RadioButtonBy.Caption LabelHour.Caption LabelMin.Caption "
     "LabelSec.Caption BtnOk.Caption BtnCancel.Caption BtnOutput.Caption BtnOutput.Hint"},
    {"FrmOutputOptions",
     "Caption GroupOutput.Caption CheckExact.Caption CheckExact.Hint CheckVbrHeader.Caption "
     "CheckVbrHeader.Hint LabelId3v2.Caption RadioId3v2None.Caption RadioId3v2Keep.Caption "
     "RadioId3v2Keep.Hint RadioId3v2New.Caption RadioId3v2New.Hint GroupVolume.Caption "
     "LabelGain.Caption SpinGain.Hint CheckNormalize.Caption CheckNormalize.Hint "
     "LabelFadeIn.Caption SpinFadeIn.Hint LabelFadeOut.Caption SpinFadeOut.Hint BtnOk.Caption "
     "BtnCancel.Caption"}};

TEST(LanguageFiles, EveryFileHasEveryKeyInItsOwnWords) {
  const std::string dir = std::string(PELCATO_LANGUAGES) + "/";
  const TProfileFile english(dir + "English.isl", true);
  EXPECT_EQ(english.ReadString("FrmMP3Editor", "PM_Play.Caption", ""),
            "Play from current position");
  EXPECT_EQ(english.ReadString("FrmMP3Editor", "PM_FromStart.Caption", ""), "Play from start tag");
  EXPECT_EQ(english.ReadString("FrmMP3Editor", "PM_FromEnd.Caption", ""), "Play from end tag");
  // Words that are the same in English and the language.
  const std::map<std::string, std::set<std::string>> same = {
      {"English", {}},
      {"Spanish", {"Error", "Mono", "Min."}},
      {"German", {"Position", "Mono", "Stereo", "Bitrate:", "Album:", "Genre:", "Min."}},
      {"Italian", {"Mono", "Stereo", "Bitrate:", "Album:", "Min.", "Sec.", "Volume"}},
      {"French", {"Position", "Mono", "Min.", "Sec.", "Volume"}}};
  for (const auto& [language, alike] : same) {
    SCOPED_TRACE(language);
    const TProfileFile file(dir + language + ".isl", true);
    ASSERT_EQ(file.State(), TProfileState::Loaded);
    auto check = [&](const std::string& section, const std::string& key) {
      const std::string value = file.ReadString(section, key, "");
      const std::string original = english.ReadString(section, key, "");
      EXPECT_FALSE(value.empty() || original.empty()) << section << "/" << key;
      EXPECT_TRUE(language == "English" || value != original || alike.count(value))
          << section << "/" << key << " " << value;
    };
    for (const TMessageKey& key : MessageKeys) check("Messages", key.Name);
    EXPECT_EQ(file.ReadSection("Messages").size(), MessageKeys.size());
    for (const auto& [section, keys] : kDesignKeys) {
      std::istringstream names(keys);
      size_t count = 0;
      for (std::string key; names >> key; ++count) check(section, key);
      EXPECT_EQ(file.ReadSection(section).size(), count) << section;
    }
  }
}

// The shipped French file as a translator's editor would save it in windows-1252 (made by
// iconv): read as such it gives exactly what the UTF-8 file gives. Zero bytes or a size over
// 1 MiB still make it unusable.
TEST(LanguageFiles, AWindows1252FileReadsAsItsUtf8Original) {
  TScratch scratch;
  const std::string utf8 = ReadText(std::string(PELCATO_LANGUAGES) + "/French.isl");
  std::string legacy(utf8.size(), '\0');
  {
    const iconv_t cd = iconv_open("CP1252", "UTF-8");
    ASSERT_NE(cd, iconv_t(-1));
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* out = legacy.data();
    size_t outLeft = legacy.size();
    ASSERT_NE(iconv(cd, &in, &inLeft, &out, &outLeft), size_t(-1));
    legacy.resize(legacy.size() - outLeft);
    iconv_close(cd);
  }
  ASSERT_NE(legacy.find("St\xE9r\xE9o"), std::string::npos);  // é as one byte
  ASSERT_FALSE(IsValidUtf8(legacy));
  const std::string original = scratch.Path("original.isl");
  const std::string path = scratch.Path("French.isl");
  WriteText(original, utf8);
  WriteText(path, legacy);

  TMessageTable fromUtf8, fromLegacy;
  LoadMessages(original, fromUtf8);
  LoadMessages(path, fromLegacy);
  EXPECT_EQ(fromLegacy.Ms_Stereo, "St\u00E9r\u00E9o");
  for (const TMessageKey& key : MessageKeys) {
    EXPECT_EQ(fromLegacy.*key.Field, fromUtf8.*key.Field) << key.Name;
  }
  for (const char* section : {"FrmMP3Editor", "FrmSplitOption"}) {
    TFakeForm a(section), b(section);
    for (TFakeForm* form : {&a, &b}) {
      form->Components.clear();
      for (const TProfileEntry& e : TProfileFile(original, true).ReadSection(section)) {
        const std::string name = e.Key.substr(0, e.Key.find('.'));
        if (!form->Components.count(name)) form->Add(name, {"Caption", "Hint", "Title"});
      }
    }
    TranslateForm(a, original);
    TranslateForm(b, path);
    size_t translated = 0;
    for (auto& [name, component] : b.Components) {
      EXPECT_EQ(component.Values(), a.Components.at(name).Values()) << name;
      translated += component.Values().size();
    }
    EXPECT_GT(translated, 10u) << section;
  }

  for (const std::string& unusable :
       {legacy + std::string(1, '\0'), legacy + std::string(TProfileFile::MaxFileBytes, ';')}) {
    WriteText(path, unusable);
    LoadMessages(path, fromLegacy);
    EXPECT_EQ(fromLegacy.Ms_Stereo, "Stereo");
  }
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
  auto& open = host.Form.Add("BtnOpenMp3", kLabel);
  auto& version = host.Form.Add("Label11", kLabel);

  StartLanguage(host, settings, messages, "German");
  EXPECT_EQ(settings.Language, LangGerman);
  EXPECT_EQ(host.Checked, "PM_German");
  EXPECT_EQ(host.Title, "Pelcato");
  EXPECT_EQ(messages.Ms_Error, "Fehler");
  EXPECT_EQ(open["Caption"], "Öffnen");
  EXPECT_EQ(version["Caption"],
            "Pelcato Version " PELCATO_VERSION);  // the file follows the project

  // A Japanese system: the English texts, and the code stays 6 until the user picks one.
  settings.Language = LangAuto;
  StartLanguage(host, settings, messages, "Japanese");
  EXPECT_EQ(settings.Language, LangJapanese);
  EXPECT_EQ(host.Checked, "PM_English");
  EXPECT_EQ(open["Caption"], "Open");
  EXPECT_TRUE(SwitchLanguage(host, settings, messages, LangEnglish));
  EXPECT_EQ(settings.Language, LangEnglish);
  host.Checked.clear();
  EXPECT_FALSE(SwitchLanguage(host, settings, messages, LangEnglish));
  EXPECT_TRUE(host.Checked.empty());
}

}  // namespace
}  // namespace pelcato::test
