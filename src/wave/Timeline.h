// The waveform's timeline is the preview player's: its position 0 is the first sample the
// player plays. With a LAME header the player (libmpg123 with gapless decoding) passes over
// the encoder delay and the decoder's own delay first; without one it plays every sample.
#pragma once

#include <cstdint>
#include <string>

#include "mp3/MpegFrameHeader.h"

namespace pelcato {

// Where the player's sample 0 lies in the stream decoded without any trimming: the encoder
// delay and the decoder's delay when the file's LAME header tells a delay, 0 otherwise (also
// for a file the decoder cannot open). Reads the first frames only.
int64_t PlayerTimelineShift(const std::string& file);

}  // namespace pelcato
