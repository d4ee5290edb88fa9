#include "io/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace pelcato {
namespace {

constexpr size_t kWindowSize = 1024 * 1024;
constexpr size_t kCopyChunk = 1024 * 1024;

TWriteFaultHook& FaultHook() {
  static TWriteFaultHook hook;
  return hook;
}

bool WriteAllowed() {
  const TWriteFaultHook& hook = FaultHook();
  return !hook || hook();
}

[[noreturn]] void Fail(const std::string& what) {
  throw EFileError(what + ": " + std::strerror(errno));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  char suffix[48];
  std::snprintf(
      suffix, sizeof suffix, ".%u.%u.%llx.part", unsigned(getpid()), counter++,
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return FolderOf(path) + "/." + BaseOf(path) + suffix;
}

// An unnamed file is given its name through /proc; without /proc we use named temporaries.
bool UnnamedFilesLinkable() {
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}

}  // namespace

std::string ResolveLink(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string r(real);
  free(real);
  return r;
}

void SetWriteFaultHook(TWriteFaultHook hook) {
  FaultHook() = std::move(hook);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TSourceFile::TSourceFile(const std::string& path) {
  // Non-blocking, so that a named pipe is refused below instead of waiting for a writer;
  // reads of a regular file are not affected.
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (FFd < 0) Fail("Cannot open " + path);
  struct stat st {};
  if (fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = st.st_mode == 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(FFd);
    errno = err;
    Fail("Cannot open " + path);
  }
  FSize = st.st_size;
  posix_fadvise(FFd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

TSourceFile::~TSourceFile() {
  if (FFd >= 0) ::close(FFd);
}

size_t TSourceFile::ReadAt(int64_t pos, void* dst, size_t len) {
  if (pos < 0 || pos >= FSize) return 0;
  if (int64_t(len) > FSize - pos) len = size_t(FSize - pos);
  size_t done = 0;
  while (done < len) {
    const ssize_t n = ::pread(FFd, static_cast<uint8_t*>(dst) + done, len - done, pos + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Read error");
    }
    if (n == 0) break;  // the file shrank under us
    done += size_t(n);
  }
  return done;
}

const uint8_t* TSourceFile::Peek(int64_t pos, size_t len) {
  if (pos < 0 || int64_t(len) > FSize || pos > FSize - int64_t(len)) return nullptr;
  if (pos < FWindowPos || pos - FWindowPos + len > FWindowLen) {
    FWindow.resize(kWindowSize);
    FWindowPos = pos;
    FWindowLen = ReadAt(pos, FWindow.data(), kWindowSize);
    if (FWindowLen < len) return nullptr;
  }
  return FWindow.data() + (pos - FWindowPos);
}

TAtomicOutput::~TAtomicOutput() {
  Discard();
}

bool TAtomicOutput::Open(const std::string& path) {
  Discard();
  // One look at the destination: a link is written where it points, an existing file keeps
  // its permission bits, a new one gets the usual ones.
  FPath = path;
  mode_t mode = 0666;
  struct stat st;
  if (lstat(FPath.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      FPath = ResolveLink(path);
      if (stat(FPath.c_str(), &st) != 0) st.st_mode = S_IFREG | 0666;
    }
    if (S_ISDIR(st.st_mode)) return false;
    mode = st.st_mode & 07777;
  }
  // Preferably a file without a name in the destination's folder: it gets its name only when
  // complete, and vanishes by itself if we never get there, even when the process dies.
  if (UnnamedFilesLinkable()) {
    FFd = ::open(FolderOf(FPath).c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, mode);
    if (FFd >= 0) {
      FUnnamed = true;
      FSize = 0;
      return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  }
  for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
    FTempPath = TempNameFor(FPath);
    // Read as well as written: the tag writer looks back at what the piece ends with.
    FFd = ::open(FTempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (FFd < 0 && errno != EEXIST) break;
  }
  if (FFd < 0) {
    FTempPath.clear();
    return false;
  }
  FSize = 0;
  return true;
}

void TAtomicOutput::WriteAll(const void* data, size_t len, int64_t pos) {
  size_t done = 0;
  while (done < len) {
    if (!WriteAllowed()) {
      errno = EIO;
      Fail("Write error");
    }
    const ssize_t n =
        ::pwrite(FFd, static_cast<const uint8_t*>(data) + done, len - done, pos + int64_t(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Write error");
    }
    if (n == 0) {
      // No progress and no error: the device takes nothing more.
      errno = ENOSPC;
      Fail("Write error");
    }
    done += size_t(n);
  }
}

void TAtomicOutput::FlushRange() {
  if (FPendingLen == 0) return;
  TSourceFile& src = *FPendingSrc;
  int64_t inPos = FPendingPos;
  int64_t remaining = FPendingLen;
  FPendingLen = 0;
  // The kernel copies between the two files without passing the bytes through us.
  bool kernelCopy = true;
  while (remaining > 0 && kernelCopy) {
    if (!WriteAllowed()) {
      errno = EIO;
      Fail("Write error");
    }
    loff_t in = inPos, out = FSize;
    const ssize_t n = copy_file_range(src.Fd(), &in, FFd, &out, size_t(remaining), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
        kernelCopy = false;
        break;
      }
      Fail("Write error");
    }
    if (n == 0) {
      errno = EIO;
      Fail("Source ended early");
    }
    inPos += n;
    FSize += n;
    remaining -= n;
  }
  if (remaining == 0) return;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(remaining, kCopyChunk)));
  while (remaining > 0) {
    const size_t want = size_t(std::min<int64_t>(remaining, int64_t(buf.size())));
    const size_t got = src.ReadAt(inPos, buf.data(), want);
    if (got != want) {
      errno = EIO;
      Fail("Source ended early");
    }
    WriteAll(buf.data(), got, FSize);
    inPos += int64_t(got);
    FSize += int64_t(got);
    remaining -= int64_t(got);
  }
}

void TAtomicOutput::AppendRange(TSourceFile& src, int64_t pos, int64_t len) {
  if (len <= 0) return;
  if (FPendingLen > 0 && FPendingSrc == &src && FPendingPos + FPendingLen == pos) {
    FPendingLen += len;
    return;
  }
  FlushRange();
  FPendingSrc = &src;
  FPendingPos = pos;
  FPendingLen = len;
}

void TAtomicOutput::Append(const void* data, size_t len) {
  FlushRange();
  WriteAll(data, len, FSize);
  FSize += int64_t(len);
}

void TAtomicOutput::WriteAt(int64_t pos, const void* data, size_t len) {
  FlushRange();
  WriteAll(data, len, pos);
  if (pos + int64_t(len) > FSize) FSize = pos + int64_t(len);
}

size_t TAtomicOutput::ReadBack(int64_t pos, void* dst, size_t len) {
  FlushRange();
  if (pos < 0 || pos >= FSize) return 0;
  if (int64_t(len) > FSize - pos) len = size_t(FSize - pos);
  const ssize_t n = ::pread(FFd, dst, len, pos);
  if (n < 0) Fail("Read error");
  return size_t(n);
}

void TAtomicOutput::Commit(bool noReplace, bool sync) {
  FlushRange();
  if (FFd < 0) {
    errno = EBADF;
    Fail("Nothing to commit");
  }
  if (sync && ::fsync(FFd) != 0) Fail("Write error");
  if (FUnnamed) {
    // Linking never replaces a file: that is what a piece wants, and the usual case of a new
    // file. A file to be replaced gets a temporary name first and is renamed over it.
    const std::string self = "/proc/self/fd/" + std::to_string(FFd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, FPath.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      CloseCommitted();
      return;
    }
    if (errno != EEXIST || noReplace) Fail("Cannot create " + FPath);
    for (int attempt = 0; attempt < 100 && FTempPath.empty(); ++attempt) {
      const std::string temp = TempNameFor(FPath);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        FTempPath = temp;
      } else if (errno != EEXIST) {
        Fail("Cannot create " + FPath);
      }
    }
    if (FTempPath.empty()) Fail("Cannot create " + FPath);
  }
  int rc;
  if (noReplace) {
    rc = renameat2(AT_FDCWD, FTempPath.c_str(), AT_FDCWD, FPath.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // File systems without RENAME_NOREPLACE: a hard link refuses an existing name too.
      rc = ::link(FTempPath.c_str(), FPath.c_str());
      if (rc == 0) ::unlink(FTempPath.c_str());
    }
  } else {
    rc = ::rename(FTempPath.c_str(), FPath.c_str());
  }
  if (rc != 0) Fail("Cannot create " + FPath);
  FTempPath.clear();
  CloseCommitted();
}

void TAtomicOutput::CloseCommitted() {
  const int fd = FFd;
  FFd = -1;
  FUnnamed = false;
  // The data are complete; a late close error can no longer undo the name.
  ::close(fd);
}

void TAtomicOutput::Discard() {
  FPendingLen = 0;
  FUnnamed = false;
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  if (!FTempPath.empty()) {
    ::unlink(FTempPath.c_str());
    FTempPath.clear();
  }
}

}  // namespace pelcato
