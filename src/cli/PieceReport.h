// How a split shows its pieces as they are written: each path on standard output, each
// failure on standard error, and the count on a terminal.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "mp3/KorvaMp3.h"

namespace pelcato {

// Progress is for a person watching: only on the process's own standard error, and only when
// that is a terminal.
bool ShowsProgress(const std::ostream& err);

// Remembers whether any piece failed, and with --verify checks every piece written once all
// are.
class TPieceReport {
 public:
  TPieceReport(std::ostream& out, std::ostream& err, bool verify)
      : FOut(out), FErr(err), FProgress(ShowsProgress(err)), FVerify(verify) {}

  std::ostream& Out() { return FOut; }
  std::ostream& Err() { return FErr; }
  bool Progress() const { return FProgress; }
  void Expect(size_t count) { FCount = count; }

  // Called with each piece's path when it is asked for; returns the path.
  const std::string& Starting(size_t piece, const std::string& path);
  void Done(const TSegmentResult& result);
  // The exit status of the split, once every piece is done.
  int Finish();

 private:
  std::ostream& FOut;
  std::ostream& FErr;
  bool FProgress;
  bool FVerify;
  size_t FCount = 0;
  bool FAnyFailed = false;
  std::string FPath;
  std::vector<std::string> FWritten;
};

}  // namespace pelcato
