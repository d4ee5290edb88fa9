// Analysis of any file: no crash, no hang, facts that agree with the file's size; the
// waveform's estimate from every frame the open's index walk meets stays within full scale.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "FuzzFile.h"
#include "mp3/Id3Tags.h"
#include "mp3/KorvaMp3.h"
#include "wave/LevelEstimate.h"

using namespace pelcato;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteInput("in.mp3", data, size);
  TKorvaMP3 mp3(nullptr);
  // The index walk, as the window's open makes it, feeds the waveform's estimate.
  TLevelEstimator estimator;
  mp3.AnalyzeFile(path, false, true, &estimator);
  const TMp3DataInfo& info = mp3.Info;
  fuzz::Check(info.FileSize == int64_t(size), "file size");
  if (info.Valid) {
    fuzz::Check(info.FirstFrameOffset() + 4 <= info.FileSize, "first frame inside the file");
    fuzz::Check(info.FrameSize > 0, "frame size");
    fuzz::Check(info.Duration >= 0, "duration");
    estimator.SetTimelineShift(1105);
    const TEnvelope env = estimator.Summary().View(0, double(info.Duration), 64);
    for (size_t c = 0; c < env.Min.size(); ++c) {
      fuzz::Check(-1.0f <= env.Min[c] && env.Min[c] <= env.Max[c] && env.Max[c] <= 1.0f,
                  "estimated extremes");
      fuzz::Check(std::isfinite(env.RmsDb[c]), "estimated level");
    }
  }
  TID3v1Tag tag;
  const TEndTags ends = ReadEndTags(
      int64_t(size),
      [&](int64_t pos, void* dst, size_t len) {
        if (pos < 0 || size_t(pos) >= size) return size_t(0);
        const size_t n = std::min(len, size - size_t(pos));
        std::memcpy(dst, data + pos, n);
        return n;
      },
      tag);
  fuzz::Check(ends.ID3v1Size == 0 || size >= 128, "tag inside the file");
  return 0;
}
