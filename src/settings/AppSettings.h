// The settings record and the settings file "Pelcato.ini" beside the program file: the output
// folder and the split choices, the user-interface language and the moment the upgrade
// program starts. Read once when the main window is created, written once when it closes.
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

struct TAppSettings {
  std::string ProgramFolder;  // ends with "/"; never stored
  TLanguageId Language = LangAuto;
  int32_t UpgradePos = 0;  // 0: start the upgrade program soon after start-up, else at close
  std::string OutputFolder;
  int32_t SplitType = 0;  // 0: into SplitInto equal parts, else pieces of the given duration
  int32_t SplitInto = 2;
  int32_t SplitHour = 0;
  int32_t SplitMin = 3;
  int32_t SplitSec = 0;
  // Pieces whose frames do not all share one bit rate start with a fresh VBR header frame.
  bool VbrHeader = false;
};

inline constexpr char SettingsFileName[] = "Pelcato.ini";

// The folder of the program file, ending with "/". programFile is the full path of the
// program file; without one the running program's own path (/proc/self/exe) is taken. The
// desktop program passes its QCoreApplication::applicationDirPath() through
// IncludeTrailingSlash instead (see settings/qt/QtSettings.h).
std::string GetProgramFolder(const std::string& programFile = {});
std::string IncludeTrailingSlash(std::string folder);

// The user's home folder with a trailing "/": where split pieces go until a folder is chosen.
std::string DefaultOutputFolder();

// ProgramFolder followed by "Pelcato.ini".
std::string SettingsFilePath(const TAppSettings& settings);

// Fills every field but ProgramFolder from the settings file; absent entries and integers
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
