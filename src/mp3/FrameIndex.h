// Where the frames of a file lie: the state of the frame walk every kStride steps, made in one
// walk at the analysis so that the saves that follow (a split above all) need not walk the
// file from its first frame again, and what that walk met.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/SourceFile.h"

namespace pelcato {

// Shown the audio frames a walk meets, in order, on the walk's thread (the open's index walk
// feeds the waveform's first estimate so).
class TFrameObserver {
 public:
  virtual ~TFrameObserver() = default;
  // Before the walk: about how many frames it will meet.
  virtual void Begin(int64_t expectedFrames) = 0;
  // One whole frame, header first; a VBR header frame, a tag or junk is none.
  virtual void Frame(const uint8_t* frame, size_t bytes) = 0;
};

class TFrameIndex {
 public:
  // The state of the walk before a stride of steps, and what those steps met: when they were
  // all whole frames of one duration lying end to end (Clean), a save copies them in one go.
  struct TMark {
    int64_t Pos = 0;
    double Ms = 0.0;  // time before Pos, summed frame by frame as every walk sums it
    int64_t Bytes = 0;
    int32_t Steps = 0;
    double FrameMs = 0.0;
    bool Clean = false;
  };
  static constexpr int kStride = 64;

  // What the walk met besides the marks: whole frames, other steps (a header frame, junk, a
  // tag inside the stream), whether every frame lasts as long as the first, whether every
  // frame has the first one's version, layer and sample rate, and whether every frame has its
  // version, layer and bit rate, their sizes spread so evenly that every run of them is within
  // half a frame of its bit rate's average (no piece then needs a VBR header frame).
  struct TCount {
    int64_t Frames = 0;
    int64_t OtherSteps = 0;
    bool OneFrameTime = true;
    bool OneFormat = true;
    bool OneRate = true;
    bool EvenSizes = true;
  };

  // Notes which file the index is made of (its device, inode, size and time of change). False
  // when path is no regular file: no index then.
  bool StampFile(const std::string& path);
  // Walks src from the first frame to limit, with a header cache of its own (it runs on a
  // thread of its own), and shows every frame to observer when there is one. Throws
  // EFileError; the index is empty then.
  void Build(TSourceFile& src, int64_t firstFrame, int64_t limit,
             TFrameObserver* observer = nullptr);
  void Clear() { FMarks.clear(); }

  // True while the file at path is still the one the index was made of.
  bool Describes(const std::string& path) const;
  // The last mark is the end of the walk, with no steps.
  const std::vector<TMark>& Marks() const { return FMarks; }
  const TCount& Count() const { return FCount; }
  // Where the walk ended.
  int64_t End() const { return FMarks.empty() ? 0 : FMarks.back().Pos; }

 private:
  struct TFileStamp {
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0, MtimeNs = 0;
    bool operator==(const TFileStamp&) const = default;
  };
  static bool Stamp(const std::string& path, TFileStamp& stamp);

  std::vector<TMark> FMarks;
  TFileStamp FStamp;
  TCount FCount;
};

}  // namespace pelcato
