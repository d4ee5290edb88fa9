// Times the waveform's two steps as whole processes, for hyperfine beside ffmpeg's decode:
//   bench_peaks FILE              decodes every frame into the summary (the true peaks)
//   bench_peaks --open FILE       opens the file as the window does: the player's length scan
//                                 beside the frame index walk
//   bench_peaks --estimate FILE   the same open with the first envelope: the estimate fed by
//                                 the index walk, placed on the player's timeline and drawn
// Prints the blocks made, the summary's memory and a checksum, so that nothing is left out.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "mp3/KorvaMp3.h"
#include "mp3/Mpg123Player.h"
#include "wave/LevelEstimate.h"
#include "wave/PeaksDecoder.h"
#include "wave/Timeline.h"

using namespace pelcato;

int main(int argc, char** argv) {
  const bool estimate = argc == 3 && std::strcmp(argv[1], "--estimate") == 0;
  const bool open = argc == 3 && std::strcmp(argv[1], "--open") == 0;
  if (argc != 2 && !estimate && !open) {
    std::fprintf(stderr, "usage: bench_peaks [--estimate | --open] FILE\n");
    return 2;
  }
  const std::string file = argv[argc - 1];
  TWaveSummary summary;
  double check = 0;
  if (estimate || open) {
    TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
    TLevelEstimator estimator;
    mp3.AnalyzeFile(file, true, true, estimate ? &estimator : nullptr);
    if (!mp3.Info.Valid) {
      std::fprintf(stderr, "%s: not an MP3 file\n", file.c_str());
      return 1;
    }
    if (estimate) {
      estimator.SetTimelineShift(PlayerTimelineShift(file));
      const TEnvelope env = estimator.Summary().View(0, double(mp3.Info.Duration), 520);
      for (const float db : env.RmsDb) check += db;
    }
    summary = std::move(estimator.Summary());
    std::printf("length %lld ms\n", static_cast<long long>(mp3.Info.Duration));
  } else {
    const TPeaksResult r = DecodePeaks(file, summary);
    if (!r.Done) {
      std::fprintf(stderr, "%s: %s\n", file.c_str(), r.Error.c_str());
      return 1;
    }
  }
  for (size_t b = 0; b < summary.Blocks(); ++b) check += summary.Block(b).MeanSquare;
  std::printf("blocks %zu, %.1f ms, summary %zu bytes, checksum %g\n", summary.Blocks(),
              summary.DurationMs(), summary.MemoryBytes(), check);
  return 0;
}
