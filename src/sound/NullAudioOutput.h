// An audio output without a device, for tests: it "plays" the samples at the pace of a clock
// the test controls and can keep what it played.
//
//   auto clock = pelcato::TNullClock::Manual();           // or TNullClock::Running(8.0)
//   options.MakePlayer = [clock] { return pelcato::MakeNullPlayer(clock); };
//   ... clock->Advance(1000);                              // one second of sound is played
//
// MakeNullPlayer(clock, {.NoDevice = true}) gives a player whose Play fails like a machine
// without sound ("No audio output device is available").
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "mp3/MediaPlayer.h"
#include "sound/AudioOutput.h"

namespace pelcato {

// The time of a null output, in microseconds. Thread-safe.
class TNullClock {
 public:
  // Stands still until Advance moves it.
  static std::shared_ptr<TNullClock> Manual();
  // Runs with the steady clock, speed times as fast (8.0: a second of sound in 125 ms).
  static std::shared_ptr<TNullClock> Running(double speed = 1.0);

  // Moves a manual clock on by ms milliseconds (a running clock ignores it).
  void Advance(int64_t ms);
  int64_t NowUs() const;

 private:
  TNullClock(bool running, double speed);

  const bool FRunning;
  const double FSpeed;
  const std::chrono::steady_clock::time_point FOrigin;
  std::atomic<int64_t> FManualUs{0};
};

struct TNullOutputOptions {
  // Prepare fails with "No audio output device is available".
  bool NoDevice = false;
  // The only rate and channel count the "device" takes; 0 takes what is offered.
  int Rate = 0;
  int Channels = 0;
  // When set, every sample played is appended here (in the format Prepare gave).
  std::shared_ptr<std::vector<int16_t>> Played = nullptr;
};

class TNullAudioOutput : public TAudioOutput {
 public:
  explicit TNullAudioOutput(std::shared_ptr<TNullClock> clock, TNullOutputOptions options = {});

  TPcmFormat Prepare(const TPcmFormat& wanted) override;
  void Start(const TPcmFormat& format, std::shared_ptr<TPcmSource> source) override;
  // Pulls from the source up to the clock's time since Start.
  int64_t PlayedFrames() override;
  bool Drained() override;
  void Stop() noexcept override;

 private:
  void Catch();

  std::shared_ptr<TNullClock> FClock;
  TNullOutputOptions FOptions;
  std::mutex FMutex;
  std::shared_ptr<TPcmSource> FSource;
  TPcmFormat FFormat;
  int64_t FStartUs = 0;
  int64_t FPulled = 0;
  int64_t FPlayed = 0;
  bool FEnded = false;
  std::vector<int16_t> FBuffer;
};

// A TSoundPlayer over a TNullAudioOutput.
std::unique_ptr<TMediaPlayer> MakeNullPlayer(std::shared_ptr<TNullClock> clock,
                                             TNullOutputOptions options = {});

}  // namespace pelcato
