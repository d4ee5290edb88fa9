// VBR header frames written on request, and the decode check of written files.
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "Mp3TestUtil.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/SideInfo.h"
#include "mp3/StreamCheck.h"
#include "mp3/XingFrame.h"

namespace pelcato::test {
namespace {

// Start positions of the frames in a file that holds nothing but frames.
std::vector<size_t> FrameStarts(const Bytes& b) {
  std::vector<size_t> at;
  for (size_t p = 0; p + 4 <= b.size();) {
    const std::optional<MpegFrameHeader> h = DecodeFrameHeader(&b[p]);
    if (!h) break;
    at.push_back(p);
    p += size_t(h->FrameSize);
  }
  return at;
}

// What players take for the length, in samples: libmpg123 without a scan (the header frame's
// count, or a guess from the first frame), and ffprobe when it is installed (else nullopt).
int64_t Mpg123Length(const std::string& path) {
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  EXPECT_EQ(mpg123_open(h, path.c_str()), MPG123_OK);
  const int64_t length = mpg123_length(h);
  mpg123_delete(h);
  return length;
}

std::optional<double> FfprobeSeconds(const std::string& path) {
  const std::string cmd =
      "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return std::nullopt;
  char line[64] = {};
  const bool got = fgets(line, sizeof line, p) != nullptr;
  if (pclose(p) != 0 || !got) return std::nullopt;
  return std::atof(line);
}

struct TPieces {
  Bytes Plain;   // the default piece
  Bytes Headed;  // the piece with VbrHeader on
};

TPieces CutBoth(const TempDir& dir, const std::string& source, int64_t from, int64_t to) {
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(source);
  int64_t bytes = 0, ms = 0;
  EXPECT_TRUE(mp3.SaveSegment(from, to, dir / "plain.mp3", {}, bytes, ms));
  mp3.VbrHeader = true;
  EXPECT_TRUE(mp3.SaveSegment(from, to, dir / "headed.mp3", {}, bytes, ms));
  EXPECT_EQ(bytes, int64_t(ReadFile(dir / "headed.mp3").size()));
  return {ReadFile(dir / "plain.mp3"), ReadFile(dir / "headed.mp3")};
}

// A VBR stream of about 100 s: the audio frames of vbr.mp3 forty times over.
std::string LongVbrFile(const TempDir& dir) {
  const Bytes src = ReadFile(DataFile("vbr.mp3"));
  const std::vector<size_t> at = FrameStarts(src);
  const Bytes audio(src.begin() + at.at(1), src.begin() + at.back() + 1);  // Xing frame left out
  Bytes all;
  for (int i = 0; i < 40; ++i) all = Cat(all, Bytes(audio.begin(), audio.end() - 1));
  return dir.Put("long-vbr.mp3", all);
}

TEST(VbrHeader, VbrPiecesGetAHeaderThatPlayersRead) {
  TempDir dir;
  const std::string longFile = LongVbrFile(dir);
  const struct {
    std::string File;
    int64_t From, To;
  } cases[] = {{DataFile("vbr.mp3"), 0, 1 << 30},
               {DataFile("vbr.mp3"), 500, 2200},
               {DataFile("vbr.mp3"), 1100, 2500},
               {longFile, 20'000, 80'000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File + " " + std::to_string(c.From));
    const TPieces p = CutBoth(dir, c.File, c.From, c.To);
    const std::optional<TXingFrame> x = TXingFrame::Parse(p.Headed.data(), p.Headed.size());
    ASSERT_TRUE(x);
    const size_t headerSize = size_t(x->FrameSize());
    // The default piece follows the header frame byte for byte.
    EXPECT_EQ(Slice(p.Headed, headerSize, p.Headed.size() - headerSize), p.Plain);
    // Fields: all three, and the counts of this piece.
    EXPECT_EQ(x->Flags, 7u);
    const std::vector<size_t> frames = FrameStarts(p.Plain);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(x->Frames, frames.size());
    EXPECT_EQ(x->Bytes, p.Headed.size());
    // The header frame takes version, layer, sample rate and channel mode from the first frame.
    const uint8_t* first = p.Plain.data();
    EXPECT_EQ(p.Headed[1] & 0xFE, first[1] & 0xFE);
    EXPECT_EQ(p.Headed[2] & 0x0C, first[2] & 0x0C);
    EXPECT_EQ(p.Headed[3] >> 6, first[3] >> 6);
    EXPECT_TRUE(p.Headed[1] & 1) << "no CRC";
    EXPECT_EQ(std::string(p.Headed.begin() + 36, p.Headed.begin() + 40), "Xing");

    // Players: the length they show is within one frame of what libmpg123 decodes.
    const std::string headed = dir / "headed.mp3";
    const TStreamCheck check = CheckStream(headed);
    ASSERT_TRUE(check.Decodable);
    EXPECT_EQ(check.DecodeErrors, 0);
    EXPECT_EQ(check.Frames, int64_t(frames.size()));
    EXPECT_LE(std::llabs(Mpg123Length(headed) - check.Samples), 1152);
    if (const std::optional<double> s = FfprobeSeconds(headed)) {
      EXPECT_LE(std::fabs(*s * check.SampleRate - double(check.Samples)), 1152.0);
    }

    // The seek table: rising from 0, and its middle entry leads to a frame within one second
    // of the middle of the piece.
    EXPECT_EQ(x->Toc[0], 0);
    for (int i = 1; i < 100; ++i) EXPECT_GE(x->Toc[size_t(i)], x->Toc[size_t(i - 1)]);
    const double middleByte = x->Toc[50] / 256.0 * x->Bytes;
    size_t frame = 0;
    while (frame + 1 < frames.size() && double(frames[frame]) < middleByte) ++frame;
    const double frameMs = 1152 * 1000.0 / 44100;
    EXPECT_LE(std::fabs(frame * frameMs - frames.size() * frameMs / 2), 1000.0);
  }
}

TEST(VbrHeader, ConstantRatePiecesGetNone) {
  TempDir dir;
  for (const char* file : {"cbr128.mp3", "mpeg2.mp3", "mono.mp3", "id3v1.mp3"}) {
    const TPieces p = CutBoth(dir, DataFile(file), 300, 2000);
    EXPECT_EQ(p.Headed, p.Plain) << file;
  }
  // One frame of another rate is enough for a header.
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const std::vector<size_t> at = FrameStarts(cbr);
  Bytes mixed = Slice(cbr, at[1], at[20] - at[1]);
  Bytes odd = Slice(cbr, at[20], at[21] - at[20]);
  odd[2] = uint8_t((odd[2] & 0x0F) | 0xA0);  // 160 kbit/s: 522 bytes
  odd.resize(522, 0);
  mixed = Cat(Cat(mixed, odd), Slice(cbr, at[21], at[40] - at[21]));
  const TPieces p = CutBoth(dir, dir.Put("mixed.mp3", mixed), 0, 1 << 30);
  EXPECT_EQ(p.Headed.size(), p.Plain.size() + 156);  // 48 kbit/s holds the fields
}

TEST(VbrHeader, OurHeaderIsSkippedWhenThePieceIsOpenedAndCutAgain) {
  TempDir dir;
  const TPieces p = CutBoth(dir, DataFile("vbr.mp3"), 700, 2400);
  const std::string headed = dir.Put("again.mp3", p.Headed);
  auto mp3 = Analyzed(headed);
  EXPECT_TRUE(mp3->Info.HasXing);
  int64_t bytes = 0, ms = 0;
  ASSERT_TRUE(mp3->SaveSegment(0, 1 << 30, dir / "recut.mp3", {}, bytes, ms));
  EXPECT_EQ(ReadFile(dir / "recut.mp3"), p.Plain);
  mp3->VbrHeader = true;
  ASSERT_TRUE(mp3->SaveSegment(0, 1 << 30, dir / "recut2.mp3", {}, bytes, ms));
  EXPECT_EQ(ReadFile(dir / "recut2.mp3"), p.Headed);
}

TEST(VbrHeader, FrameLayoutFollowsVersionAndChannels) {
  // "Xing" stands where the main data of a frame without CRC start: behind 32 or 17 bytes of
  // side information in MPEG 1, 17 or 9 in MPEG 2; in a frame with a CRC too, where lame -p
  // writes it and decoders look for it.
  const struct {
    uint8_t B1, B3;
    int Offset;
  } cases[] = {{0xFB, 0x44, 36}, {0xFB, 0xC4, 21}, {0xF3, 0x44, 21},
               {0xF3, 0xC4, 13}, {0xE3, 0xC0, 13}, {0xFA, 0x44, 36}};
  for (const auto& c : cases) {
    const uint8_t first[4] = {0xFF, c.B1, 0x52, c.B3};
    EXPECT_EQ(TXingFrame::TagOffset(first), c.Offset) << int(c.B1) << " " << int(c.B3);
    std::optional<TXingFrame> x = TXingFrame::For(first);
    ASSERT_TRUE(x);
    x->Frames = 1234;
    x->Bytes = 567890;
    for (size_t i = 0; i < 100; ++i) x->Toc[i] = uint8_t(i * 2);
    const std::vector<uint8_t> frame = x->Render();
    ASSERT_EQ(frame.size(), size_t(x->FrameSize()));
    const int at = TXingFrame::TagOffset(frame.data());
    EXPECT_EQ(std::string(frame.begin() + at, frame.begin() + at + 4), "Xing");
    EXPECT_EQ(Slice(Bytes(frame.begin(), frame.end()), size_t(at + 4), 12),
              (Bytes{0, 0, 0, 7, 0, 0, 0x04, 0xD2, 0, 0x08, 0xAA, 0x52}));
    const std::optional<TXingFrame> back = TXingFrame::Parse(frame.data(), frame.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->Frames, back->Bytes, back->Flags),
              std::make_tuple(1234u, 567890u, 7u));
    EXPECT_EQ(back->Toc, x->Toc);
    // The side information is zero: the frame holds no audio.
    EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + at), Bytes(size_t(at - 4), 0));
    // Too short for its fields: no value instead of a read past the end.
    EXPECT_FALSE(TXingFrame::Parse(frame.data(), size_t(at + 20)));
  }
  const uint8_t layer2[4] = {0xFF, 0xFD, 0x52, 0x44};
  EXPECT_FALSE(TXingFrame::For(layer2));
}

