#include "mp3/VolumeFilter.h"

#include <algorithm>
#include <cmath>

#include "mp3/GlobalGain.h"

namespace pelcato {
namespace {

constexpr int64_t kGranuleSamples = 576;

// Where the sound of granule g sounds in the decoded stream: it is spread over two granules'
// time by the overlap of the transform, and lies the decoder's delay behind its place in the
// stream, so its middle is at g * 576 + kGranuleMiddle.
constexpr int64_t kGranuleMiddle = 529 + 288;

// The steps below the gain at a place x of a fade (0 at its quiet end, 1 where it reaches
// the gain): the nearest step to an amplitude of x.
int FadeSteps(double x) {
  if (x >= 1.0) return 0;
  if (x <= 0.0) return kFadeFloorSteps;
  return std::min(kFadeFloorSteps, int(std::lround(-4.0 * std::log2(x))));
}

}  // namespace

TGainRamp::TGainRamp(const TVolume& volume, int sampleRate, int64_t playStart, int64_t playLength)
    : FGain(volume.GainSteps),
      FFadeIn(std::max<int64_t>(volume.FadeInMs, 0) * sampleRate / 1000),
      FFadeOut(std::max<int64_t>(volume.FadeOutMs, 0) * sampleRate / 1000),
      FStart(playStart),
      FLength(playLength) {}

int TGainRamp::StepsAt(int64_t granule) const {
  return StepsAtSample(granule * kGranuleSamples + kGranuleMiddle - FStart);
}

int TGainRamp::StepsAtSample(int64_t t) const {
  int down = 0;
  if (FFadeIn > 0) down = FadeSteps(double(t) / double(FFadeIn));
  if (FFadeOut > 0) down = std::max(down, FadeSteps(double(FLength - t) / double(FFadeOut)));
  return FGain - down;
}

void TVolumeFilter::Frame(uint8_t* frame, size_t len) {
  if (len < 4 || IsHeaderFrame(frame, len)) return;
  const bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
  const int steps[2] = {FRamp.StepsAt(FGranule), mpeg1 ? FRamp.StepsAt(FGranule + 1) : 0};
  const TGainChange change = AddGlobalGain(frame, len, steps);
  if (!change.Changed) return;
  FClamped += change.Clamped;
  FGranule += mpeg1 ? 2 : 1;
}

}  // namespace pelcato
