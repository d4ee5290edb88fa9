// Helpers of the waveform tests: sound made by sox and encoded by lame and ffmpeg at test
// time, and a decode with libmpg123 that measures columns straight from the samples.
#pragma once

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Mp3TestUtil.h"

namespace pelcato::test {

inline bool Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool HaveTools() {
  return Shell("command -v sox") && Shell("command -v lame") && Shell("command -v ffmpeg");
}

// Columns of a file measured from its decoded samples on the player's timeline (libmpg123's
// gapless decoding, or every sample with gapless off), mean square and extremes over all
// channels of the samples in each column.
struct TColumns {
  std::vector<double> MeanSquare, Min, Max;
  long Rate = 0;
  int64_t Samples = 0;
};

inline TColumns DecodeColumns(const std::string& path, double msPerColumn, int width,
                              bool gapless = true) {
  TColumns c;
  c.MeanSquare.assign(size_t(width), 0.0);
  c.Min.assign(size_t(width), 0.0);
  c.Max.assign(size_t(width), 0.0);
  std::vector<int64_t> counts(size_t(width), 0);
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, gapless ? MPG123_ADD_FLAGS : MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0);
  EXPECT_EQ(mpg123_open(h, path.c_str()), MPG123_OK) << path;
  int channels = 1, encoding = 0;
  mpg123_getformat(h, &c.Rate, &channels, &encoding);
  for (;;) {
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int r = mpg123_decode_frame(h, &num, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      mpg123_getformat(h, &c.Rate, &channels, &encoding);
      continue;
    }
    if (r != MPG123_OK) break;
    const float* s = reinterpret_cast<const float*>(audio);
    for (size_t i = 0; i < bytes / sizeof(float) / size_t(channels); ++i, ++c.Samples) {
      const auto col = int64_t(double(c.Samples) * 1000.0 / double(c.Rate) / msPerColumn);
      if (col >= width) continue;
      for (int ch = 0; ch < channels; ++ch) {
        const double v = s[i * size_t(channels) + size_t(ch)];
        c.MeanSquare[size_t(col)] += v * v;
        c.Min[size_t(col)] = std::min(c.Min[size_t(col)], v);
        c.Max[size_t(col)] = std::max(c.Max[size_t(col)], v);
        ++counts[size_t(col)];
      }
    }
  }
  mpg123_close(h);
  mpg123_delete(h);
  for (size_t i = 0; i < size_t(width); ++i) {
    if (counts[i]) c.MeanSquare[i] /= double(counts[i]);
  }
  return c;
}

// Every sample of a file as libmpg123 decodes it into float, interleaved.
inline std::vector<float> DecodeAll(const std::string& path, bool gapless) {
  std::vector<float> out;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, gapless ? MPG123_ADD_FLAGS : MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0);
  EXPECT_EQ(mpg123_open(h, path.c_str()), MPG123_OK) << path;
  for (;;) {
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int r = mpg123_decode_frame(h, &num, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) continue;
    if (r != MPG123_OK) break;
    const float* s = reinterpret_cast<const float*>(audio);
    out.insert(out.end(), s, s + bytes / sizeof(float));
  }
  mpg123_close(h);
  mpg123_delete(h);
  return out;
}

// Spearman's rank correlation; ties share their mean rank.
inline double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
  const auto ranks = [](const std::vector<double>& x) {
    std::vector<size_t> order(x.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t p, size_t q) { return x[p] < x[q]; });
    std::vector<double> r(x.size());
    for (size_t i = 0; i < order.size();) {
      size_t j = i;
      while (j + 1 < order.size() && x[order[j + 1]] == x[order[i]]) ++j;
      for (size_t k = i; k <= j; ++k) r[order[k]] = double(i + j) / 2.0;
      i = j + 1;
    }
    return r;
  };
  const std::vector<double> ra = ranks(a), rb = ranks(b);
  const double n = double(a.size());
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) ma += ra[i] / n, mb += rb[i] / n;
  double cov = 0, va = 0, vb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    cov += (ra[i] - ma) * (rb[i] - mb);
    va += (ra[i] - ma) * (ra[i] - ma);
    vb += (rb[i] - mb) * (rb[i] - mb);
  }
  return cov / std::sqrt(va * vb);
}

}  // namespace pelcato::test
