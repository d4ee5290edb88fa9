#include "wave/LevelEstimate.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "mp3/MpegFrameHeader.h"

namespace pelcato {
namespace {

constexpr double kGainDbPerStep = 1.05;
constexpr double kOffsetDb = -15.5;
constexpr double kShortBlockDb = -7.5;

// The largest quantized value a region coded with each Huffman table can hold. Tables 16 to 31
// add linbits to 15; an encoder takes one with just enough of them, so the largest value lies
// in the upper half of what the table holds: taken as 15 + 3/4 of 2^linbits. Tables 4 and 14
// do not exist.
constexpr std::array<double, 32> kTableValue = [] {
  std::array<double, 32> v{0, 1, 2, 2, 0, 3, 3, 5, 5, 5, 7, 7, 7, 15, 0, 15};
  constexpr int linbits[16] = {1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
  for (int t = 16; t < 32; ++t) v[size_t(t)] = 15.0 + 0.75 * double(1 << linbits[t - 16]);
  return v;
}();

// The mean square of a level in dB, for every global gain an estimate can meet (the gain less
// up to 8 * 7 of subblock gain).
constexpr int kLowestGain = -56;
const std::array<double, 256 - kLowestGain>& GainPower() {
  static const auto table = [] {
    std::array<double, 256 - kLowestGain> t{};
    for (size_t i = 0; i < t.size(); ++i) {
      t[i] = std::pow(10.0, (kGainDbPerStep * (double(i) + kLowestGain - 210.0) + kOffsetDb) / 10);
    }
    return t;
  }();
  return table;
}

double ChannelMeanSquare(const TGranuleChannel& g) {
  if (g.Part23Length == 0) return 0.0;
  static const double shortBlocks = std::pow(10.0, kShortBlockDb / 10.0);
  int gain = g.GlobalGain;
  const int regions = g.BlockType == 0 ? 3 : 2;
  if (g.BlockType == 2) {
    gain -= 8 * std::min({g.SubblockGain[0], g.SubblockGain[1], g.SubblockGain[2]});
  }
  double value = 0.0;
  for (int r = 0; r < regions; ++r) value = std::max(value, kTableValue[size_t(g.TableSelect[r])]);
  // Bits without big values code the count1 region's values of at most 1.
  value = std::max(value, 0.5);
  const double power = GainPower()[size_t(gain - kLowestGain)] * value * value;
  return g.BlockType == 2 ? power * shortBlocks : power;
}

}  // namespace

double EstimateMeanSquare(const TLayer3SideInfo& side, int granule) {
  if (granule < 0 || granule >= side.Granules || side.Channels <= 0) return 0.0;
  double sum = 0.0;
  for (int ch = 0; ch < side.Channels; ++ch) sum += ChannelMeanSquare(side.Granule[granule][ch]);
  return sum / double(side.Channels);
}

bool TLevelEstimator::AddFrame(const uint8_t* frame, size_t size) {
  if (size < 4) return false;
  const std::optional<MpegFrameHeader> header = DecodeFrameHeader(frame);
  if (!header || header->Layer != 3) return false;
  if (!FStarted) {
    FSummary = TWaveSummary(header->SampleRate);
    // The decoder's delay: the first granule sounds about a granule late.
    const TWaveBlock quiet;
    FSummary.Append(&quiet, 1);
    FStarted = true;
  }
  TWaveBlock blocks[2];
  const int granules = header->SamplesPerFrame / TWaveSummary::kBlockSamples;
  const std::optional<TLayer3SideInfo> side = TLayer3SideInfo::Parse(frame, size);
  for (int gr = 0; side && gr < granules; ++gr) {
    const double meanSquare = EstimateMeanSquare(*side, gr);
    // A sine's extremes: the estimate knows no more of the shape.
    const float peak = float(std::min(1.0, std::sqrt(2.0 * meanSquare)));
    blocks[gr] = {-peak, peak, float(meanSquare)};
  }
  FSummary.Append(blocks, size_t(std::clamp(granules, 0, 2)));
  return true;
}

}  // namespace pelcato
