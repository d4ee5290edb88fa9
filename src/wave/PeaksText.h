// The envelope as the command line prints it for scripts.
#pragma once

#include <string>

#include "wave/WaveSummary.h"

namespace pelcato {

// A header line, then per column its start in milliseconds, the smallest and largest sample
// and the RMS level in dBFS, separated by tabs.
std::string PeaksText(const TEnvelope& env);
// One JSON object: "width", "ms_per_column", and "min", "max", "rms_db" as arrays of width
// numbers.
std::string PeaksJson(const TEnvelope& env);

}  // namespace pelcato
