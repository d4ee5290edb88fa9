#include "mp3/XingFrame.h"

#include <cstring>

#include "mp3/Crc16.h"
#include "mp3/MpegFrameHeader.h"

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

// Bytes of the fields behind the tag and the flags, as the flags announce them.
size_t FieldsSize(uint32_t flags) {
  return ((flags & TXingFrame::kHasFrames) ? 4 : 0) + ((flags & TXingFrame::kHasBytes) ? 4 : 0) +
         ((flags & TXingFrame::kHasToc) ? 100 : 0) + ((flags & TXingFrame::kHasQuality) ? 4 : 0);
}

// A header for a frame without audio in front of a stream whose first frame has the header
// first: the same version, sample rate and channel mode, no CRC, no padding. The bit rate is
// left for PickRate.
void StartHeader(TXingFrame& x, const uint8_t* first) {
  x.Header[0] = 0xFF;
  x.Header[1] = uint8_t(first[1] | 1);  // no CRC
  // The sample-rate index stays; no padding, no private bit.
  x.Header[2] = uint8_t(first[2] & 0x0C);
  // Keep the channel mode, copyright, original and emphasis; no joint stereo extension.
  x.Header[3] = uint8_t(first[3] & 0xCF);
}

// The lowest bit rate from fromIndex on whose frames hold need bytes. False when none does.
bool PickRate(TXingFrame& x, int fromIndex, size_t need) {
  const uint8_t rate = x.Header[2] & 0x0C;
  for (int index = fromIndex < 1 ? 1 : fromIndex; index <= 14; ++index) {
    x.Header[2] = uint8_t(index << 4 | rate);
    if (size_t(x.FrameSize()) >= need) return true;
  }
  return false;
}

}  // namespace

int TXingFrame::TagOffset(const uint8_t* header) {
  // From the version and channel mode bits alone: the bit rate may not be chosen yet.
  return HeaderTagOffset(((header[1] >> 3) & 3) == 3, (header[3] >> 6) == 3);
}

int TXingFrame::FrameSize() const {
  const std::optional<MpegFrameHeader> h = DecodeFrameHeader(Header);
  return h ? h->FrameSize : 0;
}

size_t TXingFrame::LameOffset() const {
  return size_t(TagOffset(Header)) + 8 + FieldsSize(Flags);
}

std::optional<TXingFrame> TXingFrame::Parse(const uint8_t* frame, size_t len) {
  const std::optional<MpegFrameHeader> h = len >= 4 ? DecodeFrameHeader(frame) : std::nullopt;
  if (!h) return std::nullopt;
  const THeaderTag tag = HeaderTagIn(*h, frame, len);
  if (tag != THeaderTag::Xing && tag != THeaderTag::Info) return std::nullopt;
  const size_t at = size_t(HeaderTagOffset(*h));
  if (len - at < 8) return std::nullopt;
  const uint8_t* p = frame + at;
  const bool info = tag == THeaderTag::Info;
  TXingFrame x;
  std::memcpy(x.Header, frame, 4);
  x.Info = info;
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
  if (x.Flags & kHasQuality) {
    const uint8_t* f = field(4);
    if (!f) return std::nullopt;
    x.Quality = ReadBig32(f);
  }
  x.Lame = TLameTag::Parse(frame + pos, len - pos);
  if (x.Lame) {
    x.LameCrcOk = UpdateCrc16(0, frame, pos + TLameTag::kCrcAt) == x.Lame->TagCrc;
  }
  return x;
}

std::vector<uint8_t> TXingFrame::Render() const {
  std::vector<uint8_t> frame(size_t(FrameSize()), 0);
  const size_t at = size_t(TagOffset(Header));
  const size_t lameAt = LameOffset();
  if (frame.size() < lameAt + (Lame ? TLameTag::kSize : 0)) return {};
  std::memcpy(frame.data(), Header, 4);
  uint8_t* p = frame.data() + at;
  std::memcpy(p, Info ? "Info" : "Xing", 4);
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
  if (Flags & kHasToc) {
    std::memcpy(p, Toc.data(), 100);
    p += 100;
  }
  if (Flags & kHasQuality) WriteBig32(p, Quality);
  if (Lame) {
    uint8_t* ext = frame.data() + lameAt;
    Lame->Render(ext);
    const uint16_t crc = UpdateCrc16(0, frame.data(), lameAt + TLameTag::kCrcAt);
    ext[TLameTag::kCrcAt] = uint8_t(crc >> 8);
    ext[TLameTag::kCrcAt + 1] = uint8_t(crc);
  }
  return frame;
}

std::optional<TXingFrame> TXingFrame::For(const uint8_t* first) {
  const std::optional<MpegFrameHeader> h = DecodeFrameHeader(first);
  if (!h || h->Layer != 3) return std::nullopt;
  TXingFrame x;
  StartHeader(x, first);
  if (!PickRate(x, 1, size_t(TagOffset(x.Header)) + kFieldsSize)) return std::nullopt;
  x.Flags = kHasFrames | kHasBytes | kHasToc;
  return x;
}

std::optional<TXingFrame> TXingFrame::WithLameFor(const uint8_t* first) {
  const std::optional<MpegFrameHeader> h = DecodeFrameHeader(first);
  if (!h || h->Layer != 3) return std::nullopt;
  TXingFrame x;
  StartHeader(x, first);
  x.Flags = kHasFrames | kHasBytes | kHasToc | kHasQuality;
  if (!PickRate(x, first[2] >> 4, x.LameOffset() + TLameTag::kSize)) return std::nullopt;
  x.Lame.emplace();
  return x;
}

}  // namespace pelcato
