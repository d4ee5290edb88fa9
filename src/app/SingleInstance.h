// One running copy per user session: an exclusive lock on "<name>.lock" in the user's runtime
// folder. The kernel drops the lock when the process ends, also after a crash.
#pragma once

#include <string>

namespace pelcato {

enum class TInstanceState {
  First,           // this process holds the lock
  AlreadyRunning,  // another process holds it
  Unguarded        // no lock could be taken at all; the program runs anyway
};

class TSingleInstance {
 public:
  TSingleInstance() = default;
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // Takes the lock of the given name and keeps it until this object goes (for the program:
  // until the process ends). A second call returns what the first found.
  TInstanceState Acquire(const std::string& name);

  // The folder of the lock files: $XDG_RUNTIME_DIR, or else a folder of this user's own under
  // /tmp, created when missing. Empty when neither is usable.
  static std::string LockFolder();

 private:
  int FHandle = -1;
  bool FTried = false;
  TInstanceState FState = TInstanceState::Unguarded;
};

}  // namespace pelcato
