#include "mp3/SideInfo.h"

#include <cstring>

namespace pelcato {
namespace {

// Reads fields most significant bit first from a copy of the side information with eight zero
// bytes behind it, so that every read is one unaligned 64-bit load that stays inside the copy.
class TBitReader {
 public:
  static constexpr size_t kMaxBytes = 32;
  TBitReader(const uint8_t* data, size_t size) { std::memcpy(FBytes, data, size); }
  int Read(int count) {
    uint64_t word = 0;
    for (int i = 0; i < 8; ++i) word = (word << 8) | FBytes[(FPos >> 3) + size_t(i)];
    const uint64_t value = (word << (FPos & 7)) >> (64 - count);
    FPos += size_t(count);
    return int(value);
  }
  void Skip(int count) { FPos += size_t(count); }

 private:
  uint8_t FBytes[kMaxBytes + 8] = {};
  size_t FPos = 0;
};

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
  // and a read of up to 32 bits never reaches behind the copy's zero bytes.
  TBitReader bits(frame + start, size);
  info.MainDataBegin = bits.Read(mpeg1 ? 9 : 8);
  bits.Skip(mpeg1 ? (mono ? 5 : 3) : (mono ? 1 : 2));  // private bits
  if (mpeg1) bits.Skip(4 * info.Channels);             // scale factor selection
  for (int gr = 0; gr < info.Granules; ++gr) {
    for (int ch = 0; ch < info.Channels; ++ch) {
      TGranuleChannel& g = info.Granule[gr][ch];
      g.Part23Length = bits.Read(12);
      g.BigValues = bits.Read(9);
      g.GlobalGain = bits.Read(8);
      g.ScalefacCompress = bits.Read(mpeg1 ? 4 : 9);
      if (bits.Read(1)) {  // window switching
        g.BlockType = bits.Read(2);
        bits.Skip(1);  // mixed blocks
        for (int r = 0; r < 2; ++r) g.TableSelect[r] = bits.Read(5);
        for (int w = 0; w < 3; ++w) g.SubblockGain[w] = bits.Read(3);
      } else {
        for (int r = 0; r < 3; ++r) g.TableSelect[r] = bits.Read(5);
        bits.Skip(4 + 3);  // region counts
      }
      // preflag (MPEG 1 only), scale factor scale, count1 table
      bits.Skip(mpeg1 ? 3 : 2);
    }
  }
  return info;
}

}  // namespace pelcato
