// The main window as the program builds it, with the desktop's launchers, on a program folder
// of the test's own.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "app/Startup.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato::test {

// With upgradeStarts, every start of the upgrade program is counted there as well.
inline std::unique_ptr<TFrmMP3Editor> MakeWindow(TFakeDialogs& dialogs,
                                                 const TProgramFolder& folder,
                                                 const char* systemLanguage = "English",
                                                 int* upgradeStarts = nullptr) {
  TEditorOptions options;
  options.ProgramFolder = folder.Path();
  options.SystemLanguageName = [systemLanguage] { return std::string(systemLanguage); };
  options = WithDesktopLaunchers(options);
  if (upgradeStarts != nullptr) {
    options.StartUpgrade = [upgradeStarts, start = options.StartUpgrade](
                               const QString& programFolder, uint64_t window, int language) {
      ++*upgradeStarts;
      start(programFolder, window, language);
    };
  }
  return std::make_unique<TFrmMP3Editor>(dialogs, options);
}

}  // namespace pelcato::test
