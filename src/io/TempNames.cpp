#include "io/TempNames.h"

#include <limits.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "io/FileError.h"
#include "io/Paths.h"

namespace pelcato {
namespace {

// The names a signal handler may have to remove. A slot is claimed (Used), filled, and only
// then Ready; the handler reads Ready slots only, once no other thread makes a name.
struct TSlot {
  std::atomic<bool> Used{false};
  std::atomic<bool> Ready{false};
  char Path[PATH_MAX];
};
// A split holds about ten temporaries at a time (the pieces written ahead, and one on each
// thread being named).
constexpr int kSlots = 64;
TSlot gSlots[kSlots];
std::atomic<int> gNaming{0};
std::atomic<bool> gEnding{false};
thread_local int tNaming = 0;

void OnEndingSignal(int sig) {
  const int savedErrno = errno;
  gEnding.store(true);
  // A name being made on another thread takes a few system calls; a file system that hangs
  // holds the end for two seconds at most. This thread's own naming was cut short by us.
  const timespec pause{0, 1'000'000};
  for (int i = 0; i < 2000 && gNaming.load() > tNaming; ++i) nanosleep(&pause, nullptr);
  for (TSlot& slot : gSlots) {
    if (slot.Ready.load()) ::unlink(slot.Path);
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
  errno = savedErrno;
  // Delivered once the handler returns: the process ends as the signal ends it.
  raise(sig);
}

}  // namespace

std::string TemporaryNameBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  char name[64];
  std::snprintf(
      name, sizeof name, "/.pelcato-%u-%u-%llx.part", unsigned(getpid()), counter++,
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return FolderOf(path) + name;
}

TNamingScope::TNamingScope() {
  gNaming.fetch_add(1);
  ++tNaming;
  if (gEnding.load()) {
    --tNaming;
    gNaming.fetch_sub(1);
    errno = EINTR;
    throw EFileError("The program is being ended");
  }
}

TNamingScope::~TNamingScope() {
  --tNaming;
  gNaming.fetch_sub(1);
}

int RememberTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (gSlots[i].Used.compare_exchange_strong(expected, true)) {
      std::memcpy(gSlots[i].Path, path.c_str(), path.size() + 1);
      gSlots[i].Ready.store(true);
      return i;
    }
  }
  return -1;
}

void ForgetTemporary(int& slot) {
  if (slot < 0 || slot >= kSlots) return;
  gSlots[slot].Ready.store(false);
  gSlots[slot].Used.store(false);
  slot = -1;
}

void RemoveTemporariesOnSignals() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

}  // namespace pelcato
