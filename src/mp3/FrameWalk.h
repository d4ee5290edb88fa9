// The walk every cut, save and frame index makes from the first frame to the end of the audio:
// one step at a time, a frame copied whole, and everything else (a header frame, an ID3v2 tag
// inside the stream, junk) passed over.
#pragma once

#include <cstdint>

#include "io/SourceFile.h"
#include "mp3/MpegFrameHeader.h"

namespace pelcato {

// A stream repeats a handful of headers; each is decoded once per walk of a few of them.
class THeaderCache {
 public:
  const MpegFrameHeader* Decode(const uint8_t* h) {
    // Everything a header decodes to rests on B1, B2 and the channel mode bits of B3.
    const uint32_t key = 0x1000000u | uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | (h[3] & 0xC0u);
    TEntry& e = FEntries[(h[2] >> 1) & 3];
    if (e.Key == key) return e.Valid ? &e.Header : nullptr;
    return Miss(e, key, h);
  }

 private:
  struct TEntry {
    uint32_t Key = 0;
    bool Valid = false;
    MpegFrameHeader Header;
  };
  const MpegFrameHeader* Miss(TEntry& e, uint32_t key, const uint8_t* h);
  TEntry FEntries[4];
};

// One step from a place: where the next step starts, the bytes to copy and their time.
struct TFrameStep {
  int64_t Next = 0;
  int64_t Bytes = 0;
  double Ms = 0.0;
};

// The step at pos. With copying, a frame cut short by the end of the file throws EFileError.
TFrameStep StepAt(TSourceFile& src, int64_t pos, bool copying, THeaderCache& headers);
// The same with the calling thread's own cache: a header decodes the same in every walk.
inline TFrameStep StepAt(TSourceFile& src, int64_t pos, bool copying) {
  thread_local THeaderCache headers;
  return StepAt(src, pos, copying, headers);
}

// The tag of the header frame at pos whose header decodes to h (see MpegFrameHeader.h).
inline THeaderTag HeaderTagAt(TSourceFile& src, int64_t pos, const MpegFrameHeader& h) {
  return HeaderTagWith(h, [&](int offset) { return src.Peek(pos + offset, 4); });
}

// Whether b starts with "ID3".
inline bool StartsWithId3(const uint8_t* b) {
  return b[0] == 'I' && b[1] == 'D' && b[2] == '3';
}

}  // namespace pelcato
