#include "mp3/SideInfo.h"

namespace pelcato {

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
  const uint8_t* s = frame + start;
  TLayer3SideInfo info;
  // main_data_begin is the first field: 9 bits in MPEG 1, 8 bits in MPEG 2 and 2.5.
  info.MainDataBegin = mpeg1 ? (int(s[0]) << 1) | (s[1] >> 7) : int(s[0]);
  info.MainDataSize = int(frameSize - start - size);
  return info;
}

}  // namespace pelcato
