// Decodes every frame of a file with the player's decoder into the waveform's summary, on the
// caller's thread (the window runs it on a thread of its own; another open or the close cancels
// it).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "wave/WaveSummary.h"

namespace pelcato {

struct TPeaksControl {
  // Set by another thread: the decode stops within a frame and reports Cancelled.
  const std::atomic<bool>* Cancel = nullptr;
  // Held while blocks are added to the summary, so that another thread may draw from it
  // under the same lock while the decode goes on.
  std::mutex* Lock = nullptr;
  // The share of the file's bytes decoded (0 to 1), every few hundred frames and at the end.
  std::function<void(double done)> Progress;
  // Blocks to make room for at once (the length the open computed), to spare regrowing.
  size_t ExpectedBlocks = 0;
};

struct TPeaksResult {
  bool Done = false;       // every frame of the file was decoded
  bool Cancelled = false;  // stopped by Cancel; the summary holds what was decoded
  std::string Error;       // why neither
};

// Empties the summary at once, starts it anew at the stream's sample rate and fills it on the
// preview player's timeline: the samples the player plays, from its position 0 on (the encoder
// delay and padding that a LAME header tells are trimmed, as the player trims them).
TPeaksResult DecodePeaks(const std::string& file, TWaveSummary& summary,
                         const TPeaksControl& control = {});

}  // namespace pelcato
