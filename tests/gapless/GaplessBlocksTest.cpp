// The blocks of pieces exact to the sample against real encoders' files and the decoders: the
// LAME extension and its CRC, the filler frame, the reservoir, the trust in a source's fields.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <random>

#include "../mp3/Mp3TestUtil.h"
#include "ExactCheck.h"
#include "SourceStream.h"
#include "mp3/Crc16.h"
#include "mp3/FillerFrame.h"
#include "mp3/LameTag.h"
#include "mp3/StreamCheck.h"
#include "mp3/XingFrame.h"

namespace pelcato::test {
namespace {

TSourceStream Source(const std::string& name) {
  std::optional<TSourceStream> s = ReadSourceStream(ReadFile(DataFile(name)));
  EXPECT_TRUE(s) << name;
  return s ? *s : TSourceStream{};
}

// What libmpg123 reads from a file's header frame: delay, padding (-1 when none) and frames.
struct TMpg123Fields {
  long Delay = -1, Padding = -1;
  int64_t Frames = 0;
};
TMpg123Fields Mpg123Fields(const std::string& path) {
  TMpg123Fields f;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if (mpg123_open(h, path.c_str()) == MPG123_OK && mpg123_scan(h) == MPG123_OK) {
    mpg123_getstate(h, MPG123_ENC_DELAY, &f.Delay, nullptr);
    mpg123_getstate(h, MPG123_ENC_PADDING, &f.Padding, nullptr);
    f.Frames = mpg123_framelength(h);
  }
  mpg123_delete(h);
  return f;
}

TEST(LameTag, ReadsRealFilesAsLibmpg123DoesAndRendersLamesBackByteForByte) {
  // MPEG 1 stereo and mono, MPEG 2 stereo: the CRC stands at 190, 175 and 175 bytes.
  for (const char* name :
       {"cbr128.mp3", "vbr.mp3", "vbr-v2.mp3", "mono.mp3", "mpeg2.mp3", "ffmpeg-lame.mp3"}) {
    SCOPED_TRACE(name);
    const TSourceStream s = Source(name);
    ASSERT_TRUE(s.Header && s.Header->Lame);
    const TXingFrame& x = *s.Header;
    EXPECT_TRUE(x.LameCrcOk);
    EXPECT_TRUE(x.Lame->HonouredEverywhere());
    const TMpg123Fields lib = Mpg123Fields(DataFile(name));
    EXPECT_EQ(x.Lame->Delay, lib.Delay);
    EXPECT_EQ(x.Lame->Padding, lib.Padding);
    EXPECT_EQ(int64_t(x.Frames), lib.Frames);
    EXPECT_EQ(int64_t(x.Frames), int64_t(s.Frames.size()));
    const std::vector<uint8_t> frame(s.File.begin() + std::ptrdiff_t(s.FirstFrameAt),
                                     s.File.begin() + std::ptrdiff_t(s.Frames[0].Offset));
    EXPECT_EQ(x.Render(), frame);
    // lame's music CRC covers the audio frames behind the header frame.
    const TMainDataFrame& last = s.Frames.back();
    const uint16_t music = UpdateCrc16(0, &s.File[size_t(s.Frames[0].Offset)],
                                       size_t(last.Offset + last.Size - s.Frames[0].Offset));
    if (x.Lame->EncoderString().substr(0, 4) == "LAME") {
      EXPECT_EQ(music, x.Lame->MusicCrc);
    }
  }
  EXPECT_EQ(Source("ffmpeg-lame.mp3").Header->Lame->EncoderString().substr(0, 4), "Lavc");
  EXPECT_EQ(Source("cbr128.mp3").Header->Lame->EncoderString(), "LAME3.100");
}

TEST(Crc16, EveryLengthAndStartAsTheBitByBitDefinitionGivesIt) {
  const auto bitwise = [](uint16_t crc, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      crc ^= p[i];
      for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
  };
  std::mt19937 random(3);
  std::vector<uint8_t> bytes(3000);
  for (uint8_t& b : bytes) b = uint8_t(random());
  for (size_t len = 0; len + 5 <= bytes.size(); len += len < 400 ? 1 : 61) {
    for (const uint16_t start : {0, 0xBEEF}) {
      // At an odd place, and in two calls that meet anywhere.
      const uint8_t* p = bytes.data() + len % 5;
      ASSERT_EQ(UpdateCrc16(start, p, len), bitwise(start, p, len)) << len;
      ASSERT_EQ(UpdateCrc16(UpdateCrc16(start, p, len / 3), p + len / 3, len - len / 3),
                bitwise(start, p, len))
          << len;
    }
  }
}

TEST(LameTag, DamageShowsInTheCrcAndShortFramesAreNotOverread) {
  const TSourceStream s = Source("vbr-v2.mp3");
  std::vector<uint8_t> frame(s.File.begin() + std::ptrdiff_t(s.FirstFrameAt),
                             s.File.begin() + std::ptrdiff_t(s.Frames[0].Offset));
  const size_t lameAt = s.Header->LameOffset();
  for (size_t at : {size_t(2), size_t(60), lameAt + 22}) {
    std::vector<uint8_t> bad = frame;
    bad[at] ^= 0x10;
    const std::optional<TXingFrame> x = TXingFrame::Parse(bad.data(), bad.size());
    ASSERT_TRUE(x) << at;
    EXPECT_FALSE(x->LameCrcOk) << at;
  }
  // Every length, each in a buffer of its own so that a read past it is caught.
  for (size_t len = 0; len <= frame.size(); ++len) {
    const std::vector<uint8_t> cut(frame.begin(), frame.begin() + std::ptrdiff_t(len));
    const std::optional<TXingFrame> x = TXingFrame::Parse(cut.data(), cut.size());
    EXPECT_EQ(x && x->Lame, len >= lameAt + TLameTag::kSize) << len;
  }
  // An empty encoder string says there is no extension.
  frame[lameAt] = 0;
  EXPECT_FALSE(TXingFrame::Parse(frame.data(), frame.size())->Lame);
}

TEST(LameTag, HeaderFrameKeepsTheAudiosRateOrRisesToHoldTheExtension) {
  const TSourceStream cbr = Source("cbr128.mp3");
  const uint8_t* audio = &cbr.File[size_t(cbr.Frames[0].Offset)];
  std::optional<TXingFrame> x = TXingFrame::WithLameFor(audio);
  ASSERT_TRUE(x);
  EXPECT_EQ(x->Header[2] >> 4, audio[2] >> 4);
  // lame leaves the extension out at 48 kbit/s MPEG 2 mono: 156-byte frames, 169 bytes needed.
  const TSourceStream m = Source("mpeg2-mono48.mp3");
  EXPECT_FALSE(m.Header);
  x = TXingFrame::WithLameFor(&m.File[0]);
  ASSERT_TRUE(x);
  EXPECT_GT(x->Header[2] >> 4, m.File[2] >> 4);
  x->Lame->SetEncoder("LAME");
  x->Lame->Delay = 1234;
  x->Lame->Padding = 567;
  const std::vector<uint8_t> frame = x->Render();
  const std::optional<TXingFrame> back = TXingFrame::Parse(frame.data(), frame.size());
  ASSERT_TRUE(back && back->Lame);
  EXPECT_TRUE(back->LameCrcOk);
  EXPECT_EQ(std::tie(back->Lame->Delay, back->Lame->Padding), std::make_tuple(1234, 567));
}

TEST(FillerFrame, DecodesAsSilenceInBothDecoders) {
  TempDir dir;
  std::mt19937 random(7);
  for (const char* name : {"cbr128.mp3", "mpeg2-mono48.mp3"}) {
    const TSourceStream s = Source(name);
    const uint8_t* header = &s.File[size_t(s.Frames[0].Offset)];
    // Bytes no frame area of the source's rate holds, next to what any reservoir can be.
    std::vector<uint8_t> bytes(name[0] == 'c' ? 511 : 255);
    for (uint8_t& b : bytes) b = uint8_t(random());
    Bytes file;
    for (int i = 0; i < 4; ++i) file = Cat(file, TFillerFrame::Render(header, bytes));
    const std::vector<uint8_t> one = TFillerFrame::Render(header, bytes);
    ASSERT_FALSE(one.empty());
    EXPECT_TRUE(std::equal(bytes.rbegin(), bytes.rend(), one.rbegin()));
    const std::string path = dir.Put("filler.mp3", file);
    for (TDecoder d : {TDecoder::Mpg123, TDecoder::Ffmpeg}) {
      const TPcm pcm = Decode(d, path);
      EXPECT_TRUE(pcm.Ok) << name << " " << DecoderName(d);
      EXPECT_EQ(pcm.Frames(), 4 * s.Model.SamplesPerFrame) << name << " " << DecoderName(d);
      EXPECT_TRUE(
          std::all_of(pcm.Samples.begin(), pcm.Samples.end(), [](int16_t v) { return v == 0; }))
          << name << " " << DecoderName(d);
    }
    EXPECT_TRUE(TFillerFrame::Render(header, std::vector<uint8_t>(4000)).empty());
  }
}

TEST(Reservoir, FramesReachingBeforeTheFileAreCountedAsTheDecodeCheckCountsThem) {
  TempDir dir;
  const TSourceStream s = Source("vbr-v2.mp3");
  TReservoirWatch whole;
  for (const TMainDataFrame& f : s.Frames) whole.Add(f.MainDataBegin, f.MainDataSize());
  EXPECT_EQ(whole.Outside(), 0);
  // Cut in front of the first frames that take main data from earlier ones.
  size_t cut = 1;
  while (cut < s.Frames.size() && s.Frames[cut].MainDataBegin == 0) ++cut;
  ASSERT_LT(cut, s.Frames.size());
  TReservoirWatch piece;
  for (size_t i = cut; i < s.Frames.size(); ++i) {
    piece.Add(s.Frames[i].MainDataBegin, s.Frames[i].MainDataSize());
  }
  const auto begin = s.File.begin() + std::ptrdiff_t(s.Frames[cut].Offset);
  const std::string path = dir.Put("cut.mp3", Bytes(begin, s.File.end()));
  EXPECT_GT(piece.Outside(), 0);
  EXPECT_EQ(piece.Outside(), CheckStream(path).ReservoirFrames);
  // The bytes it asks for are there only when enough frames before it are given.
  EXPECT_FALSE(ReservoirOf(s.Frames[cut], {}));
  EXPECT_TRUE(ReservoirOf(s.Frames[cut], std::span(s.Frames.data(), cut)));
}

TEST(ExactPlan, TheTimelineEndsAsDecodersEndAHeaderThatLies) {
  const int64_t frames = 97;
  EXPECT_FALSE(TrustedGapless(4000, 4000, 6, 1152));  // more trimmed than there is
  ASSERT_TRUE(TrustedGapless(576, 918, frames, 1152));
  TExactSource src{44100, 1152, frames, TrustedGapless(576, 918, frames, 1152), frames};
  EXPECT_EQ(src.TimelineSamples(), frames * 1152 - 576 - 918);
  // A header that counts more frames than there are: no padding is dropped at the end.
  src.HeaderFrames = frames + 3;
  EXPECT_EQ(src.TimelineSamples(), frames * 1152 - 576 - 529);
  src.Gapless.reset();
  EXPECT_EQ(src.TimelineSamples(), frames * 1152);
  const auto never = [](int64_t) { return false; };
  EXPECT_FALSE(PlanExact(src, 500, 500, never));
  // A range past the end is cut short at the end.
  const std::optional<TExactPiece> p = PlanExact(src, 100000, 200000, never);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->EndSample, frames * 1152);
  EXPECT_EQ(p->LastFrame, frames - 1);
}

}  // namespace
}  // namespace pelcato::test
