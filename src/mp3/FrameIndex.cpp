#include "mp3/FrameIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "mp3/FrameWalk.h"
#include "mp3/XingFrame.h"

namespace pelcato {

bool TFrameIndex::Stamp(const std::string& path, TFileStamp& stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp = {uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
           int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
  return true;
}

bool TFrameIndex::StampFile(const std::string& path) {
  return Stamp(path, FStamp);
}

bool TFrameIndex::Describes(const std::string& path) const {
  TFileStamp now;
  return !FMarks.empty() && Stamp(path, now) && now == FStamp;
}

void TFrameIndex::Build(TSourceFile& src, int64_t firstFrame, int64_t limit,
                        TFrameObserver* observer) {
  FMarks.clear();
  FCount = {};
  THeaderCache headers;
  double firstMs = 0.0;
  // The version and layer bits of the second header byte, the sample-rate bits of the third.
  uint16_t firstFormat = 0;
  uint16_t firstRate = 0;  // the version, layer and bit-rate bits (RateKey)
  // How far the frames' bytes have run ahead of their bit rate's average, and the least and
  // most that was: a run of frames strays from the average by a difference of two such values.
  double average = 0.0, ahead = 0.0, least = 0.0, most = 0.0;
  int64_t pos = firstFrame;
  double ms = 0.0;
  try {
    while (pos < limit) {
      TMark m;
      m.Pos = pos;
      m.Ms = ms;
      m.Clean = true;
      for (int i = 0; i < kStride && pos < limit; ++i) {
        const TFrameStep s = StepAt(src, pos, false, headers);
        const bool frame = s.Bytes > 0 && s.Next == pos + s.Bytes && s.Next <= src.Size();
        if (m.Steps == 0) m.FrameMs = s.Ms;
        if (!frame || s.Ms != m.FrameMs) m.Clean = false;
        if (frame) {
          if (observer) {
            if (const uint8_t* whole = src.Peek(pos, size_t(s.Bytes))) {
              observer->Frame(whole, size_t(s.Bytes));
            }
          }
          const uint8_t* h = src.Peek(pos, 4);
          const uint16_t format = h ? uint16_t((h[1] & 0x1E) << 8 | (h[2] & 0x0C)) : 0;
          const uint16_t rate = h ? RateKey(h) : 0;
          if (FCount.Frames++ == 0) {
            firstMs = s.Ms;
            firstFormat = format;
            firstRate = rate;
            const std::optional<MpegFrameHeader> f = h ? DecodeFrameHeader(h) : std::nullopt;
            average = f ? AverageFrameBytes(*f) : 0.0;
          }
          ahead += double(s.Bytes) - average;
          least = std::min(least, ahead);
          most = std::max(most, ahead);
          if (s.Ms != firstMs) FCount.OneFrameTime = false;
          if (format != firstFormat) FCount.OneFormat = false;
          if (rate != firstRate) FCount.OneRate = false;
        } else {
          ++FCount.OtherSteps;
        }
        ++m.Steps;
        m.Bytes += s.Next - pos;
        pos = s.Next;
        ms += s.Ms;
      }
      FMarks.push_back(m);
    }
    FCount.EvenSizes = FCount.OneRate && most - least <= average / 2;
    TMark end;
    end.Pos = pos;
    end.Ms = ms;
    FMarks.push_back(end);
    src.CheckIntact();
  } catch (...) {
    FMarks.clear();
    throw;
  }
}

}  // namespace pelcato
