#include "mp3/SideInfo.h"

#include <cstring>

namespace pelcato {
namespace {

// The side information copied behind eight zero bytes, read as 64-bit windows: each granule's
// fields for one channel take 59 bits (MPEG 1) or 63 (MPEG 2 and 2.5) and are cut from two
// windows, so a frame costs a handful of loads rather than one per field.
class TBitWindows {
 public:
  static constexpr size_t kMaxBytes = 32;
  // available: the bytes that may be read from data on (the rest of the frame).
  TBitWindows(const uint8_t* data, size_t size, size_t available) {
    if (available >= sizeof FBytes) {
      // What lies behind the side information is never part of a field.
      std::memcpy(FBytes, data, sizeof FBytes);
    } else {
      std::memset(FBytes, 0, sizeof FBytes);
      std::memcpy(FBytes, data, size);
    }
  }
  // The bits from pos on, the first in the top bit; at least 57 of them are the data's.
  uint64_t At(size_t pos) const {
    uint64_t word;
    std::memcpy(&word, FBytes + (pos >> 3), sizeof word);
    return __builtin_bswap64(word) << (pos & 7);
  }

 private:
  uint8_t FBytes[kMaxBytes + 8];
};

// count bits of a window, skip bits below its top. No field is wider than 12 bits.
uint16_t Field(uint64_t window, int skip, int count) {
  return uint16_t((window << skip) >> (64 - count));
}

}  // namespace

int TLayer3SideInfo::SizeFor(const uint8_t* header) {
  const bool mpeg1 = ((header[1] >> 3) & 3) == 3;
  const bool mono = (header[3] >> 6) == 3;
  return mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

std::optional<TLayer3SideInfo> TLayer3SideInfo::Parse(const uint8_t* frame, size_t frameSize) {
  if (frameSize < 4 || frame[0] != 0xFF || ((frame[1] >> 1) & 3) != 1) return std::nullopt;
  const size_t start = size_t(OffsetFor(frame));
  const size_t size = size_t(SizeFor(frame));
  if (start > frameSize || size > frameSize - start) return std::nullopt;
  const bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
  const bool mono = (frame[3] >> 6) == 3;
  TLayer3SideInfo info;
  info.MainDataSize = int(frameSize - start - size);
  info.Granules = mpeg1 ? 2 : 1;
  info.Channels = mono ? 1 : 2;

  // The field widths add up to exactly SizeFor's bytes for every version and channel count,
  // and no window starts behind them.
  const TBitWindows bits(frame + start, size, frameSize - start);
  const uint64_t first = bits.At(0);
  info.MainDataBegin = mpeg1 ? Field(first, 0, 9) : Field(first, 0, 8);
  // Behind main_data_begin: private bits, and in MPEG 1 four scale factor selection bits per
  // channel.
  size_t pos = mpeg1 ? (mono ? 9 + 5 + 4 : 9 + 3 + 8) : (mono ? 8 + 1 : 8 + 2);
  const int compressBits = mpeg1 ? 4 : 9;
  for (int gr = 0; gr < info.Granules; ++gr) {
    for (int ch = 0; ch < info.Channels; ++ch) {
      TGranuleChannel& g = info.Granule[gr][ch];
      const uint64_t head = bits.At(pos);
      g.Part23Length = Field(head, 0, 12);
      g.BigValues = Field(head, 12, 9);
      g.GlobalGain = uint8_t(Field(head, 21, 8));
      g.ScalefacCompress = Field(head, 29, compressBits);
      const bool switching = Field(head, 29 + compressBits, 1) != 0;
      pos += size_t(30 + compressBits);
      const uint64_t rest = bits.At(pos);
      if (switching) {
        g.BlockType = uint8_t(Field(rest, 0, 2));
        // then the mixed block flag
        g.TableSelect[0] = uint8_t(Field(rest, 3, 5));
        g.TableSelect[1] = uint8_t(Field(rest, 8, 5));
        g.SubblockGain[0] = uint8_t(Field(rest, 13, 3));
        g.SubblockGain[1] = uint8_t(Field(rest, 16, 3));
        g.SubblockGain[2] = uint8_t(Field(rest, 19, 3));
      } else {
        g.TableSelect[0] = uint8_t(Field(rest, 0, 5));
        g.TableSelect[1] = uint8_t(Field(rest, 5, 5));
        g.TableSelect[2] = uint8_t(Field(rest, 10, 5));
        // then the two region counts
      }
      // 22 bits of either kind; then preflag (MPEG 1 only), scale factor scale, count1 table.
      pos += size_t(22 + (mpeg1 ? 3 : 2));
    }
  }
  return info;
}

}  // namespace pelcato
