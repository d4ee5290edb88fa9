#include "io/RangeCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "io/FileError.h"
#include "io/WriteFaults.h"

namespace pelcato {
namespace {

constexpr size_t kCopyChunk = 1024 * 1024;

}  // namespace

void CopyBetween(int inFd, int64_t inPos, int outFd, int64_t outPos, int64_t len) {
  int64_t remaining = len;
  bool kernelCopy = true;
  while (remaining > 0 && kernelCopy) {
    if (!WriteAllowed()) {
      errno = EIO;
      ThrowFileError("Write error");
    }
    loff_t in = inPos, out = outPos;
    const ssize_t n = copy_file_range(inFd, &in, outFd, &out, size_t(remaining), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
        kernelCopy = false;
        break;
      }
      ThrowFileError("Write error");
    }
    if (n == 0) {
      errno = EIO;
      ThrowFileError("Source ended early");
    }
    inPos += n;
    outPos += n;
    remaining -= n;
  }
  if (remaining == 0) return;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(remaining, kCopyChunk)));
  while (remaining > 0) {
    const size_t want = size_t(std::min<int64_t>(remaining, int64_t(buf.size())));
    size_t got = 0;
    while (got < want) {
      const ssize_t n = ::pread(inFd, buf.data() + got, want - got, inPos + int64_t(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowFileError("Read error");
      if (n == 0) {
        errno = EIO;
        ThrowFileError("Source ended early");
      }
      got += size_t(n);
    }
    size_t done = 0;
    while (done < got) {
      if (!WriteAllowed()) {
        errno = EIO;
        ThrowFileError("Write error");
      }
      const ssize_t n = ::pwrite(outFd, buf.data() + done, got - done, outPos + int64_t(done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowFileError("Write error");
      if (n == 0) {
        errno = ENOSPC;
        ThrowFileError("Write error");
      }
      done += size_t(n);
    }
    inPos += int64_t(got);
    outPos += int64_t(got);
    remaining -= int64_t(got);
  }
}

TRangeCopier::TRangeCopier(int outFd) : FOutFd(outFd), FWorker([this] { Run(); }) {}

TRangeCopier::~TRangeCopier() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FStop = true;
    FJobs.clear();
  }
  FWake.notify_one();
  FWorker.join();
}

void TRangeCopier::Run() {
  std::unique_lock<std::mutex> g(FLock);
  for (;;) {
    FWake.wait(g, [this] { return FStop || !FJobs.empty(); });
    if (FStop) return;
    const TJob job = FJobs.front();
    FJobs.pop_front();
    FBusy = true;
    g.unlock();
    int error = 0;
    std::string what;
    try {
      CopyBetween(job.InFd, job.InPos, FOutFd, job.OutPos, job.Len);
    } catch (const EFileError& e) {
      error = e.Code() ? e.Code() : EIO;
      what = e.what();
    } catch (const std::exception& e) {
      error = ENOMEM;  // the buffer of a copy that the kernel cannot make
      what = e.what();
    }
    g.lock();
    FBusy = false;
    if (error && !FError) {
      FError = error;
      FWhat = what;
      FJobs.clear();
    }
    if (FJobs.empty()) FIdle.notify_all();
  }
}

void TRangeCopier::Add(const TJob& job) {
  {
    std::lock_guard<std::mutex> g(FLock);
    if (FError) return;  // the output failed already; Wait reports it
    FJobs.push_back(job);
  }
  FWake.notify_one();
}

void TRangeCopier::Wait() {
  std::unique_lock<std::mutex> g(FLock);
  FIdle.wait(g, [this] { return FJobs.empty() && !FBusy; });
  if (FError) throw EFileError(FWhat, FError);
}

}  // namespace pelcato
