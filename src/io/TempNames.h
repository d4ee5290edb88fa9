// Temporary files that have a name while a destination is written (in folders without
// O_TMPFILE: FAT, network shares), and their removal when a signal ends the process, so that an
// interrupted cut or split leaves no partial file under any name.
#pragma once

#include <string>

namespace pelcato {

// A short hidden name in the folder of path, of the same length whatever path's own name:
// ".pelcato-PID-N-TIME.part".
std::string TemporaryNameBeside(const std::string& path);

// Held while a temporary name is made, given up or turned into the destination's name. A
// signal handler waits until no thread holds one before it removes the names it knows, so
// that none is made behind its back. Throws EFileError once the process is being ended.
class TNamingScope {
 public:
  TNamingScope();
  ~TNamingScope();
  TNamingScope(const TNamingScope&) = delete;
  TNamingScope& operator=(const TNamingScope&) = delete;
};

// Remembers a name before the file is made under it (inside a TNamingScope); -1 when it cannot
// be remembered (the name is then not removed on a signal).
int RememberTemporary(const std::string& path);
// Forgets the name once no file has it any more, or once it is the destination's own name.
void ForgetTemporary(int& slot);

// On SIGINT, SIGTERM, SIGHUP or SIGPIPE: removes every remembered name, then ends the process
// as the signal would have. A signal that the process ignores stays ignored.
void RemoveTemporariesOnSignals();

}  // namespace pelcato