// ---- the decode check ----

TEST(StreamCheck, SideInformationIsReadBehindTheHeaderAndTheCrc) {
  // main_data_begin: 9 bits in MPEG 1 (here 0x155 = 341), 8 bits in MPEG 2 (here 0xAA = 170).
  const struct {
    uint8_t B1, B3;
    size_t At;  // where the side information starts
    int Begin;
    int SideSize;
  } cases[] = {{0xFB, 0x44, 4, 341, 32}, {0xFA, 0x44, 6, 341, 32}, {0xFB, 0xC4, 4, 341, 17},
               {0xF3, 0xC4, 4, 170, 9},  {0xF2, 0x44, 6, 170, 17}, {0xE3, 0x44, 4, 170, 17}};
  for (const auto& c : cases) {
    Bytes frame(400, 0);
    frame[0] = 0xFF;
    frame[1] = c.B1;
    frame[2] = 0x90;
    frame[3] = c.B3;
    frame[c.At] = 0xAA;
    frame[c.At + 1] = 0x80;
    const std::optional<TLayer3SideInfo> side = TLayer3SideInfo::Parse(frame.data(), frame.size());
    ASSERT_TRUE(side) << int(c.B1);
    EXPECT_EQ(side->MainDataBegin, c.Begin) << int(c.B1);
    EXPECT_EQ(side->MainDataSize, int(400 - c.At) - c.SideSize) << int(c.B1);
    EXPECT_FALSE(TLayer3SideInfo::Parse(frame.data(), c.At + size_t(c.SideSize) - 1));
  }
  const uint8_t layer2[4] = {0xFF, 0xFD, 0x90, 0x44};
  EXPECT_FALSE(TLayer3SideInfo::Parse(layer2, 4));
}

