#include "wave/WaveTrack.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pelcato {

void TWaveTrack::Clear() {
  FCancel = true;
  if (FThread.joinable()) FThread.join();
  FCancel = false;
  FRunning = false;
  FDone = false;
  std::lock_guard<std::mutex> hold(FLock);
  FEstimate = TWaveSummary();
  FDecoded = TWaveSummary();
}

void TWaveTrack::SetEstimate(TWaveSummary estimate) {
  Clear();
  std::lock_guard<std::mutex> hold(FLock);
  FEstimate = std::move(estimate);
}

void TWaveTrack::StartDecode(const std::string& file, size_t expectedBlocks) {
  if (FThread.joinable()) {
    FCancel = true;
    FThread.join();
    FCancel = false;
  }
  FDone = false;
  FRunning = true;
  const auto decode = [this, file, expectedBlocks] {
    try {
      TPeaksControl control;
      control.Cancel = &FCancel;
      control.Lock = &FLock;
      control.ExpectedBlocks = expectedBlocks;
      const TPeaksResult result = DecodePeaks(file, FDecoded, control);
      FDone = result.Done;
      if (result.Cancelled) ++FCancelled;
    } catch (...) {
      // Out of memory, most likely: what was decoded goes, and the estimate stays. Nothing
      // here may throw again, nor end the program.
      std::lock_guard<std::mutex> hold(FLock);
      FDecoded = TWaveSummary();
      FDone = false;
    }
    FRunning = false;
  };
  try {
    FThread = std::thread(decode);
  } catch (const std::exception&) {
    // No thread to be had: the estimate stays.
    FRunning = false;
  }
}

bool TWaveTrack::Empty() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FEstimate.Blocks() == 0 && FDecoded.Blocks() == 0;
}

TEnvelope TWaveTrack::View(double fromMs, double toMs, int width) const {
  std::lock_guard<std::mutex> hold(FLock);
  if (FDone) {
    TEnvelope env = FDecoded.View(fromMs, toMs, width);
    env.Measured = env.Width;
    return env;
  }
  TEnvelope env = FEstimate.View(fromMs, toMs, width);
  if (FDecoded.Blocks() == 0 || !(env.MsPerColumn > 0.0)) return env;
  // The columns that end before the decode's end take its peaks.
  const double decodedMs = FDecoded.DurationMs();
  const int measured =
      std::clamp(int(std::floor((decodedMs - fromMs) / env.MsPerColumn)), 0, env.Width);
  if (measured == 0) return env;
  const TEnvelope decoded = FDecoded.View(fromMs, fromMs + measured * env.MsPerColumn, measured);
  for (size_t c = 0; c < size_t(measured); ++c) {
    env.Min[c] = decoded.Min[c];
    env.Max[c] = decoded.Max[c];
    env.RmsDb[c] = decoded.RmsDb[c];
  }
  env.Measured = measured;
  env.Covered = std::max(env.Covered, measured);
  return env;
}

}  // namespace pelcato
