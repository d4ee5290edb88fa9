#include "io/SourceFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace pelcato {
namespace {

constexpr size_t kWindowSize = 1024 * 1024;
constexpr size_t kMapWindowSize = 2 * 1024 * 1024;
// How far past the end of a window a walk may go on and still count as going on: a frame
// that starts just behind it.
constexpr int64_t kOnwardSlack = 64 * 1024;

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

}  // namespace

TSourceFile::TSourceFile(const std::string& path) : FCutShort(&kNeverCutShort) {
  // Non-blocking, so that a named pipe is refused below instead of waiting for a writer;
  // reads of a regular file are not affected.
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (FFd < 0) ThrowFileError("Cannot open " + path);
  struct stat st {};
  if (fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = st.st_mode == 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(FFd);
    errno = err;
    ThrowFileError("Cannot open " + path);
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
    ThrowFileError("The file was cut short while it was read");
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
      ThrowFileError("Read error");
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

}  // namespace pelcato
