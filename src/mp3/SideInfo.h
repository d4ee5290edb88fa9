// The side information of a Layer III frame: the bytes between the frame header (and its CRC)
// and the frame's main data. Only what the program needs is read from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pelcato {

struct TLayer3SideInfo {
  // Bytes of side information: 32 (MPEG 1 stereo), 17 (MPEG 1 mono, MPEG 2 and 2.5 stereo)
  // or 9 (MPEG 2 and 2.5 mono).
  static int SizeFor(const uint8_t* header);
  // Where the side information starts: behind the header and the 16-bit CRC when present.
  static int OffsetFor(const uint8_t* header) { return (header[1] & 1) ? 4 : 6; }

  // How many bytes before this frame's main data area its main data begin: they lie in the
  // main data areas of earlier frames (the bit reservoir). 9 bits in MPEG 1, 8 in MPEG 2 and 2.5.
  int MainDataBegin = 0;
  // Bytes of the frame that hold main data: everything behind the side information.
  int MainDataSize = 0;

  // frame: the whole frame, header first; frameSize its length. No value when the frame is not
  // Layer III or is too short to hold its side information.
  static std::optional<TLayer3SideInfo> Parse(const uint8_t* frame, size_t frameSize);
};

}  // namespace pelcato
