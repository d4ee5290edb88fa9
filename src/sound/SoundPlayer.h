// The preview player of the desktop program: libmpg123 decodes from the chosen millisecond as
// the audio output pulls, converted to a format the output takes. Opening, the exact length and
// the file handling come from TMpg123Player.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mp3/Mpg123Player.h"
#include "sound/AudioOutput.h"

namespace pelcato {

// Converts a stream of interleaved 16-bit sample frames to another channel count (mono is
// copied to every channel, several channels are averaged into mono, missing ones stay silent)
// and another rate (linear interpolation).
class TPcmConverter {
 public:
  TPcmConverter(const TPcmFormat& from, const TPcmFormat& to);
  // Appends what frames input frames become to out.
  void Push(const int16_t* in, size_t frames, std::vector<int16_t>& out);

 private:
  void MapChannels(const int16_t* in, size_t frames, std::vector<int16_t>& out) const;

  TPcmFormat FFrom, FTo;
  std::vector<int16_t> FMapped;
  std::vector<int16_t> FLast;  // the last mapped input frame, for interpolation across Pushes
  int64_t FInFrames = 0;       // input frames seen so far
  int64_t FOutFrames = 0;      // output frames made so far
};

class TDecodeSource;

class TSoundPlayer : public TMpg123Player {
 public:
  // The player owns output; output may pull from another thread.
  explicit TSoundPlayer(std::unique_ptr<TAudioOutput> output);
  ~TSoundPlayer() override;

  void Open(const std::string& fileName) override;
  // While playing, the length found by Play: the decoder belongs to the output then.
  int64_t Length() override;
  int64_t Position() override;
  void SetPosition(int64_t ms) override;
  // Scans the file for its exact length, seeks to the sample of the position, starts the output
  // and returns once it plays.
  void Play() override;
  TPlayerMode Mode() override;
  void Close() override;

 private:
  void StopOutput() noexcept;

  std::unique_ptr<TAudioOutput> FOutput;
  std::shared_ptr<TDecodeSource> FSource;
  TPcmFormat FOutFormat;
  bool FPlaying = false;
  int64_t FStartMs = 0;
  int64_t FLengthMs = 0;
  int64_t FPositionMs = 0;
};

}  // namespace pelcato
