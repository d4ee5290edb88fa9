// The gain that brings a piece to a loudness: whole steps of the global gain (1.505 dB), the
// nearest to the target, lowered where the decoded samples would pass full scale.
#pragma once

#include <string>

#include "volume/Loudness.h"

namespace pelcato {

struct TGainChoice {
  int Steps = 0;
  bool Reached = false;  // the result lies within half a step of the target
  std::string Why;       // why not, when not
  // What the piece measures with the gain (the decode is scaled by 2^(Steps/4)).
  double Lufs = -HUGE_VAL;
  double PeakDbfs = -HUGE_VAL;
};

// The steps nearest to db decibels.
int StepsForDb(double db);
double DbOfSteps(int steps);

// The gain for a piece of loudness `measured` to sound at targetLufs. Unless allowClip, the
// gain is lowered until the sample peak stays at or below 0 dBFS; a piece without a
// measurable loudness (silence, or less than 0.4 s of sound) keeps its level.
TGainChoice ChooseGain(const TLoudness& measured, double targetLufs, bool allowClip);

// "+3.01 dB (2 steps)": a gain as it is applied.
std::string GainText(int steps);

}  // namespace pelcato
