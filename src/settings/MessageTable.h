// The table of user messages: thirty-five named texts that go into message boxes, status lines
// and labels. Each has a built-in English text; a language file's [Messages] section replaces
// it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "text/Text.h"

namespace pelcato {

struct TMessageTable {
  TMessageTable();  // every text built in

  std::string Ms_Opening;
  std::string Ms_Error;
  std::string Ms_Waiting;
  std::string Ms_AppError;
  std::string Ms_Pos;
  std::string Ms_Unknow;
  std::string Ms_Mono;
  std::string Ms_Stereo;
  std::string Ms_Info;
  std::string Ms_NotMP3;
  std::string Ms_NotSaveName;  // two lines; the file name follows
  std::string Ms_NotSave;
  std::string Ms_ClipErr;
  std::string Ms_PathNotExist;
  std::string Ms_OptionErr1;
  std::string Ms_OptionErr2;  // "%1": the length of the open file as a time code
  std::string Ms_Success;
  std::string Ms_SplitSave;  // "%1": the number of files
  std::string Ms_AsCopy;
  std::string Ms_NotWrite;
  std::string Ms_NothingToSplit;  // a split of a file without length
  std::string Ms_NoBrowser;       // Help found no web browser; the guide's address follows
  std::string Ms_Busy;      // a second start's file came while a command ran; its path follows
  std::string Ms_NotExact;  // [OUTPUT] Exact=1, but the file allows whole frames only
  // What a successful save or split says of the output options that shaped its files.
  std::string Ms_OutExact;
  std::string Ms_OutVbrHeader;
  std::string Ms_OutId3v2Kept;
  std::string Ms_OutId3v2New;
  // What the [OUTPUT] volume did to the pieces, for the success message.
  std::string Ms_VolumeGain;        // "%1": the gain in dB with its sign
  std::string Ms_VolumeNormalized;  // "%1": the target in LUFS; "%2": the gain or gains in dB
  std::string Ms_VolumeFades;       // "%1", "%2": the fade in and out in ms
  std::string Ms_VolumeNotReached;
  std::string Ms_VolumeNotLayer3;
  std::string Ms_VolumeMeasuring;  // the status while the pieces' loudness is measured
  std::string Ms_VolumeClamped;
};

struct TMessageKey {
  const char* Name;  // the key in [Messages]
  std::string TMessageTable::*Field;
  const char* BuiltIn;
};

// Every key in the order the table is read.
extern const std::array<TMessageKey, 35> MessageKeys;

// Replaces the whole table from the [Messages] section of languageFile; every key the file
// does not give takes its built-in text, and so does every key when the file is missing,
// unreadable, larger than 1 MiB or holds zero bytes (a file that is no UTF-8 is read as
// windows-1252). In Ms_NotSaveName alone "#10" becomes a
// line feed.
void LoadMessages(const std::string& languageFile, TMessageTable& messages);

// With the separator in text: { the part after its first occurrence, the part before it };
// otherwise { text }.
std::vector<std::string> SplitAtFirst(std::string_view text, std::string_view separator);

}  // namespace pelcato
