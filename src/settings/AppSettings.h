// The settings record and the settings file "Pelcato.ini": the output folder and the split
// choices, the user-interface language and the moment the upgrade program starts. Read once
// when the main window is created, written once when it closes. Where the settings file, the
// language files and the working copies live is decided once by ResolveFolders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelcato {

// The language of the user interface, as the settings file stores it.
using TLanguageId = uint8_t;
inline constexpr TLanguageId LangEnglish = 0;
inline constexpr TLanguageId LangSpanish = 1;
inline constexpr TLanguageId LangGerman = 2;
inline constexpr TLanguageId LangItalian = 3;
inline constexpr TLanguageId LangFrench = 4;
inline constexpr TLanguageId LangChinese = 5;   // only ever found from the system
inline constexpr TLanguageId LangJapanese = 6;  // only ever found from the system
inline constexpr TLanguageId LangAuto = 7;      // none chosen yet: resolved from the system

// How Split cuts a file. The settings file stores 0 and 1.
enum class TSplitType : int32_t {
  IntoParts = 0,   // into SplitInto equal parts
  ByDuration = 1,  // into pieces of SplitHour:SplitMin:SplitSec
};

struct TAppSettings {
  // The folders and files of the program; none is stored. Each ends with "/" when it is a
  // folder. An empty LanguageFolder, SettingsFile or TempFolder means the one beside the
  // program: ProgramFolder + "Languages/", "Pelcato.ini" or "Tmp/".
  std::string ProgramFolder;   // the program file's folder, where upgrade.exe is looked for
  std::string LanguageFolder;  // holds English.isl, Spanish.isl, ...
  std::string SettingsFile;    // the full path of Pelcato.ini
  std::string TempFolder;      // the working copies of opened files
  TLanguageId Language = LangAuto;
  int32_t UpgradePos = 0;  // 0: start the upgrade program soon after start-up, else at close
  std::string OutputFolder;
  TSplitType SplitType = TSplitType::IntoParts;
  int32_t SplitInto = 2;
  int32_t SplitHour = 0;
  int32_t SplitMin = 3;
  int32_t SplitSec = 0;
  // Pieces whose frames do not all share one bit rate start with a fresh VBR header frame, so
  // that players show their true length; off, they are the source's frames and nothing else.
  bool VbrHeader = true;
  // The ID3v2 tag in front of the pieces: 0 none, 1 the source's (kept), 2 a new one.
  int32_t Id3v2 = 0;
  // Pieces exact to the sample, for players that trim by the LAME extension's gapless fields.
  bool Exact = false;
  // The pieces' volume, changed in their frames' global gain: a gain in steps of 1.5 dB, or
  // each piece normalised to NormalizeTarget LUFS; fades in and out over so many ms.
  int32_t GainSteps = 0;
  bool Normalize = false;
  int32_t NormalizeTarget = -18;
  int32_t FadeInMs = 0;
  int32_t FadeOutMs = 0;
};

inline constexpr char SettingsFileName[] = "Pelcato.ini";
// The bounds of the volume settings: 60 dB either way, fades of up to ten minutes.
inline constexpr int32_t kMaxGainSteps = 40;
inline constexpr int32_t kMaxFadeMs = 600000;

// The folder of the program file, ending with "/". programFile is the full path of the
// program file; without one the running program's own path (/proc/self/exe) is taken. The
// desktop program passes its QCoreApplication::applicationDirPath() through
// IncludeTrailingSlash instead (see settings/qt/QtSettings.h).
std::string GetProgramFolder(const std::string& programFile = {});
std::string IncludeTrailingSlash(std::string folder);

// The user's home folder with a trailing "/": where split pieces go until a folder is chosen.
std::string DefaultOutputFolder();

// Where the files of the program live. When programFolder holds "Languages/" (a build tree or
// an unpacked copy) everything stays beside the program. Otherwise the program is installed:
// the language files come from dataFolder + "Languages/" (empty dataFolder: InstalledDataFolder),
// Pelcato.ini from $XDG_CONFIG_HOME/pelcato/ (default ~/.config/pelcato/) and the working
// copies go to $XDG_CACHE_HOME/pelcato/Tmp/ (default ~/.cache/pelcato/Tmp/); both folders are
// created (private to the user) when missing. ProgramFolder is programFolder in both cases.
void ResolveFolders(TAppSettings& settings, const std::string& programFolder,
                    const std::string& dataFolder = {});
// Everything beside the program in programFolder, whatever it holds.
void UseProgramFolder(TAppSettings& settings, const std::string& programFolder);

// The installed data folder ending with "/": the one the install put beside the program
// ("../share/pelcato/" from the program's folder) when it holds "Languages/", else the one of
// the configured install prefix.
std::string InstalledDataFolder(const std::string& programFolder);

// The folder of the language files, ending with "/".
std::string LanguageFolderPath(const TAppSettings& settings);
// The full path of the working-copy folder, ending with "/".
std::string TempFolderPath(const TAppSettings& settings);
// The full path of Pelcato.ini.
std::string SettingsFilePath(const TAppSettings& settings);

// Fills every field but the folders from the settings file; absent entries and integers
// that are no number give the defaults. Language is clamped to 0..7.
void LoadSettings(TAppSettings& settings);

// Receives the text of the error box shown when the settings cannot be written. The box is
// an error box captioned with the application title.
using TSettingsErrorReport = std::function<void(const std::string& message)>;

// Writes Language, the output folder, the split choices and the output choices back, one entry
// after the other; UPGRADE/Pos is never written. At the first entry that cannot be written the rest
// are skipped, report (when given) receives SettingsWriteErrorText, and the result is false.
bool SaveSettings(const TAppSettings& settings, const TSettingsErrorReport& report = {});

// "Unable to write to <path>."
std::string SettingsWriteErrorText(const std::string& path);

}  // namespace pelcato
