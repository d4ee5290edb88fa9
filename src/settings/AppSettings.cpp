#include "settings/AppSettings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates folder and its missing parents, each readable only by the user; true when it is
// there afterwards.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsFolder(folder);
}

// $name when it holds an absolute path (relative ones are to be ignored), else the home folder
// followed by fallback.
std::string XdgFolder(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  if (value != nullptr && value[0] == '/') return IncludeTrailingSlash(value);
  return DefaultOutputFolder() + fallback;
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

std::string InstalledDataFolder(const std::string& programFolder) {
  const std::string besideProgram =
      IncludeTrailingSlash(IncludeTrailingSlash(programFolder) + PELCATO_DATA_FROM_BIN);
  if (IsFolder(besideProgram + "Languages")) return besideProgram;
  return IncludeTrailingSlash(PELCATO_DATA_FOLDER);
}

void UseProgramFolder(TAppSettings& settings, const std::string& programFolder) {
  settings.ProgramFolder = IncludeTrailingSlash(programFolder);
  settings.LanguageFolder = settings.ProgramFolder + "Languages/";
  settings.SettingsFile = settings.ProgramFolder + SettingsFileName;
  settings.TempFolder = settings.ProgramFolder + "Tmp/";
}

void ResolveFolders(TAppSettings& settings, const std::string& programFolder,
                    const std::string& dataFolder) {
  UseProgramFolder(settings, programFolder);
  if (IsFolder(settings.ProgramFolder + "Languages")) return;
  const std::string data =
      dataFolder.empty() ? InstalledDataFolder(programFolder) : IncludeTrailingSlash(dataFolder);
  settings.LanguageFolder = data + "Languages/";
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config/") + "pelcato/";
  const std::string cache = XdgFolder("XDG_CACHE_HOME", ".cache/") + "pelcato/";
  // A folder that cannot be made shows later as the error box of the settings save.
  MakeFolders(config);
  MakeFolders(cache + "Tmp");
  settings.SettingsFile = config + SettingsFileName;
  settings.TempFolder = cache + "Tmp/";
}

std::string LanguageFolderPath(const TAppSettings& settings) {
  return settings.LanguageFolder.empty() ? settings.ProgramFolder + "Languages/"
                                         : settings.LanguageFolder;
}

std::string TempFolderPath(const TAppSettings& settings) {
  return settings.TempFolder.empty() ? settings.ProgramFolder + "Tmp/" : settings.TempFolder;
}

std::string SettingsFilePath(const TAppSettings& settings) {
  return settings.SettingsFile.empty() ? settings.ProgramFolder + SettingsFileName
                                       : settings.SettingsFile;
}

void LoadSettings(TAppSettings& settings) {
  const TProfileFile ini(SettingsFilePath(settings));
  settings.OutputFolder = ini.ReadString("SPLIT", "OutputFolder", DefaultOutputFolder());
  settings.UpgradePos = ini.ReadInteger("UPGRADE", "Pos", 0);
  // Any number but 0 was always taken for a split by duration.
  settings.SplitType =
      ini.ReadInteger("SPLIT", "Type", 0) == 0 ? TSplitType::IntoParts : TSplitType::ByDuration;
  settings.SplitInto = ini.ReadInteger("SPLIT", "Into", 2);
  settings.SplitHour = ini.ReadInteger("SPLIT", "Hour", 0);
  settings.SplitMin = ini.ReadInteger("SPLIT", "Min", 3);
  settings.SplitSec = ini.ReadInteger("SPLIT", "Sec", 0);
  settings.VbrHeader = ini.ReadInteger("OUTPUT", "VbrHeader", 1) != 0;
  settings.Exact = ini.ReadInteger("OUTPUT", "Exact", 0) != 0;
  // A choice this program does not know writes no ID3v2 tag, as before the choice existed.
  const int32_t id3v2 = ini.ReadInteger("OUTPUT", "Id3v2", 0);
  settings.Id3v2 = id3v2 == 1 || id3v2 == 2 ? id3v2 : 0;
  // Values out of range are held at the nearest one the window offers.
  const auto within = [&](const char* key, int32_t fallback, int32_t low, int32_t high) {
    return std::clamp(ini.ReadInteger("OUTPUT", key, fallback), low, high);
  };
  settings.GainSteps = within("GainSteps", 0, -kMaxGainSteps, kMaxGainSteps);
  settings.Normalize = ini.ReadInteger("OUTPUT", "Normalize", 0) != 0;
  settings.NormalizeTarget = within("NormalizeTarget", -18, -70, 0);
  settings.FadeInMs = within("FadeInMs", 0, 0, kMaxFadeMs);
  settings.FadeOutMs = within("FadeOutMs", 0, 0, kMaxFadeMs);
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
      {"SPLIT", "Type", std::to_string(int32_t(settings.SplitType))},
      {"SPLIT", "Into", std::to_string(settings.SplitInto)},
      {"SPLIT", "Hour", std::to_string(settings.SplitHour)},
      {"SPLIT", "Min", std::to_string(settings.SplitMin)},
      {"SPLIT", "Sec", std::to_string(settings.SplitSec)},
      {"OUTPUT", "VbrHeader", settings.VbrHeader ? "1" : "0"},
      {"OUTPUT", "Id3v2", std::to_string(settings.Id3v2)},
      {"OUTPUT", "Exact", settings.Exact ? "1" : "0"},
      {"OUTPUT", "GainSteps", std::to_string(settings.GainSteps)},
      {"OUTPUT", "Normalize", settings.Normalize ? "1" : "0"},
      {"OUTPUT", "NormalizeTarget", std::to_string(settings.NormalizeTarget)},
      {"OUTPUT", "FadeInMs", std::to_string(settings.FadeInMs)},
      {"OUTPUT", "FadeOutMs", std::to_string(settings.FadeOutMs)},
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
