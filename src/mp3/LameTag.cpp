#include "mp3/LameTag.h"

#include <algorithm>
#include <cstring>

namespace pelcato {
namespace {

uint16_t Big16(const uint8_t* b) {
  return uint16_t(b[0] << 8 | b[1]);
}
uint32_t Big32(const uint8_t* b) {
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}
void PutBig16(uint8_t* b, uint16_t v) {
  b[0] = uint8_t(v >> 8);
  b[1] = uint8_t(v);
}
void PutBig32(uint8_t* b, uint32_t v) {
  PutBig16(b, uint16_t(v >> 16));
  PutBig16(b + 2, uint16_t(v));
}

}  // namespace

std::optional<TLameTag> TLameTag::Parse(const uint8_t* p, size_t len) {
  if (len < kSize || p[0] == 0) return std::nullopt;
  TLameTag t;
  std::memcpy(t.Encoder.data(), p, t.Encoder.size());
  t.Revision = p[9] >> 4;
  t.VbrMethod = p[9] & 15;
  t.Lowpass = p[10];
  t.Peak = Big32(p + 11);
  t.RadioGain = Big16(p + 15);
  t.AudiophileGain = Big16(p + 17);
  t.EncodingFlags = p[19] >> 4;
  t.AthType = p[19] & 15;
  t.Bitrate = p[20];
  t.Delay = uint16_t(p[21] << 4 | p[22] >> 4);
  t.Padding = uint16_t((p[22] & 15) << 8 | p[23]);
  t.Misc = p[24];
  t.Mp3Gain = p[25];
  t.PresetSurround = Big16(p + 26);
  t.MusicLength = Big32(p + 28);
  t.MusicCrc = Big16(p + 32);
  t.TagCrc = Big16(p + kCrcAt);
  return t;
}

void TLameTag::Render(uint8_t* out) const {
  std::memcpy(out, Encoder.data(), Encoder.size());
  out[9] = uint8_t((Revision & 15) << 4 | (VbrMethod & 15));
  out[10] = Lowpass;
  PutBig32(out + 11, Peak);
  PutBig16(out + 15, RadioGain);
  PutBig16(out + 17, AudiophileGain);
  out[19] = uint8_t((EncodingFlags & 15) << 4 | (AthType & 15));
  out[20] = Bitrate;
  const unsigned delay = std::min<unsigned>(Delay, kMaxDelay);
  const unsigned padding = std::min<unsigned>(Padding, kMaxDelay);
  out[21] = uint8_t(delay >> 4);
  out[22] = uint8_t((delay & 15) << 4 | padding >> 8);
  out[23] = uint8_t(padding);
  out[24] = Misc;
  out[25] = Mp3Gain;
  PutBig16(out + 26, PresetSurround);
  PutBig32(out + 28, MusicLength);
  PutBig16(out + 32, MusicCrc);
  PutBig16(out + kCrcAt, TagCrc);
}

std::string TLameTag::EncoderString() const {
  const auto end = std::find(Encoder.begin(), Encoder.end(), '\0');
  return std::string(Encoder.begin(), end);
}

void TLameTag::SetEncoder(const std::string& s) {
  Encoder.fill('\0');
  std::memcpy(Encoder.data(), s.data(), std::min(s.size(), Encoder.size()));
}

bool TLameTag::HonouredEverywhere() const {
  for (const char* prefix : {"LAME", "Lavf", "Lavc"}) {
    if (std::memcmp(Encoder.data(), prefix, 4) == 0) return true;
  }
  return false;
}

}  // namespace pelcato
