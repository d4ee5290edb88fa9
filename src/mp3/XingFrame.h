// A VBR header frame: a Layer III frame without audio whose main data area starts with "Xing",
// then big-endian flags and, as the flags say, the number of audio frames, the number of bytes
// and a 100-entry seek table of the stream. Players read the length and seek points from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pelcato {

struct TXingFrame {
  static constexpr uint32_t kHasFrames = 1;
  static constexpr uint32_t kHasBytes = 2;
  static constexpr uint32_t kHasToc = 4;

  uint8_t Header[4] = {};  // the frame header
  uint32_t Flags = 0;
  uint32_t Frames = 0;  // audio frames behind this one
  uint32_t Bytes = 0;   // bytes of the stream, this frame included
  // Entry i: the stream's byte position at i % of its length, as a 256th of Bytes.
  std::array<uint8_t, 100> Toc{};

  // Where "Xing" stands in a frame with this header: behind the header, the CRC when present
  // and the side information.
  static int TagOffset(const uint8_t* header);
  int FrameSize() const;

  // Reads a frame that carries "Xing" or "Info" at its place. No value otherwise, or when the
  // fields the flags announce do not fit in len bytes.
  static std::optional<TXingFrame> Parse(const uint8_t* frame, size_t len);
  // The whole frame: header, zero side information (no audio), the fields, zero padding.
  std::vector<uint8_t> Render() const;

  // A header frame for a Layer III stream whose first frame has the header first: the same
  // version, sample rate and channel mode, no CRC, and the lowest bit rate that holds the
  // fields. No value for other layers.
  static std::optional<TXingFrame> For(const uint8_t* first);
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
