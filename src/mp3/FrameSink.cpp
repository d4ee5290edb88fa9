#include "mp3/FrameSink.h"

#include <algorithm>
#include <cstring>

#include "io/AtomicOutput.h"
#include "mp3/Crc16.h"
#include "mp3/VolumeFilter.h"

namespace pelcato {
namespace {

// Bytes read at a time. Large enough that the reads and writes cost little beside the copy in
// memory, small enough to stay in the processor's cache.
constexpr size_t kBufferBytes = 256 << 10;

// A frame's header, CRC and side information, and the four bytes of a "Xing" or "Info" tag
// behind them: what a filter needs at hand.
constexpr size_t kFrameHead = 6 + 32 + 4;

}  // namespace

TFrameSink::TFrameSink(TAtomicOutput& out, TSourceFile& src, TFrameFilter* filter)
    : FOut(out), FSrc(src), FFilter(filter) {}

TFrameSink::~TFrameSink() {
  StopWriter();
}

void TFrameSink::StopWriter() {
  if (!FWriter.joinable()) return;
  {
    std::lock_guard<std::mutex> held(FLock);
    FStop = true;
  }
  FChanged.notify_all();
  FWriter.join();
}

void TFrameSink::WaitForWriter() {
  if (!FWriter.joinable()) return;
  std::unique_lock<std::mutex> held(FLock);
  FChanged.wait(held, [&] { return FJob == 0; });
  if (!FWriteError.empty()) ThrowFileError(FWriteError);
}

void TFrameSink::WriteOnThread() {
  std::unique_lock<std::mutex> held(FLock);
  for (;;) {
    FChanged.wait(held, [&] { return FJob > 0 || FStop; });
    if (FJob == 0) return;
    held.unlock();
    std::string error;
    try {
      Write(FOther.get(), FJob);
    } catch (const std::exception& e) {
      error = e.what();
    }
    held.lock();
    if (!error.empty() && FWriteError.empty()) FWriteError = error;
    FJob = 0;
    FChanged.notify_all();
  }
}

void TFrameSink::SumCrc(uint16_t start) {
  FSumming = true;
  FCrc = start;
}

void TFrameSink::AddInBackground(int64_t pos, int64_t len) {
  if (FFilter) {
    Add(pos, len);
  } else {
    FOut.AppendRangeInBackground(FSrc, pos, len);
  }
}

void TFrameSink::Add(int64_t pos, int64_t len) {
  if (!FFilter) {
    FOut.AppendRange(FSrc, pos, len);
    return;
  }
  if (len <= 0) return;
  if (FPendingLen > 0 && pos == FPendingPos + FPendingLen && FPendingLen < int64_t(kBufferBytes)) {
    FPendingLen += len;
    return;
  }
  if (FPendingLen > 0) Take(FPendingPos, FPendingLen);
  FPendingPos = pos;
  FPendingLen = len;
}

void TFrameSink::Take(int64_t pos, int64_t len) {
  if (!FBuffer) FBuffer = std::make_unique<uint8_t[]>(kBufferBytes);
  // A range starts with a frame, whatever the last one ended with.
  FWalk = FUsed;
  FRangeAt = int64_t(FUsed);
  FRangeSrc = pos;
  FChangedUpTo = pos;
  while (len > 0) {
    if (FUsed == kBufferBytes) Flush();
    const size_t take = size_t(std::min<int64_t>(len, int64_t(kBufferBytes - FUsed)));
    if (FSrc.ReadAt(pos, FBuffer.get() + FUsed, take) != take) {
      ThrowFileError("The source ends inside the piece");
    }
    FUsed += take;
    pos += int64_t(take);
    len -= int64_t(take);
    Walk(len == 0);
  }
}

void TFrameSink::Walk(bool rangeEnd) {
  uint8_t* const b = FBuffer.get();
  while (FWalk != kRangeDone && FWalk < FUsed) {
    const size_t have = FUsed - FWalk;
    const MpegFrameHeader* h = have >= 4 ? FHeaders.Decode(b + FWalk) : nullptr;
    const size_t need = h ? std::min<size_t>(size_t(h->FrameSize), kFrameHead) : 4;
    if (have < need) {
      if (rangeEnd) FWalk = kRangeDone;  // a frame cut short: as it is
      return;
    }
    if (!h) {
      // Bytes that are no frame: as they are, up to the end of the range.
      FWalk = kRangeDone;
      return;
    }
    FFilter->Frame(b + FWalk, std::min(have, size_t(h->FrameSize)));
    FChangedUpTo = FRangeSrc + (int64_t(FWalk) - FRangeAt) + int64_t(need);
    FWalk += size_t(h->FrameSize);
  }
  if (rangeEnd && FWalk != kRangeDone && FWalk >= FUsed) {
    // The range ends where its last frame ends, or inside it (a frame cut short).
    FWalk = kRangeDone;
  }
}

void TFrameSink::Write(const uint8_t* data, size_t len) {
  if (FSumming) FCrc = UpdateCrc16(FCrc, data, len);
  FOut.Append(data, len);
}

void TFrameSink::Flush() {
  const size_t done = Done();
  if (!FWriter.joinable() && !FNoThread) {
    try {
      FOther = std::make_unique<uint8_t[]>(kBufferBytes);
      FWriter = std::thread([this] { WriteOnThread(); });
    } catch (const std::exception&) {
      FNoThread = true;  // no memory or no thread: written here
    }
  }
  if (FWriter.joinable()) {
    // The bytes done go to the thread in this buffer; the rest starts the other one.
    WaitForWriter();
    std::memcpy(FOther.get(), FBuffer.get() + done, FUsed - done);
    std::swap(FBuffer, FOther);
    {
      std::lock_guard<std::mutex> held(FLock);
      FJob = done;
    }
    FChanged.notify_all();
  } else {
    Write(FBuffer.get(), done);
    std::memmove(FBuffer.get(), FBuffer.get() + done, FUsed - done);
  }
  FUsed -= done;
  if (FWalk != kRangeDone) FWalk -= done;
  FRangeAt -= int64_t(done);
}

void TFrameSink::Finish() {
  if (FPendingLen > 0) Take(FPendingPos, FPendingLen);
  FPendingLen = 0;
  WaitForWriter();
  StopWriter();
  if (!FFilter || FUsed == 0) return;
  // What follows the last change of the last range is the source's own: copied as such.
  const int64_t tailAt = FRangeAt + (FChangedUpTo - FRangeSrc);
  if (tailAt < 0 || tailAt >= int64_t(FUsed)) {
    Write(FBuffer.get(), FUsed);
  } else {
    Write(FBuffer.get(), size_t(tailAt));
    const size_t tail = FUsed - size_t(tailAt);
    if (FSumming) FCrc = UpdateCrc16(FCrc, FBuffer.get() + tailAt, tail);
    FOut.AppendRange(FSrc, FChangedUpTo, int64_t(tail));
  }
  FUsed = 0;
  FWalk = 0;
}

}  // namespace pelcato
