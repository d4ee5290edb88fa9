// The gain in steps of the global gain, against others' tools: libmpg123 and ffmpeg decode a
// gained piece as the plain piece times 2^(k/4), and mp3gain, the peer that changes the same
// field in place, gives the same bytes for the same steps. Files from lame in every version
// and channel mode, with and without CRC, and a joint stereo file whose frames use intensity
// stereo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "../cli/CliRun.h"
#include "../mp3/Mp3TestUtil.h"
#include "VolumeCheck.h"
#include "mp3/FrameWalk.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/XingFrame.h"

namespace pelcato::test {
namespace {

std::string GainArg(int steps) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", steps * 1.5051499783);
  return text;
}

// The files of the checks: lame's, with frames protected by a CRC in two side information
// sizes, and one with intensity stereo.
class GainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir;
    ASSERT_TRUE(MakeMp3(*Dir / "crc.mp3", 2.0, "pinknoise gain -12", "-p -b 128"));
    ASSERT_TRUE(MakeMp3(*Dir / "crc-mpeg2-mono.mp3", 2.0, "sine 300 gain -9",
                        "-p -m m --resample 22.05 -b 32"));
    // lame writes no intensity stereo; with the mode extension's intensity bit set in lame's
    // joint stereo frames, decoders take the bands above the right channel's last coded line
    // as intensity stereo, with the right channel's scale factors as positions.
    Bytes b = ReadFile(DataFile("cbr128.mp3"));
    for (size_t pos = 0; pos + 4 <= b.size();) {
      const auto h = DecodeFrameHeader(&b[pos]);
      if (!h) break;
      if ((b[pos + 3] >> 6) == 1) b[pos + 3] |= 0x10;
      pos += size_t(h->FrameSize);
    }
    Dir->Put("intensity.mp3", b);
  }
  static void TearDownTestSuite() { delete Dir; }
  static std::string File(const std::string& name) {
    return name.find('/') == std::string::npos && std::filesystem::exists(*Dir / name)
               ? *Dir / name
               : DataFile(name);
  }
  static TempDir* Dir;
};
TempDir* GainTest::Dir = nullptr;

const char* const kSources[] = {"cbr128.mp3", "mono.mp3", "mpeg2.mp3",          "mpeg25.mp3",
                                "vbr-v2.mp3", "crc.mp3",  "crc-mpeg2-mono.mp3", "intensity.mp3"};

// The most a gained sample is off from the plain one times 2^(k/4), or -1 when the decodes do
// not match in length and format.
double MaxDeviation(const TFloatPcm& plain, const TFloatPcm& gained, int steps) {
  if (!plain.Ok || !gained.Ok || plain.Samples.size() != gained.Samples.size() ||
      plain.Channels != gained.Channels || plain.Samples.empty()) {
    return -1.0;
  }
  const double factor = std::pow(2.0, steps / 4.0);
  double most = 0.0;
  for (size_t i = 0; i < plain.Samples.size(); ++i) {
    most = std::max(most, std::fabs(double(gained.Samples[i]) - plain.Samples[i] * factor));
  }
  return most;
}

TEST_F(GainTest, DecodersPlayTheGainedPieceAsThePlainOneTimesTwoToTheStepsOverFour) {
  int steps = 3;
  for (const char* name : kSources) {
    const std::string source = File(name);
    const std::string n = name;
    // Exact pieces too, whose decoders trim by the gapless fields.
    for (const bool exact :
         {false, n == "cbr128.mp3" || n == "vbr-v2.mp3" || n == "intensity.mp3"}) {
      steps = steps > 0 ? -5 : 3;
      const auto cut = [&](const std::string& out, int gain) {
        std::vector<std::string> args = {
            "cut", "--overwrite", source, exact ? "300" : "0", exact ? "1700" : "99999999", out};
        if (exact) args.push_back("--exact");
        if (gain != 0) args.insert(args.end(), {"--gain", GainArg(gain)});
        const TRun r = RunCliWith(args);
        EXPECT_EQ(r.Status, 0) << name << " " << r.Err;
        return r;
      };
      cut(*Dir / "plain.mp3", 0);
      const TRun r = cut(*Dir / "gained.mp3", steps);
      EXPECT_NE(r.Out.find("Gain: " + std::string(steps > 0 ? "+" : "")), std::string::npos);
      // lame gives a few granules that code next to nothing a gain of 255 or below 5: held at
      // the limit, they stay as they were, which shows in no sample.
      EXPECT_TRUE(r.Err.empty() || r.Err.find("held at") != std::string::npos) << r.Err;
      for (const TTool tool : {TTool::Mpg123, TTool::Ffmpeg}) {
        const double off = MaxDeviation(DecodeFloat(tool, *Dir / "plain.mp3"),
                                        DecodeFloat(tool, *Dir / "gained.mp3"), steps);
        EXPECT_GE(off, 0.0) << name << " " << ToolName(tool) << (exact ? " exact" : "");
        EXPECT_LT(off, 2e-5) << name << " " << ToolName(tool) << " steps " << steps
                             << (exact ? " exact" : "");
      }
    }
  }
  // The intensity stereo file does play otherwise than lame's own frames.
  const TFloatPcm joint = DecodeFloat(TTool::Mpg123, DataFile("cbr128.mp3"));
  const TFloatPcm intensity = DecodeFloat(TTool::Mpg123, File("intensity.mp3"));
  EXPECT_GT(MaxDeviation(joint, intensity, 0), 0.01);
}

