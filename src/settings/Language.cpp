#include "settings/Language.h"

#include <cctype>

#include "settings/ProfileFile.h"
#include "text/Text.h"

namespace pelcato {
namespace {

// Blanks and control characters at both ends go.
std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

// The lines of a list value, in the order they are written, cut at every "||".
std::vector<std::string> SplitLines(std::string_view value) {
  std::vector<std::string> lines;
  if (value.empty()) return lines;
  size_t from = 0;
  for (size_t at = value.find("||"); at != std::string_view::npos; at = value.find("||", from)) {
    lines.emplace_back(value.substr(from, at - from));
    from = at + 2;
  }
  lines.emplace_back(value.substr(from));
  return lines;
}

}  // namespace

TPropertyKind PropertyKindOf(std::string_view name, std::string* canonical) {
  static const struct {
    const char* Name;
    TPropertyKind Kind;
  } known[] = {
      {"Caption", TPropertyKind::String},   {"Hint", TPropertyKind::String},
      {"Text", TPropertyKind::String},      {"Title", TPropertyKind::String},
      {"Filter", TPropertyKind::String},    {"Left", TPropertyKind::Integer},
      {"Top", TPropertyKind::Integer},      {"Width", TPropertyKind::Integer},
      {"Height", TPropertyKind::Integer},   {"Tag", TPropertyKind::Integer},
      {"Color", TPropertyKind::Integer},    {"Items", TPropertyKind::StringList},
      {"Lines", TPropertyKind::StringList},
  };
  for (const auto& property : known) {
    if (SameText(name, property.Name)) {
      if (canonical) *canonical = property.Name;
      return property.Kind;
    }
  }
  return TPropertyKind::None;
}

bool SetComponentProperty(TComponentTarget* component, std::string_view property,
                          std::string_view value) {
  if (!component) return true;
  std::string name;
  const TPropertyKind kind = PropertyKindOf(property, &name);
  if (kind == TPropertyKind::None || !component->HasProperty(name)) return true;
  switch (kind) {
    case TPropertyKind::String:
      return component->SetString(name, std::string(value));
    case TPropertyKind::Integer: {
      int32_t number;
      return TryParseInteger(value, number) && component->SetInteger(name, number);
    }
    case TPropertyKind::StringList:
      return component->SetStringList(name, SplitLines(value));
    case TPropertyKind::None:
      break;
  }
  return true;
}

bool TranslateForm(TFormTarget& form, const std::string& languageFile) {
  const TProfileFile file(languageFile, true);
  if (file.State() != TProfileState::Loaded) return true;
  for (const TProfileEntry& entry : file.ReadSection(form.FormName())) {
    const std::string_view key = Trim(entry.Key);
    const size_t dot = key.find('.');
    const std::string_view componentName =
        dot == std::string_view::npos ? "" : Trim(key.substr(0, dot));
    const std::string_view property =
        dot == std::string_view::npos ? key : Trim(key.substr(dot + 1));
    const std::unique_ptr<TComponentTarget> target = form.FindComponent(std::string(componentName));
    if (!SetComponentProperty(target.get(), property, Trim(entry.Value))) break;
  }
  return true;
}

std::string LanguageFileName(TLanguageId code) {
  switch (code) {
    case LangSpanish:
      return "Languages/Spanish.isl";
    case LangGerman:
      return "Languages/German.isl";
    case LangItalian:
      return "Languages/Italian.isl";
    case LangFrench:
      return "Languages/French.isl";
    default:
      return "Languages/English.isl";
  }
}

std::string LanguageFilePath(const TAppSettings& settings) {
  // LanguageFileName starts with "Languages/"; the folder may lie elsewhere.
  const std::string name = LanguageFileName(settings.Language);
  return LanguageFolderPath(settings) + name.substr(name.find('/') + 1);
}

TLanguageId DetectSystemLanguage(std::string_view englishLanguageName) {
  constexpr size_t maxChars = 18;
  if (englishLanguageName.size() > maxChars) return LangAuto;
  std::string name(englishLanguageName);
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  static const struct {
    const char* Word;
    TLanguageId Code;
  } words[] = {{"english", LangEnglish}, {"german", LangGerman},   {"spanish", LangSpanish},
               {"french", LangFrench},   {"italian", LangItalian}, {"chinese", LangChinese},
               {"japan", LangJapanese}};
  for (const auto& word : words)
    if (name.find(word.Word) != std::string::npos) return word.Code;
  return LangAuto;
}

void ApplyLanguage(TLanguageHost& host, TAppSettings& settings, TMessageTable& messages,
                   TLanguageId code) {
  settings.Language = code;
  TFormTarget& form = host.MainForm();
  SetComponentProperty(form.FindComponent("Label11").get(), "Caption", VersionCaption);
  host.SetApplicationTitle(ApplicationTitle);
  host.CheckLanguageItem(LanguageItemNames[code <= LangFrench ? code : LangEnglish]);
  const std::string path = LanguageFilePath(settings);
  LoadMessages(path, messages);
  TranslateForm(form, path);
}

void StartLanguage(TLanguageHost& host, TAppSettings& settings, TMessageTable& messages,
                   std::string_view systemLanguageName) {
  if (settings.Language == LangAuto) settings.Language = DetectSystemLanguage(systemLanguageName);
  ApplyLanguage(host, settings, messages, settings.Language);
}

bool SwitchLanguage(TLanguageHost& host, TAppSettings& settings, TMessageTable& messages,
                    int itemTag) {
  if (itemTag < 0 || itemTag > LangAuto || itemTag == settings.Language) return false;
  ApplyLanguage(host, settings, messages, TLanguageId(itemTag));
  return true;
}

}  // namespace pelcato
