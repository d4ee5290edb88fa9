#include "mp3/MusicCrc.h"

#include <algorithm>

#include "mp3/Crc16.h"

namespace pelcato {
namespace {

// Bytes a piece has before its CRC moves to a thread, and bytes summed per look at a window.
constexpr int64_t kThreadFrom = 1 << 20;
constexpr int64_t kChunk = 256 << 10;

}  // namespace

TMusicCrc::~TMusicCrc() {
  if (!FWorker.joinable()) return;
  {
    std::lock_guard<std::mutex> g(FLock);
    FRanges.clear();
    FDone = true;
  }
  FChanged.notify_all();
  FWorker.join();
}

void TMusicCrc::Sum(TSourceFile& src, int64_t pos, int64_t len) {
  for (int64_t n; len > 0; pos += n, len -= n) {
    n = std::min(kChunk, len);
    const uint8_t* b = src.Peek(pos, size_t(n));
    if (!b) throw EFileError("The piece runs past the end of the file");
    FCrc = UpdateCrc16(FCrc, b, size_t(n));
  }
}

void TMusicCrc::Add(int64_t pos, int64_t len) {
  FAdded += len;
  if (!FWorker.joinable() && FAdded < kThreadFrom) {
    // The walk has just read these frames: their pages are still in its window.
    Sum(FSrc, pos, len);
    return;
  }
  if (!FWorker.joinable()) {
    // The same file through a descriptor of its own, whatever its name is now.
    FOwn = std::make_unique<TSourceFile>("/proc/self/fd/" + std::to_string(FSrc.Fd()));
    FWorker = std::thread([this] { Run(); });
  }
  {
    std::lock_guard<std::mutex> g(FLock);
    FRanges.emplace_back(pos, len);
  }
  FChanged.notify_all();
}

void TMusicCrc::Run() {
  std::unique_lock<std::mutex> held(FLock);
  for (;;) {
    FChanged.wait(held, [&] { return FDone || !FRanges.empty(); });
    if (FRanges.empty()) return;
    const auto [pos, len] = FRanges.front();
    FRanges.pop_front();
    held.unlock();
    try {
      if (FError.empty()) Sum(*FOwn, pos, len);
    } catch (const std::exception& e) {
      FError = e.what();
    }
    held.lock();
  }
}

uint16_t TMusicCrc::Finish() {
  if (FWorker.joinable()) {
    {
      std::lock_guard<std::mutex> g(FLock);
      FDone = true;
    }
    FChanged.notify_all();
    FWorker.join();
    if (!FError.empty()) throw EFileError(FError);
  }
  return FCrc;
}

}  // namespace pelcato
