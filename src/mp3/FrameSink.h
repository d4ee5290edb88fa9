// Where the frames of a piece go: straight into the output, where the system copies them file
// to file, or through a filter that changes them in memory on the way.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "io/SourceFile.h"
#include "mp3/FrameWalk.h"

namespace pelcato {

class TAtomicOutput;
class TFrameFilter;

class TFrameSink {
 public:
  // Without a filter every range is the output's AppendRange.
  TFrameSink(TAtomicOutput& out, TSourceFile& src, TFrameFilter* filter);
  ~TFrameSink();
  TFrameSink(const TFrameSink&) = delete;
  TFrameSink& operator=(const TFrameSink&) = delete;

  bool Filters() const { return FFilter != nullptr; }
  // Appends len bytes of the source at pos: frames end to end from pos on, each handed to the
  // filter; bytes behind them that are no frame, or a frame cut short, go out as they are.
  // Throws EFileError.
  void Add(int64_t pos, int64_t len);
  // As Add; without a filter the output copies the range on a thread of its own.
  void AddInBackground(int64_t pos, int64_t len);
  // Writes what is held back. Before anything else goes into the output, and at the end.
  void Finish();
  // The CRC-16 of the LAME extension's music CRC (mp3/Crc16.h) over every byte a filter let
  // through, continued from start; sums only from the call on.
  void SumCrc(uint16_t start);
  uint16_t Crc() const { return FCrc; }

 private:
  // Reads a range into the buffer and through the filter.
  void Take(int64_t pos, int64_t len);
  // Hands the frames whose header and side information are at hand to the filter; at the end
  // of a range, what is left there goes out as it is.
  void Walk(bool rangeEnd);
  // Writes the bytes the filter is done with: once a piece fills the buffer, on a thread of
  // its own from a second buffer while this one fills again.
  void Flush();
  void Write(const uint8_t* data, size_t len);
  void WriteOnThread();
  // Waits until the thread has written what it was given; throws what its write threw.
  void WaitForWriter();
  void StopWriter();
  // Bytes up to here are done with; behind it the frame at FWalk waits for its side
  // information, or bytes of a frame already filtered are still to come (FWalk > FUsed).
  size_t Done() const { return FWalk == kRangeDone ? FUsed : std::min(FWalk, FUsed); }

  static constexpr size_t kRangeDone = SIZE_MAX;
  TAtomicOutput& FOut;
  TSourceFile& FSrc;
  TFrameFilter* FFilter;
  THeaderCache FHeaders;
  std::unique_ptr<uint8_t[]> FBuffer;
  size_t FUsed = 0;
  size_t FWalk = 0;  // where the next frame starts, or kRangeDone
  // The last range: where it starts in the buffer (less what was written since) and in the
  // source, and where in the source its last change ends. The bytes behind that go out as a
  // copy of the source, so that the output still knows it ends with the source's own bytes
  // (see TAtomicOutput::EndsWithCopyUpTo).
  int64_t FRangeAt = 0;
  int64_t FRangeSrc = 0;
  int64_t FChangedUpTo = 0;
  // Ranges that follow each other end to end (a walk's frames) are gathered and read as one.
  int64_t FPendingPos = 0;
  int64_t FPendingLen = 0;
  bool FSumming = false;
  uint16_t FCrc = 0;  // summed by the writing thread while it runs
  // The writing thread and the buffer it writes (FJob bytes; 0 when it has none).
  std::unique_ptr<uint8_t[]> FOther;
  size_t FJob = 0;
  bool FStop = false;
  std::string FWriteError;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::thread FWriter;
  bool FNoThread = false;  // none could be had: every write is this thread's
};

}  // namespace pelcato
