#include "io/FileIo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "io/TempNames.h"

namespace pelcato {
namespace {

constexpr size_t kWindowSize = 1024 * 1024;
constexpr size_t kMapWindowSize = 2 * 1024 * 1024;
// How far past the end of a window a walk may go on and still count as going on: a frame
// that starts just behind it.
constexpr int64_t kOnwardSlack = 64 * 1024;
constexpr size_t kCopyChunk = 1024 * 1024;
// A gathered copy this long is handed to the copying thread piece by piece.
constexpr int64_t kAsyncChunk = 1024 * 1024;
constexpr int64_t kWriteFromWindowMax = 256 * 1024;

// Writes come from the caller's thread, a split's second thread and the copying threads: the
// hook is asked by one of them at a time, so that it may count without locks of its own.
struct TFaultHook {
  std::mutex Lock;
  TWriteFaultHook Hook;
  std::atomic<bool> Set{false};
};

TFaultHook& FaultHook() {
  static TFaultHook hook;
  return hook;
}

bool WriteAllowed() {
  TFaultHook& f = FaultHook();
  if (!f.Set.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> g(f.Lock);
  return !f.Hook || f.Hook();
}

[[noreturn]] void Fail(const std::string& what) {
  throw EFileError(what + ": " + std::strerror(errno));
}

// An unnamed file is given its name through /proc; without /proc we use named temporaries.
bool UnnamedFilesLinkable() {
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}

std::atomic<bool> gUnnamedAllowed{true};

// The mapped windows of all sources. A file cut short by someone else while we have it mapped
// raises SIGBUS when we read a page past its new end; the handler puts a page of zeros there,
// so the read goes on, and marks the window, so that its source fails its next read.
struct TMapSlot {
  std::atomic<uintptr_t> Base{0};
  std::atomic<size_t> Len{0};
  std::atomic<bool> Used{false};
  volatile int CutShort = 0;
};
constexpr int kMapSlots = 32;
TMapSlot gMapSlots[kMapSlots];
struct sigaction gPreviousBusAction;
const volatile int kNeverCutShort = 0;

void OnBusError(int sig, siginfo_t* info, void* context) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (TMapSlot& slot : gMapSlots) {
    const uintptr_t base = slot.Base.load(std::memory_order_relaxed);
    if (base == 0 || at < base || at - base >= slot.Len.load(std::memory_order_relaxed)) {
      continue;
    }
    const uintptr_t page = at & ~uintptr_t(sysconf(_SC_PAGESIZE) - 1);
    if (mmap(reinterpret_cast<void*>(page), size_t(sysconf(_SC_PAGESIZE)), PROT_READ,
             MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED) {
      slot.CutShort = 1;
      return;
    }
  }
  // Not one of ours: what would have happened without us.
  if (gPreviousBusAction.sa_flags & SA_SIGINFO) {
    if (gPreviousBusAction.sa_sigaction) gPreviousBusAction.sa_sigaction(sig, info, context);
    return;
  }
  if (gPreviousBusAction.sa_handler != SIG_DFL && gPreviousBusAction.sa_handler != SIG_IGN) {
    gPreviousBusAction.sa_handler(sig);
    return;
  }
  signal(SIGBUS, SIG_DFL);
  raise(SIGBUS);
}

bool BusGuardInstalled() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &gPreviousBusAction) == 0;
  }();
  return installed;
}

int ClaimMapSlot() {
  for (int i = 0; i < kMapSlots; ++i) {
    bool expected = false;
    if (gMapSlots[i].Used.compare_exchange_strong(expected, true)) {
      gMapSlots[i].CutShort = 0;
      return i;
    }
  }
  return -1;
}

