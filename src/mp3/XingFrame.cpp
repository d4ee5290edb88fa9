#include "mp3/XingFrame.h"

#include <cstring>

#include "mp3/MpegFrameHeader.h"
#include "mp3/SideInfo.h"

namespace pelcato {
namespace {

constexpr size_t kFieldsSize = 4 + 4 + 4 + 4 + 100;  // tag, flags, frames, bytes, table

uint32_t ReadBig32(const uint8_t* b) {
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

void WriteBig32(uint8_t* b, uint32_t v) {
  b[0] = uint8_t(v >> 24);
  b[1] = uint8_t(v >> 16);
  b[2] = uint8_t(v >> 8);
  b[3] = uint8_t(v);
}

}  // namespace

int TXingFrame::TagOffset(const uint8_t* header) {
  return TLayer3SideInfo::OffsetFor(header) + TLayer3SideInfo::SizeFor(header);
}

int TXingFrame::FrameSize() const {
  const std::optional<MpegFrameHeader> h = DecodeFrameHeader(Header);
  return h ? h->FrameSize : 0;
}

std::optional<TXingFrame> TXingFrame::Parse(const uint8_t* frame, size_t len) {
  if (len < 4 || !DecodeFrameHeader(frame)) return std::nullopt;
  const size_t at = size_t(TagOffset(frame));
  if (at > len || len - at < 8) return std::nullopt;
  const uint8_t* p = frame + at;
  if (std::memcmp(p, "Xing", 4) != 0 && std::memcmp(p, "Info", 4) != 0) return std::nullopt;
  TXingFrame x;
  std::memcpy(x.Header, frame, 4);
  x.Flags = ReadBig32(p + 4);
  size_t pos = at + 8;
  auto field = [&](size_t size) -> const uint8_t* {
    if (pos > len || len - pos < size) return nullptr;
    const uint8_t* f = frame + pos;
    pos += size;
    return f;
  };
  if (x.Flags & kHasFrames) {
    const uint8_t* f = field(4);
    if (!f) return std::nullopt;
    x.Frames = ReadBig32(f);
  }
  if (x.Flags & kHasBytes) {
    const uint8_t* f = field(4);
    if (!f) return std::nullopt;
    x.Bytes = ReadBig32(f);
  }
  if (x.Flags & kHasToc) {
    const uint8_t* f = field(100);
    if (!f) return std::nullopt;
    std::memcpy(x.Toc.data(), f, 100);
  }
  return x;
}

std::vector<uint8_t> TXingFrame::Render() const {
  std::vector<uint8_t> frame(size_t(FrameSize()), 0);
  const size_t at = size_t(TagOffset(Header));
  if (frame.size() < at + kFieldsSize) return {};
  std::memcpy(frame.data(), Header, 4);
  uint8_t* p = frame.data() + at;
  std::memcpy(p, "Xing", 4);
  WriteBig32(p + 4, Flags);
  p += 8;
  if (Flags & kHasFrames) {
    WriteBig32(p, Frames);
    p += 4;
  }
  if (Flags & kHasBytes) {
    WriteBig32(p, Bytes);
    p += 4;
  }
  if (Flags & kHasToc) std::memcpy(p, Toc.data(), 100);
  return frame;
}

std::optional<TXingFrame> TXingFrame::For(const uint8_t* first) {
  const std::optional<MpegFrameHeader> h = DecodeFrameHeader(first);
  if (!h || h->Layer != 3) return std::nullopt;
  TXingFrame x;
  x.Header[0] = 0xFF;
  x.Header[1] = uint8_t(first[1] | 1);  // no CRC
  // Keep the channel mode, copyright, original and emphasis; no joint stereo extension.
  x.Header[3] = uint8_t(first[3] & 0xCF);
  const size_t need = size_t(TagOffset(x.Header)) + kFieldsSize;
  for (int index = 1; index <= 14; ++index) {
    // The sample-rate index stays; no padding, no private bit.
    x.Header[2] = uint8_t(index << 4 | (first[2] & 0x0C));
    if (size_t(x.FrameSize()) >= need) {
      x.Flags = kHasFrames | kHasBytes | kHasToc;
      return x;
    }
  }
  return std::nullopt;
}

}  // namespace pelcato
