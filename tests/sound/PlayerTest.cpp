// The preview player over the null output: where a seek lands, how the position follows the
// played samples, the end of the file, Close, a missing device and format conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "SoundTestUtil.h"
#include "mp3/KorvaMp3.h"
#include "sound/NullAudioOutput.h"
#include "sound/SoundPlayer.h"

namespace pelcato::test {
namespace {

struct TNullRig {
  std::shared_ptr<TNullClock> Clock = TNullClock::Manual();
  std::shared_ptr<std::vector<int16_t>> Played = std::make_shared<std::vector<int16_t>>();
  std::unique_ptr<TMediaPlayer> Player;

  explicit TNullRig(TNullOutputOptions options = {}) {
    options.Played = Played;
    Player = MakeNullPlayer(Clock, options);
  }
};

size_t OpenDescriptors() {
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd");
       it != std::filesystem::directory_iterator(); ++it)
    ++n;
  return n;
}

// The sound after a seek is the sound decoded from the start at that time, within one frame.
TEST(SoundPlayerSeek, LandsWithinOneFrameOfTheRequestedTime) {
  for (const char* name : {"cbr128.mp3", "vbr.mp3"}) {
    const TDecoded whole = DecodeWhole(DataFile(name));
    const std::vector<double> ref = FirstChannel(whole.Samples, whole.Channels);
    TNullRig probe;
    probe.Player->Open(DataFile(name));
    const int64_t length = probe.Player->Length();
    ASSERT_NEAR(double(length), double(whole.Frames()) * 1000 / double(whole.Rate), 1.0) << name;
    for (const int64_t ms : {int64_t(0), length / 2, length - 1000}) {
      SCOPED_TRACE(std::string(name) + " from " + std::to_string(ms) + " ms");
      TNullRig rig;
      rig.Player->Open(DataFile(name));
      rig.Player->SetPosition(ms);
      rig.Player->Play();
      rig.Clock->Advance(300);
      rig.Player->Position();
      const std::vector<double> heard = FirstChannel(*rig.Played, whole.Channels);
      ASSERT_GE(heard.size(), 1152u + 4096u);
      // Compared from the second frame on: the first granule after a seek may differ a little,
      // as the overlap with the frame before it is rebuilt from fewer frames.
      const int64_t expected = ms * whole.Rate / 1000 + 1152;
      const TMatch match = BestMatch(heard, 1152, ref, expected - 2304, expected + 2304, 4096);
      EXPECT_GT(match.Correlation, 0.99);
      EXPECT_LE(std::abs(match.Offset - expected), 1152);
    }
  }
}

TEST(SoundPlayer, PositionFollowsThePlayedSamplesAndStopsAfterTheLast) {
  const TDecoded whole = DecodeWhole(DataFile("vbr.mp3"));
  TNullRig rig;
  TMediaPlayer& player = *rig.Player;
  player.Open(DataFile("vbr.mp3"));
  const int64_t length = player.Length();
  player.SetPosition(1000);
  player.Play();
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  EXPECT_EQ(player.Position(), 1000);
  rig.Clock->Advance(400);
  EXPECT_EQ(player.Position(), 1400);
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  rig.Clock->Advance(length - 1400 - 10);
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing) << "10 ms before the end";
  rig.Clock->Advance(20);
  EXPECT_EQ(player.Mode(), TPlayerMode::Stopped);
  EXPECT_EQ(player.Position(), length);
  // Every sample from the position to the end was played, once.
  EXPECT_EQ(rig.Played->size() / 2, whole.Frames() - size_t(whole.Rate));

  // Stopped at the end, it plays again from a new position.
  player.SetPosition(2000);
  player.Play();
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  rig.Clock->Advance(100);
  EXPECT_EQ(player.Position(), 2100);
}

TEST(SoundPlayer, CloseSilencesAtOnceAndKeepsNothingOpen) {
  const size_t before = OpenDescriptors();
  TNullRig rig;
  rig.Player->Open(DataFile("cbr128.mp3"));
  rig.Player->SetPosition(500);
  rig.Player->Play();
  rig.Clock->Advance(200);
  EXPECT_EQ(rig.Player->Position(), 700);
  rig.Player->Close();
  const size_t heard = rig.Played->size();
  rig.Clock->Advance(1000);
  EXPECT_EQ(rig.Player->Mode(), TPlayerMode::NotOpen);
  EXPECT_EQ(rig.Played->size(), heard) << "samples played after Close";
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_THROW(rig.Player->Play(), EPlayerError);
  rig.Player->Close();  // twice is harmless
}

