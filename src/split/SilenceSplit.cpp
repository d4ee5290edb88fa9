#include "split/SilenceSplit.h"

#include <cmath>
#include <memory>

#include "mp3/Decoder.h"
#include "split/SplitPlan.h"

namespace pelcato {
TPauseFinder::TPauseFinder(long rate, const TSilenceOptions& options) {
  FWindow = std::max<int64_t>(1, rate * kLevelWindowMs / 1000);
  FMinLength = std::max<int64_t>(1, std::llround(options.MinPauseSeconds * double(rate)));
  const double level = 32768.0 * std::pow(10.0, options.ThresholdDb / 20.0);
  FQuietSum = level * level * double(FWindow);
}

void TPauseFinder::EndWindow() {
  const int64_t start = FSamples - FInWindow;
  // A window cut short at the end is measured against its own length.
  const bool quiet = FSum < FQuietSum * double(FInWindow) / double(FWindow);
  if (quiet && FQuietStart < 0) FQuietStart = start;
  if (!quiet && FQuietStart >= 0) {
    if (start - FQuietStart >= FMinLength) FPauses.push_back({FQuietStart, start - FQuietStart});
    FQuietStart = -1;
  }
  FInWindow = 0;
  FSum = 0.0;
}

void TPauseFinder::Feed(const int16_t* samples, size_t count) {
  size_t i = 0;
  while (i < count) {
    const size_t take = size_t(std::min<int64_t>(FWindow - FInWindow, int64_t(count - i)));
    int64_t sum = 0;  // at most 2^30 per sample, and a window of well under 2^33 samples
    for (size_t k = 0; k < take; ++k) {
      const int64_t s = samples[i + k];
      sum += s * s;
    }
    FSum += double(sum);
    FInWindow += int64_t(take);
    FSamples += int64_t(take);
    i += take;
    if (FInWindow == FWindow) EndWindow();
  }
}

void TPauseFinder::Finish() {
  if (FInWindow > 0) EndWindow();
  if (FQuietStart >= 0 && FSamples - FQuietStart >= FMinLength) {
    FPauses.push_back({FQuietStart, FSamples - FQuietStart});
  }
  FQuietStart = -1;
}

bool FindPauses(const std::string& file, const TSilenceOptions& options, bool skipsFirstFrame,
                const std::function<void(double done)>& progress, std::vector<TPause>& pauses,
                std::string& error) {
  pauses.clear();
  // The decoder's timeline must be the frame walk's: no gapless trimming, and the VBR header
  // frame decoded as a frame like any other. Mono 16-bit at every rate: the mix-down halves
  // the synthesis work of a stereo file.
  TDecoderSetup setup;
  setup.Gapless = false;
  setup.DecodeInfoFrame = true;
  setup.MonoMix = true;
  std::unique_ptr<TDecoder> decoder;
  try {
    decoder = std::make_unique<TDecoder>(setup);
  } catch (const std::exception&) {
    error = "cannot start the decoder";
    return false;
  }
  if (!decoder->OpenFile(file)) {
    error = "cannot read the file";
    return false;
  }
  const double total = decoder->InputSize() > 0 ? double(decoder->InputSize()) : 1.0;
  // Progress is told each time another stretch of the file has been read.
  constexpr int64_t kProgressStep = 256 * 1024;
  int64_t told = 0;

  std::unique_ptr<TPauseFinder> finder;
  long rate = 0;
  int64_t samplesPerFrame = 0;
  // Errors one after another that bring no sound: the decoder is stuck, and the rest is lost.
  constexpr int kMaxErrorsInARow = 1000;
  int errorsInARow = 0;
  for (;;) {
    TDecodedFrame frame;
    const TDecodeStatus status = decoder->DecodeFrame(frame);
    if (status == TDecodeStatus::Done) break;
    if (status == TDecodeStatus::NewFormat) {
      long newRate = 0;
      int channels = 0;
      decoder->Format(newRate, channels);
      if (!finder) {
        rate = newRate;
        samplesPerFrame = decoder->SamplesPerFrame();
        finder = std::make_unique<TPauseFinder>(rate, options);
      }
      continue;
    }
    if (status == TDecodeStatus::Error) {
      if (decoder->ReadFailed()) {
        error = "cannot read the file";
        return false;
      }
      if (decoder->OutOfMemory()) {
        error = "the decoder ran out of memory";
        return false;
      }
      // A damaged frame is passed over, as a player would.
      if (++errorsInARow >= kMaxErrorsInARow) break;
      continue;
    }
    errorsInARow = 0;
    if (finder && frame.Bytes > 0) {
      finder->Feed(static_cast<const int16_t*>(frame.Data), frame.Bytes / sizeof(int16_t));
    }
    if (progress && decoder->InputPos() - told >= kProgressStep) {
      told = decoder->InputPos();
      progress(double(told) / total);
    }
  }
  if (progress) progress(1.0);
  if (!finder || rate <= 0 || samplesPerFrame <= 0) {
    error = "the decoder found no sound in the file";
    return false;
  }
  finder->Finish();

  const int64_t offset = skipsFirstFrame ? samplesPerFrame : 0;
  const double frameMs = double(samplesPerFrame) * 1000.0 / double(rate);
  for (const TPauseFinder::TRun& run : finder->Pauses()) {
    TPause p;
    const int64_t start = std::max<int64_t>(0, run.Start - offset);
    const int64_t end = std::max<int64_t>(0, run.Start + run.Length - offset);
    p.StartMs = start * 1000 / rate;
    p.LengthMs = (end - start) * 1000 / rate;
    // The frame boundary nearest the middle; a time half a millisecond or more before it,
    // and well after the boundary before, makes the cut start exactly there.
    const int64_t frame = (start + end + samplesPerFrame) / (2 * samplesPerFrame);
    p.CutMs = frame > 0 ? int64_t(std::floor(double(frame) * frameMs - 0.5)) : 0;
    p.AtEdge = run.Start <= offset || run.Start + run.Length >= finder->Samples();
    pauses.push_back(p);
  }
  return true;
}

void BuildSilenceRanges(const std::vector<TPause>& pauses, int64_t durationMs, int64_t minPieceMs,
                        std::vector<int64_t>& starts, std::vector<int64_t>& ends) {
  starts.clear();
  ends.clear();
  if (durationMs <= 0) return;
  std::vector<int64_t> bounds = {0};
  for (const TPause& p : pauses) {
    if (p.AtEdge || p.CutMs <= bounds.back() || p.CutMs >= durationMs) continue;
    // A piece too short before this cut goes on into the next piece.
    if (p.CutMs - bounds.back() < minPieceMs) continue;
    bounds.push_back(p.CutMs);
  }
  if (bounds.size() > 1 && durationMs - bounds.back() < minPieceMs) bounds.pop_back();
  for (size_t i = 0; i < bounds.size(); ++i) {
    starts.push_back(bounds[i]);
    ends.push_back(i + 1 < bounds.size() ? bounds[i + 1] : kToTheEnd);
  }
}

}  // namespace pelcato
