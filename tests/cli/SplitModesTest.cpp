// The split by cue sheet, at silences and by size, run in-process on files made by lame and
// sox, and checked against frames counted here from the bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliRun.h"
#include "cli/Cli.h"
#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "io/WriteFaults.h"
#include "split/SilenceSplit.h"
#include "split/SizeSplit.h"
#include "split/SplitPlan.h"

namespace pelcato {
namespace {

namespace fs = std::filesystem;

std::string DataFile(const std::string& name) {
  return std::string(PELCATO_TEST_DATA) + "/" + name;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The MPEG 1 Layer III frames of a file without ID3v2 tag, found from its start by their
// headers alone: offset and size of each.
struct TFrame {
  size_t Pos;
  size_t Size;
};
std::vector<TFrame> Mpeg1Layer3Frames(const std::string& bytes) {
  static const int kKbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                112, 128, 160, 192, 224, 256, 320, 0};
  static const int kHz[4] = {44100, 48000, 32000, 0};
  std::vector<TFrame> frames;
  size_t pos = 0;
  while (pos + 4 <= bytes.size()) {
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + pos);
    if (b[0] != 0xFF || (b[1] & 0xFE) != 0xFA || !kKbps[b[2] >> 4] || !kHz[(b[2] >> 2) & 3]) {
      break;  // the ID3v1 tag, or the end
    }
    const size_t size =
        size_t(144000 * kKbps[b[2] >> 4] / kHz[(b[2] >> 2) & 3] + ((b[2] >> 1) & 1));
    if (pos + size > bytes.size()) break;
    frames.push_back({pos, size});
    pos += size;
  }
  return frames;
}

using test::RunCliWith;
using test::TRun;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SplitModesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "en_US.UTF-8", 1);  // tag texts in windows-1252
    dir_ = fs::temp_directory_path() / ("pelcato-split-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    out_ = (dir_ / "out").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string WriteSheet(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  size_t OutCount() const {
    return size_t(std::distance(fs::directory_iterator(out_), fs::directory_iterator()));
  }

  fs::path dir_;
  std::string out_;
};

