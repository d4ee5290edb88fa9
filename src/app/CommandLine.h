// The desktop program's command line: "pelcato [FILE]", "--help", "--version". It is read
// before anything needs a display or looks for a running copy, so that "--help" and a mistyped
// option answer on the terminal without opening a window or handing a name to that copy.
#pragma once

#include <string>
#include <vector>

namespace pelcato {

struct TProgramArguments {
  enum class TAction {
    Run,      // start the window, opening File when it is not empty
    Help,     // print ProgramUsage to standard output and end with 0
    Version,  // print ProgramVersionLine to standard output and end with 0
    Refuse    // print Error (one line) to standard error and end with kExitRefused
  };
  TAction Action = TAction::Run;
  std::string File;   // the first file named; the others are not opened
  std::string Error;  // "pelcato: ... (see pelcato --help)"
};

inline constexpr int kExitRefused = 2;

// Reads the words behind the program's name. The options of Qt itself (-platform NAME,
// -style=NAME, -session ID, -reverse, ...) pass untouched, so that a desktop session can
// restore the program as Qt asks it to. "--" ends the options: what follows is a file name
// even when it starts with "-".
TProgramArguments ParseProgramArguments(const std::vector<std::string>& words);

// The text of "pelcato --help", ending with a line feed.
std::string ProgramUsage();
// "pelcato VERSION" and a line feed.
std::string ProgramVersionLine();

}  // namespace pelcato
