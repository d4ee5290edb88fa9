// The block summary against the samples it was fed, measured here directly.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "wave/WaveSummary.h"

namespace pelcato {
namespace {

constexpr int kBlock = TWaveSummary::kBlockSamples;

// Stereo samples: bursts of noise at changing levels with quiet gaps, different per channel.
std::vector<int16_t> Sound(size_t frames) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<int16_t> s(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double level = (i / 3000) % 4 == 3 ? 0.0 : 0.05 * double((i / 3000) % 7 + 1);
    for (size_t ch = 0; ch < 2; ++ch) {
      const double v = std::clamp(level * (ch ? 0.5 : 1.0) * noise(rng), -1.0, 32767.0 / 32768);
      s[2 * i + ch] = int16_t(std::lround(v * 32768));
    }
  }
  return s;
}

struct TMeasured {
  float Min = 0, Max = 0;
  double MeanSquare = 0;
};

TMeasured Measure(const std::vector<int16_t>& s, size_t from, size_t to) {
  TMeasured m{1, -1, 0};
  for (size_t i = 2 * from; i < 2 * to; ++i) {
    const double v = s[i] / 32768.0;
    m.Min = std::min(m.Min, float(v));
    m.Max = std::max(m.Max, float(v));
    m.MeanSquare += v * v;
  }
  m.MeanSquare /= double(2 * (to - from));
  return m;
}

// Fed in uneven pieces, as int16 and as float: the same blocks, and views that agree with the
// samples wherever columns hold whole blocks; narrower columns show the block they lie in.
TEST(Summary, ViewsAgreeWithTheSamples) {
  const size_t frames = 100 * kBlock + 100;  // a short last block
  const std::vector<int16_t> s = Sound(frames);
  std::vector<float> f(s.size());
  for (size_t i = 0; i < s.size(); ++i) f[i] = float(s[i] / 32768.0);

  TWaveSummary fromInt(44100), fromFloat(44100);
  TBlockMeter intMeter, floatMeter;
  std::vector<TWaveBlock> intBlocks, floatBlocks;
  std::mt19937 rng(1);
  for (size_t at = 0; at < frames;) {
    const size_t n = std::min(frames - at, size_t(rng() % 1500 + 1));
    intMeter.Feed(s.data() + 2 * at, n, 2, intBlocks);
    floatMeter.Feed(f.data() + 2 * at, n, 2, floatBlocks);
    at += n;
  }
  fromInt.Append(intBlocks.data(), intBlocks.size());
  fromInt.AppendLast(intMeter.PendingBlock(), intMeter.Pending());
  fromFloat.Append(floatBlocks.data(), floatBlocks.size());
  fromFloat.AppendLast(floatMeter.PendingBlock(), floatMeter.Pending());
  ASSERT_EQ(fromInt.Blocks(), 101u);
  EXPECT_EQ(fromInt.Samples(), int64_t(frames));
  EXPECT_EQ(fromFloat.Samples(), int64_t(frames));

  const double blockMs = kBlock * 1000.0 / 44100;
  const auto check = [&](const TWaveSummary& summary, size_t firstBlock, int width, int per) {
    SCOPED_TRACE(testing::Message() << "from block " << firstBlock << ", " << per << " a column");
    const TEnvelope env = summary.View(double(firstBlock) * blockMs,
                                       double(firstBlock + size_t(width * per)) * blockMs, width);
    for (int c = 0; c < width && firstBlock + size_t(c * per) < 101; ++c) {
      const size_t from = (firstBlock + size_t(c * per)) * kBlock;
      const size_t to = std::min(frames, from + size_t(per) * kBlock);
      const TMeasured m = Measure(s, from, to);
      EXPECT_FLOAT_EQ(env.Min[size_t(c)], m.Min) << c;
      EXPECT_FLOAT_EQ(env.Max[size_t(c)], m.Max) << c;
      const double db = m.MeanSquare > 0 ? 10 * std::log10(m.MeanSquare) : TEnvelope::kFloorDb;
      EXPECT_NEAR(env.RmsDb[size_t(c)], std::max(db, double(TEnvelope::kFloorDb)), 0.01) << c;
    }
  };
  for (const TWaveSummary* summary : {&fromInt, &fromFloat}) {
    check(*summary, 0, 101, 1);  // one block a column, the short last one included
    check(*summary, 0, 20, 5);
    check(*summary, 37, 7, 9);  // zoomed into the middle, beyond the end
  }

  // Kept to 16 blocks, the summary joins them in pairs as more come: eight a block by the end,
  // each as the samples of those eight say, and no more room than for 16.
  TWaveSummary capped(44100, kBlock, 16);
  capped.Append(intBlocks.data(), intBlocks.size());
  capped.AppendLast(intMeter.PendingBlock(), intMeter.Pending());
  EXPECT_EQ(capped.Blocks(), 13u);
  EXPECT_EQ(capped.BlockSamples(), 8 * kBlock);
  EXPECT_EQ(capped.Samples(), int64_t(frames));
  EXPECT_LE(capped.MemoryBytes(), 16 * sizeof(TWaveBlock));
  check(capped, 0, 13, 8);
  check(capped, 16, 5, 16);

  // Columns of a third of a block: each shows its block.
  const TEnvelope fine = fromInt.View(10 * blockMs, 12 * blockMs, 6);
  for (int c = 0; c < 6; ++c) {
    const TMeasured m = Measure(s, size_t(10 + c / 3) * kBlock, size_t(11 + c / 3) * kBlock);
    EXPECT_FLOAT_EQ(fine.Max[size_t(c)], m.Max) << c;
    EXPECT_NEAR(fine.RmsDb[size_t(c)], 10 * std::log10(m.MeanSquare), 0.01) << c;
  }

  // A view over a longer time than is summed up so far: the rest is empty, not covered.
  const double ms = fromInt.DurationMs();
  const TEnvelope half = fromInt.View(0, 2 * ms, 10);
  EXPECT_EQ(half.Covered, 5);
  EXPECT_EQ(half.Max[5], 0.0f);
  EXPECT_EQ(half.RmsDb[9], TEnvelope::kFloorDb);
  EXPECT_GT(half.Max[4], 0.0f);
  EXPECT_EQ(TWaveSummary().View(0, 1000, 10).Covered, 0);
}

}  // namespace
}  // namespace pelcato