// Lame's 2.5 s at 128 kbit/s, an "Info" frame first, which no cut copies and which takes no
// time. Audio frame k, the frame behind k others and the "Info" frame, starts at
// k * 1152 / 44100 s; a piece starts at the first frame at or after its start and takes frames
// until their time reaches its length; the last takes the rest.
TEST_F(SplitModesTest, CueTracksAreTheFramesOfTheirIndexRanges) {
  const std::string source = DataFile("cbr128.mp3");
  const std::string bytes = ReadAll(source);
  const std::vector<TFrame> frames = Mpeg1Layer3Frames(bytes);
  ASSERT_GT(frames.size(), 90u);
  const std::string sheet = WriteSheet("album.cue",
                                       "REM GENRE \"Jazz\"\n"
                                       "REM DATE 1987\n"
                                       "PERFORMER \"The Band\"\n"
                                       "TITLE \"The Album\"\n"
                                       "FILE \"cbr128.mp3\" MP3\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    TITLE \"First\"\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    TITLE \"Second: a/b\"\n"
                                       "    PERFORMER \"Guest\"\n"
                                       "    INDEX 00 00:00:50\n"
                                       "    INDEX 01 00:00:60\n"
                                       "  TRACK 03 AUDIO\n"
                                       "    TITLE \"Third\"\n"
                                       "    INDEX 01 00:01:40\n");
  const TRun r = RunCliWith({"split", source, "--cue", sheet, "--out", out_});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<std::string> names = {"01 - First.mp3", "02 - Second_ a_b.mp3",
                                          "03 - Third.mp3"};
  ASSERT_EQ(Lines(r.Out).size(), 3u) << r.Out;

  // INDEX 01 at 0, 60 and 115 CD frames: 0 ms, 800 ms and 1533.3 ms (rounded up to 1534).
  const double frameMs = 1152 * 1000.0 / 44100;
  const double starts[] = {0.0, 800.0, 1534.0};
  const double trackEnds[] = {800.0, 1534.0, 1e9};
  for (size_t t = 0; t < 3; ++t) {
    const size_t first = 1 + size_t(std::ceil(starts[t] / frameMs));
    size_t count = 0;
    while (first + count < frames.size() && count * frameMs < trackEnds[t] - starts[t]) ++count;
    const size_t from = frames[first].Pos;
    const size_t to = frames[first + count - 1].Pos + frames[first + count - 1].Size;
    const std::string piece = ReadAll(out_ + "/" + names[t]);
    ASSERT_EQ(piece.size(), to - from + 128) << names[t];
    EXPECT_EQ(piece.substr(0, to - from), bytes.substr(from, to - from)) << names[t];
    const std::string tag = piece.substr(piece.size() - 128);
    EXPECT_EQ(tag.substr(0, 3), "TAG");
    EXPECT_EQ(uint8_t(tag[126]), t + 1) << "track number";
    EXPECT_EQ(uint8_t(tag[127]), 8) << "Jazz";
    EXPECT_EQ(tag.substr(93, 4), "1987");
    EXPECT_EQ(tag.substr(63, 9), std::string("The Album"));
    EXPECT_EQ(tag.substr(33, t == 1 ? 5 : 8), t == 1 ? "Guest" : "The Band");
  }
  EXPECT_EQ(ReadAll(out_ + "/" + names[1]).substr(ReadAll(out_ + "/" + names[1]).size() - 125, 11),
            "Second: a/b");

  // The names exist now: no piece replaces one, and each failure is told.
  const TRun again = RunCliWith({"split", source, "--cue", sheet, "--out", out_, "--title", "X"});
  EXPECT_EQ(again.Status, 1);
  EXPECT_EQ(again.Out, "");
  EXPECT_NE(again.Err.find("03 - Third.mp3: the file exists"), std::string::npos) << again.Err;
  EXPECT_EQ(ReadAll(out_ + "/" + names[2]).substr(ReadAll(out_ + "/" + names[2]).size() - 125, 5),
            std::string("Third"));

  // One name taken: the other two are written, the status says not all were.
  fs::remove(out_ + "/" + names[0]);
  fs::remove(out_ + "/" + names[2]);
  const TRun partly = RunCliWith({"split", source, "--cue", sheet, "--out", out_, "--no-tag"});
  EXPECT_EQ(partly.Status, 1);
  EXPECT_EQ(Lines(partly.Out).size(), 2u);
  EXPECT_TRUE(fs::exists(out_ + "/" + names[2]));
}