// Copies len bytes of inFd at inPos to outFd at outPos: in the kernel where it can, through a
// buffer otherwise. Throws EFileError.
void CopyBetween(int inFd, int64_t inPos, int outFd, int64_t outPos, int64_t len) {
  int64_t remaining = len;
  bool kernelCopy = true;
  while (remaining > 0 && kernelCopy) {
    if (!WriteAllowed()) {
      errno = EIO;
      Fail("Write error");
    }
    loff_t in = inPos, out = outPos;
    const ssize_t n = copy_file_range(inFd, &in, outFd, &out, size_t(remaining), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
        kernelCopy = false;
        break;
      }
      Fail("Write error");
    }
    if (n == 0) {
      errno = EIO;
      Fail("Source ended early");
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
      if (n < 0) Fail("Read error");
      if (n == 0) {
        errno = EIO;
        Fail("Source ended early");
      }
      got += size_t(n);
    }
    size_t done = 0;
    while (done < got) {
      if (!WriteAllowed()) {
        errno = EIO;
        Fail("Write error");
      }
      const ssize_t n = ::pwrite(outFd, buf.data() + done, got - done, outPos + int64_t(done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("Write error");
      if (n == 0) {
        errno = ENOSPC;
        Fail("Write error");
      }
      done += size_t(n);
    }
    inPos += int64_t(got);
    outPos += int64_t(got);
    remaining -= int64_t(got);
  }
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ResolveLink(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string r(real);
  free(real);
  return r;
}

void SetWriteFaultHook(TWriteFaultHook hook) {
  TFaultHook& f = FaultHook();
  std::lock_guard<std::mutex> g(f.Lock);
  f.Set.store(bool(hook), std::memory_order_release);
  f.Hook = std::move(hook);
}

void SetUnnamedFilesAllowed(bool allowed) {
  gUnnamedAllowed = allowed;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TSourceFile::TSourceFile(const std::string& path) : FCutShort(&kNeverCutShort) {
  // Non-blocking, so that a named pipe is refused below instead of waiting for a writer;
  // reads of a regular file are not affected.
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (FFd < 0) Fail("Cannot open " + path);
  struct stat st {};
  if (fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = st.st_mode == 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(FFd);
    errno = err;
    Fail("Cannot open " + path);
  }
  FSize = st.st_size;
  posix_fadvise(FFd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

TSourceFile::~TSourceFile() {
  Unmap();
  if (FSlot >= 0) gMapSlots[FSlot].Used.store(false);
  if (FFd >= 0) ::close(FFd);
}

void TSourceFile::Unmap() {
  if (FSlot >= 0) {
    gMapSlots[FSlot].Base.store(0);
    gMapSlots[FSlot].Len.store(0);
  }
  if (FMap) munmap(FMap, FMapLen);
  FMap = nullptr;
  FMapLen = 0;
  FWindowData = nullptr;
  FWindowLen = 0;
}

void TSourceFile::CheckIntact() const {
  if (*FCutShort != 0) {
    errno = EIO;
    Fail("The file was cut short while it was read");
  }
}

size_t TSourceFile::ReadAt(int64_t pos, void* dst, size_t len) {
  if (pos < 0 || pos >= FSize) return 0;
  if (int64_t(len) > FSize - pos) len = size_t(FSize - pos);
  size_t done = 0;
  while (done < len) {
    const ssize_t n = ::pread(FFd, static_cast<uint8_t*>(dst) + done, len - done, pos + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Read error");
    }
    if (n == 0) break;  // the file shrank under us
    done += size_t(n);
  }
  return done;
}

const uint8_t* TSourceFile::PeekSlow(int64_t pos, size_t len) {
  CheckIntact();
  if (pos < 0 || int64_t(len) > FSize || pos > FSize - int64_t(len)) return nullptr;
  if (!FMapFailed && FSlot < 0) {
    FSlot = BusGuardInstalled() ? ClaimMapSlot() : -1;
    FMapFailed = FSlot < 0;
    if (FSlot >= 0) FCutShort = &gMapSlots[FSlot].CutShort;
  }
  if (!FMapFailed) {
    // A walk that goes on where the last window ended reads the whole next one: it is filled
    // at once, which costs less than taking its pages on first touch. After a jump (a split
    // reaching for its next piece) only the pages read are taken.
    const bool onward =
        FMap && pos >= FWindowPos && pos - FWindowPos <= int64_t(FWindowLen) + kOnwardSlack;
    Unmap();
    // Map whole pages, from the one that holds pos.
    const int64_t start = pos & ~int64_t(sysconf(_SC_PAGESIZE) - 1);
    const size_t mapLen = size_t(std::min<int64_t>(int64_t(kMapWindowSize), FSize - start));
    void* map =
        mmap(nullptr, mapLen, PROT_READ, MAP_SHARED | (onward ? MAP_POPULATE : 0), FFd, start);
    if (map != MAP_FAILED) {
      FMap = map;
      FMapLen = mapLen;
      gMapSlots[FSlot].Len.store(mapLen);
      gMapSlots[FSlot].Base.store(reinterpret_cast<uintptr_t>(map));
      FWindowData = static_cast<const uint8_t*>(map);
      FWindowPos = start;
      FWindowLen = mapLen;
      return FWindowData + (pos - start);
    }
    // A file system that cannot map: read into memory instead, from now on.
    FMapFailed = true;
    gMapSlots[FSlot].Used.store(false);
    FSlot = -1;
    FCutShort = &kNeverCutShort;
  }
  FWindow.resize(kWindowSize);
  FWindowPos = pos;
  FWindowLen = ReadAt(pos, FWindow.data(), kWindowSize);
  FWindowData = FWindow.data();
  if (FWindowLen < len) return nullptr;
  return FWindowData + (pos - FWindowPos);
}

TAtomicOutput::TAtomicOutput() = default;

TAtomicOutput::~TAtomicOutput() {
  Discard();
}

bool TAtomicOutput::Open(const std::string& path, bool lookAtPath) {
  Discard();
  // One look at the destination: a link is written where it points, an existing file keeps
  // its permission bits, a new one gets the usual ones.
  FPath = path;
  mode_t mode = 0666;
  struct stat st;
  if (lookAtPath && lstat(FPath.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      FPath = ResolveLink(path);
      if (stat(FPath.c_str(), &st) != 0) st.st_mode = S_IFREG | 0666;
    }
    if (S_ISDIR(st.st_mode)) return false;
    mode = st.st_mode & 07777;
  }
  // Preferably a file without a name in the destination's folder: it gets its name only when
  // complete, and vanishes by itself if we never get there, even when the process dies.
  if (gUnnamedAllowed && UnnamedFilesLinkable()) {
    FFd = ::open(FolderOf(FPath).c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, mode);
    if (FFd >= 0) {
      FUnnamed = true;
      FSize = 0;
      return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  }
  // Otherwise a named temporary file, which a signal that ends the process removes.
  try {
    const TNamingScope naming;
    for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
      FTempPath = TemporaryNameBeside(FPath);
      FTempSlot = RememberTemporary(FTempPath);
      FFd = ::open(FTempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      const int error = errno;
      if (FFd < 0) ForgetTemporary(FTempSlot);
      if (FFd < 0 && error != EEXIST) break;
    }
  } catch (const EFileError&) {
  }
  if (FFd < 0) {
    FTempPath.clear();
    return false;
  }
  FSize = 0;
  return true;
}

void TAtomicOutput::WriteAll(const void* data, size_t len, int64_t pos) {
  size_t done = 0;
  while (done < len) {
    if (!WriteAllowed()) {
      errno = EIO;
      Fail("Write error");
    }
    const ssize_t n =
        ::pwrite(FFd, static_cast<const uint8_t*>(data) + done, len - done, pos + int64_t(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Write error");
    }
    if (n == 0) {
      // No progress and no error: the device takes nothing more.
      errno = ENOSPC;
      Fail("Write error");
    }
    done += size_t(n);
  }
}

// A thread that copies gathered ranges in order while the walk that finds them goes on.
struct TAtomicOutput::TCopier {
  struct TJob {
    int InFd;
    int64_t InPos;
    int64_t OutPos;
    int64_t Len;
  };
  int OutFd;
  std::mutex Lock;
  std::condition_variable Wake;
  std::condition_variable Idle;
  std::deque<TJob> Jobs;
  bool Busy = false;
  bool Stop = false;
  int Error = 0;
  std::string What;
  std::thread Worker;

  explicit TCopier(int outFd) : OutFd(outFd), Worker([this] { Run(); }) {}
  ~TCopier() {
    {
      std::lock_guard<std::mutex> g(Lock);
      Stop = true;
      Jobs.clear();
    }
    Wake.notify_one();
    Worker.join();
  }
  void Run() {
    std::unique_lock<std::mutex> g(Lock);
    for (;;) {
      Wake.wait(g, [this] { return Stop || !Jobs.empty(); });
      if (Stop) return;
      const TJob job = Jobs.front();
      Jobs.pop_front();
      Busy = true;
      g.unlock();
      int error = 0;
      std::string what;
      try {
        CopyBetween(job.InFd, job.InPos, OutFd, job.OutPos, job.Len);
      } catch (const std::exception& e) {
        error = errno ? errno : EIO;
        what = e.what();
      }
      g.lock();
      Busy = false;
      if (error && !Error) {
        Error = error;
        What = what;
        Jobs.clear();
      }
      if (Jobs.empty()) Idle.notify_all();
    }
  }
  void Add(const TJob& job) {
    {
      std::lock_guard<std::mutex> g(Lock);
      if (Error) return;  // the output failed already; Wait reports it
      Jobs.push_back(job);
    }
    Wake.notify_one();
  }
  // Returns when every copy handed over is done; throws EFileError for the first that failed.
  void Wait() {
    std::unique_lock<std::mutex> g(Lock);
    Idle.wait(g, [this] { return Jobs.empty() && !Busy; });
    if (Error) throw EFileError(What);
  }
};

void TAtomicOutput::Drain() {
  if (FCopier) FCopier->Wait();
}

void TAtomicOutput::FlushRange(bool wait) {
  if (FPendingLen > 0) {
    const int64_t len = FPendingLen;
    FPendingLen = 0;
    const uint8_t* bytes = nullptr;
    if (FCopier) {
      FCopier->Add({FPendingSrc->Fd(), FPendingPos, FSize, len});
    } else if (len <= kWriteFromWindowMax &&
               (bytes = FPendingSrc->Peek(FPendingPos, size_t(len))) != nullptr) {
      // A short run (a piece of a few seconds) costs less written from the mapped window the
      // walk has just read than copied in the kernel, whose copy is made for long runs.
      WriteAll(bytes, size_t(len), FSize);
    } else {
      CopyBetween(FPendingSrc->Fd(), FPendingPos, FFd, FSize, len);
    }
    FSize += len;
  }
  if (wait) Drain();
}

void TAtomicOutput::AppendRange(TSourceFile& src, int64_t pos, int64_t len) {
  if (len <= 0) return;
  FRunLen = FRunLen > 0 && FRunEnd == pos ? FRunLen + len : len;
  FRunEnd = pos + len;
  if (FPendingLen > 0 && FPendingSrc == &src && FPendingPos + FPendingLen == pos) {
    FPendingLen += len;
    // A long run is copied on another thread, a chunk at a time, while the walk goes on.
    if (FPendingLen >= 2 * kAsyncChunk) {
      if (!FCopier) FCopier = std::make_unique<TCopier>(FFd);
      FCopier->Add({src.Fd(), FPendingPos, FSize, kAsyncChunk});
      FSize += kAsyncChunk;
      FPendingPos += kAsyncChunk;
      FPendingLen -= kAsyncChunk;
    }
    return;
  }
  FlushRange(false);
  FPendingSrc = &src;
  FPendingPos = pos;
  FPendingLen = len;
}

void TAtomicOutput::AppendRangeInBackground(TSourceFile& src, int64_t pos, int64_t len) {
  FlushRange(false);
  if (len > 0) {
    FRunLen = FRunLen > 0 && FRunEnd == pos ? FRunLen + len : len;
    FRunEnd = pos + len;
  }
  if (!FCopier) FCopier = std::make_unique<TCopier>(FFd);
  for (int64_t done = 0; done < len; done += kAsyncChunk) {
    const int64_t n = std::min(kAsyncChunk, len - done);
    FCopier->Add({src.Fd(), pos + done, FSize, n});
    FSize += n;
  }
}

void TAtomicOutput::Append(const void* data, size_t len) {
  FlushRange();
  if (len > 0) FRunLen = 0;
  WriteAll(data, len, FSize);
  FSize += int64_t(len);
}

void TAtomicOutput::WriteAt(int64_t pos, const void* data, size_t len) {
  FlushRange();
  if (len > 0) FRunLen = 0;
  WriteAll(data, len, pos);
  if (pos + int64_t(len) > FSize) FSize = pos + int64_t(len);
}

size_t TAtomicOutput::ReadBack(int64_t pos, void* dst, size_t len) {
  FlushRange();
  if (pos < 0 || pos >= FSize) return 0;
  if (int64_t(len) > FSize - pos) len = size_t(FSize - pos);
  const ssize_t n = ::pread(FFd, dst, len, pos);
  if (n < 0) Fail("Read error");
  return size_t(n);
}

void TAtomicOutput::Commit(bool noReplace, bool sync) {
  FlushRange();
  if (FFd < 0) {
    errno = EBADF;
    Fail("Nothing to commit");
  }
  if (sync && ::fsync(FFd) != 0) Fail("Write error");
  const TNamingScope naming;
  if (FUnnamed) {
    // Linking never replaces a file: that is what a piece wants, and the usual case of a new
    // file. A file to be replaced gets a temporary name first and is renamed over it.
    if (LinkUnnamed(FPath)) {
      CloseCommitted();
      return;
    }
    if (errno != EEXIST || noReplace) Fail("Cannot create " + FPath);
    for (int attempt = 0; attempt < 100 && FTempPath.empty(); ++attempt) {
      const std::string temp = TemporaryNameBeside(FPath);
      int slot = RememberTemporary(temp);
      if (LinkUnnamed(temp)) {
        FTempPath = temp;
        FTempSlot = slot;
        continue;
      }
      const int error = errno;
      ForgetTemporary(slot);
      errno = error;
      if (error != EEXIST) Fail("Cannot create " + FPath);
    }
    if (FTempPath.empty()) Fail("Cannot create " + FPath);
  }
  const int rc = noReplace ? RenameNoReplace() : ::rename(FTempPath.c_str(), FPath.c_str());
  if (rc != 0) Fail("Cannot create " + FPath);
  ForgetTemporary(FTempSlot);
  FTempPath.clear();
  CloseCommitted();
}

int TAtomicOutput::RenameNoReplace() {
  const char* temp = FTempPath.c_str();
  const char* path = FPath.c_str();
  if (renameat2(AT_FDCWD, temp, AT_FDCWD, path, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // File systems without RENAME_NOREPLACE: a hard link refuses an existing name too.
  if (::link(temp, path) == 0) {
    ::unlink(temp);
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return -1;
  // Nor hard links (FAT through FUSE, some network shares): the name is taken with an empty
  // file of ours, which only fails for a name that exists, and the file renamed over it.
  int slot = RememberTemporary(FPath);
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int error = errno;
    ForgetTemporary(slot);
    errno = error;
    return -1;
  }
  ::close(fd);
  const int rc = ::rename(temp, path);
  const int error = errno;
  if (rc != 0) ::unlink(path);
  ForgetTemporary(slot);
  errno = error;
  return rc;
}

void TAtomicOutput::CommitAs(const std::string& path, bool noReplace) {
  FlushRange();
  FPath = path;
  if (FUnnamed && FFd >= 0 && LinkUnnamed(FPath)) {
    CloseCommitted();
    return;
  }
  // The name is taken (a new piece's never is): looked at as Open would have, a link written
  // where it points and a folder refused.
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) FPath = ResolveLink(path);
    if (stat(FPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      Fail("Cannot create " + path);
    }
  }
  Commit(noReplace);
}

bool TAtomicOutput::LinkUnnamed(const std::string& path) const {
  const std::string self = "/proc/self/fd/" + std::to_string(FFd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void TAtomicOutput::CloseCommitted() {
  FCopier.reset();
  const int fd = FFd;
  FFd = -1;
  FUnnamed = false;
  // The data are complete; a late close error can no longer undo the name.
  ::close(fd);
}

void TAtomicOutput::Discard() {
  FCopier.reset();
  FPendingLen = 0;
  FRunLen = 0;
  FUnnamed = false;
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  if (!FTempPath.empty()) {
    ::unlink(FTempPath.c_str());
    ForgetTemporary(FTempSlot);
    FTempPath.clear();
  }
}

}  // namespace pelcato
