#include "sound/NullAudioOutput.h"

#include <algorithm>

#include "sound/SoundPlayer.h"

namespace pelcato {

TNullClock::TNullClock(bool running, double speed)
    : FRunning(running), FSpeed(speed), FOrigin(std::chrono::steady_clock::now()) {}

std::shared_ptr<TNullClock> TNullClock::Manual() {
  return std::shared_ptr<TNullClock>(new TNullClock(false, 1.0));
}

std::shared_ptr<TNullClock> TNullClock::Running(double speed) {
  return std::shared_ptr<TNullClock>(new TNullClock(true, speed));
}

void TNullClock::Advance(int64_t ms) {
  if (!FRunning && ms > 0) FManualUs += ms * 1000;
}

int64_t TNullClock::NowUs() const {
  if (!FRunning) return FManualUs;
  const auto real = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - FOrigin);
  return int64_t(double(real.count()) * FSpeed);
}

TNullAudioOutput::TNullAudioOutput(std::shared_ptr<TNullClock> clock, TNullOutputOptions options)
    : FClock(std::move(clock)), FOptions(std::move(options)) {}

TPcmFormat TNullAudioOutput::Prepare(const TPcmFormat& wanted) {
  if (FOptions.NoDevice) throw EPlayerError("No audio output device is available");
  return {FOptions.Rate > 0 ? FOptions.Rate : wanted.Rate,
          FOptions.Channels > 0 ? FOptions.Channels : wanted.Channels};
}

void TNullAudioOutput::Start(const TPcmFormat& format, std::shared_ptr<TPcmSource> source) {
  if (FOptions.NoDevice) throw EPlayerError("No audio output device is available");
  std::lock_guard<std::mutex> lock(FMutex);
  FSource = std::move(source);
  FFormat = format;
  FStartUs = FClock->NowUs();
  FPulled = FPlayed = 0;
  FEnded = false;
}

void TNullAudioOutput::Catch() {
  if (!FSource) return;
  const int64_t due = (FClock->NowUs() - FStartUs) * FFormat.Rate / 1000000;
  const size_t ch = size_t(FFormat.Channels);
  while (!FEnded && FPulled < due) {
    const size_t want = size_t(std::min<int64_t>(due - FPulled, 4096));
    FBuffer.resize(want * ch);
    const size_t got = FSource->Read(FBuffer.data(), want);
    if (got == 0) FEnded = true;
    if (FOptions.Played)
      FOptions.Played->insert(FOptions.Played->end(), FBuffer.begin(),
                              FBuffer.begin() + std::ptrdiff_t(got * ch));
    FPulled += int64_t(got);
  }
  FPlayed = std::min(due, FPulled);
}

int64_t TNullAudioOutput::PlayedFrames() {
  std::lock_guard<std::mutex> lock(FMutex);
  Catch();
  return FPlayed;
}

bool TNullAudioOutput::Drained() {
  std::lock_guard<std::mutex> lock(FMutex);
  Catch();
  return FSource && FEnded && FPlayed >= FPulled;
}

void TNullAudioOutput::Stop() noexcept {
  std::lock_guard<std::mutex> lock(FMutex);
  FSource.reset();
}

std::unique_ptr<TMediaPlayer> MakeNullPlayer(std::shared_ptr<TNullClock> clock,
                                             TNullOutputOptions options) {
  return std::make_unique<TSoundPlayer>(
      std::make_unique<TNullAudioOutput>(std::move(clock), std::move(options)));
}

}  // namespace pelcato