TEST_F(SplitModesTest, CueTitlesInUtf8OrTheTagCodePageGiveTheSameNamesAndTags) {
  const std::string source = DataFile("cbr128.mp3");
  auto sheetText = [](const std::string& title) {
    return "TITLE \"Alb\xC3\xBCm\"\nFILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
           "  TRACK 02 AUDIO\n    TITLE \"" +
           title + "\"\n    INDEX 01 00:01:00\n";
  };
  // "Café Crème" in UTF-8 with a byte order mark, and in windows-1252.
  const std::string utf8 =
      WriteSheet("u.cue", "\xEF\xBB\xBF" + sheetText("Caf\xC3\xA9 Cr\xC3\xA8me"));
  std::string latin = sheetText("Caf\xE9 Cr\xE8me");
  latin.replace(latin.find("Alb\xC3\xBCm"), 6, "Alb\xFCm");
  const std::string cp1252 = WriteSheet("w.cue", latin);
  std::string tags[2];
  int i = 0;
  for (const std::string& sheet : {utf8, cp1252}) {
    const std::string out = (dir_ / ("o" + std::to_string(i))).string();
    fs::create_directory(out);
    const TRun r = RunCliWith({"split", source, "--cue", sheet, "--out", out, "--comment", "c"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string piece = out + "/02 - Caf\xC3\xA9 Cr\xC3\xA8me.mp3";
    ASSERT_TRUE(fs::exists(piece)) << r.Out;
    EXPECT_TRUE(fs::exists(out + "/01 - Track 01.mp3")) << r.Out;
    const std::string all = ReadAll(piece);
    tags[i++] = all.substr(all.size() - 128);
  }
  EXPECT_EQ(tags[0], tags[1]);
  EXPECT_EQ(tags[0].substr(3, 11), std::string("Caf\xE9 Cr\xE8me\0", 11));
  EXPECT_EQ(tags[0].substr(63, 6), std::string("Alb\xFCm\0", 6));
  EXPECT_EQ(tags[0].substr(97, 2), std::string("c\0", 2));  // the option overrides a field
}

TEST_F(SplitModesTest, BrokenSheetsFailWithAReasonAndWriteNothing) {
  const std::string source = DataFile("cbr128.mp3");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"hello world\n", "does not parse"},
      {"", "does not parse"},
      {"FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  GARBAGE x\n",
       "does not parse"},
      {"TITLE \"only\"\nFILE \"a.mp3\" MP3\n", "does not parse"},  // libcue wants a track
      {"FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE \"x\"\n", "has no INDEX 01"},
      {"FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
       "    INDEX 01 00:03:00\n",
       "at or after the end of the file"},
      {"FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:01:00\n  TRACK 02 AUDIO\n"
       "    INDEX 01 00:00:10\n",
       "does not start after track 1"},
      {"FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"b.mp3\" MP3\n"
       "  TRACK 02 AUDIO\n    INDEX 01 00:00:10\n",
       "more than one file"},
  };
  for (const auto& [text, reason] : cases) {
    const std::string sheet = WriteSheet("bad.cue", text);
    const TRun r = RunCliWith({"split", source, "--cue", sheet, "--out", out_});
    EXPECT_EQ(r.Status, 1) << text;
    EXPECT_NE(r.Err.find(sheet + ": "), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find(reason), std::string::npos) << text << " -> " << r.Err;
    EXPECT_EQ(OutCount(), 0u) << text;
  }
  EXPECT_EQ(
      RunCliWith({"split", source, "--cue", (dir_ / "none.cue").string(), "--out", out_}).Status,
      1);
  EXPECT_EQ(RunCliWith({"split", source, "--cue", out_, "--out", out_}).Status, 1);
  std::string huge = "FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  while (huge.size() <= (1 << 20)) huge += "REM COMMENT \"padding\"\n";
  const TRun r =
      RunCliWith({"split", source, "--cue", WriteSheet("huge.cue", huge), "--out", out_});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("too large"), std::string::npos) << r.Err;
  EXPECT_EQ(OutCount(), 0u);
}

