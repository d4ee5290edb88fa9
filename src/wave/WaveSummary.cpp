#include "wave/WaveSummary.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pelcato {

void TWaveSummary::Append(const TWaveBlock* blocks, size_t count) {
  if (FClosed || count == 0) return;
  if (FJoined == 1 && FBlocks.size() + count < FMostBlocks) {
    if (FBlocks.size() + count > FBlocks.capacity()) {
      FBlocks.reserve(
          std::min(std::max(2 * FBlocks.capacity(), FBlocks.size() + count), FMostBlocks));
    }
    FBlocks.insert(FBlocks.end(), blocks, blocks + count);
    FSamples += int64_t(count) * FBaseSamples;
    return;
  }
  for (size_t i = 0; i < count; ++i) Append(blocks[i]);
}

void TWaveSummary::Append(const TWaveBlock& block) {
  if (FClosed) return;
  FSamples += FBaseSamples;
  if (FOpen == 0) {
    StartBlock(block);
  } else {
    TWaveBlock& last = FBlocks.back();
    last.Min = std::min(last.Min, block.Min);
    last.Max = std::max(last.Max, block.Max);
    FOpenSum += double(block.MeanSquare);
    ++FOpen;
    last.MeanSquare = float(FOpenSum / double(FOpen));
  }
  if (FOpen == FJoined) FOpen = 0;
}

void TWaveSummary::StartBlock(const TWaveBlock& block) {
  if (FBlocks.size() >= FMostBlocks) {
    // Every kept block is full here, and their count even: pairs of equal weight.
    const size_t half = FBlocks.size() / 2;
    for (size_t i = 0; i < half; ++i) {
      const TWaveBlock& a = FBlocks[2 * i];
      const TWaveBlock& b = FBlocks[2 * i + 1];
      FBlocks[i] = {std::min(a.Min, b.Min), std::max(a.Max, b.Max),
                    float(0.5 * (double(a.MeanSquare) + double(b.MeanSquare)))};
    }
    FBlocks.resize(half);
    FJoined *= 2;
  }
  // The room grows by doubling as a vector's does, but never past the blocks kept at most.
  if (FBlocks.size() == FBlocks.capacity()) {
    FBlocks.reserve(std::min(std::max<size_t>(2 * FBlocks.capacity(), 64), FMostBlocks));
  }
  FBlocks.push_back(block);
  FOpen = 1;
  FOpenSum = double(block.MeanSquare);
}

void TWaveSummary::AppendLast(const TWaveBlock& block, int samples) {
  if (FClosed || samples <= 0) return;
  samples = std::min(samples, FBaseSamples);
  if (FOpen > 0) {
    // The kept block not yet full takes it, weighed by its samples.
    TWaveBlock& last = FBlocks.back();
    last.Min = std::min(last.Min, block.Min);
    last.Max = std::max(last.Max, block.Max);
    const double held = double(FOpen) * FBaseSamples;
    last.MeanSquare =
        float((FOpenSum * FBaseSamples + double(block.MeanSquare) * samples) / (held + samples));
  } else {
    StartBlock(block);
  }
  FSamples += samples;
  FOpen = 0;
  FClosed = true;
}

TEnvelope TWaveSummary::View(double fromMs, double toMs, int width) const {
  TEnvelope env;
  env.Width = std::max(width, 0);
  env.FromMs = fromMs;
  env.MsPerColumn = env.Width > 0 ? (toMs - fromMs) / double(env.Width) : 0.0;
  env.Min.assign(size_t(env.Width), 0.0f);
  env.Max.assign(size_t(env.Width), 0.0f);
  env.RmsDb.assign(size_t(env.Width), TEnvelope::kFloorDb);
  if (FRate <= 0 || FBlocks.empty() || env.Width == 0 || !(env.MsPerColumn > 0.0)) return env;

  const double perMs = double(FRate) / 1000.0;
  const double end = double(FSamples);
  const double first = double(FFirst);
  const double block = double(BlockSamples());
  for (int c = 0; c < env.Width; ++c) {
    // Samples counted from the first block's start.
    double s0 = (fromMs + double(c) * env.MsPerColumn) * perMs - first;
    double s1 = (fromMs + double(c + 1) * env.MsPerColumn) * perMs - first;
    if (s0 >= end) break;
    env.Covered = c + 1;
    if (s1 <= 0.0) continue;
    s0 = std::max(s0, 0.0);
    s1 = std::min(s1, end);
    // Column edges computed from milliseconds land a hair off block edges; such a hair must
    // not pull in the neighbouring block.
    constexpr double kHair = 1e-6;
    const size_t b0 = std::min(size_t(s0 / block + kHair), FBlocks.size() - 1);
    const size_t b1 = std::clamp(size_t(std::ceil(s1 / block - kHair)), b0 + 1, FBlocks.size());
    float lo = FBlocks[b0].Min, hi = FBlocks[b0].Max;
    double energy = 0.0, weight = 0.0;
    for (size_t b = b0; b < b1; ++b) {
      const TWaveBlock& k = FBlocks[b];
      lo = std::min(lo, k.Min);
      hi = std::max(hi, k.Max);
      const double blockStart = double(b) * block;
      const double blockEnd = std::min(blockStart + block, end);
      const double overlap = std::min(s1, blockEnd) - std::max(s0, blockStart);
      if (overlap > 0.0) {
        energy += double(k.MeanSquare) * overlap;
        weight += overlap;
      }
    }
    const double meanSquare = weight > 0.0 ? energy / weight : double(FBlocks[b0].MeanSquare);
    env.Min[size_t(c)] = lo;
    env.Max[size_t(c)] = hi;
    if (meanSquare > 0.0) {
      env.RmsDb[size_t(c)] = std::max(TEnvelope::kFloorDb, float(10.0 * std::log10(meanSquare)));
    }
  }
  return env;
}

