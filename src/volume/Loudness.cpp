#include "volume/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <stdexcept>

namespace pelcato {

struct TLoudnessMeter::TState {
  ebur128_state* Meter = nullptr;
  bool Range = false;
  bool TruePeak = false;
};

TLoudnessMeter::TLoudnessMeter(int channels, long sampleRate, bool range, bool truePeak)
    : FState(new TState) {
  int mode = EBUR128_MODE_I;
  if (range) mode |= EBUR128_MODE_LRA;
  if (truePeak) mode |= EBUR128_MODE_TRUE_PEAK;
  FState->Meter =
      channels > 0 && sampleRate > 0
          ? ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate), mode)
          : nullptr;
  if (!FState->Meter) {
    delete FState;
    throw std::runtime_error("cannot measure the loudness of this stream");
  }
  FState->Range = range;
  FState->TruePeak = truePeak;
}

TLoudnessMeter::~TLoudnessMeter() {
  ebur128_destroy(&FState->Meter);
  delete FState;
}

void TLoudnessMeter::Add(const float* samples, size_t frames) {
  if (frames == 0) return;
  const size_t n = frames * FState->Meter->channels;
  float peak = 0.0f;
  for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(samples[i]));
  FPeak = std::max(FPeak, double(peak));
  if (ebur128_add_frames_float(FState->Meter, samples, frames) != EBUR128_SUCCESS) {
    throw std::runtime_error("out of memory for the loudness measurement");
  }
}

TLoudness TLoudnessMeter::Result() const {
  return Together({this});
}

TLoudness TLoudnessMeter::Together(const std::vector<const TLoudnessMeter*>& meters) {
  TLoudness l;
  if (meters.empty()) return l;
  std::vector<ebur128_state*> states;
  bool range = true;
  bool truePeak = true;
  for (const TLoudnessMeter* m : meters) {
    states.push_back(m->FState->Meter);
    range = range && m->FState->Range;
    truePeak = truePeak && m->FState->TruePeak;
    l.SamplePeak = std::max(l.SamplePeak, m->FPeak);
    if (m->FState->TruePeak) {
      for (unsigned ch = 0; ch < m->FState->Meter->channels; ++ch) {
        double p = 0.0;
        if (ebur128_true_peak(m->FState->Meter, ch, &p) == EBUR128_SUCCESS) {
          l.TruePeak = std::max(l.TruePeak, p);
        }
      }
    }
  }
  double out = -HUGE_VAL;
  if (ebur128_loudness_global_multiple(states.data(), states.size(), &out) == EBUR128_SUCCESS) {
    l.IntegratedLufs = out;
  }
  if (range &&
      ebur128_loudness_range_multiple(states.data(), states.size(), &out) == EBUR128_SUCCESS) {
    l.RangeLu = out;
  }
  // The true peak is never below the samples it passes through.
  if (truePeak) l.TruePeak = std::max(l.TruePeak, l.SamplePeak);
  return l;
}

}  // namespace pelcato
