#include "split/SizeSplit.h"

#include <algorithm>
#include <memory>

#include "mp3/ExactWriter.h"
#include "mp3/KorvaMp3.h"
#include "mp3/XingFrame.h"

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
  const TSizedFrame* first = nullptr;  // of the open piece
  int64_t count = 0;                   // its frames
  bool oneRate = true;
  for (const TSizedFrame& f : frames) {
    // The open piece with this frame: whether it gets a header frame, and its bytes then.
    const bool same = first && oneRate && f.Rate == first->Rate;
    const int64_t frameBytes = first ? plan.Bytes.back() + f.Bytes : 0;
    const bool header = first && !(same && SizeTellsLength(count + 1, frameBytes, first->Average));
    if (!first || frameBytes + (header ? first->HeaderBytes : 0) > room) {
      // The frame opens a new piece; the previous one ends where it starts.
      if (first) plan.To.back() = f.Pos;
      plan.From.push_back(f.Pos);
      plan.To.push_back(audioEnd);
      plan.Bytes.push_back(f.Bytes);
      plan.Header.push_back(0);
      first = &f;
      count = 1;
      oneRate = true;
      continue;
    }
    plan.Bytes.back() = frameBytes;
    plan.Header.back() = header ? first->HeaderBytes : 0;
    oneRate = same;
    ++count;
  }
  return plan;
}

namespace {

bool PlanExactOnce(TExactWriter& writer, int64_t limit, int64_t tagBytes,
                   std::vector<int64_t>& starts, std::vector<int64_t>& ends, int64_t& needed) {
  starts.clear();
  ends.clear();
  needed = 0;
  const TExactSource& model = writer.Model();
  const int64_t rate = model.SampleRate;
  const int64_t spf = model.SamplesPerFrame;
  const int64_t length = model.TimelineSamples();
  const int64_t lastMs = length * 1000 / rate;
  // The frame that holds the timeline's last sample.
  const int64_t lastFrame = (length - 1 + model.Shift()) / spf;
  int64_t startMs = 0;
  while (startMs < lastMs) {
    const std::optional<TExactPiece> first = writer.Plan(startMs, startMs + 1);
    if (!first) break;
    const int64_t room =
        limit - tagBytes - writer.Lead(*first).Bytes() + writer.FrameStart(first->FirstFrame);
    // The last frame whose end fits; the piece must reach past its first millisecond.
    int64_t last = first->FirstFrame - 1;
    while (last < lastFrame && writer.FrameEnd(last + 1) <= room) ++last;
    if (last < first->LastFrame) {
      needed = limit - room + writer.FrameEnd(first->LastFrame);
      return false;
    }
    starts.push_back(startMs);
    if (last == lastFrame) {
      ends.push_back(lastMs);
      break;
    }
    // The last millisecond whose sample lies no further than the end of that frame.
    const int64_t endSample = (last + 1) * spf - model.Shift();
    int64_t endMs = ((endSample + 1) * 1000 - 500) / rate;
    while (SampleAtMs(endMs, int(rate)) > endSample) --endMs;
    while (SampleAtMs(endMs + 1, int(rate)) <= endSample) ++endMs;
    // An end in the timeline's last millisecond would take the timeline's end.
    endMs = std::min(endMs, lastMs - 1);
    if (endMs <= startMs) {
      needed = limit - room + writer.FrameEnd(lastFrame);
      starts.pop_back();
      return false;
    }
    ends.push_back(endMs);
    startMs = endMs;
  }
  return !starts.empty();
}

}  // namespace

bool PlanExactSizes(const TKorvaMP3& mp3, int64_t limit, int64_t tagBytes,
                    std::vector<int64_t>& starts, std::vector<int64_t>& ends, int64_t& needed) {
  starts.clear();
  ends.clear();
  needed = 0;
  if (!mp3.Info.Valid) return false;
  TSourceFile src(mp3.Info.FileName);
  const std::unique_ptr<TExactSave> exact = mp3.PrepareExact(src);
  if (!exact) return false;
  TExactWriter writer(src, exact->Stream, exact->Index);
  return PlanExactOnce(writer, limit, tagBytes, starts, ends, needed);
}

}  // namespace pelcato
