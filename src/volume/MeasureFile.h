// The loudness of a file's decode as players play it (libmpg123's timeline, the encoder delay
// and padding a LAME header tells left out), as a whole or per range of it, in one decode.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "volume/Loudness.h"

namespace pelcato {

struct TMeasureRequest {
  // Ranges of the timeline in ms, end exclusive, each measured on its own; none: the whole
  // file. Ranges may overlap.
  std::vector<int64_t> StartMs;
  std::vector<int64_t> EndMs;
  // A range's sample peak is taken this much further on either side: a piece of whole frames
  // holds up to a frame more than its range, and its first frames may sound a little earlier.
  int64_t PeakMarginMs = 0;
  bool Range = false;     // the loudness range too
  bool TruePeak = false;  // the true peak too (whole files only)
  // A measurement of everything from the first range's start to the last one's end as well
  // (kept in Whole): the loudness of all pieces together.
  bool Together = false;
  // The share of the file decoded (0 to 1), now and then.
  std::function<void(double done)> Progress;
};

struct TMeasured {
  std::string Error;  // why nothing was measured; empty on success
  long SampleRate = 0;
  int Channels = 0;
  std::vector<TLoudness> Pieces;  // one per range; without ranges, the whole file's
  // The whole file (without ranges) or all ranges together (with Together), kept to be
  // measured together with other files (TLoudnessMeter::Together).
  std::unique_ptr<TLoudnessMeter> Whole;
};

TMeasured MeasureFile(const std::string& path, const TMeasureRequest& request);

}  // namespace pelcato
