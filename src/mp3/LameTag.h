// The LAME extension: 36 bytes that encoders put behind the fields of a "Xing" or "Info" frame.
// Besides the encoder's settings it holds the encoder delay and padding, which gapless-aware
// decoders trim from the decoded stream, and a CRC-16 over the header frame up to itself.
//
//   0  encoder string (9)     15 radio gain (2)       24 misc             32 music CRC (2)
//   9  revision | VBR method  17 audiophile gain (2)  25 MP3 gain         34 tag CRC (2)
//   10 lowpass / 100 Hz       19 flags | ATH type     26 preset/surround (2)
//   11 peak (4)               20 ABR or min bit rate  28 music length (4)
//                             21 delay (12 bits) padding (12 bits)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pelcato {

struct TLameTag {
  static constexpr size_t kSize = 36;
  static constexpr size_t kCrcAt = 34;    // where the tag CRC stands in the extension
  static constexpr int kMaxDelay = 4095;  // delay and padding have 12 bits each

  std::array<char, 9> Encoder{};  // "LAME3.100", "Lavc59.37", ...; not terminated
  uint8_t Revision = 0;           // 4 bits
  uint8_t VbrMethod = 0;          // 4 bits: 1 and 8 constant, 2 and 9 average, others variable
  uint8_t Lowpass = 0;
  uint32_t Peak = 0;
  uint16_t RadioGain = 0;
  uint16_t AudiophileGain = 0;
  uint8_t EncodingFlags = 0;  // 4 bits
  uint8_t AthType = 0;        // 4 bits
  uint8_t Bitrate = 0;        // kbit/s: the ABR target, else the minimum
  uint16_t Delay = 0;         // samples the encoder put in front of the music
  uint16_t Padding = 0;       // samples it put behind the music
  uint8_t Misc = 0;
  uint8_t Mp3Gain = 0;
  uint16_t PresetSurround = 0;
  uint32_t MusicLength = 0;  // bytes from the header frame's first byte to the stream's end
  uint16_t MusicCrc = 0;     // over the audio frames behind the header frame
  uint16_t TagCrc = 0;       // as read; a header frame's Render computes it anew

  // p: the extension's first byte, len: bytes from there to the frame's end. No value when
  // the 36 bytes do not fit or the encoder string is empty (its first byte zero), which is how
  // encoders say there is no extension.
  static std::optional<TLameTag> Parse(const uint8_t* p, size_t len);
  // Writes the 36 bytes, the tag CRC as it stands in TagCrc.
  void Render(uint8_t* out) const;

  std::string EncoderString() const;
  void SetEncoder(const std::string& s);
  // Whether every gapless-aware decoder trims by the delay and padding: ffmpeg honours them
  // only behind these encoder strings, libmpg123 behind any that is not empty.
  bool HonouredEverywhere() const;
};

}  // namespace pelcato
