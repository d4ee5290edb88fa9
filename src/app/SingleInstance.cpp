#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pelcato {

namespace {

// A folder only this user can reach, so that nobody else can hold or replace our lock file.
bool IsPrivateFolder(const std::string& folder) {
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 0077) == 0;
}

}  // namespace

TSingleInstance::~TSingleInstance() {
  if (FHandle >= 0) close(FHandle);
}

std::string TSingleInstance::LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    std::string folder = runtime;
    if (folder.back() != '/') folder += '/';
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return folder;
  }
  const std::string folder = "/tmp/pelcato-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  if (!IsPrivateFolder(folder)) return {};
  return folder + "/";
}

TInstanceState TSingleInstance::Acquire(const std::string& name) {
  if (FTried) return FState;
  FTried = true;
  const std::string folder = LockFolder();
  if (folder.empty()) return FState;
  // O_CLOEXEC: programs we start (the upgrade program) must not inherit the lock and keep
  // it after we end.
  const std::string path = folder + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return FState;
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    FHandle = fd;
    FState = TInstanceState::First;
  } else {
    FState = errno == EWOULDBLOCK ? TInstanceState::AlreadyRunning : TInstanceState::Unguarded;
    close(fd);
  }
  return FState;
}

}  // namespace pelcato
