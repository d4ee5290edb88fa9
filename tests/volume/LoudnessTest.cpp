// Loudness, normalisation, fades and ReplayGain fields, measured by others: ffmpeg's ebur128
// filter for the loudness, ffmpeg's decode for peaks and the fades' envelope, mutagen for the
// tags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

#include "../cli/CliRun.h"
#include "../mp3/Mp3TestUtil.h"
#include "VolumeCheck.h"

namespace pelcato::test {
namespace {

class LoudnessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir;
    // A quiet recording with a swelling level, and steady noise for the fades.
    ASSERT_TRUE(
        MakeMp3(*Dir / "quiet.mp3", 12.0, "pinknoise sine 330 tremolo 0.2 80 gain -24", "-V 4"));
    ASSERT_TRUE(MakeMp3(*Dir / "steady.mp3", 6.0, "whitenoise gain -12", "-b 192 --cbr"));
  }
  static void TearDownTestSuite() { delete Dir; }
  static TempDir* Dir;

  static std::vector<std::string> Split(const std::vector<std::string>& options,
                                        const std::string& folder) {
    std::vector<std::string> args = {"split", *Dir / "quiet.mp3", "--parts", "3",
                                     "--out", *Dir / folder};
    args.insert(args.end(), options.begin(), options.end());
    const TRun r = RunCliWith(args);
    EXPECT_EQ(r.Status, 0) << r.Err;
    std::vector<std::string> pieces;
    for (const auto& e : fs::directory_iterator(*Dir / folder)) pieces.push_back(e.path());
    std::sort(pieces.begin(), pieces.end());
    return pieces;
  }
};
TempDir* LoudnessTest::Dir = nullptr;

// The value of key for each object of the JSON text, in order.
std::vector<double> JsonNumbers(const std::string& json, const std::string& key) {
  std::vector<double> values;
  const std::regex number("\"" + key + "\": (-?[0-9.]+)");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), number);
       it != std::sregex_iterator(); ++it) {
    values.push_back(std::stod((*it)[1]));
  }
  return values;
}

