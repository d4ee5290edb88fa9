// The Split command's plan: the time ranges of the pieces and the names they are written
// under.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "settings/AppSettings.h"

namespace pelcato {

// A range end beyond any file: the piece takes every frame up to the end of the audio, however
// the measured length compares with the frames' own time.
constexpr int64_t kToTheEnd = int64_t(1) << 53;

// The split settings the ranges depend on, and the length of the file to split.
struct TSplitRequest {
  TSplitType SplitType = TSplitType::IntoParts;
  int SplitInto = 2;
  int SplitHour = 0;
  int SplitMin = 0;
  int SplitSec = 0;
  int64_t Duration = 0;  // ms
  int SplitMs = 0;       // on top of SplitSec (the command line takes them)
};

// The piece length in milliseconds of a split by duration.
int64_t SplitPieceMs(const TSplitRequest& request);

// Fills starts and ends (ms) with one entry per piece and returns the number of pieces.
// Into parts: equal pieces of Duration div N, the last one taking the remainder. By duration:
// pieces of the given length from 0 on, the last ending at Duration. Nothing to split (no
// length, N below 1, a piece length below 1 ms) gives 0 pieces.
int BuildSplitRanges(const TSplitRequest& request, std::vector<int64_t>& starts,
                     std::vector<int64_t>& ends);

// n in decimal, at least four digits: 1 -> "0001", 9999 -> "9999", 10000 -> "10000".
std::string FormatPieceNumber(int64_t n);

// The local date and time of now; tests put in a fixed day.
using TLocalClock = std::function<std::tm()>;
std::tm LocalNow();

// folder + base name of source (its last extension removed) + "-yymmdd-" + the lowest piece
// number no existing file has + ".mp3". A folder without a trailing "/" gets one; an empty
// folder means the current one. The date is taken afresh for every candidate.
std::string MakeSplitFileName(const std::string& source, const std::string& folder,
                              const TLocalClock& clock = LocalNow);

// The names of one run of pieces, each as MakeSplitFileName gives it. The search starts again
// at the number the previous name took (every lower number was taken then; that one is free
// again when its piece failed), so a run of thousands of pieces does not test all its earlier
// names again. A new date starts at 1.
class TSplitNamer {
 public:
  TSplitNamer(const std::string& source, const std::string& folder, TLocalClock clock = LocalNow);
  std::string Next();

 private:
  std::string FPrefix;  // folder and base name
  TLocalClock FClock;
  std::string FLastDate;
  int64_t FLastNumber = 0;
};

}  // namespace pelcato
