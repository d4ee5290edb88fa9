#include "volume/GainChoice.h"

#include <algorithm>
#include <cstdio>

#include "mp3/GlobalGain.h"

namespace pelcato {
namespace {

// No frame's global gain can move further than its 8 bits reach.
constexpr int kMaxSteps = 255;

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%+.*f", decimals, value);
  return text;
}

}  // namespace

int StepsForDb(double db) {
  return std::clamp(int(std::lround(db / kGainStepDb)), -kMaxSteps, kMaxSteps);
}

double DbOfSteps(int steps) {
  return steps * kGainStepDb;
}

std::string GainText(int steps) {
  const int n = steps < 0 ? -steps : steps;
  return Fixed(DbOfSteps(steps), 2) + " dB (" + std::to_string(steps) +
         (n == 1 ? " step)" : " steps)");
}

TGainChoice ChooseGain(const TLoudness& measured, double targetLufs, bool allowClip) {
  TGainChoice c;
  if (!measured.Measured()) {
    c.Why = "no loudness to measure (silence, or less than 0.4 s of sound): the level is kept";
    c.PeakDbfs = DbOf(measured.SamplePeak);
    return c;
  }
  c.Steps = StepsForDb(targetLufs - measured.IntegratedLufs);
  if (!allowClip && measured.SamplePeak > 0.0) {
    // The most steps that keep peak * 2^(steps/4) at or below 1.
    const int most = int(std::floor(-4.0 * std::log2(measured.SamplePeak) + 1e-9));
    if (c.Steps > most) {
      const int lowered = c.Steps - most;
      c.Steps = most;
      c.Why = "lowered by " + std::to_string(lowered) + (lowered == 1 ? " step" : " steps") +
              " so that the sample peak (" + Fixed(DbOf(measured.SamplePeak), 2) +
              " dBFS) stays at or below 0 dBFS; --allow-clip takes the whole gain";
    }
  }
  c.Lufs = measured.IntegratedLufs + DbOfSteps(c.Steps);
  c.PeakDbfs = DbOf(measured.SamplePeak) + DbOfSteps(c.Steps);
  c.Reached = std::fabs(c.Lufs - targetLufs) <= kGainStepDb / 2 + 1e-9;
  if (!c.Reached && c.Why.empty()) {
    c.Why = "beyond the " + std::to_string(kMaxSteps) + " steps a global gain can move";
  }
  return c;
}

}  // namespace pelcato
