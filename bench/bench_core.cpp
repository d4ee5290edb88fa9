// Micro benchmarks of the core: header decoding, analysis and the frame walk that cuts and
// splits. The source is a synthetic CBR stream of 60 minutes (MPEG 1 Layer III, 128 kbit/s,
// 44100 Hz, 137,813 frames of 417 or 418 bytes), written once into the temporary folder.
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/SourceFile.h"
#include "mp3/KorvaMp3.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/Mpg123Player.h"
#include "wave/LevelEstimate.h"
#include "wave/PeaksDecoder.h"

namespace fs = std::filesystem;
using namespace pelcato;

namespace {

const fs::path& Folder() {
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("pelcato-bench-" + std::to_string(getpid()));
    fs::create_directories(p);
    return p;
  }();
  return folder;
}

// Frames padded as an encoder pads them, so the average frame time is exact. PELCATO_BENCH_FILE
// names a real file to use instead.
const std::string& LongFile() {
  static const std::string path = [] {
    if (const char* real = std::getenv("PELCATO_BENCH_FILE")) return std::string(real);
    const std::string p = (Folder() / "long.mp3").string();
    std::ofstream out(p, std::ios::binary);
    const int frames = 3600 * 44100 / 1152;
    std::vector<char> frame(418, 0x55);
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[3] = char(0x64);
    long rest = 0;
    for (int i = 0; i < frames; ++i) {
      rest += 144L * 128000 % 44100;
      const bool padded = rest >= 44100;
      if (padded) rest -= 44100;
      frame[2] = char(padded ? 0x92 : 0x90);
      out.write(frame.data(), padded ? 418 : 417);
    }
    return p;
  }();
  return path;
}

void BM_DecodeFrameHeader(benchmark::State& state) {
  uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x64};
  for (auto _ : state) {
    h[2] ^= 2;
    benchmark::DoNotOptimize(DecodeFrameHeader(h));
  }
}
BENCHMARK(BM_DecodeFrameHeader);

void BM_AnalyzeWithoutPlayer(benchmark::State& state) {
  TKorvaMP3 mp3(nullptr);
  for (auto _ : state) mp3.AnalyzeFile(LongFile(), false);
}
BENCHMARK(BM_AnalyzeWithoutPlayer)->Unit(benchmark::kMicrosecond);

// The walk every cut makes over the frame headers, from the first frame to the end of the audio.
void BM_WalkFrames(benchmark::State& state) {
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(LongFile(), false);
  int64_t frames = 0;
  for (auto _ : state) {
    mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan&) { ++frames; });
  }
  benchmark::DoNotOptimize(frames);
}
BENCHMARK(BM_WalkFrames)->Unit(benchmark::kMillisecond);

// What the waveform's first estimate adds to the walk above: each frame's side information
// read into a block per granule. The frames are read into memory first, where the walk has
// just had them.
void BM_EstimateFromSideInfo(benchmark::State& state) {
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(LongFile(), false);
  std::vector<uint8_t> bytes;
  std::vector<std::pair<size_t, size_t>> frames;
  {
    TSourceFile src(LongFile());
    mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& frame) {
      if (const uint8_t* p = src.Peek(frame.Pos, size_t(frame.Bytes))) {
        frames.emplace_back(bytes.size(), size_t(frame.Bytes));
        bytes.insert(bytes.end(), p, p + frame.Bytes);
      }
    });
  }
  size_t blocks = 0;
  for (auto _ : state) {
    TLevelEstimator estimator(frames.size());
    for (const auto& [at, size] : frames) estimator.AddFrame(bytes.data() + at, size);
    blocks += estimator.Summary().Blocks();
  }
  benchmark::DoNotOptimize(blocks);
  state.SetItemsProcessed(state.iterations() * int64_t(frames.size()));
}
BENCHMARK(BM_EstimateFromSideInfo)->Unit(benchmark::kMillisecond);

// Every frame decoded into the waveform's summary. Only on a real file (PELCATO_BENCH_FILE):
// the synthetic frames hold no sound to decode.
void BM_DecodePeaks(benchmark::State& state) {
  if (!std::getenv("PELCATO_BENCH_FILE")) {
    state.SkipWithError("set PELCATO_BENCH_FILE to a real MP3 file");
    return;
  }
  for (auto _ : state) {
    TWaveSummary summary;
    if (!DecodePeaks(LongFile(), summary).Done) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(summary.Blocks());
  }
}
BENCHMARK(BM_DecodePeaks)->Unit(benchmark::kMillisecond);

// Opening a file: our analysis with the player's exact length, against libmpg123's scan alone.
void BM_AnalyzeMeasured(benchmark::State& state) {
  TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
  for (auto _ : state) mp3.AnalyzeFile(LongFile(), true);
}
BENCHMARK(BM_AnalyzeMeasured)->Unit(benchmark::kMillisecond);

void BM_Mpg123ScanOnly(benchmark::State& state) {
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  for (auto _ : state) {
    mpg123_open(h, LongFile().c_str());
    mpg123_scan(h);
    benchmark::DoNotOptimize(mpg123_length(h));
    mpg123_close(h);
  }
  mpg123_delete(h);
}
BENCHMARK(BM_Mpg123ScanOnly)->Unit(benchmark::kMillisecond);

void BM_CutRange(benchmark::State& state) {
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(LongFile(), false);
  const std::string out = (Folder() / "cut.mp3").string();
  int64_t bytes = 0, ms = 0;
  for (auto _ : state) {
    if (!mp3.SaveSegment(state.range(0) * 60000, state.range(1) * 60000, out, TID3v1Tag{}, bytes,
                         ms)) {
      state.SkipWithError("save failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_CutRange)->Args({0, 60})->Args({20, 40})->Unit(benchmark::kMillisecond);

void BM_SplitPieces(benchmark::State& state) {
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(LongFile(), false);
  const int64_t pieces = state.range(0);
  const int64_t length = 3600000;
  std::vector<int64_t> starts, ends;
  for (int64_t i = 0; i < pieces; ++i) {
    starts.push_back(length / pieces * i);
    ends.push_back(i + 1 == pieces ? length : length / pieces * (i + 1));
  }
  const fs::path dir = Folder() / "pieces";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(dir);
    fs::create_directories(dir);
    state.ResumeTiming();
    mp3.SaveSegments(
        starts, ends, [&](size_t i) { return (dir / ("p" + std::to_string(i) + ".mp3")).string(); },
        TID3v1Tag{}, true,
        [&](size_t, const TSegmentResult& r) {
          if (!r.Ok) state.SkipWithError("piece failed");
        });
  }
}
BENCHMARK(BM_SplitPieces)->Arg(60)->Arg(3600)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(Folder(), ec);
  return 0;
}
