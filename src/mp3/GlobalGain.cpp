#include "mp3/GlobalGain.h"

#include <algorithm>
#include <array>

#include "mp3/SideInfo.h"

namespace pelcato {
namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
    t[i] = uint16_t(c);
  }
  return t;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

uint16_t CrcOver(uint16_t crc, const uint8_t* data, size_t len) {
  for (size_t i = 0; i < len; ++i)
    crc = uint16_t(crc << 8 ^ kCrcTable[(crc >> 8 ^ data[i]) & 0xFF]);
  return crc;
}

bool IsLayer3(const uint8_t* frame) {
  return frame[0] == 0xFF && (frame[1] & 0xE0) == 0xE0 && ((frame[1] >> 1) & 3) == 1 &&
         ((frame[1] >> 3) & 3) != 1;
}

bool TagAt(const uint8_t* frame, size_t len, size_t at, const char* tag) {
  return at + 4 <= len && std::equal(tag, tag + 4, frame + at);
}

}  // namespace

uint16_t FrameCrc(const uint8_t* frame) {
  const int start = TLayer3SideInfo::OffsetFor(frame);
  return CrcOver(CrcOver(0xFFFF, frame + 2, 2), frame + start,
                 size_t(TLayer3SideInfo::SizeFor(frame)));
}

bool IsHeaderFrame(const uint8_t* frame, size_t len) {
  if (len < 4 || !IsLayer3(frame)) return false;
  const size_t tag = size_t(TLayer3SideInfo::OffsetFor(frame) + TLayer3SideInfo::SizeFor(frame));
  return TagAt(frame, len, tag, "Xing") || TagAt(frame, len, tag, "Info") ||
         TagAt(frame, len, 36, "VBRI");
}

TGainChange AddGlobalGain(uint8_t* frame, size_t len, const int steps[2]) {
  TGainChange change;
  if (len < 4 || !IsLayer3(frame)) return change;
  const size_t start = size_t(TLayer3SideInfo::OffsetFor(frame));
  const size_t size = size_t(TLayer3SideInfo::SizeFor(frame));
  if (start + size > len || IsHeaderFrame(frame, len)) return change;
  const bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
  const bool mono = (frame[3] >> 6) == 3;
  const int channels = mono ? 1 : 2;
  const int granules = mpeg1 ? 2 : 1;
  // Behind main_data_begin (9 bits in MPEG 1, 8 otherwise) the private bits and, in MPEG 1,
  // four scale factor selection bits per channel; then per granule and channel part2_3_length
  // (12 bits), big_values (9) and the global gain (8), in fields of 59 bits (MPEG 1) or 63.
  const size_t first = mpeg1 ? (mono ? 18 : 20) : (mono ? 9 : 10);
  const size_t stride = mpeg1 ? 59 : 63;
  uint8_t* side = frame + start;
  bool touched = false;
  for (int gr = 0; gr < granules; ++gr) {
    if (steps[gr] == 0) continue;
    for (int ch = 0; ch < channels; ++ch) {
      const size_t bit = first + size_t(gr * channels + ch) * stride + 21;
      uint8_t* p = side + bit / 8;
      const unsigned shift = unsigned(bit % 8);
      // The 8 bits span two bytes unless they start on a byte; the second byte is always
      // inside the side information, which ends with other fields.
      const unsigned word = unsigned(p[0]) << 8 | p[1];
      const int gain = int((word >> (8 - shift)) & 0xFF);
      if (gain == 0) continue;
      const int wanted = gain + steps[gr];
      const int got = std::clamp(wanted, 0, 255);
      if (got != wanted) ++change.Clamped;
      const unsigned mask = 0xFFu << (8 - shift);
      const unsigned patched = (word & ~mask) | (unsigned(got) << (8 - shift));
      p[0] = uint8_t(patched >> 8);
      p[1] = uint8_t(patched);
      touched = touched || got != gain;
    }
  }
  // A frame whose gains stay as they were keeps its CRC, right or wrong.
  if (touched && !(frame[1] & 1)) {
    const uint16_t crc = FrameCrc(frame);
    frame[4] = uint8_t(crc >> 8);
    frame[5] = uint8_t(crc);
  }
  change.Changed = true;
  return change;
}

}  // namespace pelcato
