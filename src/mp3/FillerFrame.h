// The frame put in front of a piece whose first frame takes main data from frames before it:
// the same version, sample rate and channel mode, no CRC, side information all zero (no
// granule reads a bit, so it decodes as silence) and a main data area that ends with exactly
// the bytes the next frame asks for. No frame of the piece then points outside it. With no
// bytes it is a silent frame, which leaves a decoder as fresh as it found it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pelcato {

struct TFillerFrame {
  // audioHeader: the header of the frame that follows. The bit rate is that frame's, or the
  // lowest higher one whose main data area holds the bytes. Empty for other layers, or when no
  // bit rate holds them.
  static std::vector<uint8_t> Render(const uint8_t* audioHeader, std::span<const uint8_t> bytes);
};

}  // namespace pelcato
