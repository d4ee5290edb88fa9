#include "cli/PieceReport.h"

#include <unistd.h>

#include <iostream>

#include "cli/Commands.h"
#include "cli/VolumeOptions.h"
#include "io/Paths.h"

namespace pelcato {

bool ShowsProgress(const std::ostream& err) {
  return (&err == &std::cerr || &err == &std::clog) && isatty(STDERR_FILENO) == 1;
}

const std::string& TPieceReport::Starting(size_t piece, const std::string& path) {
  if (FProgress) {
    FErr << "\r\x1b[KWriting piece " << piece + 1 << " of " << FCount << std::flush;
  }
  FPath = path;
  return FPath;
}

void TPieceReport::Done(const TSegmentResult& result) {
  if (FProgress) FErr << "\r\x1b[K" << std::flush;
  if (result.Ok) {
    FOut << result.Path << std::endl;
    ReportClamped(result, FErr);
    if (FVerify) FWritten.push_back(result.Path);
  } else {
    FAnyFailed = true;
    // A piece never creates its name when it fails, so a name there now was there before.
    if (PathExists(result.Path)) {
      FErr << result.Path << ": " << kExistsNotReplaced << std::endl;
    } else {
      FErr << result.Path << ": " << Messages().Ms_NotSave << std::endl;
    }
  }
}

int TPieceReport::Finish() {
  bool allClean = true;
  for (const std::string& piece : FWritten) {
    allClean = PrintStreamCheck(piece, FOut, FErr) && allClean;
  }
  if (FAnyFailed) {
    FErr << Messages().Ms_NotSave << "\n";
    return kExitFailed;
  }
  return allClean ? kExitOk : kExitFailed;
}

}  // namespace pelcato
