#include "mp3/Crc16.h"

#include <array>
#include <bit>
#include <cstring>

namespace pelcato {
namespace {

using TTables = std::array<std::array<uint16_t, 256>, 16>;

// Table k gives what a byte does to the CRC when k more bytes follow it, so sixteen bytes are
// taken in one step: the music CRC of a long piece reads every byte of it.
constexpr TTables MakeTables() {
  TTables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[0][i] = uint16_t(c);
  }
  for (size_t k = 1; k < 16; ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      t[k][i] = uint16_t((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    }
  }
  return t;
}

constexpr TTables kTables = MakeTables();

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t len) {
  const auto& t = kTables;
  // Eight bytes in stream order, the first one lowest, whatever the machine's byte order.
  const auto load = [](const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
  };
  const auto fold = [&](uint64_t v, size_t table) {
    return t[table + 7][v & 0xFF] ^ t[table + 6][(v >> 8) & 0xFF] ^ t[table + 5][(v >> 16) & 0xFF] ^
           t[table + 4][(v >> 24) & 0xFF] ^ t[table + 3][(v >> 32) & 0xFF] ^
           t[table + 2][(v >> 40) & 0xFF] ^ t[table + 1][(v >> 48) & 0xFF] ^ t[table][v >> 56];
  };
  for (; len >= 16; len -= 16, data += 16) {
    crc = uint16_t(fold(load(data) ^ crc, 8) ^ fold(load(data + 8), 0));
  }
  for (; len > 0; --len, ++data) crc = uint16_t((crc >> 8) ^ t[0][(crc ^ *data) & 0xFF]);
  return crc;
}

}  // namespace pelcato
