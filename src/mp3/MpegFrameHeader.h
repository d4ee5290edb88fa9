// The four bytes that start an MPEG audio frame, and the tables that give them meaning.
#pragma once

#include <cstdint>
#include <optional>

namespace pelcato {

// Frame header layout, B0..B3 as they stand in the file (bit 7 = most significant):
//
//   B0        B1                B2                B3
//   76543210  765 43 21 0       7654 32 1 0       76 54 3 2 10
//   11111111  ... VV LL P       BBBB SS D X       CC EE C O MM
//   sync      |   |  |  protect bitrate |  | priv channel |  emphasis
//             |   |  layer code   sample-rate  padding    mode ext, copyright, original
//             |   version code: 0 = MPEG 2.5, 1 = reserved, 2 = MPEG 2, 3 = MPEG 1
//             top three sync bits: not tested, only B0 decides
//
// Layer number = 4 - layer code (1 = Layer III, 2 = Layer II, 3 = Layer I).
// Channel mode 3 is single channel; stereo, joint stereo and dual channel are not mono.
struct MpegFrameHeader {
  double Version = 0.0;  // 1.0, 2.0 or 2.5
  int Layer = 0;         // 1, 2 or 3
  int Bitrate = 0;       // kbit/s
  int SampleRate = 0;    // Hz
  int Padding = 0;       // 0 or 1
  bool Mono = false;
  int SamplesPerFrame = 0;
  int FrameSize = 0;     // bytes, padding included; never 0
  double FrameMs = 0.0;  // duration of the frame in milliseconds
};

// Decodes four header bytes. No frame when B0 is not 0xFF, or when a code has no table entry
// (reserved version, layer code 0, bit-rate index 0 or 15, sample-rate index 3): such bytes
// are passed over like any other data, so a frame length of zero cannot arise.
std::optional<MpegFrameHeader> DecodeFrameHeader(const uint8_t* b);

// Samples that Layer III decoding puts in front of the encoder's first sample: the synthesis
// filter's delay and half a granule of overlap. Gapless players pass over them with the
// encoder's delay.
constexpr int kDecoderDelay = 529;

// A VBR header frame carries "Xing" 36 bytes after its start (the place it has in an MPEG 1
// stereo frame); that single offset is the one we test, for every version and channel mode.
constexpr int kXingOffset = 36;
inline bool IsXingTag(const uint8_t* fourBytes) {
  return fourBytes[0] == 'X' && fourBytes[1] == 'i' && fourBytes[2] == 'n' && fourBytes[3] == 'g';
}

}  // namespace pelcato
