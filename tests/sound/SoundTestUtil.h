// Shared helpers of the sound tests: libmpg123's own decode of a whole file, the place in it
// that a stretch of sound matches best, and the test files.
#pragma once

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace pelcato::test {

inline std::string DataFile(const std::string& name) {
  return std::string(PELCATO_TEST_DATA) + "/" + name;
}

// A whole file decoded from its start, straight through libmpg123 without seeking.
struct TDecoded {
  long Rate = 0;
  int Channels = 0;
  std::vector<int16_t> Samples;  // interleaved
  size_t Frames() const { return Channels ? Samples.size() / size_t(Channels) : 0; }
};

inline TDecoded DecodeWhole(const std::string& path) {
  TDecoded out;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  int encoding = 0;
  if (mpg123_open(h, path.c_str()) != MPG123_OK ||
      mpg123_getformat(h, &out.Rate, &out.Channels, &encoding) != MPG123_OK) {
    ADD_FAILURE() << "libmpg123 cannot decode " << path;
    mpg123_delete(h);
    return out;
  }
  mpg123_format_none(h);
  mpg123_format(h, out.Rate, out.Channels, MPG123_ENC_SIGNED_16);
  std::vector<unsigned char> buf(16384);
  for (;;) {
    size_t got = 0;
    const int ret = mpg123_read(h, buf.data(), buf.size(), &got);
    const auto* s = reinterpret_cast<const int16_t*>(buf.data());
    out.Samples.insert(out.Samples.end(), s, s + got / 2);
    if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT) break;
  }
  mpg123_close(h);
  mpg123_delete(h);
  return out;
}

// The first channel of interleaved samples.
inline std::vector<double> FirstChannel(const std::vector<int16_t>& s, int channels) {
  std::vector<double> out(s.size() / size_t(channels));
  for (size_t i = 0; i < out.size(); ++i) out[i] = s[i * size_t(channels)];
  return out;
}

// Normalised correlation of a[aFrom..aFrom+n) with b[bFrom..bFrom+n); 0 when out of range.
inline double Correlation(const std::vector<double>& a, size_t aFrom, const std::vector<double>& b,
                          int64_t bFrom, size_t n) {
  if (bFrom < 0 || aFrom + n > a.size() || size_t(bFrom) + n > b.size()) return 0;
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = a[aFrom + i], y = b[size_t(bFrom) + i];
    ab += x * y;
    aa += x * x;
    bb += y * y;
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct TMatch {
  int64_t Offset = 0;  // in b
  double Correlation = -2;
};

// Where in b, between from and to, the stretch a[aFrom..aFrom+n) correlates best.
inline TMatch BestMatch(const std::vector<double>& a, size_t aFrom, const std::vector<double>& b,
                        int64_t from, int64_t to, size_t n) {
  TMatch best;
  for (int64_t off = from; off <= to; ++off) {
    const double c = Correlation(a, aFrom, b, off, n);
    if (c > best.Correlation) best = {off, c};
  }
  return best;
}

}  // namespace pelcato::test
