#include "mp3/Mpg123Player.h"

namespace pelcato {

TMpg123Player::TMpg123Player() = default;

TMpg123Player::~TMpg123Player() {
  Close();
}

void TMpg123Player::Raise(const std::string& what) const {
  throw EPlayerError(what + ": " + FDecoder->ErrorText(),
                     FDecoder->ReadFailed() ? TPlayerFault::CannotRead : TPlayerFault::NotPlayable);
}

void TMpg123Player::Open(const std::string& fileName) {
  Close();
  if (!FDecoder) FDecoder = std::make_unique<TDecoder>();
  TFileReading reading;
  reading.LengthOnly = FLengthOnly;
  reading.Stop = FStop;
  FLengthOnly = false;
  if (!FDecoder->OpenFile(fileName, reading)) {
    throw EPlayerError("Cannot open the file: " + FDecoder->ErrorText(), TPlayerFault::CannotRead);
  }
  FOpen = true;
  // libmpg123 opens any file; a stream without a format is one we cannot play.
  if (!FDecoder->Format(FRate, FChannels)) {
    const std::string reason = FDecoder->ErrorText();
    const bool unread = FDecoder->ReadFailed();
    Close();
    throw EPlayerError("The file is not playable: " + reason,
                       unread ? TPlayerFault::CannotRead : TPlayerFault::NotPlayable);
  }
  FPositionMs = 0;
}

int64_t TMpg123Player::Length() {
  if (!FOpen) throw EPlayerError("No file is open");
  if (!FDecoder->Scan()) Raise("Cannot measure the length");
  const int64_t samples = FDecoder->Length();
  if (samples < 0) Raise("Cannot measure the length");
  return samples * 1000 / FRate;
}

int64_t TMpg123Player::LengthWithoutScan() {
  if (!FOpen) throw EPlayerError("No file is open");
  const int64_t samples = FDecoder->Length();
  if (samples < 0) Raise("Cannot tell the length");
  return samples * 1000 / FRate;
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
  if (FDecoder) FDecoder->Close();
  FOpen = false;
  FPositionMs = 0;
}

}  // namespace pelcato
