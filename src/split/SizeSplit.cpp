#include "split/SizeSplit.h"

#include <algorithm>

namespace pelcato {

bool ParseByteSize(const std::string& text, int64_t& bytes) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits > 19) return false;
  int shift = 0;
  if (digits < text.size()) {
    if (digits + 1 != text.size()) return false;
    switch (text[digits]) {
      case 'k':
      case 'K':
        shift = 10;
        break;
      case 'm':
      case 'M':
        shift = 20;
        break;
      case 'g':
      case 'G':
        shift = 30;
        break;
      default:
        return false;
    }
  }
  constexpr int64_t kMax = int64_t(1) << 62;
  int64_t n = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = text[i] - '0';
    if (n > (kMax - d) / 10) return false;
    n = n * 10 + d;
  }
  if (n == 0 || n > (kMax >> shift)) return false;
  bytes = n << shift;
  return true;
}

TSizePlan PlanSizePieces(const std::vector<TSizedFrame>& frames, int64_t audioEnd, int64_t limit,
                         int64_t tagBytes) {
  TSizePlan plan;
  for (const TSizedFrame& f : frames) plan.LargestFrame = std::max(plan.LargestFrame, f.Bytes);
  const int64_t room = limit - tagBytes;
  if (room < plan.LargestFrame || room <= 0) return plan;
  plan.Fits = true;
  int64_t filled = 0;  // frames and header frame of the open piece
  const TSizedFrame* first = nullptr;
  for (const TSizedFrame& f : frames) {
    // A frame of another rate than the piece's first gives the piece its header frame.
    const int64_t header =
        first && plan.Header.back() == 0 && f.Rate != first->Rate ? first->HeaderBytes : 0;
    if (!first || f.Bytes > room - filled - header) {
      // The frame opens a new piece; the previous one ends where it starts.
      if (first) plan.To.back() = f.Pos;
      plan.From.push_back(f.Pos);
      plan.To.push_back(audioEnd);
      plan.Bytes.push_back(0);
      plan.Header.push_back(0);
      filled = 0;
      first = &f;
    } else {
      plan.Header.back() += header;
      filled += header;
    }
    filled += f.Bytes;
    plan.Bytes.back() += f.Bytes;
  }
  return plan;
}

}  // namespace pelcato
