#include "mp3/MpegFrameHeader.h"

#include <cstring>

namespace pelcato {
namespace {

// kbit/s by [row: 0 = MPEG 1, 1 = MPEG 2 and 2.5][layer 1..3 - 1][bit-rate index 1..14 - 1].
constexpr int kBitrates[2][3][14] = {
    {{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

// Hz by [row: 0 = MPEG 1, 1 = MPEG 2, 2 = MPEG 2.5][sample-rate index 0..2].
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

// Samples per frame by [row: 0 = MPEG 1, 1 = MPEG 2 and 2.5][layer 1..3 - 1].
constexpr int kSamplesPerFrame[2][3] = {
    {384, 1152, 1152},
    {384, 1152, 576},
};

// Version by version code; the reserved code 1 reads 0.0.
constexpr double kVersions[4] = {2.5, 0.0, 2.0, 1.0};

}  // namespace

std::optional<MpegFrameHeader> DecodeFrameHeader(const uint8_t* b) {
  if (b[0] != 0xFF) return std::nullopt;
  const int versionCode = (b[1] >> 3) & 3;
  const int layerCode = (b[1] >> 1) & 3;
  const int bitrateIndex = b[2] >> 4;
  const int sampleRateIndex = (b[2] >> 2) & 3;
  if (versionCode == 1 || layerCode == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
      sampleRateIndex == 3) {
    return std::nullopt;
  }

  MpegFrameHeader h;
  h.Version = kVersions[versionCode];
  h.Layer = 4 - layerCode;
  // MPEG 2.5 takes the MPEG 2 bit rates and frame sizes with sample rates of its own.
  const int row = static_cast<int>(h.Version) - 1;
  const int rateRow = static_cast<int>(h.Version + 0.5) - 1;
  h.Bitrate = kBitrates[row][h.Layer - 1][bitrateIndex - 1];
  h.SampleRate = kSampleRates[rateRow][sampleRateIndex];
  h.Padding = (b[2] >> 1) & 1;
  h.ChannelMode = b[3] >> 6;
  h.Mono = h.ChannelMode == 3;
  h.SamplesPerFrame = kSamplesPerFrame[row][h.Layer - 1];
  // Left to right in extended precision, truncated; the padding adds one byte in every layer.
  const long double size =
      static_cast<long double>(h.SamplesPerFrame) / 8 * h.Bitrate * 1000 / h.SampleRate;
  h.FrameSize = static_cast<int>(size) + h.Padding;
  h.FrameMs = static_cast<double>(h.SamplesPerFrame) * 1000 / h.SampleRate;
  return h;
}

const char* HeaderTagName(THeaderTag tag) {
  switch (tag) {
    case THeaderTag::Xing:
      return "Xing";
    case THeaderTag::Info:
      return "Info";
    case THeaderTag::Vbri:
      return "VBRI";
    case THeaderTag::None:
      break;
  }
  return "none";
}

}  // namespace pelcato
