// pelcato-cli: the analysis, "Save as" and "Split" of the desktop program on the command line.
//
//   pelcato-cli info [--json] FILE
//   pelcato-cli cut FILE START END OUT [TAG OPTIONS] [--vbr-header] [--exact] [--verify]
//   pelcato-cli split FILE (--parts N | --every H:MM:SS) [--out DIR] [TAG OPTIONS]
//                     [--vbr-header] [--exact] [--verify]
//   pelcato-cli verify FILE...
//   pelcato-cli split FILE (--cue SHEET | --silence ... | --size SIZE) [--out DIR] ... [--exact]
//   pelcato-cli --help | --version
//
// Exit status: 0 success, 1 the operation failed (message on err), 2 wrong usage.
#pragma once

#include <ostream>

namespace pelcato {

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace pelcato
