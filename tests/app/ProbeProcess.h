// Another copy of the program, as far as the single-instance lock goes: the InstanceProbe
// process takes the lock, says what it found, and with hold keeps it until End().
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace pelcato::test {

class TProbe {
 public:
  TProbe(const std::string& name, bool hold) {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    FPid = fork();
    if (FPid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(PELCATO_INSTANCE_PROBE, PELCATO_INSTANCE_PROBE, name.c_str(), hold ? "hold" : nullptr,
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    FInput = in[1];
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') Answer += c;
    close(out[0]);
  }
  ~TProbe() { End(); }
  TProbe(const TProbe&) = delete;
  TProbe& operator=(const TProbe&) = delete;

  // Closes the probe's input, which ends it, and waits for it.
  void End() {
    if (FInput >= 0) close(FInput);
    FInput = -1;
    if (FPid > 0) waitpid(FPid, nullptr, 0);
    FPid = -1;
  }

  std::string Answer;  // "first", "running" or "unguarded"

 private:
  pid_t FPid = -1;
  int FInput = -1;
};

}  // namespace pelcato::test
