// A VBR header frame: a Layer III frame without audio whose main data area starts with "Xing"
// ("Info" where the stream has one bit rate), then big-endian flags and, as the flags say, the
// number of audio frames, the number of bytes, a 100-entry seek table of the stream and a
// quality. Players read the length and seek points from it. Encoders put a LAME extension
// behind these fields, with the gapless fields and a CRC over the frame up to its end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "mp3/LameTag.h"

namespace pelcato {

// Frames with the same key have the same version, layer and bit rate: a piece of such frames
// alone needs no VBR header frame.
inline uint16_t RateKey(const uint8_t* header) {
  return uint16_t((header[1] & 0x1E) << 4 | header[2] >> 4);
}

// Whether players reckon the length of frames of one bit rate right (to half a frame) from their
// size, as they do without a header frame: frames frames of bytes in all, where that bit rate
// gives average bytes a frame. Not so for the stretches of one bit rate a VBR encoder writes
// without padding.
inline bool SizeTellsLength(int64_t frames, int64_t bytes, double average) {
  const double off = double(bytes) - double(frames) * average;
  return off <= average / 2 && -off <= average / 2;
}

struct TXingFrame {
  static constexpr uint32_t kHasFrames = 1;
  static constexpr uint32_t kHasBytes = 2;
  static constexpr uint32_t kHasToc = 4;
  static constexpr uint32_t kHasQuality = 8;

  uint8_t Header[4] = {};  // the frame header
  bool Info = false;       // the tag reads "Info" rather than "Xing"
  uint32_t Flags = 0;
  uint32_t Frames = 0;  // audio frames behind this one
  uint32_t Bytes = 0;   // bytes of the stream, this frame included
  // Entry i: the stream's byte position at i % of its length, as a 256th of Bytes.
  std::array<uint8_t, 100> Toc{};
  uint32_t Quality = 0;
  std::optional<TLameTag> Lame;
  // Parse only: the extension's tag CRC matches the frame's bytes before it.
  bool LameCrcOk = false;

  // Where "Xing" stands in a frame with this header (HeaderTagOffset).
  static int TagOffset(const uint8_t* header);
  int FrameSize() const;
  // Where the LAME extension starts: behind the tag, the flags and the fields they announce.
  size_t LameOffset() const;

  // Reads a Layer III frame that carries "Xing" or "Info" at its place. No value otherwise, or
  // when the fields the flags announce do not fit in len bytes. The LAME extension is read when
  // its 36 bytes fit and its encoder string is not empty.
  static std::optional<TXingFrame> Parse(const uint8_t* frame, size_t len);
  // The whole frame: header, zero side information (no audio), the fields, the LAME extension
  // with its tag CRC computed anew, zero padding. Empty when they do not fit in the frame.
  std::vector<uint8_t> Render() const;

  // A header frame for a Layer III stream whose first frame has the header first: the same
  // version, sample rate and channel mode, no CRC, and the lowest bit rate that holds the
  // fields. No value for other layers.
  static std::optional<TXingFrame> For(const uint8_t* first);
  // The size of the frame For gives, 0 where it gives none.
  static int ForBytes(const uint8_t* first) {
    const std::optional<TXingFrame> x = For(first);
    return x ? x->FrameSize() : 0;
  }
  // The same with all four fields and a LAME extension, at the first frame's own bit rate
  // (so a constant-rate stream keeps one rate) or, where they do not fit in such a frame, the
  // lowest higher rate that holds them.
  static std::optional<TXingFrame> WithLameFor(const uint8_t* first);
  // Fills the seek table from where frames lie: offsetOfFrame(i) gives the byte position of
  // audio frame i counted from the first audio frame, the frame behind this one (so entry 0
  // is 0, as encoders write it).
  template <class OffsetOfFrame>
  void FillToc(OffsetOfFrame&& offsetOfFrame) {
    const uint64_t total = Bytes ? Bytes : 1;
    for (uint32_t i = 0; i < 100; ++i) {
      const uint64_t frame = uint64_t(Frames) * i / 100;
      const uint64_t pos = offsetOfFrame(frame);
      const uint64_t entry = pos * 256 / total;
      Toc[i] = uint8_t(entry > 255 ? 255 : entry);
    }
  }
};

}  // namespace pelcato
