// What the analysis needs of a media player: open a file, tell its exact length and the play
// position in milliseconds, play from a position to the end without waiting, report its mode.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pelcato {

// Why a player could not do what it was asked.
enum class TPlayerFault {
  None,
  Other,
  CannotRead,   // the file cannot be opened or read
  NotPlayable,  // the file was read, but the player found no audio in it that it can play
};

// Raised by a player operation that failed; the text says what went wrong.
class EPlayerError : public std::runtime_error {
 public:
  explicit EPlayerError(const std::string& what, TPlayerFault fault = TPlayerFault::Other)
      : std::runtime_error(what), FFault(fault) {}
  TPlayerFault Fault() const { return FFault; }

 private:
  TPlayerFault FFault;
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

  // The file opened next is opened for its length only: a player that counts frames may pass
  // over what they hold instead of reading it. Only the next Open takes the hint; a player is
  // free to ignore it.
  virtual void SetLengthOnly(bool lengthOnly) { (void)lengthOnly; }
};

}  // namespace pelcato
