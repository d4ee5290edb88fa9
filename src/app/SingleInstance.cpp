#include "app/SingleInstance.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pelcato {

namespace {

// A folder only this user can reach, so that nobody else can hold or replace our lock file or
// listen on our socket. The runtime folder may be a link (the session sets it); any other is
// looked at itself.
bool IsPrivateFolder(const std::string& folder, bool followLink = false) {
  struct stat st {};
  if ((followLink ? stat(folder.c_str(), &st) : lstat(folder.c_str(), &st)) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 0077) == 0;
}

// Waits for an exclusive lock on fd; false where the file system has none.
bool LockFile(int fd) {
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// A private folder in temporary, made with a name nobody can guess and found again by the link
// "instance-<host>" in the cache folder, where only this user can make names. A link whose
// folder has gone (temporary files are cleared at boot) or is not ours any more is replaced.
// Starts that come together make one folder: they take turns on the link's lock file.
std::string FolderFoundThroughCache(const std::string& temporary, const std::string& cache) {
  if (cache.empty()) return {};
  mkdir(cache.c_str(), 0700);
  const std::string own = cache + "/pelcato";
  mkdir(own.c_str(), 0700);
  struct stat st {};
  if (lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & 0022) != 0) {
    return {};
  }
  char host[HOST_NAME_MAX + 1] = "";
  gethostname(host, sizeof host - 1);
  // One link per machine: a home folder may be shared by several.
  const std::string link = own + "/instance-" + host;
  const int lock = open((link + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock >= 0) LockFile(lock);
  std::string found;
  char target[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n > 0) {
    target[n] = '\0';
    if (IsPrivateFolder(target)) found = target;
  }
  if (found.empty()) {
    std::string made = temporary + "/pelcato-" + std::to_string(geteuid()) + "-XXXXXX";
    if (mkdtemp(made.data()) != nullptr) {
      const std::string next = link + ".new";
      unlink(next.c_str());
      if (symlink(made.c_str(), next.c_str()) == 0 && rename(next.c_str(), link.c_str()) == 0) {
        found = made;
      } else {
        unlink(next.c_str());
        rmdir(made.c_str());
      }
    }
  }
  if (lock >= 0) close(lock);
  return found;
}

std::string AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? value : "";
}

}  // namespace

TSingleInstance::~TSingleInstance() {
  if (FHandle >= 0) close(FHandle);
}

std::string TSingleInstance::LockFolderIn(const char* runtime, const std::string& temporary,
                                          const std::string& cache) {
  if (runtime != nullptr && runtime[0] == '/' && IsPrivateFolder(runtime, true)) {
    std::string folder = runtime;
    if (folder.back() != '/') folder += '/';
    return folder;
  }
  const std::string folder = temporary + "/pelcato-" + std::to_string(geteuid());
  if ((mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(folder)) {
    return folder + "/";
  }
  const std::string other = FolderFoundThroughCache(temporary, cache);
  return other.empty() ? other : other + "/";
}

std::string TSingleInstance::LockFolder() {
  std::string temporary = AbsoluteVariable("TMPDIR");
  while (temporary.size() > 1 && temporary.back() == '/') temporary.pop_back();
  if (temporary.empty()) temporary = "/tmp";
  std::string cache = AbsoluteVariable("XDG_CACHE_HOME");
  if (cache.empty() && !AbsoluteVariable("HOME").empty())
    cache = AbsoluteVariable("HOME") + "/.cache";
  return LockFolderIn(std::getenv("XDG_RUNTIME_DIR"), temporary, cache);
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
    FFolder = folder;
  } else {
    FState = errno == EWOULDBLOCK ? TInstanceState::AlreadyRunning : TInstanceState::Unguarded;
    if (FState == TInstanceState::AlreadyRunning) FFolder = folder;
    close(fd);
  }
  return FState;
}

}  // namespace pelcato
