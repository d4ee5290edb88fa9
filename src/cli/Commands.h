// What the commands of pelcato-cli share: exit statuses, the two ways a command fails, the
// message table, and the analysis and tag every command that reads an MP3 file starts with.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "edit/TagText.h"
#include "mp3/KorvaMp3.h"
#include "settings/MessageTable.h"

namespace pelcato {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Wrong usage: shown in one line, with a pointer to --help.
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value that this input cannot be worked with (a size too small for its frames, say): one
// line, with the exit status of wrong usage, as the usage text would not help.
class EBadValue : public EUsage {
 public:
  using EUsage::EUsage;
};

// A failure already worded for the user.
class EFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why a file is not written over an existing one.
constexpr const char* kExistsNotReplaced = "the file exists; it is not replaced";

// The user messages, in their built-in English wording.
const TMessageTable& Messages();

// Analyses the file; a file that cannot be read, or is no MP3, ends the command.
void Analyze(TKorvaMP3& mp3, const std::string& file, bool measure, bool requireValid = true,
             bool index = false);

// "is not a MP3 file" and why, for a file the analysis found not valid.
std::string NotMp3Text(const TMp3DataInfo& info);

// With exact, asks the analysed file for pieces exact to the sample and warns on err when it
// cannot give them (whole frames are written then). True when its pieces will be exact.
bool AskExact(TKorvaMP3& mp3, bool exact, std::ostream& err);
// Says on err why the pieces of the analysed file have whole frames.
void WarnNotExact(const TKorvaMP3& mp3, const std::string& reason, std::ostream& err);

// The tag a new file gets: the source's, as the tag page shows it after opening, with the
// fields given on the command line put in.
TID3v1Tag BuildTag(const TTagOverrides& options, const TMp3DataInfo& info);

// A JSON string; bytes that are not UTF-8 (file names may hold any) become U+FFFD.
std::string JsonString(const std::string& s);

// The commands, each given the words after its name.
using TWords = std::vector<std::string>;
int CmdInfo(const TWords& words, std::ostream& out, std::ostream& err);
int CmdCut(const TWords& words, std::ostream& out, std::ostream& err);
int CmdSplit(const TWords& words, std::ostream& out, std::ostream& err);
int CmdVerify(const TWords& words, std::ostream& out, std::ostream& err);
int CmdPeaks(const TWords& words, std::ostream& out, std::ostream& err);
int CmdLoudness(const TWords& words, std::ostream& out, std::ostream& err);

// Prints what the decoder met in one file; false when the file has decode errors or holds no
// stream the decoder can play.
bool PrintStreamCheck(const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace pelcato
