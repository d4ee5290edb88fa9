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

// The names a signal handler may have to remove. A slot is claimed (Filling), filled, and only
// then Ready. The handler takes a Ready slot for itself (Taken) before it reads the name, and a
// Taken slot is never given back: no thread writes a name the handler is reading.
enum : int { kFree, kFilling, kReady, kTaken };
struct TSlot {
  std::atomic<int> State{kFree};
  char Path[PATH_MAX];
};
// A split holds about ten temporaries at a time (the pieces written ahead, and one on each
// thread being named).
constexpr int kSlots = 64;
TSlot gSlots[kSlots];
std::atomic<int> gNaming{0};
std::atomic<bool> gEnding{false};
thread_local int tNaming = 0;
constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void OnEndingSignal(int sig) {
  const int savedErrno = errno;
  gEnding.store(true);
  // A name being made on another thread takes a few system calls; a file system that hangs
  // holds the end for two seconds at most. A thread blocks these signals while it makes a
  // name, so this one makes none.
  const timespec pause{0, 1'000'000};
  for (int i = 0; i < 2000 && gNaming.load() > tNaming; ++i) nanosleep(&pause, nullptr);
  for (TSlot& slot : gSlots) {
    int ready = kReady;
    if (slot.State.compare_exchange_strong(ready, kTaken)) ::unlink(slot.Path);
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
  // A signal that arrives meanwhile waits until the name is made and remembered, or given up:
  // the handler never meets a file of ours it does not know, nor a name it should not remove.
  sigset_t handled;
  sigemptyset(&handled);
  for (const int sig : kHandled) sigaddset(&handled, sig);
  pthread_sigmask(SIG_BLOCK, &handled, &FOldMask);
  gNaming.fetch_add(1);
  ++tNaming;
  if (gEnding.load()) {
    --tNaming;
    gNaming.fetch_sub(1);
    pthread_sigmask(SIG_SETMASK, &FOldMask, nullptr);
    errno = EINTR;
    throw EFileError("The program is being ended");
  }
}

TNamingScope::~TNamingScope() {
  --tNaming;
  gNaming.fetch_sub(1);
  const int savedErrno = errno;
  pthread_sigmask(SIG_SETMASK, &FOldMask, nullptr);
  errno = savedErrno;
}

int RememberTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int free = kFree;
    if (gSlots[i].State.compare_exchange_strong(free, kFilling)) {
      std::memcpy(gSlots[i].Path, path.c_str(), path.size() + 1);
      gSlots[i].State.store(kReady);
      return i;
    }
  }
  return -1;
}

void ForgetTemporary(int& slot) {
  if (slot < 0 || slot >= kSlots) return;
  // A slot the handler has taken stays its own: the process is ending.
  int ready = kReady;
  gSlots[slot].State.compare_exchange_strong(ready, kFree);
  slot = -1;
}

void RemoveTemporariesOnSignals() {
  for (const int sig : kHandled) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

}  // namespace pelcato
