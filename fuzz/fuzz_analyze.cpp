// Analysis of any file: no crash, no hang, facts that agree with the file's size.
#include <algorithm>
#include <cstring>

#include "FuzzFile.h"
#include "mp3/Id3Tags.h"
#include "mp3/KorvaMp3.h"

using namespace pelcato;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteInput("in.mp3", data, size);
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(path, false);
  const TMp3DataInfo& info = mp3.Info;
  fuzz::Check(info.FileSize == int64_t(size), "file size");
  if (info.Valid) {
    fuzz::Check(info.FirstFrameOffset() + 4 <= info.FileSize, "first frame inside the file");
    fuzz::Check(info.FrameSize > 0, "frame size");
    fuzz::Check(info.Duration >= 0, "duration");
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
