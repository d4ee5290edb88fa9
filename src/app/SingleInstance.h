// One running copy per user session: an exclusive lock on "<name>.lock" in a folder only this
// user can reach. The kernel drops the lock when the process ends, also after a crash.
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
  // The folder Acquire found for the lock, ending with "/"; empty when it found none. The
  // running copy's socket lies beside the lock.
  const std::string& Folder() const { return FFolder; }

  // The folder of the lock files, ending with "/": $XDG_RUNTIME_DIR when it belongs to this
  // user and nobody else may enter it; otherwise such a folder "pelcato-<uid>" under $TMPDIR
  // (/tmp when unset), made when missing; when another user has taken that name, a folder
  // made beside it under a name nobody can guess, which a link in this user's cache folder
  // ($XDG_CACHE_HOME/pelcato or ~/.cache/pelcato) finds again. Empty when none can be had.
  static std::string LockFolder();
  // The same with the places given: the runtime folder (nullptr: none), the folder of
  // temporary files and the cache folder (empty: none).
  static std::string LockFolderIn(const char* runtime, const std::string& temporary,
                                  const std::string& cache);

 private:
  int FHandle = -1;
  bool FTried = false;
  TInstanceState FState = TInstanceState::Unguarded;
  std::string FFolder;
};

}  // namespace pelcato
