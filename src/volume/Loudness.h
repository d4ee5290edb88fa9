// Loudness per ITU-R BS.1770 (EBU R 128), measured with libebur128 on decoded samples: the
// integrated loudness, the loudness range, the sample peak and the true peak.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

struct ebur128_state_internal;

namespace pelcato {

struct TLoudness {
  // -infinity where nothing passes the gates: silence, or less than 0.4 s of sound.
  double IntegratedLufs = -HUGE_VAL;
  double RangeLu = 0.0;
  double SamplePeak = 0.0;  // the largest sample's magnitude; 1 is full scale
  double TruePeak = 0.0;    // the same between the samples (oversampled), where measured
  bool Measured() const { return std::isfinite(IntegratedLufs); }
};

// ReplayGain 2.0 plays everything at this loudness.
constexpr double kReplayGainLufs = -18.0;

// 20 log10(linear), -infinity for 0.
inline double DbOf(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -HUGE_VAL;
}

// One measurement over samples added in order.
class TLoudnessMeter {
 public:
  // range: the loudness range too; truePeak: the true peak too (four times oversampled: it
  // costs more than everything else together). Throws std::runtime_error when libebur128
  // cannot measure such a stream.
  TLoudnessMeter(int channels, long sampleRate, bool range, bool truePeak);
  ~TLoudnessMeter();
  TLoudnessMeter(const TLoudnessMeter&) = delete;
  TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

  // frames samples of every channel, interleaved.
  void Add(const float* samples, size_t frames);
  TLoudness Result() const;
  // Several measurements as one: the loudness of an album of them.
  static TLoudness Together(const std::vector<const TLoudnessMeter*>& meters);

 private:
  struct TState;
  TState* FState;
  double FPeak = 0.0;
};

}  // namespace pelcato
