// Takes the single-instance lock of the name given and says what it found ("first",
// "running" or "unguarded"); with "hold" it keeps the lock until its input closes.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/SingleInstance.h"

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  pelcato::TSingleInstance guard;
  const pelcato::TInstanceState state = guard.Acquire(argv[1]);
  std::puts(state == pelcato::TInstanceState::First            ? "first"
            : state == pelcato::TInstanceState::AlreadyRunning ? "running"
                                                               : "unguarded");
  std::fflush(stdout);
  if (argc > 2 && std::strcmp(argv[2], "hold") == 0) {
    while (std::fgetc(stdin) != EOF) {
    }
  }
  return 0;
}
