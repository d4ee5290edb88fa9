#include "app/CommandLine.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace pelcato {
namespace {

// Qt's own options, which QApplication takes out of the command line: those that take the
// next word (or "=VALUE") as their value, and those that stand alone. Qt accepts them with
// one dash or two.
constexpr std::string_view kQtWithValue[] = {"platform",
                                             "platformpluginpath",
                                             "platformtheme",
                                             "plugin",
                                             "qwindowgeometry",
                                             "geometry",
                                             "qwindowtitle",
                                             "title",
                                             "qwindowicon",
                                             "icon",
                                             "session",
                                             "display",
                                             "name",
                                             "visual",
                                             "style",
                                             "stylesheet",
                                             "qmljsdebugger"};
constexpr std::string_view kQtAlone[] = {"reverse", "widgetcount", "nograb",
                                         "dograb",  "sync",        "testability"};

bool Among(std::string_view word, const std::string_view* first, const std::string_view* last) {
  return std::find(first, last, word) != last;
}

TProgramArguments Refused(const std::string& why) {
  TProgramArguments result;
  result.Action = TProgramArguments::TAction::Refuse;
  result.Error = "pelcato: " + why + " (see pelcato --help)";
  return result;
}

}  // namespace

TProgramArguments ParseProgramArguments(const std::vector<std::string>& words) {
  TProgramArguments result;
  bool options = true;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!options || word.size() < 2 || word[0] != '-') {
      // "-" alone is a file of that name, as every name that is no option.
      if (result.File.empty()) result.File = word;
      continue;
    }
    if (word == "--") {
      options = false;
      continue;
    }
    if (word == "--help" || word == "-h") {
      result.Action = TProgramArguments::TAction::Help;
      return result;
    }
    if (word == "--version") {
      result.Action = TProgramArguments::TAction::Version;
      return result;
    }
    const std::string_view bare =
        std::string_view(word).substr(word.compare(0, 2, "--") == 0 ? 2 : 1);
    const size_t equals = bare.find('=');
    const std::string_view name = bare.substr(0, equals);
    if (Among(name, std::begin(kQtWithValue), std::end(kQtWithValue))) {
      if (equals == std::string_view::npos) {
        if (i + 1 >= words.size()) return Refused("option " + word + " needs a value");
        ++i;
      }
      continue;
    }
    if (equals == std::string_view::npos && Among(name, std::begin(kQtAlone), std::end(kQtAlone)))
      continue;
    return Refused("unknown option " + word);
  }
  return result;
}

std::string ProgramUsage() {
  return "Usage: pelcato [FILE]\n"
         "       pelcato --help | --version\n"
         "\n"
         "Opens the window of Pelcato, which cuts and splits MP3 files without re-encoding\n"
         "them; with FILE, that file is opened at once. When Pelcato already runs on this\n"
         "desktop, FILE is handed to the running window instead.\n"
         "\n"
         "  -h, --help     print this text and end\n"
         "      --version  print the version and end\n"
         "      --         what follows is a file name, even when it starts with \"-\"\n"
         "\n"
         "Qt's own options (-platform, -style, -session, ...) are passed on to Qt.\n"
         "For batch work on the command line, see pelcato-cli --help.\n";
}

std::string ProgramVersionLine() {
  return std::string("pelcato ") + PELCATO_VERSION + "\n";
}

}  // namespace pelcato
