// Times the waveform's two steps as whole processes, for hyperfine beside ffmpeg's decode:
//   bench_peaks FILE              decodes every frame into the summary (the true peaks)
//   bench_peaks --estimate FILE   opens the file and estimates it from the frames' side
//                                 information during one walk
//   bench_peaks --open FILE       opens the file and walks its frames, without the estimate
// Prints the blocks made, the summary's memory and a checksum, so that nothing is left out.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/SourceFile.h"
#include "mp3/KorvaMp3.h"
#include "wave/LevelEstimate.h"
#include "wave/PeaksDecoder.h"

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
  if (estimate || open) {
    TKorvaMP3 mp3(nullptr);
    mp3.AnalyzeFile(file, false);
    TSourceFile src(file);
    // As the open can tell the frame count: from the first frame's size.
    TLevelEstimator estimator(size_t(mp3.Info.AudioBytes() / std::max(1, mp3.Info.FrameSize)));
    int64_t bytes = 0;
    mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& frame) {
      const uint8_t* p = src.Peek(frame.Pos, size_t(frame.Bytes));
      if (p && estimate) estimator.AddFrame(p, size_t(frame.Bytes));
      if (p) bytes += p[0];
    });
    summary = std::move(estimator.Summary());
    std::printf("walked %lld\n", static_cast<long long>(bytes));
  } else {
    const TPeaksResult r = DecodePeaks(file, summary);
    if (!r.Done) {
      std::fprintf(stderr, "%s: %s\n", file.c_str(), r.Error.c_str());
      return 1;
    }
  }
  double check = 0;
  for (size_t b = 0; b < summary.Blocks(); ++b) check += summary.Block(b).MeanSquare;
  std::printf("blocks %zu, %.1f ms, summary %zu bytes, checksum %g\n", summary.Blocks(),
              summary.DurationMs(), summary.MemoryBytes(), check);
  return 0;
}
