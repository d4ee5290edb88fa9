#include "mp3/Mpg123Player.h"

#include <mutex>

namespace pelcato {
namespace {

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

TMpg123Player::TMpg123Player() {
  InitLibraryOnce();
}

TMpg123Player::~TMpg123Player() {
  Close();
  if (FHandle) mpg123_delete(FHandle);
}

void TMpg123Player::Raise(const std::string& what) const {
  const char* reason = FHandle ? mpg123_strerror(FHandle) : "out of memory";
  throw EPlayerError(what + ": " + reason);
}

void TMpg123Player::Open(const std::string& fileName) {
  Close();
  if (!FHandle) {
    int err = MPG123_OK;
    FHandle = mpg123_new(nullptr, &err);
    if (!FHandle)
      throw EPlayerError(std::string("Cannot start the decoder: ") + mpg123_plain_strerror(err));
    mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  }
  if (mpg123_open(FHandle, fileName.c_str()) != MPG123_OK) Raise("Cannot open the file");
  FOpen = true;
  // mpg123_open takes any file; a stream without a format is one we cannot play.
  int encoding = 0;
  if (mpg123_getformat(FHandle, &FRate, &FChannels, &encoding) != MPG123_OK || FRate <= 0) {
    std::string reason = mpg123_strerror(FHandle);
    Close();
    throw EPlayerError("The file is not playable: " + reason);
  }
  FPositionMs = 0;
}

int64_t TMpg123Player::Length() {
  if (!FOpen) throw EPlayerError("No file is open");
  if (mpg123_scan(FHandle) != MPG123_OK) Raise("Cannot measure the length");
  const off_t samples = mpg123_length(FHandle);
  if (samples < 0) Raise("Cannot measure the length");
  return int64_t(samples) * 1000 / FRate;
}

int64_t TMpg123Player::Position() {
  return FPositionMs;
}

void TMpg123Player::SetPosition(int64_t ms) {
  if (!FOpen) throw EPlayerError("No file is open");
  FPositionMs = ms;
}

void TMpg123Player::Play() {
  throw EPlayerError("Preview playback is not available");
}

TPlayerMode TMpg123Player::Mode() {
  return FOpen ? TPlayerMode::Stopped : TPlayerMode::NotOpen;
}

void TMpg123Player::Close() {
  if (FOpen) mpg123_close(FHandle);
  FOpen = false;
  FPositionMs = 0;
}

}  // namespace pelcato
