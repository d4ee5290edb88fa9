// The four bytes that start an MPEG audio frame, and the tables that give them meaning.
#pragma once

#include <cstddef>
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
  int ChannelMode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int SamplesPerFrame = 0;
  int FrameSize = 0;     // bytes, padding included; never 0
  double FrameMs = 0.0;  // duration of the frame in milliseconds
};

// The bytes a frame of this bit rate has on average: the padding bit of a constant-rate stream
// spreads the fraction of a byte over its frames.
inline double AverageFrameBytes(const MpegFrameHeader& h) {
  return h.SamplesPerFrame / 8.0 * h.Bitrate * 1000.0 / h.SampleRate;
}

// Decodes four header bytes. No frame when B0 is not 0xFF, or when a code has no table entry
// (reserved version, layer code 0, bit-rate index 0 or 15, sample-rate index 3): such bytes
// are passed over like any other data, so a frame length of zero cannot arise.
std::optional<MpegFrameHeader> DecodeFrameHeader(const uint8_t* b);

// Samples that Layer III decoding puts in front of the encoder's first sample: the synthesis
// filter's delay and half a granule of overlap. Gapless players pass over them with the
// encoder's delay.
constexpr int kDecoderDelay = 529;

// A header frame: a Layer III frame without audio in front of a stream that tells players its
// frame count, byte count and seek table (and, from lame and ffmpeg, the gapless fields). Lame
// and ffmpeg write "Xing" (frames of several bit rates) or "Info" (one bit rate) where a frame
// without a CRC has its main data: 36 bytes in for MPEG 1 stereo, 21 for MPEG 1 mono and
// MPEG 2 and 2.5 stereo, 13 for MPEG 2 and 2.5 mono; with a CRC they stay there, and decoders
// look there. Fraunhofer's encoder writes "VBRI" 36 bytes in, for every version and mode.
// Such a frame describes the stream it was written for: a cut never copies it, and it has no
// time.
enum class THeaderTag { None, Xing, Info, Vbri };
constexpr int kVbriOffset = 36;

// Where "Xing" or "Info" stands in a header frame of this version and channel mode.
constexpr int HeaderTagOffset(bool mpeg1, bool mono) {
  return mono ? (mpeg1 ? 21 : 13) : (mpeg1 ? 36 : 21);
}
inline int HeaderTagOffset(const MpegFrameHeader& h) {
  return HeaderTagOffset(h.Version == 1.0, h.Mono);
}

// The tag of the header frame whose header decodes to h; fourAt(offset) gives the frame's four
// bytes at offset, or nullptr where they lie beyond what can be read. None for every frame that
// is no header frame, and for Layer I and II frames, which decoders never take for one.
template <class FourAt>
THeaderTag HeaderTagWith(const MpegFrameHeader& h, FourAt&& fourAt) {
  if (h.Layer != 3) return THeaderTag::None;
  const auto is = [](const uint8_t* b, const char* tag) {
    return b && b[0] == uint8_t(tag[0]) && b[1] == uint8_t(tag[1]) && b[2] == uint8_t(tag[2]) &&
           b[3] == uint8_t(tag[3]);
  };
  const int at = HeaderTagOffset(h);
  const uint8_t* b = fourAt(at);
  if (is(b, "Xing")) return THeaderTag::Xing;
  if (is(b, "Info")) return THeaderTag::Info;
  if (at != kVbriOffset) b = fourAt(kVbriOffset);
  return is(b, "VBRI") ? THeaderTag::Vbri : THeaderTag::None;
}

// The same for a frame whose first len bytes are at hand.
inline THeaderTag HeaderTagIn(const MpegFrameHeader& h, const uint8_t* frame, size_t len) {
  return HeaderTagWith(h, [&](int offset) {
    return size_t(offset) <= len && len - size_t(offset) >= 4 ? frame + offset : nullptr;
  });
}

// "Xing", "Info", "VBRI" or "none", as pelcato-cli names the tag.
const char* HeaderTagName(THeaderTag tag);

}  // namespace pelcato
