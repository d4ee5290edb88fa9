// The peaks decode on files made by sox and lame: where the tones and silences land, the
// text and JSON the command line prints of them, cancelling, and files that are no MP3.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "WaveTestUtil.h"
#include "wave/PeaksDecoder.h"
#include "wave/PeaksText.h"

namespace pelcato::test {
namespace {

// Four 5-second tones at -6 dBFS (peaks of 0.5), each followed by 5 seconds of silence.
class Peaks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveTools()) return;
    Dir = std::make_unique<TempDir>();
    const std::string d = Dir->Path() + "/";
    if (Shell("sox -R -n -r 44100 -c 2 -b 16 " + d +
              "tones.wav synth 5 sine 440 vol 0.5 pad 0 5 repeat 3") &&
        Shell("lame --quiet -b 128 " + d + "tones.wav " + d + "tones.mp3")) {
      Tones = d + "tones.mp3";
    }
  }
  static void TearDownTestSuite() { Dir.reset(); }
  void SetUp() override {
    if (Tones.empty()) GTEST_SKIP() << "needs sox and lame";
  }
  static inline std::unique_ptr<TempDir> Dir;
  static inline std::string Tones;
};

TEST_F(Peaks, TonesAndSilencesLandInTheirColumns) {
  TWaveSummary summary;
  const TPeaksResult r = DecodePeaks(Tones, summary);
  ASSERT_TRUE(r.Done) << r.Error;
  EXPECT_NEAR(summary.DurationMs(), 40000.0, 100.0);

  const int width = 200;  // 200 ms a column, 25 columns a tone or silence
  const TEnvelope env = summary.View(0, 40000, width);
  const TColumns decoded = DecodeColumns(Tones, 200.0, width);
  EXPECT_EQ(env.Covered, width);
  for (int c = 0; c < width; ++c) {
    SCOPED_TRACE(c);
    const size_t i = size_t(c);
    // One column of tolerance on either side of every edge.
    const int inSegment = c % 25;
    if (inSegment == 0 || inSegment == 24) continue;
    if ((c / 25) % 2 == 0) {
      EXPECT_NEAR(env.Max[i], 0.5, 0.05);
      EXPECT_NEAR(env.Min[i], -0.5, 0.05);
      EXPECT_NEAR(env.RmsDb[i], -9.03, 0.5);  // a sine of peak 0.5
    } else {
      EXPECT_LT(env.Max[i], 0.01);
      EXPECT_GT(env.Min[i], -0.01);
      EXPECT_LT(env.RmsDb[i], -60.0);
    }
    // The same columns measured here from libmpg123's samples.
    if (decoded.MeanSquare[i] > 1e-6) {
      EXPECT_NEAR(env.RmsDb[i], 10 * std::log10(decoded.MeanSquare[i]), 0.1);
      EXPECT_NEAR(env.Max[i], decoded.Max[i], 0.02);
    }
  }
  // Every edge lies within a column of where the sound changes.
  for (int edge = 1; edge < 8; ++edge) {
    const bool toSilence = edge % 2 == 1;
    int first = -1;  // the first column on the new side
    for (int c = edge * 25 - 2; c <= edge * 25 + 2 && first < 0; ++c) {
      if ((env.Max[size_t(c)] < 0.01) == toSilence) first = c;
    }
    EXPECT_NEAR(first, edge * 25, 1) << "edge " << edge;
  }
}

// Both forms of the command's output hold the envelope's numbers; python's json reads the
// JSON back.
TEST_F(Peaks, TextAndJsonCarryTheEnvelope) {
  TWaveSummary summary;
  ASSERT_TRUE(DecodePeaks(Tones, summary).Done);
  const TEnvelope env = summary.View(0, summary.DurationMs(), 40);

  const std::string text = PeaksText(env);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 41);
  std::istringstream lines(text);
  std::string header;
  std::getline(lines, header);
  EXPECT_EQ(header, "time_ms\tmin\tmax\trms_db");
  for (int c = 0; c < 40; ++c) {
    double at = 0, lo = 0, hi = 0, db = 0;
    lines >> at >> lo >> hi >> db;
    EXPECT_NEAR(at, c * env.MsPerColumn, 0.001);
    EXPECT_NEAR(lo, env.Min[size_t(c)], 5e-5);
    EXPECT_NEAR(hi, env.Max[size_t(c)], 5e-5);
    EXPECT_NEAR(db, env.RmsDb[size_t(c)], 5e-3);
  }

  if (!Shell("python3 -c 'import json'")) GTEST_SKIP() << "needs python3";
  const std::string json = Dir->Path() + "/peaks.json";
  std::ofstream(json) << PeaksJson(env);
  const std::string script =
      "import json,sys; d=json.load(open(sys.argv[1])); "
      "assert set(d)=={'width','ms_per_column','min','max','rms_db'}; "
      "assert d['width']==40 and all(len(d[k])==40 for k in ('min','max','rms_db')); "
      "assert all(-1<=a<=b<=1 for a,b in zip(d['min'],d['max'])); "
      "print(repr(d['ms_per_column']), max(d['max']), min(d['rms_db']))";
  FILE* p = popen(("python3 -c \"" + script + "\" " + json).c_str(), "r");
  ASSERT_NE(p, nullptr);
  char out[256] = {};
  const bool got = std::fgets(out, sizeof out, p) != nullptr;
  ASSERT_EQ(pclose(p), 0) << PeaksJson(env).substr(0, 200);
  ASSERT_TRUE(got);
  double ms = 0, top = 0, quietest = 0;
  ASSERT_EQ(std::sscanf(out, "%lf %lf %lf", &ms, &top, &quietest), 3) << out;
  EXPECT_NEAR(ms, env.MsPerColumn, 1e-6);
  EXPECT_NEAR(top, *std::max_element(env.Max.begin(), env.Max.end()), 5e-5);
  EXPECT_NEAR(quietest, *std::min_element(env.RmsDb.begin(), env.RmsDb.end()), 5e-3);
}

