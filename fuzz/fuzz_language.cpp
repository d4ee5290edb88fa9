// Any file as a language file and as the settings file: reading every entry, the message table,
// the settings record and the translation of two small windows never fail and give values
// within their limits, and a write of one entry keeps every other entry as it was.
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>

#include "FuzzFile.h"
#include "settings/AppSettings.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/ProfileFile.h"

using namespace pelcato;

namespace {

// Writes are flushed to the disk; a folder in memory keeps that cheap where there is one. The
// fuzzer ends without running exit handlers, so each start clears the folders of runs that
// are gone.
const std::string& ProgramFolder() {
  static const std::string folder = [] {
    namespace fs = std::filesystem;
    if (access("/dev/shm", W_OK) != 0) return fuzz::Folder().string() + "/";
    const std::string prefix = "pelcato-language-";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev/shm", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) != 0) continue;
      const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
      if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH) fs::remove_all(entry.path(), ec);
    }
    const fs::path own = "/dev/shm/" + prefix + std::to_string(getpid());
    fs::create_directories(own);
    return own.string() + "/";
  }();
  return folder;
}

// Characters of UTF-8 text (continuation bytes are not counted).
size_t Chars(const std::string& text) {
  size_t n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

bool TrimmedAtBothEnds(const std::string& text) {
  return text.empty() || (static_cast<unsigned char>(text.front()) > ' ' &&
                          static_cast<unsigned char>(text.back()) > ' ');
}

// A component that takes every value and checks what it is given.
class TCheckedComponent : public TComponentTarget {
 public:
  explicit TCheckedComponent(std::set<std::string> properties)
      : FProperties(std::move(properties)) {}
  bool HasProperty(const std::string& name) const override { return FProperties.count(name); }
  bool SetString(const std::string& name, const std::string& value) override {
    fuzz::Check(PropertyKindOf(name) == TPropertyKind::String, "a string property");
    fuzz::Check(Chars(value) <= TProfileFile::MaxValueChars, "value within its limit");
    fuzz::Check(TrimmedAtBothEnds(value), "value trimmed");
    return true;
  }
  bool SetInteger(const std::string& name, int32_t) override {
    fuzz::Check(PropertyKindOf(name) == TPropertyKind::Integer, "an integer property");
    return true;
  }
  bool SetStringList(const std::string& name, const std::vector<std::string>& lines) override {
    fuzz::Check(PropertyKindOf(name) == TPropertyKind::StringList, "a list property");
    size_t total = 0;
    for (const std::string& line : lines) total += line.size() + 2;
    fuzz::Check(total <= TProfileFile::MaxValueChars * 4 + 2, "lines cut from one value");
    return true;
  }

 private:
  std::set<std::string> FProperties;
};

// A window with a label, a button, an edit and a combo box.
class TSmallForm : public TFormTarget {
 public:
  explicit TSmallForm(std::string name) : FName(std::move(name)) {}
  std::string FormName() const override { return FName; }
  std::unique_ptr<TComponentTarget> FindComponent(const std::string& name) override {
    static const std::map<std::string, std::set<std::string>> components = {
        {"", {"Caption", "Hint", "Left", "Top", "Width", "Height", "Color"}},
        {"Label1", {"Caption", "Hint", "Left", "Top", "Width", "Height", "Tag", "Color"}},
        {"BtnOpenMp3", {"Caption", "Hint", "Left", "Top", "Width", "Height", "Tag"}},
        {"Edit1", {"Text", "Hint", "Left", "Top", "Width", "Height", "Color"}},
        {"ComboBox1", {"Text", "Items", "Hint", "Left", "Top", "Width", "Height"}},
    };
    for (const auto& [componentName, properties] : components)
      if (strcasecmp(componentName.c_str(), name.c_str()) == 0)
        return std::make_unique<TCheckedComponent>(properties);
    return nullptr;
  }

 private:
  std::string FName;
};

// The names of the sections the text seems to hold (the file's own reader decides), and the
// nameless one before the first section.
std::vector<std::string> SectionNames(std::string_view text) {
  std::vector<std::string> names = {"", "SPLIT", "Messages"};
  for (size_t at = 0; at < text.size() && names.size() < 24;) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (!line.empty() && line.front() == '[') {
      const size_t close = line.find(']');
      if (close != std::string_view::npos) {
        std::string_view name = line.substr(1, close - 1);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        names.emplace_back(name);
      }
    }
    at = end + 1;
  }
  return names;
}

