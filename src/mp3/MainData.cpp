#include "mp3/MainData.h"

#include <algorithm>

#include "mp3/SideInfo.h"

namespace pelcato {
namespace {

// More than main_data_begin can ever ask for (9 bits), so the sum cannot grow without end.
constexpr int64_t kReservoirCap = 1 << 16;

}  // namespace

std::optional<TMainDataFrame> TMainDataFrame::Of(const uint8_t* frame, size_t size,
                                                 int64_t offset) {
  const std::optional<TLayer3SideInfo> side = TLayer3SideInfo::Parse(frame, size);
  if (!side || size > size_t(INT32_MAX)) return std::nullopt;
  TMainDataFrame f;
  f.Offset = offset;
  f.Size = int32_t(size);
  f.MainDataAt = f.Size - side->MainDataSize;
  f.MainDataBegin = side->MainDataBegin;
  return f;
}

std::optional<std::vector<TByteRange>> ReservoirOf(const TMainDataFrame& first,
                                                   std::span<const TMainDataFrame> before) {
  std::vector<TByteRange> ranges;
  int64_t missing = first.MainDataBegin;
  // Take the tails of the main data areas from the nearest frame backwards.
  for (size_t i = before.size(); i-- > 0 && missing > 0;) {
    const TMainDataFrame& f = before[i];
    const int32_t area = std::max<int32_t>(f.MainDataSize(), 0);
    const int32_t take = int32_t(std::min<int64_t>(area, missing));
    if (take == 0) continue;
    ranges.push_back({f.Offset + f.Size - take, take});
    missing -= take;
  }
  if (missing > 0) return std::nullopt;
  std::reverse(ranges.begin(), ranges.end());
  return ranges;
}

bool TReservoirWatch::Add(int32_t mainDataBegin, int32_t mainDataSize) {
  const bool outside = mainDataBegin > FAvailable;
  if (outside) ++FOutside;
  FAvailable = std::min(FAvailable + std::max(mainDataSize, 0), kReservoirCap);
  return outside;
}

}  // namespace pelcato
