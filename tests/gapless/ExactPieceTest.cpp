// Pieces exact to the sample, checked the way a listener meets them: each piece and its whole
// source decoded by the same decoder (libmpg123, and the ffmpeg program), the piece against
// the source's decode of the range. Real files from lame (CBR, VBR -V 2, MPEG 2 mono without
// a LAME extension) and from ffmpeg's libmp3lame, cut and split by pelcato-cli at fixed
// pseudo-random ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "../cli/CliRun.h"
#include "../mp3/Mp3TestUtil.h"
#include "ExactCheck.h"
#include "SourceStream.h"
#include "mp3/Crc16.h"
#include "mp3/ExactPlan.h"

namespace pelcato::test {
namespace {

const char* const kSources[] = {"cbr128.mp3", "vbr-v2.mp3", "mpeg2-mono48.mp3", "ffmpeg-lame.mp3"};
constexpr TDecoder kDecoders[] = {TDecoder::Mpg123, TDecoder::Ffmpeg};

// The piece from startMs to endMs, with a tag: a short piece's header frame then counts it.
void Cut(const std::string& source, int64_t startMs, int64_t endMs, const std::string& piece) {
  const TRun r = RunCliWith({"cut", source, std::to_string(startMs), std::to_string(endMs), piece,
                             "--exact", "--title", "Exact", "--overwrite"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
}

// The pieces of a split with the options given, in their order.
std::vector<std::string> Split(const std::string& source, std::vector<std::string> options,
                               const TempDir& dir) {
  const std::string folder = dir / "parts";
  std::filesystem::remove_all(folder);
  options.insert(options.begin(), {"split", source, "--exact", "--out", folder});
  const TRun r = RunCliWith(options);
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> parts;
  for (const auto& e : std::filesystem::directory_iterator(folder)) parts.push_back(e.path());
  std::sort(parts.begin(), parts.end());
  return parts;
}

// A few ranges in milliseconds, always the same: one at the start, one at the end, and
// pseudo-random ones between, some shorter than a frame.
std::vector<std::pair<int64_t, int64_t>> Ranges(int64_t lengthMs, uint32_t seed) {
  std::vector<std::pair<int64_t, int64_t>> r = {{0, 300}, {lengthMs - 400, lengthMs}, {100, 160}};
  for (int i = 0; i < 5; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int64_t start = int64_t(seed >> 8) % (lengthMs - 50);
    seed = seed * 1664525u + 1013904223u;
    const int64_t span = i == 0 ? 7 : 20 + int64_t(seed >> 8) % (lengthMs - start - 20);
    r.emplace_back(start, start + span);
  }
  return r;
}

// The sample at ms on the source's timeline, which is its decode.
int64_t SampleOf(int64_t ms, const TPcm& whole) {
  return std::min<int64_t>(SampleAtMs(ms, int(whole.SampleRate)), whole.Frames());
}

// ffmpeg takes a LAME extension's encoder string only when its tag CRC is right.
bool FfmpegTakesTheTag(const std::string& path) {
  const std::string cmd =
      "ffprobe -v error -select_streams a:0 -show_entries stream_tags=encoder "
      "-of csv=p=0 '" +
      path + "'";
  FILE* p = popen(cmd.c_str(), "r");
  char line[64] = {};
  const bool got = p && fgets(line, sizeof line, p) != nullptr;
  if (p) pclose(p);
  return got && line[0] != '\n';
}

using TDecodes = std::map<TDecoder, TPcm>;

TDecodes DecodeWhole(const std::string& source) {
  TDecodes whole;
  for (TDecoder d : kDecoders) {
    whole[d] = Decode(d, source);
    EXPECT_TRUE(whole[d].Ok && whole[d].Frames() > 0) << DecoderName(d);
  }
  // Both decoders play the same timeline: the whole source decodes to as many samples.
  EXPECT_EQ(whole[TDecoder::Mpg123].Frames(), whole[TDecoder::Ffmpeg].Frames());
  return whole;
}

// Cuts each range of source and decodes the piece with each decoder: the samples of the
// range as the decoder plays the whole source (whole), over the piece and its first 50 ms.
void ExpectCutsPlayTheirRanges(const std::string& source, const TDecodes& whole,
                               const std::vector<std::pair<int64_t, int64_t>>& ranges,
                               const TempDir& dir) {
  const TPcm& ref = whole.at(TDecoder::Mpg123);
  const std::string name = source.substr(source.rfind('/') + 1);
  for (const auto& [startMs, endMs] : ranges) {
    SCOPED_TRACE(std::to_string(startMs) + ".." + std::to_string(endMs) + " ms");
    const std::string piece = dir / "piece.mp3";
    Cut(source, startMs, endMs, piece);
    EXPECT_TRUE(FfmpegTakesTheTag(piece));
    if (startMs == 0) {
      // What verify tells of a piece: nothing reaches outside it, and players trim it.
      const TRun v = RunCliWith({"verify", piece});
      EXPECT_NE(v.Out.find("  ReservoirFrames: 0\n"), std::string::npos) << v.Out;
      EXPECT_NE(v.Out.find("  Timeline: trimmed"), std::string::npos) << v.Out;
    }
    // ffmpeg takes the samples to skip at the start from the first packet and forgets the
    // rest at the first packet that has samples to drop at the end: a range inside one frame
    // of the decoded stream keeps the start of that frame.
    const int64_t spf = ref.SamplesPerFrame;
    const bool oneFrame =
        (SampleOf(startMs, ref) + ref.Shift) / spf == (SampleOf(endMs, ref) + ref.Shift - 1) / spf;
    for (const auto& [d, all] : whole) {
      if (oneFrame && d == TDecoder::Ffmpeg) continue;
      const TPcm got = Decode(d, piece);
      ASSERT_TRUE(got.Ok) << DecoderName(d);
      const TRangeCompare c = CompareRange(all, got, SampleOf(startMs, all), SampleOf(endMs, all));
      EXPECT_EQ(c.Got, c.Expected) << DecoderName(d);
      EXPECT_LE(c.MaxDiff, 1) << DecoderName(d);
      EXPECT_LE(c.MaxDiffHead, 1) << DecoderName(d);
      std::printf(
          "%-17s %-9s %5lld..%5lld ms: %6lld samples (want %6lld), max diff %d, "
          "first 50 ms %d\n",
          name.c_str(), DecoderName(d), (long long)startMs, (long long)endMs, (long long)c.Got,
          (long long)c.Expected, c.MaxDiff, c.MaxDiffHead);
    }
  }
}

// Splits source with --exact and the mode's options: the pieces decoded one after the other
// give each decoder's decode of the whole source. By size every piece as written keeps to it.
void ExpectSplitPlaysTheWhole(const std::string& source, const TDecodes& whole,
                              const std::vector<std::string>& mode, const TempDir& dir) {
  SCOPED_TRACE(mode[0]);
  const std::vector<std::string> parts = Split(source, mode, dir);
  ASSERT_GE(parts.size(), 2u);
  for (const std::string& part : parts) {
    if (mode[0] == "--size") {
      EXPECT_LE(std::filesystem::file_size(part), 6 * 1024u) << part;
    }
  }
  for (const auto& [d, all] : whole) {
    TPcm joined;
    for (const std::string& part : parts) {
      const TPcm pcm = Decode(d, part);
      ASSERT_TRUE(pcm.Ok);
      joined.Channels = pcm.Channels;
      joined.SampleRate = pcm.SampleRate;
      joined.Samples.insert(joined.Samples.end(), pcm.Samples.begin(), pcm.Samples.end());
    }
    const TRangeCompare c = CompareRange(all, joined, 0, all.Frames());
    EXPECT_EQ(c.Got, c.Expected) << DecoderName(d);
    EXPECT_LE(c.MaxDiff, 1) << DecoderName(d);
  }
}

class ExactPiece : public ::testing::TestWithParam<const char*> {};

TEST_P(ExactPiece, DecodesToTheSourcesSamplesOfTheRange) {
  TempDir dir;
  const std::string source = DataFile(GetParam());
  const TDecodes whole = DecodeWhole(source);
  const TPcm& ref = whole.at(TDecoder::Mpg123);
  uint32_t seed = 0;
  for (const char* c = GetParam(); *c; ++c) seed = seed * 31 + uint8_t(*c);
  ExpectCutsPlayTheirRanges(source, whole, Ranges(ref.Frames() * 1000 / ref.SampleRate, seed), dir);
}

TEST_P(ExactPiece, SplitPiecesPlayedInARowGiveTheWholeDecode) {
  TempDir dir;
  const std::string source = DataFile(GetParam());
  const TDecodes whole = DecodeWhole(source);
  for (const std::vector<std::string>& mode : {std::vector<std::string>{"--parts", "3"},
                                               {"--every", "0:00:01"},
                                               {"--size", "6K", "--title", "Exact"}}) {
    ExpectSplitPlaysTheWhole(source, whole, mode, dir);
  }
}

TEST(ExactPieceOfAFileTheWalkCannotFollow, IsWholeFramesWithAWarning) {
  // Layer II, and a Layer III stream with bytes between two frames of the range: the pieces
  // are what --vbr-header writes, and the command says why.
  TempDir dir;
  const std::optional<TSourceStream> s = ReadSourceStream(ReadFile(DataFile("cbr128.mp3")));
  ASSERT_TRUE(s);
  const auto middle = s->File.begin() + std::ptrdiff_t(s->Frames[40].Offset);
  const std::string junk = dir.Put(
      "junk.mp3",
      Cat(Cat(Bytes(s->File.begin(), middle), Bytes(100, 0x55)), Bytes(middle, s->File.end())));
  for (const std::string& source : {DataFile("layer2.mp3"), junk}) {
    SCOPED_TRACE(source);
    const TRun exact =
        RunCliWith({"cut", source, "200", "2000", dir / "exact.mp3", "--exact", "--overwrite"});
    EXPECT_EQ(exact.Status, 0);
    EXPECT_NE(exact.Err.find(": not exact to the sample: "), std::string::npos) << exact.Err;
    const TRun whole = RunCliWith({"cut", source, "200", "2000", dir / "whole.mp3", "--overwrite"});
    EXPECT_EQ(ReadFile(dir / "exact.mp3"), ReadFile(dir / "whole.mp3"));
  }
}

TEST(ExactPieceOfALyingSource, PlaysAsTheDecodersPlayIt) {
  // A file cut short: its header frame counts five frames more than it holds, with a delay and
  // padding of more than a frame each and a right CRC. Both decoders trim the delay and no
  // padding, and the pieces of a cut (which reads the file up to its range) and of a split
  // (which reads all of it) play that timeline.
  TempDir dir;
  std::optional<TSourceStream> s = ReadSourceStream(ReadFile(DataFile("cbr128.mp3")));
  ASSERT_TRUE(s && s->Header && s->Header->Lame);
  TXingFrame lie = *s->Header;
  lie.Frames += 5;
  lie.Lame->Delay = 3000;
  lie.Lame->Padding = 2000;
  const Bytes audio(s->File.begin() + std::ptrdiff_t(s->Frames[0].Offset), s->File.end());
  const std::string source = dir.Put("lying.mp3", Cat(lie.Render(), audio));
  const TDecodes whole = DecodeWhole(source);
  ExpectCutsPlayTheirRanges(source, whole, {{0, 40}, {900, 1300}, {2000, 99999}}, dir);
  ExpectSplitPlaysTheWhole(source, whole, {"--parts", "3"}, dir);
}

// Where the music CRC of an exact piece covers exactly the frames behind its header frame.
void ExpectMusicCrcOfItsFrames(const std::string& piece) {
  SCOPED_TRACE(piece);
  const std::optional<TSourceStream> p = ReadSourceStream(ReadFile(piece));
  ASSERT_TRUE(p && p->Header && p->Header->Lame);
  const TMainDataFrame& last = p->Frames.back();
  const size_t from = size_t(p->Frames[0].Offset);
  EXPECT_EQ(p->File.size(), size_t(last.Offset + last.Size));
  EXPECT_EQ(UpdateCrc16(0, &p->File[from], p->File.size() - from), p->Header->Lame->MusicCrc);
}

TEST(ExactPieceMusicCrc, CoversEveryFrameBehindTheHeaderFrameOfCutsAndSplitPieces) {
  // The audio frames of a real file eighty times over (3.2 MB, no header frame). A cut walks
  // without a frame index and sums behind its walk, a split has the index and sums ahead of
  // it; pieces of more than a megabyte are summed on a thread of their own.
  TempDir dir;
  const std::optional<TSourceStream> s = ReadSourceStream(ReadFile(DataFile("cbr128.mp3")));
  ASSERT_TRUE(s);
  const TMainDataFrame& end = s->Frames.back();
  const Bytes audio(s->File.begin() + std::ptrdiff_t(s->Frames[0].Offset),
                    s->File.begin() + std::ptrdiff_t(end.Offset + end.Size));
  Bytes longer;
  for (int i = 0; i < 80; ++i) longer = Cat(longer, audio);
  const std::string source = dir.Put("long.mp3", longer);
  for (const auto& [startMs, endMs] : {std::pair<int64_t, int64_t>{100, 300}, {0, 99999999}}) {
    const std::string piece = dir / ("piece" + std::to_string(startMs) + ".mp3");
    const TRun r = RunCliWith({"cut", source, std::to_string(startMs), std::to_string(endMs), piece,
                               "--exact", "--no-tag"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ExpectMusicCrcOfItsFrames(piece);
  }
  for (const char* parts : {"2", "5"}) {
    const std::vector<std::string> pieces = Split(source, {"--parts", parts, "--no-tag"}, dir);
    ASSERT_EQ(pieces.size(), size_t(std::stoi(parts)));
    for (const std::string& piece : pieces) ExpectMusicCrcOfItsFrames(piece);
  }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, ExactPiece, ::testing::ValuesIn(kSources),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace pelcato::test
