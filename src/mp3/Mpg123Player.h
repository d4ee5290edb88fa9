// The player's decoding side over libmpg123 (TDecoder): opening, the exact length (every frame
// counted, VBR included) and decoding to PCM samples. Sound output belongs to the desktop program,
// which derives from this class; here playing is not available.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "mp3/Decoder.h"
#include "mp3/MediaPlayer.h"

namespace pelcato {

class TMpg123Player : public TMediaPlayer {
 public:
  TMpg123Player();
  ~TMpg123Player() override;

  void Open(const std::string& fileName) override;
  int64_t Length() override;
  int64_t Position() override;
  void SetPosition(int64_t ms) override;
  void Play() override;
  TPlayerMode Mode() override;
  void Close() override;
  void SetLengthOnly(bool lengthOnly) override { FLengthOnly = lengthOnly; }
  // The length the stream's first frames tell, without counting its frames: from the frame
  // count of a VBR header frame when there is one, otherwise estimated from the file size.
  // Only before Length(), which replaces it by the counted length.
  int64_t LengthWithoutScan();
  // Once *stop is set, the file opened next can no longer be read: a scan under way fails.
  void SetStop(const std::atomic<bool>* stop) { FStop = stop; }

 protected:
  // The decoder of the open file.
  TDecoder& Decoder() const { return *FDecoder; }
  long Rate() const { return FRate; }
  int Channels() const { return FChannels; }
  bool IsOpen() const { return FOpen; }

 private:
  // Throws what went wrong with libmpg123's reason: a read error, or no audio it can play.
  [[noreturn]] void Raise(const std::string& what) const;

  std::unique_ptr<TDecoder> FDecoder;  // made at the first Open
  bool FOpen = false;
  long FRate = 0;
  int FChannels = 0;
  int64_t FPositionMs = 0;
  bool FLengthOnly = false;
  const std::atomic<bool>* FStop = nullptr;
};

}  // namespace pelcato