// What the window sees through the analysis component.
TEST(SoundPlayer, PreviewThroughTheAnalysisComponent) {
  auto clock = TNullClock::Manual();
  TKorvaMP3 mp3(MakeNullPlayer(clock));
  mp3.AnalyzeFile(DataFile("cbr128.mp3"));
  ASSERT_TRUE(mp3.Info.Valid);
  std::string error;
  ASSERT_TRUE(mp3.PlayFrom(error, 1500)) << error;
  EXPECT_EQ(mp3.PlayPosition(), 1500);
  EXPECT_FALSE(mp3.IsStopped());
  clock->Advance(500);
  EXPECT_EQ(mp3.PlayPosition(), 2000);
  clock->Advance(5000);
  EXPECT_TRUE(mp3.IsStopped());
  EXPECT_EQ(mp3.PlayPosition(), -1);
  mp3.Stop();
  EXPECT_FALSE(mp3.IsStopped());

  TKorvaMP3 silent(MakeNullPlayer(clock, {.NoDevice = true}));
  silent.AnalyzeFile(DataFile("cbr128.mp3"));
  EXPECT_FALSE(silent.PlayFrom(error, 0));
  EXPECT_EQ(error, "No audio output device is available");
  EXPECT_EQ(silent.PlayPosition(), -1);
}

TEST(SoundPlayer, ConvertsToTheOnlyFormatTheDeviceTakes) {
  struct TCase {
    const char* File;
    TPcmFormat Device;
  };
  for (const TCase& c : {TCase{"mono.mp3", {48000, 2}}, TCase{"vbr.mp3", {22050, 1}},
                         TCase{"mpeg2.mp3", {44100, 2}}}) {
    SCOPED_TRACE(c.File);
    const TDecoded whole = DecodeWhole(DataFile(c.File));
    TNullRig rig({.Rate = c.Device.Rate, .Channels = c.Device.Channels});
    rig.Player->Open(DataFile(c.File));
    const int64_t length = rig.Player->Length();
    rig.Player->Play();
    rig.Clock->Advance(1000);
    EXPECT_EQ(rig.Player->Position(), 1000);
    rig.Clock->Advance(length);
    EXPECT_EQ(rig.Player->Mode(), TPlayerMode::Stopped);
    const double seconds = double(whole.Frames()) / double(whole.Rate);
    const size_t frames = rig.Played->size() / size_t(c.Device.Channels);
    EXPECT_NEAR(double(frames), seconds * c.Device.Rate, 2.0);
    if (std::string(c.File) == "mono.mp3") {
      size_t differ = 0;
      for (size_t i = 0; i < frames; ++i)
        differ += (*rig.Played)[2 * i] != (*rig.Played)[2 * i + 1];
      EXPECT_EQ(differ, 0u) << "a mono file sounds the same on both sides";
    }
  }
}

// A tone keeps its pitch through the rate conversion, fed in chunks of any size.
TEST(PcmConverter, ResampledToneMatchesTheToneAtTheNewRate) {
  for (const auto& [from, to] : {std::pair{44100, 48000}, std::pair{48000, 22050}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    auto tone = [](double t, int side) {
      return 10000.0 * std::sin(2 * M_PI * 440 * t + side * M_PI / 2);
    };
    std::vector<int16_t> in;
    for (int i = 0; i < from; ++i)
      for (int side = 0; side < 2; ++side)
        in.push_back(int16_t(std::lround(tone(double(i) / from, side))));
    TPcmConverter converter({from, 2}, {to, 2});
    std::vector<int16_t> out;
    size_t pos = 0;
    for (size_t chunk : {1u, 7u, 1152u, 3u, 40000u, 100000u}) {
      const size_t n = std::min(chunk, in.size() / 2 - pos);
      converter.Push(in.data() + 2 * pos, n, out);
      pos += n;
    }
    ASSERT_NEAR(double(out.size() / 2), double(to), 2.0);
    double worst = 0;
    for (size_t k = 0; k < out.size() / 2; ++k)
      for (int side = 0; side < 2; ++side)
        worst = std::max(worst, std::abs(out[2 * k + size_t(side)] - tone(double(k) / to, side)));
    EXPECT_LT(worst, 50.0) << "of an amplitude of 10000";
  }

  // Channels: stereo into mono is the average; mono into stereo is copied to both sides.
  const int16_t stereo[] = {1000, 3000, -200, 200};
  std::vector<int16_t> mono;
  TPcmConverter({44100, 2}, {44100, 1}).Push(stereo, 2, mono);
  EXPECT_EQ(mono, (std::vector<int16_t>{2000, 0}));
  std::vector<int16_t> both;
  TPcmConverter({44100, 1}, {44100, 2}).Push(mono.data(), 2, both);
  EXPECT_EQ(both, (std::vector<int16_t>{2000, 2000, 0, 0}));
}

}  // namespace
}  // namespace pelcato::test
