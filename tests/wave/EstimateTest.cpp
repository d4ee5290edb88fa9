// The loudness estimate from the side information, against levels decoded by libmpg123 from
// real encoders' files.
#include <gtest/gtest.h>

#include <memory>

#include "WaveTestUtil.h"
#include "io/SourceFile.h"
#include "mp3/KorvaMp3.h"
#include "mp3/SideInfo.h"
#include "wave/LevelEstimate.h"
#include "wave/Timeline.h"

namespace pelcato::test {
namespace {

// 30 s that a waveform has to tell apart: speech-like bursts of noise at two levels, tones
// from -9 to -33 dB RMS, and silences.
class Estimate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveTools()) return;
    Dir = std::make_unique<TempDir>();
    const std::string d = Dir->Path() + "/";
    const std::string synth = "sox -R -n -r 44100 -c 2 -b 16 " + d;
    const bool made =
        Shell(synth + "a.wav synth 6 pinknoise tremolo 3 90 gain -10") &&
        Shell(synth + "b.wav trim 0 2") && Shell(synth + "c.wav synth 3 sine 440 gain -6") &&
        Shell(synth + "d.wav synth 3 sine 1000 gain -18") &&
        Shell(synth + "e.wav synth 3 sine 250 gain -30") &&
        Shell(synth + "f.wav synth 6 pinknoise tremolo 2 80 gain -25") &&
        Shell(synth + "g.wav synth 3 sine 2000 gain -12") &&
        Shell("sox -R " + d + "a.wav " + d + "b.wav " + d + "c.wav " + d + "d.wav " + d + "b.wav " +
              d + "e.wav " + d + "f.wav " + d + "b.wav " + d + "g.wav " + d + "signal.wav");
    if (!made) return;
    const std::string wav = d + "signal.wav ";
    const std::string lame = "lame --quiet --noreplaygain ";
    const std::string ffmpeg = "ffmpeg -v error -y -i " + wav;
    const std::pair<const char*, std::string> encodings[] = {
        {"lame-cbr128.mp3", lame + "-b 128 --cbr " + wav},
        {"lame-vbr4.mp3", lame + "-V 4 " + wav},
        {"lame-mpeg2-mono.mp3", lame + "-b 48 -m m --resample 22.05 " + wav},
        {"ffmpeg-160.mp3", ffmpeg + "-c:a libmp3lame -b:a 160k "},
        {"ffmpeg-vbr.mp3", ffmpeg + "-c:a libmp3lame -q:a 6 "},
        {"ffmpeg-shine.mp3", ffmpeg + "-c:a libshine -b:a 128k "},
    };
    for (const auto& [name, command] : encodings) {
      const std::string out = d + name;
      if (Shell(command + out)) Files.push_back(out);
    }
  }
  static void TearDownTestSuite() { Dir.reset(); }
  void SetUp() override {
    if (Files.size() < 5) GTEST_SKIP() << "needs sox, lame and ffmpeg";
  }

  static inline std::unique_ptr<TempDir> Dir;
  static inline std::vector<std::string> Files;
};

// Every frame the walk meets, whole, as the open reads it.
void EachFrame(const std::string& path, const std::function<void(const uint8_t*, size_t)>& f) {
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(path, false);
  TSourceFile src(path);
  mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& frame) {
    const uint8_t* bytes = src.Peek(frame.Pos, size_t(frame.Bytes));
    ASSERT_NE(bytes, nullptr);
    f(bytes, size_t(frame.Bytes));
  });
}

// Judged frame by frame as the open's index walk shows the frames, and as a long file is
// judged: one frame in four standing for the next three (the file's frame count given as four
// times the frames judged at most), which leaves two or three judged frames a column of
// 100 ms. Both on the player's timeline.
TEST_F(Estimate, RanksColumnsLikeTheDecodedLevel) {
  for (const std::string& file : Files) {
    SCOPED_TRACE(file);
    for (const bool strided : {false, true}) {
      TLevelEstimator estimator;
      if (strided) {
        estimator.Begin(4 * TLevelEstimator::kJudgedFrames);
        EachFrame(file, [&](const uint8_t* frame, size_t size) {
          EXPECT_TRUE(estimator.AddFrame(frame, size));
        });
      } else {
        TKorvaMP3 mp3(nullptr);
        mp3.AnalyzeFile(file, false, true, &estimator);
        EXPECT_EQ(estimator.Stride(), 1u);
      }
      estimator.SetTimelineShift(PlayerTimelineShift(file));
      for (const int width : {300, 100}) {
        const double msPerColumn = 30000.0 / width;
        const TEnvelope env = estimator.Summary().View(0, 30000, width);
        const TColumns decoded = DecodeColumns(file, msPerColumn, width);
        ASSERT_EQ(env.Covered, width);
        const std::vector<double> estimated(env.RmsDb.begin(), env.RmsDb.end());
        const double rho = RankCorrelation(estimated, decoded.MeanSquare);
        std::printf("%-22s frames judged 1 in %zu, %3d columns: rank correlation %.3f\n",
                    file.substr(file.rfind('/') + 1).c_str(), estimator.Stride(), width, rho);
        EXPECT_GE(rho, 0.9) << width << " columns";
      }
    }
  }
}

// The shift is what the player passes over: its samples are the untrimmed decode's from the
// shift on (lame's own delay and the decoder's in a lame file).
TEST_F(Estimate, TheTimelineShiftIsWhatThePlayerTrims) {
  for (const std::string& file : Files) {
    SCOPED_TRACE(file);
    const int64_t shift = PlayerTimelineShift(file);
    if (file.find("lame-cbr") != std::string::npos) {
      EXPECT_EQ(shift, 576 + 529);
    }
    const std::vector<float> played = DecodeAll(file, true);
    const std::vector<float> all = DecodeAll(file, false);
    const size_t channels = file.find("mono") != std::string::npos ? 1 : 2;
    ASSERT_GT(played.size(), 100000u);
    ASSERT_LE(played.size() + size_t(shift) * channels, all.size());
    EXPECT_TRUE(std::equal(played.begin(), played.begin() + 100000,
                           all.begin() + shift * int64_t(channels)));
  }
}

// The fields are read at the right bits: the Huffman data the granules announce fill the
// main data areas of a constant bit rate file, less what the encoder leaves unused.
TEST_F(Estimate, GranulesAccountForTheMainData) {
  for (const std::string& file : Files) {
    SCOPED_TRACE(file);
    int64_t announced = 0, available = 0;
    EachFrame(file, [&](const uint8_t* frame, size_t size) {
      const std::optional<TLayer3SideInfo> side = TLayer3SideInfo::Parse(frame, size);
      ASSERT_TRUE(side);
      available += int64_t(side->MainDataSize) * 8;
      for (int gr = 0; gr < side->Granules; ++gr) {
        for (int ch = 0; ch < side->Channels; ++ch) {
          const TGranuleChannel& g = side->Granule[gr][ch];
          announced += g.Part23Length;
          EXPECT_LE(g.BigValues, 288);
          if (g.BlockType != 0) {
            EXPECT_EQ(g.TableSelect[2], 0);
          }
        }
      }
    });
    EXPECT_LE(announced, available);
    if (file.find("cbr") != std::string::npos || file.find("160") != std::string::npos) {
      EXPECT_GE(double(announced), 0.9 * double(available));
    }
  }
}

}  // namespace
}  // namespace pelcato::test
