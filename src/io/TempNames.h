// Temporary files that have a name while a destination is written (in folders without
// O_TMPFILE: FAT, network shares), and their removal when a signal ends the process, so that an
// interrupted cut or split leaves no partial file under any name.
#pragma once

#include <signal.h>

#include <string>

namespace pelcato {

// A short hidden name in the folder of path, of the same length whatever path's own name:
// ".pelcato-PID-N-TIME.part".
std::string TemporaryNameBeside(const std::string& path);

// Held while a temporary name is made, given up or turned into the destination's name. The
// signals that remove temporaries wait on the holding thread until it is over, and a signal
// handler on another thread waits until no thread holds one before it removes the names it
// knows, so that none is made behind its back. Throws EFileError once the process is being
// ended.
class TNamingScope {
 public:
  TNamingScope();
  ~TNamingScope();
  TNamingScope(const TNamingScope&) = delete;
  TNamingScope& operator=(const TNamingScope&) = delete;

 private:
  sigset_t FOldMask;
};

// Remembers the name of a file just made (inside a TNamingScope, never before the file is
// ours); -1 when it cannot be remembered (the name is then not removed on a signal).
int RememberTemporary(const std::string& path);
// Forgets the name once no file has it any more, or once it is the destination's own name.
void ForgetTemporary(int& slot);

// On SIGINT, SIGTERM, SIGHUP or SIGPIPE: removes every remembered name, then ends the process
// as the signal would have. A signal that the process ignores stays ignored.
void RemoveTemporariesOnSignals();

}  // namespace pelcato