// pauses.mp3 and pauses-vbr.mp3: tones at 0.0-0.6, 1.4-2.0 and 3.2-3.8 s of the sound lame was
// given. In the decoded stream everything comes 1105 samples later (lame's 576 and the
// decoder's 529). The CBR file's 32 kbit/s frames leave no room for an "Info" frame; the VBR
// file starts with a "Xing" frame, which no cut copies and which takes no time. So in both,
// audio frame k starts at k * 1152 samples.
TEST_F(SplitModesTest, SilenceCutsFallInTheMiddleOfThePauses) {
  for (const auto& [name, headerFrames] :
       std::vector<std::pair<std::string, size_t>>{{"pauses.mp3", 0}, {"pauses-vbr.mp3", 1}}) {
    SCOPED_TRACE(name);
    fs::remove_all(out_);
    fs::create_directory(out_);
    const std::string source = DataFile(name);
    const TRun dry = RunCliWith({"split", source, "--silence", "--min-pause", "0.5", "--dry-run"});
    ASSERT_EQ(dry.Status, 0) << dry.Err;
    std::vector<int64_t> cuts;
    for (const std::string& line : Lines(dry.Out)) {
      const size_t at = line.find(" cut ");
      if (at == std::string::npos) continue;
      const std::string t = line.substr(at + 5);  // 000:00:01.018
      cuts.push_back(std::stoll(t.substr(4, 2)) * 60000 + std::stoll(t.substr(7, 2)) * 1000 +
                     std::stoll(t.substr(10, 3)));
    }
    ASSERT_EQ(cuts.size(), 2u) << dry.Out;
    EXPECT_NE(dry.Out.find("Pieces: 3"), std::string::npos);
    EXPECT_EQ(OutCount(), 0u);

    const double frameMs = 1152 * 1000.0 / 44100;
    const double delayMs = 1105 * 1000.0 / 44100;
    const double pauses[2][2] = {{600, 1400}, {2000, 3200}};
    // The audio frame each piece starts with: a cut starts at the first frame at or after it.
    std::vector<size_t> firstFrame = {0};
    for (size_t i = 0; i < 2; ++i) {
      const size_t k = size_t(std::ceil(double(cuts[i]) / frameMs));
      firstFrame.push_back(k);
      const double at = double(k) * frameMs - delayMs;  // in the sound lame was given
      EXPECT_GT(at, pauses[i][0]);
      EXPECT_LT(at, pauses[i][1]);
      EXPECT_LE(std::abs(at - (pauses[i][0] + pauses[i][1]) / 2), frameMs) << at;
    }

    const TRun r = RunCliWith({"split", source, "--silence", "--min-pause", "0.5", "--out", out_,
                               "--no-tag", "--no-vbr-header"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<std::string> pieces = Lines(r.Out);
    ASSERT_EQ(pieces.size(), 3u);
    const std::string bytes = ReadAll(source);
    const std::vector<TFrame> frames = Mpeg1Layer3Frames(bytes);
    // Each piece is the source from the frame of its cut on; together they hold every audio
    // frame, one at most twice where two pieces meet.
    size_t lastEnd = frames[headerFrames].Pos;
    for (size_t p = 0; p < 3; ++p) {
      const std::string piece = ReadAll(pieces[p]);
      const TFrame& first = frames[firstFrame[p] + headerFrames];
      ASSERT_LE(first.Pos + piece.size(), bytes.size());
      EXPECT_EQ(piece, bytes.substr(first.Pos, piece.size())) << p;
      EXPECT_LE(first.Pos, lastEnd) << "no frame left out";
      EXPECT_GE(first.Pos + first.Size, lastEnd) << "at most one frame twice";
      lastEnd = first.Pos + piece.size();
    }
    EXPECT_EQ(lastEnd, frames.back().Pos + frames.back().Size);
  }
}

// --verify and the VBR header reach the modes that write through the one-walk split; the size
// split keeps to its size with the header, and every mode makes a missing output folder.
TEST_F(SplitModesTest, VerifyAndVbrHeaderReachTheSplitModes) {
  const std::string deeper = out_ + "/new/deeper";
  const TRun silence = RunCliWith({"split", DataFile("pauses-vbr.mp3"), "--silence", "--min-pause",
                                   "0.5", "--verify", "--no-tag", "--out", deeper});
  ASSERT_EQ(silence.Status, 0) << silence.Err;
  std::vector<std::string> pieces;
  size_t clean = 0;
  for (const std::string& line : Lines(silence.Out)) {
    if (line.rfind(deeper, 0) == 0 &&
        std::find(pieces.begin(), pieces.end(), line) == pieces.end()) {
      pieces.push_back(line);
    }
    if (line == "  DecodeErrors: 0") ++clean;
  }
  ASSERT_EQ(pieces.size(), 3u) << silence.Out;
  EXPECT_EQ(clean, 3u) << silence.Out;
  size_t withHeader = 0;
  for (const std::string& piece : pieces) {
    if (ReadAll(piece).substr(0, 64).find("Xing") != std::string::npos) ++withHeader;
  }
  EXPECT_GT(withHeader, 0u) << "a VBR piece starts with a header frame of its own";

  // Pieces as full as the header frame lets them be: the next frame would not have fitted.
  const std::string sized = out_ + "/sized";
  const TRun size = RunCliWith(
      {"split", DataFile("vbr.mp3"), "--size", "8K", "--verify", "--no-tag", "--out", sized});
  ASSERT_EQ(size.Status, 0) << size.Err;
  const std::string source = ReadAll(DataFile("vbr.mp3"));
  const std::vector<TFrame> frames = Mpeg1Layer3Frames(source);
  std::vector<std::string> sizedPieces;
  for (const std::string& line : Lines(size.Out)) {
    // Each path, and again above its check.
    if (line.rfind(sized, 0) == 0 &&
        std::find(sizedPieces.begin(), sizedPieces.end(), line) == sizedPieces.end()) {
      sizedPieces.push_back(line);
    }
  }
  ASSERT_GT(sizedPieces.size(), 2u);
  size_t at = 1;  // behind the source's "Xing" frame
  for (size_t i = 0; i < sizedPieces.size(); ++i) {
    ASSERT_LT(at, frames.size());
    const std::string piece = ReadAll(sizedPieces[i]);
    EXPECT_LE(piece.size(), 8192u);
    ASSERT_EQ(piece.substr(36, 4), "Xing") << i;
    const size_t header = 156;  // a frame of 48 kbit/s holds the fields
    size_t end = at;
    while (end < frames.size() && frames[end].Pos < frames[at].Pos + piece.size() - header) ++end;
    const size_t to =
        end < frames.size() ? frames[end].Pos : frames.back().Pos + frames.back().Size;
    EXPECT_EQ(piece.substr(header), source.substr(frames[at].Pos, to - frames[at].Pos)) << i;
    if (i + 1 < sizedPieces.size()) {
      EXPECT_GT(piece.size() + frames[end].Size, 8192u) << i;
    }
    at = end;
  }
  EXPECT_EQ(at, frames.size());
  EXPECT_NE(size.Out.find("DecodeErrors: 0"), std::string::npos) << size.Out;
}

TEST_F(SplitModesTest, SilenceWithoutPausesGivesOnePiece) {
  // Tone and then noise, nothing quiet for a third of a second.
  const std::string source = DataFile("cbr128.mp3");
  const TRun r = RunCliWith({"split", source, "--silence", "--min-pause", "0.3", "--out", out_});
  ASSERT_EQ(r.Status, 0) << r.Err;
  ASSERT_EQ(Lines(r.Out).size(), 1u) << r.Out;
  const std::vector<TFrame> frames = Mpeg1Layer3Frames(ReadAll(source));
  // Every frame but the "Info" frame.
  EXPECT_EQ(fs::file_size(Lines(r.Out)[0]), frames.back().Pos + frames.back().Size - frames[1].Pos);
}

TEST_F(SplitModesTest, SizePiecesStayWithinTheLimitAndHoldEveryFrameOnce) {
  const std::string source = DataFile("cbr128.mp3");
  const std::string bytes = ReadAll(source);
  const std::vector<TFrame> frames = Mpeg1Layer3Frames(bytes);
  // Every frame once, but the "Info" frame.
  const std::string audio =
      bytes.substr(frames[1].Pos, frames.back().Pos + frames.back().Size - frames[1].Pos);
  for (const auto& [size, limit] :
       std::vector<std::pair<std::string, size_t>>{{"1k", 1024}, {"4000", 4000}, {"1M", 1 << 20}}) {
    fs::remove_all(out_);
    fs::create_directory(out_);
    const TRun r = RunCliWith({"split", source, "--size", size, "--out", out_, "--title", "T"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::string joined;
    size_t count = 0;
    for (const std::string& name : Lines(r.Out)) {
      const std::string piece = ReadAll(name);
      EXPECT_LE(piece.size(), limit) << name;
      ASSERT_GE(piece.size(), 128u);
      EXPECT_EQ(piece.substr(piece.size() - 128, 3), "TAG");
      joined += piece.substr(0, piece.size() - 128);
      ++count;
    }
    EXPECT_EQ(joined, audio) << size;
    // Greedy pieces: one more frame would not have fitted into any but the last.
    if (limit == 1024) {
      EXPECT_EQ(count, frames.size() / 2);
    }
    if (limit == 1 << 20) {
      EXPECT_EQ(count, 1u);
    }
  }
  // Without a tag a piece may use all of the limit: 418 bytes hold one frame.
  fs::remove_all(out_);
  fs::create_directory(out_);
  TRun r = RunCliWith({"split", source, "--size", "418", "--out", out_, "--no-tag"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Lines(r.Out).size(), frames.size() - 1);

  // A piece that cannot be written leaves no file and does not stop the others.
  fs::remove_all(out_);
  fs::create_directory(out_);
  r = RunCliWith({"split", source, "--size", "8K", "--out", out_, "--no-tag"});
  ASSERT_EQ(r.Status, 0);
  const size_t whole = OutCount();
  ASSERT_GT(whole, 2u);
  fs::remove_all(out_);
  fs::create_directory(out_);
  int writes = 0;
  SetWriteFaultHook([&] { return ++writes != 1; });
  r = RunCliWith({"split", source, "--size", "8K", "--out", out_, "--no-tag"});
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Lines(r.Out).size(), whole - 1);
  EXPECT_EQ(OutCount(), whole - 1) << "no partial file";
  EXPECT_NE(r.Err.find("-0001.mp3: Cannot save Mp3 file\n"), std::string::npos) << r.Err;

  // Smaller than a frame and the tag: a usage error, nothing written.
  fs::remove_all(out_);
  fs::create_directory(out_);
  r = RunCliWith({"split", source, "--size", "545", "--out", out_, "--title", "T"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("smaller than the largest frame (418 bytes) plus the tag"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(OutCount(), 0u);
}

// A size too small for an exact piece of this file: one line that names the smallest size
// possible, with which the file then splits, when one byte less does not.
TEST_F(SplitModesTest, ASizeTooSmallForAnExactPieceNamesTheSmallestPossible) {
  const std::string source = DataFile("cbr128.mp3");
  const auto split = [&](const std::string& size) {
    fs::remove_all(out_);
    fs::create_directory(out_);
    return RunCliWith({"split", source, "--size", size, "--exact", "--out", out_, "--no-tag"});
  };
  const TRun tooSmall = split("1K");
  EXPECT_EQ(tooSmall.Status, 2);
  EXPECT_EQ(OutCount(), 0u);
  ASSERT_EQ(Lines(tooSmall.Err).size(), 1u) << tooSmall.Err;
  const std::string said = tooSmall.Err;
  const size_t at = said.find("the smallest size possible is ");
  ASSERT_NE(at, std::string::npos) << said;
  const int64_t smallest = std::atoll(said.c_str() + at + 30);
  ASSERT_GT(smallest, 1024);
  const TRun fits = split(std::to_string(smallest));
  ASSERT_EQ(fits.Status, 0) << fits.Err;
  for (const std::string& piece : Lines(fits.Out)) {
    EXPECT_LE(fs::file_size(piece), uint64_t(smallest)) << piece;
  }
  const TRun less = split(std::to_string(smallest - 1));
  EXPECT_EQ(less.Status, 2);
  EXPECT_NE(less.Err.find("possible is " + std::to_string(smallest) + " bytes\n"),
            std::string::npos)
      << less.Err;
}

TEST(SplitModesCore, ByteSizesCountInPowersOf1024) {
  int64_t n = 0;
  ASSERT_TRUE(ParseByteSize("1K", n));
  EXPECT_EQ(n, 1024);
  ASSERT_TRUE(ParseByteSize("3m", n));
  EXPECT_EQ(n, 3 * 1024 * 1024);
  ASSERT_TRUE(ParseByteSize("2G", n));
  EXPECT_EQ(n, int64_t(2) << 30);
  ASSERT_TRUE(ParseByteSize("650", n));
  EXPECT_EQ(n, 650);
  for (const char* bad :
       {"", "0", "K", "1.5M", "-1", "10KB", "1T", "9999999999999999999", "5000000000G"}) {
    EXPECT_FALSE(ParseByteSize(bad, n)) << bad;
  }
}

TEST(SplitModesCore, ShortPiecesAtTheEdgesJoinTheirNeighbours) {
  auto cut = [](int64_t ms, bool edge = false) {
    TPause p;
    p.CutMs = ms;
    p.AtEdge = edge;
    return p;
  };
  std::vector<int64_t> starts, ends;
  // A pause at the start is not cut; a first piece of 1.5 s joins the next; the last piece of
  // 1 s joins the one before.
  BuildSilenceRanges({cut(500, true), cut(1500), cut(10000), cut(29000)}, 30000, 2000, starts,
                     ends);
  EXPECT_EQ(starts, (std::vector<int64_t>{0, 10000}));
  EXPECT_EQ(ends, (std::vector<int64_t>{10000, kToTheEnd}));
  // Nothing to cut: one piece of the whole length.
  BuildSilenceRanges({}, 30000, 2000, starts, ends);
  EXPECT_EQ(starts, (std::vector<int64_t>{0}));
  EXPECT_EQ(ends, (std::vector<int64_t>{kToTheEnd}));
}

}  // namespace
}  // namespace pelcato
