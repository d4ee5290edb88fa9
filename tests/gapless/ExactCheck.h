// The independent check of pieces exact to the sample: decode the piece and the whole source
// with the same decoder (libmpg123 with its default gapless trimming, or the ffmpeg program)
// and compare the piece with the source's decode of the range.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelcato::test {

struct TPcm {
  int Channels = 0;
  long SampleRate = 0;
  std::vector<int16_t> Samples;  // interleaved
  bool Ok = false;
  // libmpg123 only: samples per frame, and where its output starts in the decoded stream (the
  // source's delay plus the decoder's own, or 0 when it trims nothing).
  int SamplesPerFrame = 0;
  int64_t Shift = 0;
  int64_t Frames() const { return Channels ? int64_t(Samples.size()) / Channels : 0; }
};

enum class TDecoder { Mpg123, Ffmpeg };
const char* DecoderName(TDecoder d);

// untrimmed: libmpg123 without gapless trimming, the whole decoded stream.
TPcm Decode(TDecoder decoder, const std::string& path, bool untrimmed = false);

struct TRangeCompare {
  int64_t Expected = 0;  // samples per channel the range has
  int64_t Got = 0;       // samples per channel the piece decoded to
  int MaxDiff = -1;      // largest difference over the piece, -1 when nothing to compare
  int MaxDiffHead = -1;  // the same over its first 50 ms
};

// whole: the source's decode; piece: the piece's. [first, end) in samples per channel.
TRangeCompare CompareRange(const TPcm& whole, const TPcm& piece, int64_t first, int64_t end);

}  // namespace pelcato::test
