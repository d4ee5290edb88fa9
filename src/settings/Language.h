// Language files and the switch of language. A language file "Languages/<Language>.isl" under
// the program folder is a profile file: [Messages] holds the message table, and one section
// per window, named after the window, holds "Component.Property=value" entries that replace
// the window's design texts (and even positions and sizes) when the window is translated.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/AppSettings.h"
#include "settings/MessageTable.h"

namespace pelcato {

inline constexpr char ApplicationTitle[] = "Pelcato";
// PELCATO_VERSION is the project's version, given by the build.
inline constexpr char VersionCaption[] = "Pelcato version " PELCATO_VERSION;

// The language menu's items, by the language they choose (LangEnglish ... LangFrench).
inline constexpr const char* LanguageItemNames[] = {"PM_English", "PM_Spanish", "PM_German",
                                                    "PM_Italian", "PM_French"};

// The properties a language file can set, by the kind of their value.
enum class TPropertyKind {
  None,        // anything else: the entry is skipped
  String,      // Caption, Hint, Text, Title, Filter
  Integer,     // Left, Top, Width, Height, Tag, Color
  StringList,  // Items, Lines
};

// The kind of a property name (any letter case); canonical receives the name as listed above.
TPropertyKind PropertyKindOf(std::string_view name, std::string* canonical = nullptr);

// One component of a window (or the window itself) as a translation sees it. The property
// names passed in are always the canonical ones.
class TComponentTarget {
 public:
  virtual ~TComponentTarget() = default;
  // Whether this component has the property at all; entries for other ones are skipped.
  virtual bool HasProperty(const std::string& name) const = 0;
  // Each answers false when the component refuses the value; that ends the translation.
  virtual bool SetString(const std::string& name, const std::string& value) = 0;
  virtual bool SetInteger(const std::string& name, int32_t value) = 0;
  virtual bool SetStringList(const std::string& name, const std::vector<std::string>& lines) = 0;
};

// A window as a translation sees it.
class TFormTarget {
 public:
  virtual ~TFormTarget() = default;
  // The window's component name, which names its section ("FrmMP3Editor").
  virtual std::string FormName() const = 0;
  // The window itself for an empty name, else the component of that name (any letter case)
  // that the window owns, or nullptr.
  virtual std::unique_ptr<TComponentTarget> FindComponent(const std::string& name) = 0;
};

// Assigns value to the property of component. Does nothing (and answers true) when there is
// no component, the name is no known property, or the component has no such property. False
// when the value cannot be assigned: an integer property given text that is no number (see
// TryParseInteger), or a component refusing the value. A string list is the value cut at
// every "||".
bool SetComponentProperty(TComponentTarget* component, std::string_view property,
                          std::string_view value);

// Applies the window's section of languageFile entry by entry, in file order. A file that is
// no valid UTF-8 is read as windows-1252. A missing, unreadable or oversized (over 1 MiB)
// file, one holding zero bytes, or an absent section changes nothing.
// A value that cannot be assigned ends the translation at that entry; the entries before it
// stay applied. The result is always true.
bool TranslateForm(TFormTarget& form, const std::string& languageFile);

// "Languages/Spanish.isl" for 1, German 2, Italian 3, French 4; "Languages/English.isl" else.
std::string LanguageFileName(TLanguageId code);
// The language folder (LanguageFolderPath) followed by the file name of the current Language.
std::string LanguageFilePath(const TAppSettings& settings);

// The language whose English name (as the system reports it for its locale) is given:
// "english" 0, "german" 2, "spanish" 1, "french" 4, "italian" 3, "chinese" 5, "japan" 6,
// tested in that order on the lower-case name; otherwise LangAuto. A name longer than 18
// characters counts as unknown, as the system's query has room for no more.
TLanguageId DetectSystemLanguage(std::string_view englishLanguageName);

// The main window's part in applying a language.
class TLanguageHost {
 public:
  virtual ~TLanguageHost() = default;
  // The main window ("FrmMP3Editor") as a translation target; Label11 is found through it.
  virtual TFormTarget& MainForm() = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // Checks the language menu item of that name (PM_English, PM_Spanish, PM_German,
  // PM_Italian, PM_French) and clears the other four.
  virtual void CheckLanguageItem(const std::string& itemName) = 0;
};

// Makes code the current language: stores it in settings, sets Label11 to VersionCaption and
// the application title, checks the menu item of its file, refills messages from the file and
// translates the main window with it.
void ApplyLanguage(TLanguageHost& host, TAppSettings& settings, TMessageTable& messages,
                   TLanguageId code);

// Start-up, right after LoadSettings: a Language of LangAuto is resolved from the system's
// language name, then the language is applied.
void StartLanguage(TLanguageHost& host, TAppSettings& settings, TMessageTable& messages,
                   std::string_view systemLanguageName);

// A click on a language menu item with that Tag (0 to 4): applies it unless it is already the
// current language. True when it was applied.
bool SwitchLanguage(TLanguageHost& host, TAppSettings& settings, TMessageTable& messages,
                    int itemTag);

}  // namespace pelcato
