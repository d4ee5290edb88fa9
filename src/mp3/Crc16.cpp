#include "mp3/Crc16.h"

#include <array>

namespace pelcato {
namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[i] = uint16_t(c);
  }
  return t;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t len) {
  for (size_t i = 0; i < len; ++i) crc = uint16_t((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

}  // namespace pelcato
