// What the analysis needs of a media player: open a file, tell its exact length and the play
// position in milliseconds, play from a position to the end without waiting, report its mode.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pelcato {

// Raised by a player operation that failed; the text says what went wrong.
class EPlayerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TPlayerMode { NotOpen, Stopped, Playing, Paused };

class TMediaPlayer {
 public:
  virtual ~TMediaPlayer() = default;
  virtual void Open(const std::string& fileName) = 0;
  virtual int64_t Length() = 0;    // ms
  virtual int64_t Position() = 0;  // ms
  virtual void SetPosition(int64_t ms) = 0;
  virtual void Play() = 0;  // from the position to the end, returns at once
  virtual TPlayerMode Mode() = 0;
  virtual void Close() = 0;  // stops playing and releases the file; never throws

  // Byte ranges [from, to) of the file opened next that its length scan need not read: whole
  // frames lying end to end, whose contents a decoder that only counts frames passes over.
  // Only the next Open takes them; a player is free to ignore them.
  using TByteRanges = std::vector<std::pair<int64_t, int64_t>>;
  virtual void SetLengthHint(TByteRanges ranges) { (void)ranges; }
};

}  // namespace pelcato