TEST(StreamCheck, CleanFilesDecodeWithoutErrors) {
  for (const char* file : {"cbr128.mp3", "vbr.mp3", "mpeg2.mp3", "id3v2-apic.mp3"}) {
    const TStreamCheck c = CheckStream(DataFile(file));
    ASSERT_TRUE(c.Decodable) << file;
    EXPECT_EQ(c.DecodeErrors, 0) << file;
    EXPECT_EQ(c.ReservoirFrames, 0) << file << ": a whole file lacks nothing";
    EXPECT_GT(c.Frames, 40) << file;
    EXPECT_NEAR(double(c.DecodedMs), 2500.0, 60.0) << file;
  }
  EXPECT_FALSE(CheckStream(DataFile("make-test-data.sh")).Decodable);
  EXPECT_FALSE(CheckStream("/nonexistent/file.mp3").Decodable);
}

TEST(StreamCheck, ADamagedFrameInTheMiddleIsAnError) {
  TempDir dir;
  Bytes b = ReadFile(DataFile("cbr128.mp3"));
  const std::vector<size_t> at = FrameStarts(b);
  const size_t mid = at[at.size() / 2];
  for (size_t i = 0; i < 200; ++i) b[mid + i] = uint8_t(i * 37 + 11);  // header and data
  const TStreamCheck c = CheckStream(dir.Put("damaged.mp3", b));
  ASSERT_TRUE(c.Decodable);
  EXPECT_GE(c.DecodeErrors, 1);
  EXPECT_LT(c.Frames, int64_t(at.size()) - 1);  // the damaged frame is lost
}

TEST(StreamCheck, APieceCutMidReservoirLacksDataAtItsStart) {
  TempDir dir;
  auto mp3 = Analyzed(DataFile("vbr.mp3"));
  int64_t bytes = 0, ms = 0;
  // In the noise the encoder borrows from earlier frames all the time.
  ASSERT_TRUE(mp3->SaveSegment(1600, 2400, dir / "piece.mp3", {}, bytes, ms));
  const Bytes piece = ReadFile(dir / "piece.mp3");
  // Independent reading of main_data_begin: the 9 bits behind the header (no CRC).
  const int firstBegin = (piece[4] << 1) | (piece[5] >> 7);
  ASSERT_GT(firstBegin, 0);
  const TStreamCheck c = CheckStream(dir / "piece.mp3");
  EXPECT_EQ(c.DecodeErrors, 0);
  EXPECT_GE(c.ReservoirFrames, 1);
  EXPECT_LE(c.ReservoirFrames, 4);
  // The same audio from the start of the file lacks nothing.
  ASSERT_TRUE(mp3->SaveSegment(0, 2400, dir / "whole.mp3", {}, bytes, ms));
  EXPECT_EQ(CheckStream(dir / "whole.mp3").ReservoirFrames, 0);
}

}  // namespace
}  // namespace pelcato::test
