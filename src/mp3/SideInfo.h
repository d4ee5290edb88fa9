// The side information of a Layer III frame: the bytes between the frame header (and its CRC)
// and the frame's main data. Only what the program needs is read from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pelcato {

// What one granule's side information says about one channel's coded spectrum: enough to
// judge its loudness without decoding it.
struct TGranuleChannel {
  uint16_t Part23Length = 0;      // bits of scale factors and Huffman code in the main data
  uint16_t BigValues = 0;         // pairs of spectral lines coded with the large-value tables
  uint16_t ScalefacCompress = 0;  // 4 bits in MPEG 1, 9 bits in MPEG 2 and 2.5
  uint8_t GlobalGain = 0;         // the quantizer step: 4 steps double the amplitude
  uint8_t BlockType = 0;          // 0 long blocks, 1 start, 2 short, 3 stop
  // The Huffman table of each big-value region (two with window switching, the third then 0):
  // an encoder takes a table that just holds the region's largest quantized value.
  uint8_t TableSelect[3] = {0, 0, 0};
  uint8_t SubblockGain[3] = {0, 0, 0};  // short blocks: each window's step lowered by 8 gains
};

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

  // Two granules of 576 samples in MPEG 1, one in MPEG 2 and 2.5; one or two channels.
  int Granules = 0;
  int Channels = 0;
  TGranuleChannel Granule[2][2];  // [granule][channel]

  // frame: the whole frame, header first; frameSize its length. No value when the frame is not
  // Layer III or is too short to hold its side information.
  static std::optional<TLayer3SideInfo> Parse(const uint8_t* frame, size_t frameSize);
};

}  // namespace pelcato
