#include "wave/LevelEstimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "mp3/MpegFrameHeader.h"
#include "wave/Timeline.h"

namespace pelcato {
namespace {

constexpr double kGainDbPerStep = 1.05;
constexpr double kOffsetDb = -15.5;
constexpr double kShortBlockDb = -7.5;

// The largest quantized value a region coded with each Huffman table can hold, squared. Tables
// 16 to 31 add linbits to 15; an encoder takes one with just enough of them, so the largest
// value lies in the upper half of what the table holds: taken as 15 + 3/4 of 2^linbits. Tables
// 4 and 14 do not exist; table 0 codes zeros, and bits without big values code the count1
// region's values of at most 1: both count as 0.5.
const std::array<float, 32> kValuePower = [] {
  std::array<double, 32> v{0, 1, 2, 2, 0, 3, 3, 5, 5, 5, 7, 7, 7, 15, 0, 15};
  constexpr int linbits[16] = {1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
  for (int t = 16; t < 32; ++t) v[size_t(t)] = 15.0 + 0.75 * double(1 << linbits[t - 16]);
  std::array<float, 32> power{};
  for (size_t t = 0; t < 32; ++t) power[t] = float(std::max(v[t], 0.5) * std::max(v[t], 0.5));
  return power;
}();

// The mean square of the gain's part of the level, for every global gain an estimate can meet
// (the gain less up to 8 * 7 of subblock gain).
constexpr int kLowestGain = -56;
const std::array<float, 256 - kLowestGain> kGainPower = [] {
  std::array<float, 256 - kLowestGain> t{};
  for (size_t i = 0; i < t.size(); ++i) {
    const double gain = double(int(i) + kLowestGain);
    t[i] = float(std::pow(10.0, (kGainDbPerStep * (gain - 210.0) + kOffsetDb) / 10.0));
  }
  return t;
}();

const float kShortBlockPower = float(std::pow(10.0, kShortBlockDb / 10.0));

float ChannelMeanSquare(const TGranuleChannel& g) {
  if (g.Part23Length == 0) return 0.0f;
  // The third table is 0 with window switching, which adds nothing.
  const float value =
      std::max({kValuePower[g.TableSelect[0] & 31u], kValuePower[g.TableSelect[1] & 31u],
                kValuePower[g.TableSelect[2] & 31u]});
  if (g.BlockType != 2) return kGainPower[size_t(g.GlobalGain - kLowestGain)] * value;
  const int loudest = std::min({g.SubblockGain[0], g.SubblockGain[1], g.SubblockGain[2]});
  const int gain = g.GlobalGain - 8 * loudest;
  return kGainPower[size_t(gain - kLowestGain)] * value * kShortBlockPower;
}

}  // namespace

float EstimateMeanSquare(const TLayer3SideInfo& side, int granule) {
  if (granule < 0 || granule >= side.Granules) return 0.0f;
  const TGranuleChannel* g = side.Granule[granule];
  return side.Channels == 2 ? 0.5f * (ChannelMeanSquare(g[0]) + ChannelMeanSquare(g[1]))
                            : ChannelMeanSquare(g[0]);
}

TLevelEstimator::TLevelEstimator(size_t expectedFrames) {
  Begin(int64_t(std::min<size_t>(expectedFrames, INT64_MAX)));
}

void TLevelEstimator::Begin(int64_t expectedFrames) {
  // Room is made at once for no more than a day of frames: a header frame's count may lie.
  constexpr size_t kMostReserved = 4'000'000;
  FExpectedFrames = std::min(size_t(std::max<int64_t>(expectedFrames, 0)), kMostReserved);
  FStride = std::max<size_t>(1, (FExpectedFrames + kJudgedFrames - 1) / kJudgedFrames);
  FUntilJudged = 0;
  FStarted = false;
  FSummary = TWaveSummary();
}

void TLevelEstimator::SetTimelineShift(int64_t shift) {
  FShift = shift;
  FSummary.SetFirstSample(kDecoderDelay - shift);
}

bool TLevelEstimator::AddFrame(const uint8_t* frame, size_t size) {
  // Layer III only; the walk has checked the rest of the header.
  if (size < 4 || frame[0] != 0xFF || ((frame[1] >> 1) & 3) != 1) return false;
  if (!FStarted) {
    const std::optional<MpegFrameHeader> header = DecodeFrameHeader(frame);
    if (!header) return false;
    // A block a granule of each judged frame, standing for that granule of the frames up to
    // the next judged one as well.
    FGranules = header->SamplesPerFrame / TWaveSummary::kBlockSamples;
    FSummary = TWaveSummary(header->SampleRate, int(FStride) * TWaveSummary::kBlockSamples);
    // A little room over: the count the open gives is that of the header frame or a guess.
    FSummary.Reserve((FExpectedFrames / FStride + 16) * size_t(FGranules));
    SetTimelineShift(FShift);
    FStarted = true;
  }
  if (FUntilJudged-- > 0) return true;
  FUntilJudged = FStride - 1;
  const std::optional<TLayer3SideInfo> side = TLayer3SideInfo::Parse(frame, size);
  for (int gr = 0; gr < FGranules; ++gr) {
    // A stream whose frames change from two granules to one repeats the one.
    const float meanSquare =
        side ? EstimateMeanSquare(*side, std::min(gr, side->Granules - 1)) : 0.0f;
    // A sine's extremes: the estimate knows no more of the shape.
    const float peak = std::min(1.0f, std::sqrt(2.0f * meanSquare));
    FSummary.Append(TWaveBlock{-peak, peak, meanSquare});
  }
  return true;
}

}  // namespace pelcato
