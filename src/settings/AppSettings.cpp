#include "settings/AppSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "settings/ProfileFile.h"

namespace pelcato {
namespace {

// The full path of the running program, or empty when the system does not tell it.
std::string OwnProgramFile() {
  std::vector<char> buffer(4096);
  for (int attempt = 0; attempt < 5; ++attempt) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (size_t(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
    buffer.resize(buffer.size() * 4);
  }
  return {};
}

}  // namespace

std::string IncludeTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string GetProgramFolder(const std::string& programFile) {
  const std::string path = programFile.empty() ? OwnProgramFile() : programFile;
  if (path.empty()) return "./";
  const size_t slash = path.rfind('/');
  return IncludeTrailingSlash(slash == std::string::npos ? std::string()
                                                         : path.substr(0, slash + 1));
}

std::string DefaultOutputFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return IncludeTrailingSlash(home);
  std::vector<char> buffer(16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir)
    return IncludeTrailingSlash(found->pw_dir);
  return "/";
}

std::string SettingsFilePath(const TAppSettings& settings) {
  return settings.ProgramFolder + SettingsFileName;
}

void LoadSettings(TAppSettings& settings) {
  const TProfileFile ini(SettingsFilePath(settings));
  settings.OutputFolder = ini.ReadString("SPLIT", "OutputFolder", DefaultOutputFolder());
  settings.UpgradePos = ini.ReadInteger("UPGRADE", "Pos", 0);
  settings.SplitType = ini.ReadInteger("SPLIT", "Type", 0);
  settings.SplitInto = ini.ReadInteger("SPLIT", "Into", 2);
  settings.SplitHour = ini.ReadInteger("SPLIT", "Hour", 0);
  settings.SplitMin = ini.ReadInteger("SPLIT", "Min", 3);
  settings.SplitSec = ini.ReadInteger("SPLIT", "Sec", 0);
  settings.VbrHeader = ini.ReadInteger("OUTPUT", "VbrHeader", 0) != 0;
  const int32_t language = ini.ReadInteger("LANGUAGE", "Default", LangAuto);
  settings.Language = TLanguageId(language < 0 ? 0 : language > LangAuto ? LangAuto : language);
}

std::string SettingsWriteErrorText(const std::string& path) {
  return "Unable to write to " + path + ".";
}

bool SaveSettings(const TAppSettings& settings, const TSettingsErrorReport& report) {
  TProfileFile ini(SettingsFilePath(settings));
  const struct {
    const char* Section;
    const char* Key;
    std::string Value;
  } entries[] = {
      {"LANGUAGE", "Default", std::to_string(settings.Language)},
      {"SPLIT", "OutputFolder", settings.OutputFolder},
      {"SPLIT", "Type", std::to_string(settings.SplitType)},
      {"SPLIT", "Into", std::to_string(settings.SplitInto)},
      {"SPLIT", "Hour", std::to_string(settings.SplitHour)},
      {"SPLIT", "Min", std::to_string(settings.SplitMin)},
      {"SPLIT", "Sec", std::to_string(settings.SplitSec)},
      {"OUTPUT", "VbrHeader", settings.VbrHeader ? "1" : "0"},
  };
  for (const auto& entry : entries) {
    if (!ini.WriteString(entry.Section, entry.Key, entry.Value)) {
      if (report) report(SettingsWriteErrorText(ini.Path()));
      return false;
    }
  }
  return true;
}

}  // namespace pelcato
