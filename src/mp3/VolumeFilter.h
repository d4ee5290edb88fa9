// The volume of a piece as its frames are written: a gain in whole steps of the global gain and
// fades that ramp it granule by granule, applied to the frames in memory on their way out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelcato {

// What a piece's volume is to be.
struct TVolume {
  int GainSteps = 0;      // steps of 2^(1/4) (1.505 dB); negative lowers
  int64_t FadeInMs = 0;   // the gain ramps up from inaudible over the piece's first ms
  int64_t FadeOutMs = 0;  // and down over its last ms
  bool Changes() const { return GainSteps != 0 || FadeInMs > 0 || FadeOutMs > 0; }
};

// A fade starts (and ends) this many steps below the piece's gain: 40.6 dB, inaudible beside
// the sound around it.
constexpr int kFadeFloorSteps = 27;

// The steps each granule of a piece gets. A fade's amplitude rises in a straight line from
// nothing to the piece's gain (as the fades of sound editors and ffmpeg's afade do), each
// granule taking the step nearest to the line at its middle, never more than kFadeFloorSteps
// down. Time is counted in samples of the piece's decode as a player plays it.
class TGainRamp {
 public:
  // playStart: the decoded sample where playing starts (the delay a gapless player skips,
  // 0 for one that plays every sample); playLength: the samples played, from there on.
  TGainRamp(const TVolume& volume, int sampleRate, int64_t playStart, int64_t playLength);
  // Granule number `granule` of the piece's frames, 576 samples each, counted from its first.
  int StepsAt(int64_t granule) const;
  // At sample t of the piece as played (a picture of the result takes a rate of 1000 and
  // milliseconds).
  int StepsAtSample(int64_t t) const;
  void SetPlayLength(int64_t playLength) { FLength = playLength; }

 private:
  int FGain;
  int64_t FFadeIn;   // samples
  int64_t FFadeOut;  // samples
  int64_t FStart;
  int64_t FLength;
};

// Changes the frames of a piece on their way out, in stream order.
class TFrameFilter {
 public:
  virtual ~TFrameFilter() = default;
  // One frame: len bytes of it are at hand, at least its header, CRC and side information
  // (all of it when shorter than 42 bytes).
  virtual void Frame(uint8_t* frame, size_t len) = 0;
};

// Gives every Layer III audio frame of a piece the steps of its granules.
class TVolumeFilter : public TFrameFilter {
 public:
  // firstGranule: the number of the first frame's first granule (a frame written in front of
  // the filtered ones counts).
  TVolumeFilter(const TGainRamp& ramp, int64_t firstGranule)
      : FRamp(ramp), FGranule(firstGranule) {}
  void Frame(uint8_t* frame, size_t len) override;
  // Granule channels whose gain was held at 0 or 255 short of its steps.
  int64_t Clamped() const { return FClamped; }
  TGainRamp& Ramp() { return FRamp; }

 private:
  TGainRamp FRamp;
  int64_t FGranule;
  int64_t FClamped = 0;
};

}  // namespace pelcato
