// Cue sheets: the tracks of an album rip read with libcue, their time ranges in the MP3 file,
// the names of their pieces and the ID3v1 fields they get.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "edit/TagText.h"

namespace pelcato {

// Texts are UTF-8.
struct TCueTrack {
  int Number = 0;       // 1 for the first track of the sheet, and so on
  int64_t StartMs = 0;  // INDEX 01
  std::string Title;
  std::string Performer;
};

struct TCueSheet {
  std::string Title;
  std::string Performer;
  std::string Date;   // REM DATE
  std::string Genre;  // REM GENRE
  std::vector<TCueTrack> Tracks;
};

// CD frames (1/75 s) as milliseconds, rounded up: a track never starts before its INDEX 01.
int64_t CdFramesToMs(int64_t frames);

// Reads a sheet held in UTF-8 (a byte order mark is dropped) or, when the bytes are not valid
// UTF-8, in the tag code page. False, with the reason in error, when the text does not parse,
// names no track, gives a track no INDEX 01, names more than one file, or has tracks out of
// order.
bool ParseCueSheet(std::string_view text, const TTagCodePage& codePage, TCueSheet& sheet,
                   std::string& error);
// The same for a file; a file that cannot be read is an error too.
bool ReadCueSheet(const std::string& path, const TTagCodePage& codePage, TCueSheet& sheet,
                  std::string& error);

// One range per track: from its INDEX 01 to the next track's, the last to the end of the audio
// (kToTheEnd). False,
// with the reason in error, when a track starts at or after durationMs.
bool CueTrackRanges(const TCueSheet& sheet, int64_t durationMs, std::vector<int64_t>& starts,
                    std::vector<int64_t>& ends, std::string& error);

// "NN - TITLE.mp3" (NN at least two digits; "Track NN" for a track without a title). NUL, "/",
// control characters and the characters other systems forbid in names (\ : * ? " < > |)
// become "_"; a long title is cut, at a character boundary, so the name stays below 255 bytes.
std::string CuePieceName(const TCueTrack& track);

// The tag of a track: its title, its performer (else the sheet's) as artist, the sheet's title
// as album, its number, the year and the genre (by name, or by number 0..147; anything else:
// none) from the sheet's REM lines. Texts are converted to the code page.
TTagFields CueTrackFields(const TCueSheet& sheet, const TCueTrack& track,
                          const TTagCodePage& codePage);

}  // namespace pelcato