TEST_F(LoudnessTest, AgreesWithFfmpegsEbur128Filter) {
  const std::vector<std::string> files = {*Dir / "quiet.mp3", DataFile("sweep.mp3"),
                                          DataFile("vbr.mp3"), DataFile("mpeg2.mp3"),
                                          DataFile("mono.mp3")};
  std::vector<std::string> args = {"loudness", "--json"};
  args.insert(args.end(), files.begin(), files.end());
  const TRun r = RunCliWith(args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<double> integrated = JsonNumbers(r.Out, "integrated_lufs");
  const std::vector<double> gain = JsonNumbers(r.Out, "replaygain_db");
  ASSERT_EQ(integrated.size(), files.size() + 1) << r.Out;  // and the album's
  for (size_t i = 0; i < files.size(); ++i) {
    const TFfmpegLoudness theirs = FfmpegLoudness(files[i]);
    ASSERT_TRUE(theirs.Ok) << files[i];
    EXPECT_NEAR(integrated[i], theirs.Integrated, 0.2) << files[i];
    EXPECT_NEAR(gain[i], -18.0 - theirs.Integrated, 0.2) << files[i];
  }
  for (const char* key : {"loudness_range_lu", "sample_peak_dbfs", "true_peak_dbtp"}) {
    EXPECT_EQ(JsonNumbers(r.Out, key).size(), files.size() + 1) << key;
  }
  // A file measured together with itself is as loud as alone.
  const TRun twice = RunCliWith({"loudness", "--json", files[0], files[0]});
  const std::vector<double> both = JsonNumbers(twice.Out, "integrated_lufs");
  ASSERT_EQ(both.size(), 3u);
  EXPECT_NEAR(both[2], both[0], 0.01);
}

TEST_F(LoudnessTest, NormalisedPiecesMeasureTheTargetInFfmpeg) {
  const std::string cut = *Dir / "normalised.mp3";
  for (const char* target : {"-18", "-23"}) {
    std::vector<std::string> args = {"cut",  "--overwrite", *Dir / "quiet.mp3", "1000",
                                     "9000", cut,           "--normalize"};
    if (std::string(target) != "-18") args.insert(args.end(), {"--target", target});
    const TRun r = RunCliWith(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Gain: +"), std::string::npos) << r.Out;
    EXPECT_NEAR(FfmpegLoudness(cut).Integrated, std::stod(target), 0.75) << target;
  }
  for (const std::string& piece : Split({"--normalize"}, "parts")) {
    EXPECT_NEAR(FfmpegLoudness(piece).Integrated, -18.0, 0.75) << piece;
  }
  // The last piece of a split at pauses runs to the end of the audio, said with a time far
  // past it (which once overflowed into an empty range).
  const TRun pauses = RunCliWith({"split", DataFile("pauses.mp3"), "--silence", "--min-pause",
                                  "0.5", "--normalize", "--out", *Dir / "pauses"});
  ASSERT_EQ(pauses.Status, 0) << pauses.Err;
  int pieces = 0;
  for (const auto& e : fs::directory_iterator(*Dir / "pauses")) {
    EXPECT_NEAR(FfmpegLoudness(e.path()).Integrated, -18.0, 0.75) << e.path();
    ++pieces;
  }
  EXPECT_EQ(pieces, 3);
  // One gain for all: the pieces keep their loudness against each other.
  const std::vector<std::string> plain = Split({}, "plain");
  const std::vector<std::string> album = Split({"--normalize", "--album-gain"}, "album");
  ASSERT_EQ(plain.size(), album.size());
  const double shift = FfmpegLoudness(album[0]).Integrated - FfmpegLoudness(plain[0]).Integrated;
  EXPECT_GT(shift, 3.0);
  for (size_t i = 1; i < plain.size(); ++i) {
    // ffmpeg gives a tenth of a LU.
    EXPECT_NEAR(FfmpegLoudness(album[i]).Integrated - FfmpegLoudness(plain[i]).Integrated, shift,
                0.15);
  }
}

TEST_F(LoudnessTest, GainStopsShortOfClippingUnlessAllowed) {
  const std::string cut = *Dir / "loud.mp3";
  const auto peak = [&] {
    const TFloatPcm pcm = DecodeFloat(TTool::Ffmpeg, cut);
    float most = 0.0f;
    for (float s : pcm.Samples) most = std::max(most, std::fabs(s));
    return most;
  };
  TRun r = RunCliWith({"cut", "--overwrite", *Dir / "quiet.mp3", "0", "12000", cut, "--normalize",
                       "--target", "0"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("is not reached: lowered by"), std::string::npos) << r.Err;
  EXPECT_LE(peak(), 1.0f);
  EXPECT_GT(peak(), 0.5f);
  r = RunCliWith({"cut", "--overwrite", *Dir / "quiet.mp3", "0", "12000", cut, "--normalize",
                  "--target", "0", "--allow-clip"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_GT(peak(), 1.0f);
  EXPECT_NEAR(FfmpegLoudness(cut).Integrated, 0.0, 0.75);
}

// The level a fade asks for over a window from t0 to t1 (ms of the piece as played), in dB
// against the piece without it: a straight rise of the amplitude over fadeIn, a fall over the
// last fadeOut, never below 40 dB down.
double AskedFade(double t0, double t1, double fadeIn, double fadeOut, double length) {
  double sum = 0.0;
  const int steps = 100;
  for (int i = 0; i < steps; ++i) {
    const double t = t0 + (t1 - t0) * (i + 0.5) / steps;
    double a = std::min({1.0, t / fadeIn, (length - t) / fadeOut});
    a = std::max(a, 0.01);
    sum += a * a;
  }
  return 10.0 * std::log10(sum / steps);
}

TEST_F(LoudnessTest, FadesRiseAndFallAsAskedWithinAStep) {
  for (const bool exact : {false, true}) {
    const auto cut = [&](const std::string& out, bool fades) {
      std::vector<std::string> args = {"cut",  "--overwrite", *Dir / "steady.mp3",
                                       "1000", "5000",        out};
      if (exact) args.push_back("--exact");
      if (fades) args.insert(args.end(), {"--fade-in", "1000", "--fade-out", "1500"});
      const TRun r = RunCliWith(args);
      EXPECT_EQ(r.Status, 0) << r.Err;
    };
    cut(*Dir / "plain.mp3", false);
    cut(*Dir / "faded.mp3", true);
    const TFloatPcm plain = DecodeFloat(TTool::Ffmpeg, *Dir / "plain.mp3");
    const TFloatPcm faded = DecodeFloat(TTool::Ffmpeg, *Dir / "faded.mp3");
    ASSERT_EQ(plain.Samples.size(), faded.Samples.size());
    const double length = 1000.0 * double(plain.Frames()) / double(plain.SampleRate);
    const std::vector<double> a = WindowLevels(plain, 250);
    const std::vector<double> b = WindowLevels(faded, 250);
    ASSERT_GE(a.size(), 15u);
    for (size_t i = 0; i < a.size(); ++i) {
      const double asked = AskedFade(250.0 * i, 250.0 * (i + 1), 1000.0, 1500.0, length);
      EXPECT_NEAR(b[i] - a[i], asked, 1.5) << (exact ? "exact, " : "") << "window " << i;
    }
  }
}

TEST_F(LoudnessTest, ReplayGainFieldsDescribeEachPieceAndLeaveItsAudio) {
  const std::vector<std::string> plain = Split({}, "rg-plain");
  const std::vector<std::string> tagged = Split({"--replaygain-tags"}, "rg");
  ASSERT_EQ(plain.size(), tagged.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    FILE* p = popen(("/usr/bin/python3 -c \"import mutagen.id3 as m; t = m.ID3('" + tagged[i] +
                     "'); print(t['TXXX:REPLAYGAIN_TRACK_GAIN'].text[0], "
                     "t['TXXX:REPLAYGAIN_TRACK_PEAK'].text[0])\"")
                        .c_str(),
                    "r");
    ASSERT_TRUE(p);
    double gain = 0.0, peak = 0.0;
    const int got = fscanf(p, "%lf dB %lf", &gain, &peak);
    pclose(p);
    ASSERT_EQ(got, 2) << tagged[i];
    EXPECT_NEAR(gain, -18.0 - FfmpegLoudness(plain[i]).Integrated, 0.2);
    EXPECT_GT(peak, 0.0);
    EXPECT_LT(peak, 1.0);
    // The audio is the plain piece's, behind the tag.
    const Bytes a = ReadFile(plain[i]);
    const Bytes b = ReadFile(tagged[i]);
    ASSERT_GT(b.size(), a.size());
    EXPECT_EQ(Slice(b, b.size() - a.size(), a.size()), a);
  }
}

}  // namespace
}  // namespace pelcato::test