// A long exact piece, whose frames are changed and written a buffer at a time on a thread of
// their own: the music CRC of its LAME extension sums the bytes as written, and the decode
// scales as in the short pieces above.
TEST_F(GainTest, ALongExactPiecesMusicCrcDescribesItsChangedBytes) {
  const std::string source = *Dir / "long.mp3";
  ASSERT_TRUE(MakeMp3(source, 30.0, "pinknoise gain -9", "-b 320"));
  const std::string plain = *Dir / "long-plain.mp3";
  const std::string gained = *Dir / "long-gained.mp3";
  for (const std::string& out : {plain, gained}) {
    std::vector<std::string> args = {"cut",   "--overwrite", source,    "1000",
                                     "29000", out,           "--exact", "--no-tag"};
    if (out == gained) args.insert(args.end(), {"--gain", GainArg(-3)});
    ASSERT_EQ(RunCliWith(args).Status, 0);
  }
  const Bytes piece = ReadFile(gained);
  ASSERT_GT(piece.size(), 1u << 20);
  const auto header = DecodeFrameHeader(piece.data());
  ASSERT_TRUE(header);
  const auto x = TXingFrame::Parse(piece.data(), size_t(header->FrameSize));
  ASSERT_TRUE(x && x->Lame);
  ASSERT_EQ(x->Lame->MusicLength, piece.size());
  uint16_t crc = 0;  // CRC-16 0x8005, reflected, from 0: the LAME extension's
  for (size_t i = size_t(header->FrameSize); i < piece.size(); ++i) {
    crc ^= piece[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  EXPECT_EQ(x->Lame->MusicCrc, crc);
  EXPECT_LT(MaxDeviation(DecodeFloat(TTool::Mpg123, plain), DecodeFloat(TTool::Mpg123, gained), -3),
            2e-5);
}

TEST_F(GainTest, SameStepsGiveTheBytesMp3gainGives) {
  for (const char* name : kSources) {
    const std::string source = File(name);
    // Down, up, and so far up that loud granules are held at 255, where both hold them.
    for (const int steps : {-4, 5, 90}) {
      const std::string theirs = *Dir / "mp3gain.mp3";
      std::filesystem::copy_file(source, theirs, std::filesystem::copy_options::overwrite_existing);
      ASSERT_TRUE(Shell("mp3gain -q -c -s s -g " + std::to_string(steps) + " '" + theirs +
                        "' >/dev/null 2>&1"))
          << name;
      const std::string ours = *Dir / "ours.mp3";
      const TRun r = RunCliWith({"cut", "--overwrite", source, "0", "99999999", ours, "--no-tag",
                                 "--no-vbr-header", "--gain", GainArg(steps)});
      ASSERT_EQ(r.Status, 0) << r.Err;
      if (steps == 90) {
        EXPECT_NE(r.Err.find("held at the global gain's limit"), std::string::npos);
      }
      // A cut of the whole file without a VBR header of its own is the frames behind the
      // source's header frame and before the tags; mp3gain keeps the header frame and the tags
      // as they are.
      const Bytes mine = ReadFile(ours);
      const Bytes peer = ReadFile(theirs);
      ASSERT_EQ(peer.size(), ReadFile(source).size()) << "-s s writes no tag";
      ASSERT_LE(mine.size(), peer.size());
      const Bytes v1 = Slice(peer, peer.size() - 128, 3);
      const size_t end = v1 == Bytes{'T', 'A', 'G'} ? peer.size() - 128 : peer.size();
      EXPECT_EQ(mine, Slice(peer, end - mine.size(), mine.size())) << name << " " << steps;
    }
  }
}

}  // namespace
}  // namespace pelcato::test
