#include "mp3/ExactPlan.h"

#include <algorithm>

#include "mp3/LameTag.h"

namespace pelcato {
namespace {

// Decoded samples the first kept frame starts before the first wanted one: a granule of
// warm-up plus the decoder delay, so the transform overlap and the synthesis filter hold what
// they hold in the whole source's decode.
constexpr int64_t kLeadIn = 576 + kDecoderDelay;

// The first kept frame starts less than kLeadIn + a frame before the first wanted sample, and a
// filler frame adds one more: the delay always fits in its 12 bits, so no frames before the cut
// ever need to be given up for it.
static_assert(2 * 1152 + kLeadIn - 1 - kDecoderDelay <= TLameTag::kMaxDelay);

}  // namespace

int64_t TExactSource::TimelineSamples() const {
  const int64_t decoded = Frames * SamplesPerFrame;
  if (!Gapless) return decoded;
  // The padding is dropped where the frames the header counts end, which a stream shorter than
  // that never reaches; the decode never gives more than its frames hold.
  const int64_t end = Frames >= HeaderFrames
                          ? std::min(decoded, decoded - Gapless->Padding + kDecoderDelay)
                          : decoded;
  return std::max<int64_t>(end - Shift(), 0);
}

std::optional<TGapless> TrustedGapless(int delay, int padding, int64_t headerFrames,
                                       int samplesPerFrame) {
  if (delay < 0 || padding < 0 || delay > TLameTag::kMaxDelay || padding > TLameTag::kMaxDelay ||
      headerFrames <= 0 || int64_t(delay) + padding >= headerFrames * samplesPerFrame) {
    return std::nullopt;
  }
  return TGapless{delay, padding};
}

int64_t SampleAtMs(int64_t ms, int sampleRate) {
  const int64_t scaled = ms * sampleRate;
  return scaled >= 0 ? (scaled + 500) / 1000 : -((-scaled + 500) / 1000);
}

std::optional<TExactPiece> PlanExact(const TExactSource& source, int64_t firstSample,
                                     int64_t endSample,
                                     const std::function<bool(int64_t)>& reachesBack) {
  const int64_t spf = source.SamplesPerFrame;
  if (spf <= 0 || source.Frames <= 0) return std::nullopt;
  const int64_t length = source.TimelineSamples();
  const int64_t s0 = std::clamp<int64_t>(firstSample, 0, length);
  const int64_t s1 = std::clamp<int64_t>(endSample, 0, length);
  if (s1 <= s0) return std::nullopt;
  // Where the range starts in the source's decoded stream.
  const int64_t u0 = s0 + source.Shift();

  TExactPiece p;
  p.FirstSample = s0;
  p.FirstFrame = u0 >= kLeadIn ? (u0 - kLeadIn) / spf : 0;
  const int64_t ahead = u0 - p.FirstFrame * spf;  // decoded samples before the first wanted
  // A frame in front carries the reservoir; a silent one where the decoder's own delay would
  // otherwise reach before the piece (only at the very start of an untrimmed source).
  p.Filler = reachesBack(p.FirstFrame) || ahead < kDecoderDelay;
  p.Delay = int((p.Filler ? spf : 0) + ahead - kDecoderDelay);
  SetPieceEnd(source, p, s1);
  return p;
}

void SetPieceEnd(const TExactSource& source, TExactPiece& p, int64_t endSample) {
  const int64_t spf = source.SamplesPerFrame;
  p.EndSample = std::clamp<int64_t>(endSample, p.FirstSample + 1,
                                    std::max(source.TimelineSamples(), p.FirstSample + 1));
  const int64_t u1 = p.EndSample + source.Shift();
  p.LastFrame = (u1 - 1) / spf;
  p.Frames = (p.Filler ? 1 : 0) + p.LastFrame - p.FirstFrame + 1;
  // The decoder ends at Frames * spf - Padding + 529, which must be the wanted end.
  p.Padding = int((p.LastFrame + 1) * spf - u1 + kDecoderDelay);
}

std::vector<TExactPiece> PlanExactSplit(const TExactSource& source,
                                        const std::vector<int64_t>& boundaries,
                                        const std::function<bool(int64_t)>& reachesBack) {
  std::vector<TExactPiece> pieces;
  for (size_t i = 0; i + 1 < boundaries.size(); ++i) {
    if (std::optional<TExactPiece> p =
            PlanExact(source, boundaries[i], boundaries[i + 1], reachesBack)) {
      pieces.push_back(*p);
    }
  }
  return pieces;
}

}  // namespace pelcato