struct TNoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

// The first entry of a name is the one a single read finds, as text and as a number.
void CheckEntries(const TProfileFile& file, const std::vector<std::string>& sections) {
  for (const std::string& section : sections) {
    std::set<std::string, TNoCase> seen;
    for (const TProfileEntry& entry : file.ReadSection(section)) {
      fuzz::Check(Chars(entry.Value) <= TProfileFile::MaxValueChars, "value within its limit");
      if (!seen.insert(entry.Key).second) continue;
      fuzz::Check(file.ReadString(section, entry.Key, "\x01") == entry.Value,
                  "a read finds the entry the section lists");
      int32_t number;
      if (TryParseInteger(entry.Value, number))
        fuzz::Check(file.ReadInteger(section, entry.Key, -7) == number,
                    "an integer reads as it parses");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = ProgramFolder();
  const std::string path = folder + SettingsFileName;
  std::filesystem::remove(path);
  const std::vector<uint8_t> input(data, data + size);
  { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size); }
  const std::vector<std::string> sections =
      SectionNames(std::string_view(reinterpret_cast<const char*>(data), size));

  // As a language file: UTF-8 text, or else windows-1252 made UTF-8.
  const TProfileFile language(path, true);
  TMessageTable messages;
  LoadMessages(path, messages);
  TMessageTable builtIn;
  builtIn.Ms_NotSaveName = ReplaceAll(builtIn.Ms_NotSaveName, "#10", "\n");
  for (const TMessageKey& key : MessageKeys) {
    fuzz::Check(Chars(messages.*key.Field) <= TProfileFile::MaxValueChars, "message limit");
    if (language.State() != TProfileState::Loaded)
      fuzz::Check(messages.*key.Field == builtIn.*key.Field, "an unusable file: built-in texts");
  }
  fuzz::Check(messages.Ms_NotSaveName.find("#10") == std::string::npos, "#10 expanded");
  for (const char* formName : {"FrmMP3Editor", "FrmSplitOption"}) {
    TSmallForm form(formName);
    fuzz::Check(TranslateForm(form, path), "translation reports success");
  }

  // As the settings file: any 8-bit text.
  const TProfileFile settingsFile(path);
  CheckEntries(settingsFile, sections);
  TAppSettings settings;
  settings.ProgramFolder = folder;
  LoadSettings(settings);
  fuzz::Check(settings.Language <= LangAuto, "language clamped");
  fuzz::Check(Chars(settings.OutputFolder) <= TProfileFile::MaxValueChars, "folder limit");

  // Writing one entry keeps every other one. A file that cannot be read as a whole is kept.
  TProfileFile writer(path);
  const bool wrote = writer.WriteString("SPLIT", "Type", "1");
  if (!wrote) {
    fuzz::Check(fuzz::ReadAll(path) == input, "a refused write leaves the file");
    return 0;
  }
  fuzz::Check(settingsFile.State() == TProfileState::Loaded ||
                  settingsFile.State() == TProfileState::Missing,
              "only a readable file is rewritten");
  const TProfileFile after(path);
  fuzz::Check(after.ReadString("split", "type", "") == "1", "the entry written reads back");
  // Duplicates of a name come out together, after the first of them, with its spelling: what
  // each name holds, in order, is what is kept.
  for (const std::string& section : sections) {
    auto others = [&](const TProfileFile& file) {
      std::vector<std::pair<std::string, std::vector<std::string>>> kept;
      size_t keyBytes = 0;
      for (const TProfileEntry& e : file.ReadSection(section)) {
        keyBytes += e.Key.size() + 1;
        if (strcasecmp(section.c_str(), "SPLIT") == 0 && strcasecmp(e.Key.c_str(), "Type") == 0)
          continue;
        auto same = std::find_if(kept.begin(), kept.end(), [&](const auto& k) {
          return strcasecmp(k.first.c_str(), e.Key.c_str()) == 0;
        });
        if (same == kept.end()) same = kept.insert(kept.end(), {e.Key, {}});
        same->second.push_back(e.Value);
      }
      return std::pair(kept, keyBytes);
    };
    const auto [before, beforeBytes] = others(settingsFile);
    const auto [now, nowBytes] = others(after);
    // A section listed up to its limit may show other keys once a duplicate is gone.
    if (beforeBytes + 64 >= TProfileFile::MaxSectionKeyBytes) continue;
    fuzz::Check(before == now, "every other entry kept");
  }
  return 0;
}