namespace {

// Extremes and sum of squares of a run of values, four lanes at a time in the compiler's
// vector type (SSE on x86-64, NEON on ARM): the decode makes 300 million samples an hour.
struct TRunStats {
  float Min, Max;
  double Sum;
};

using TLanes = float __attribute__((vector_size(16)));

TLanes LoadLanes(const float* v) {
  TLanes lanes;
  std::memcpy(&lanes, v, sizeof lanes);
  return lanes;
}

TRunStats Measure(const float* v, size_t n) {
  float lo = v[0], hi = v[0];
  double sum = 0.0;
  size_t i = 0;
  if (n >= 8) {
    TLanes lo4 = LoadLanes(v), hi4 = lo4, sum4a = {}, sum4b = {};
    for (; i + 8 <= n; i += 8) {
      const TLanes a = LoadLanes(v + i), b = LoadLanes(v + i + 4);
      lo4 = a < lo4 ? a : lo4;
      hi4 = a > hi4 ? a : hi4;
      lo4 = b < lo4 ? b : lo4;
      hi4 = b > hi4 ? b : hi4;
      sum4a += a * a;
      sum4b += b * b;
    }
    for (int k = 0; k < 4; ++k) {
      lo = std::min(lo, lo4[k]);
      hi = std::max(hi, hi4[k]);
      sum += double(sum4a[k]) + double(sum4b[k]);
    }
  }
  for (; i < n; ++i) {
    lo = std::min(lo, v[i]);
    hi = std::max(hi, v[i]);
    sum += double(v[i]) * double(v[i]);
  }
  return {lo, hi, sum};
}

TRunStats Measure(const int16_t* v, size_t n) {
  int lo = v[0], hi = v[0];
  int64_t sum = 0;  // a block holds at most 8 * 576 squares of at most 2^30
  for (size_t i = 0; i < n; ++i) {
    const int x = v[i];
    lo = std::min(lo, x);
    hi = std::max(hi, x);
    sum += x * x;
  }
  constexpr float kScale = 1.0f / 32768.0f;
  return {float(lo) * kScale, float(hi) * kScale, double(sum) * double(kScale) * double(kScale)};
}

}  // namespace

template <typename T>
void TBlockMeter::FeedAny(const T* samples, size_t frames, int channels,
                          std::vector<TWaveBlock>& out) {
  if (channels <= 0) return;
  FChannels = channels;
  size_t done = 0;
  while (done < frames) {
    const size_t take = std::min(frames - done, size_t(TWaveSummary::kBlockSamples - FCount));
    const TRunStats s = Measure(samples + done * size_t(channels), take * size_t(channels));
    if (FCount == 0) {
      FMin = s.Min;
      FMax = s.Max;
      FSum = s.Sum;
    } else {
      FMin = std::min(FMin, s.Min);
      FMax = std::max(FMax, s.Max);
      FSum += s.Sum;
    }
    FCount += int(take);
    done += take;
    if (FCount == TWaveSummary::kBlockSamples) {
      out.push_back(PendingBlock());
      FCount = 0;
    }
  }
}

void TBlockMeter::Feed(const float* samples, size_t frames, int channels,
                       std::vector<TWaveBlock>& out) {
  FeedAny(samples, frames, channels, out);
}

void TBlockMeter::Feed(const int16_t* samples, size_t frames, int channels,
                       std::vector<TWaveBlock>& out) {
  FeedAny(samples, frames, channels, out);
}

TWaveBlock TBlockMeter::PendingBlock() const {
  if (FCount == 0) return {};
  return {FMin, FMax, float(FSum / (double(FCount) * double(FChannels)))};
}

}  // namespace pelcato
