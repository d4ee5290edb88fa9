// The player's length of a file for a split, measured on a thread of its own from the start,
// beside the analysis and the walk of its frame index, or only once the index has shown that
// the file's header frame cannot tell it; Take hands it to the analysis as AnalyzeFile would.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "mp3/KorvaMp3.h"
#include "mp3/MediaPlayer.h"

namespace pelcato {

class TLengthScan {
 public:
  // deferred: measured only in Take, when the frame index has been walked.
  TLengthScan(const std::string& file, bool deferred);
  ~TLengthScan();
  TLengthScan(const TLengthScan&) = delete;
  TLengthScan& operator=(const TLengthScan&) = delete;
  // Waits for the length (or measures it now) and gives it to the analysis.
  void Take(TKorvaMP3& mp3);

 private:
  void Run(bool scan);

  const std::string FFile;
  bool FDeferred;
  std::atomic<bool> FStop{false};
  bool FMeasured = false;
  int64_t FLength = 0;
  std::string FError;
  TPlayerFault FFault = TPlayerFault::Other;
  std::thread FThread;
};

}  // namespace pelcato