// A cancel stops the decode at the next frame; a decode on another thread is drawn from under
// the lock while it runs and ends where a decode on this thread ends.
TEST_F(Peaks, CancelStopsAtOnceAndTheLockGuardsTheSummary) {
  TWaveSummary whole;
  ASSERT_TRUE(DecodePeaks(Tones, whole).Done);

  std::atomic<bool> cancel{false};
  TWaveSummary summary;
  size_t blocksAtCancel = 0;
  TPeaksControl control;
  control.Cancel = &cancel;
  control.Progress = [&](double done) {
    EXPECT_GT(done, 0.0);
    EXPECT_LT(done, 1.0);
    if (!cancel) blocksAtCancel = summary.Blocks();
    cancel = true;
  };
  TPeaksResult r = DecodePeaks(Tones, summary, control);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_FALSE(r.Done);
  EXPECT_GT(blocksAtCancel, 0u);
  EXPECT_LE(summary.Blocks(), blocksAtCancel + 2);
  EXPECT_LT(summary.Blocks(), whole.Blocks() / 2);

  // Cancelled before it starts: nothing decoded.
  r = DecodePeaks(Tones, summary, control);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_EQ(summary.Blocks(), 0u);

  std::mutex lock;
  std::atomic<bool> running{true};
  double last = 0;
  TPeaksControl shared;
  shared.Lock = &lock;
  shared.ExpectedBlocks = 10;  // too few: the summary regrows while it is drawn from
  shared.Progress = [&](double done) {
    EXPECT_GE(done, last);
    last = done;
  };
  std::thread decoder([&] {
    r = DecodePeaks(Tones, summary, shared);
    running = false;
  });
  int views = 0;
  while (running) {
    std::lock_guard<std::mutex> hold(lock);
    const TEnvelope env = summary.View(0, 40000, 100);
    EXPECT_LE(env.Covered, 100);
    ++views;
  }
  decoder.join();
  EXPECT_TRUE(r.Done);
  EXPECT_EQ(last, 1.0);
  EXPECT_GT(views, 0);
  ASSERT_EQ(summary.Blocks(), whole.Blocks());
  for (size_t b = 0; b < whole.Blocks(); ++b) {
    ASSERT_EQ(summary.Block(b).Max, whole.Block(b).Max) << b;
    ASSERT_EQ(summary.Block(b).MeanSquare, whole.Block(b).MeanSquare) << b;
  }
}

TEST_F(Peaks, FilesThatAreNoMp3FailCleanly) {
  const Bytes mp3 = ReadFile(Tones);
  Bytes junk(200000);
  uint32_t x = 12345;
  for (auto& b : junk) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
  const std::string cut = Dir->Put("cut.mp3", Slice(mp3, 0, mp3.size() / 2 + 101));
  struct {
    std::string Path;
    bool Done;
  } cases[] = {{Dir->Path() + "/missing.mp3", false},
               {Dir->Path(), false},
               {Dir->Put("empty.mp3", {}), false},
               {Dir->Put("junk.mp3", junk), false},
               {cut, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    TWaveSummary summary;
    const TPeaksResult r = DecodePeaks(c.Path, summary);
    EXPECT_EQ(r.Done, c.Done);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.Error.empty(), c.Done) << r.Error;
    EXPECT_NEAR(summary.DurationMs(), c.Done ? 20000.0 : 0.0, 200.0);
  }
}

}  // namespace
}  // namespace pelcato::test
