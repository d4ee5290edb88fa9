#include "mp3/Crc16.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace pelcato {
namespace {

using TTables = std::array<std::array<uint16_t, 256>, 16>;

// Table k gives what a byte does to the CRC when k more bytes follow it, so sixteen bytes are
// taken in one step.
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

uint16_t TableCrc(uint16_t crc, const uint8_t* data, size_t len) {
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

#if defined(__x86_64__)

// The music CRC of a long piece reads every byte of it: with carry-less multiplication, 64
// bytes are folded in a step. The CRC is the remainder of the message M (its first bit the
// highest power) times x^16 by P = x^16 + x^15 + x^2 + 1, so any 128-bit value congruent to
// the message read so far modulo P may stand for it. A register holds 16 bytes as they lie,
// bit j for the power x^(127 - j); its low half H and high half L are the two 64-bit halves
// of X = H x^64 + L. Moving X on by n bits, X x^n = H x^(n+64) + L x^n, is two products with
// x^(n+64) and x^n modulo P; the product of two such halves comes out one power too low,
// which the constants make up: x^(n+63) and x^(n-1).
constexpr uint64_t PowerModP(int n) {
  uint32_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x18005;
  }
  // As a half register holds it: the power x^d at bit 63 - d.
  uint64_t v = 0;
  for (int d = 0; d < 16; ++d) {
    if (r >> d & 1) v |= uint64_t(1) << (63 - d);
  }
  return v;
}

// The constants that move a register on by n bits.
template <int N>
__attribute__((target("pclmul,sse4.1"))) inline __m128i Shift() {
  constexpr uint64_t kLow = PowerModP(N + 63);
  constexpr uint64_t kHigh = PowerModP(N - 1);
  return _mm_set_epi64x(int64_t(kHigh), int64_t(kLow));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse4.1"))) uint16_t FoldedCrc(uint16_t crc, const uint8_t* data,
                                                            size_t len) {
  const auto load = [](const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  // A starting value is the same as those bits added to the message's first bits.
  __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(crc));
  __m128i x1 = load(data + 16);
  __m128i x2 = load(data + 32);
  __m128i x3 = load(data + 48);
  data += 64;
  len -= 64;
  const __m128i by512 = Shift<512>();
  for (; len >= 64; len -= 64, data += 64) {
    x0 = Fold(x0, by512, load(data));
    x1 = Fold(x1, by512, load(data + 16));
    x2 = Fold(x2, by512, load(data + 32));
    x3 = Fold(x3, by512, load(data + 48));
  }
  const __m128i by128 = Shift<128>();
  __m128i x = Fold(x0, by128, x1);
  x = Fold(x, by128, x2);
  x = Fold(x, by128, x3);
  for (; len >= 16; len -= 16, data += 16) x = Fold(x, by128, load(data));
  uint8_t rest[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
  return TableCrc(TableCrc(0, rest, sizeof rest), data, len);
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}

#endif

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t len) {
#if defined(__x86_64__)
  if (len >= 256 && HasCarrylessMultiply()) return FoldedCrc(crc, data, len);
#endif
  return TableCrc(crc, data, len);
}

}  // namespace pelcato
