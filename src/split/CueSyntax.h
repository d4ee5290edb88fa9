// The lines of a cue sheet, checked before libcue reads them. libcue prints what it cannot read
// on the process's standard error and may still return a sheet; its complaints cannot be taken
// from it without swapping the process's standard error, which is not safe beside other
// threads. So every line is checked here against the commands libcue reads, and libcue only
// gets sheets it reads without a word.
#pragma once

#include <string>
#include <string_view>

namespace pelcato {

// True when text (UTF-8, one command a line) holds only commands libcue reads in the places
// it reads them: FILE, TRACK with at least one command of its own, INDEX, PREGAP, POSTGAP,
// FLAGS, ISRC, CATALOG, CDTEXTFILE, the CD-TEXT fields and REM; each with its values and
// nothing more. forParser gets the lines to hand to libcue: REM lines other than REM DATE and
// REM GENRE are free text that libcue misreads, and are left out (their line stays, empty).
// False, with the reason in error ("line N: ..."), otherwise.
bool CheckCueSyntax(std::string_view text, std::string& forParser, std::string& error);

}  // namespace pelcato
