#include "io/AtomicOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "io/Paths.h"
#include "io/RangeCopy.h"
#include "io/TempNames.h"
#include "io/WriteFaults.h"

namespace pelcato {
namespace {

// A gathered copy this long is handed to the copying thread piece by piece.
constexpr int64_t kAsyncChunk = 1024 * 1024;
constexpr int64_t kWriteFromWindowMax = 256 * 1024;

// An unnamed file is given its name through /proc; without /proc we use named temporaries.
bool UnnamedFilesLinkable() {
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}

std::atomic<bool> gUnnamedAllowed{true};

}  // namespace

void SetUnnamedFilesAllowed(bool allowed) {
  gUnnamedAllowed = allowed;
}

TAtomicOutput::TAtomicOutput() = default;

TAtomicOutput::~TAtomicOutput() {
  Discard();
}

bool TAtomicOutput::Open(const std::string& path, bool lookAtPath) {
  Discard();
  // One look at the destination: a link is written where it points, an existing file keeps
  // its permission bits, a new one gets the usual ones.
  FPath = path;
  mode_t mode = 0666;
  struct stat st;
  if (lookAtPath && lstat(FPath.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      FPath = ResolveLink(path);
      if (stat(FPath.c_str(), &st) != 0) st.st_mode = S_IFREG | 0666;
    }
    if (S_ISDIR(st.st_mode)) return false;
    mode = st.st_mode & 07777;
  }
  // Preferably a file without a name in the destination's folder: it gets its name only when
  // complete, and vanishes by itself if we never get there, even when the process dies.
  if (gUnnamedAllowed && UnnamedFilesLinkable()) {
    FFd = ::open(FolderOf(FPath).c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, mode);
    if (FFd >= 0) {
      FUnnamed = true;
      FSize = 0;
      return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  }
  // Otherwise a named temporary file, which a signal that ends the process removes.
  try {
    const TNamingScope naming;
    for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
      FTempPath = TemporaryNameBeside(FPath);
      FFd = ::open(FTempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (FFd >= 0) FTempSlot = RememberTemporary(FTempPath);
      if (FFd < 0 && errno != EEXIST) break;
    }
  } catch (const EFileError&) {
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
      ThrowFileError("Write error");
    }
    const ssize_t n =
        ::pwrite(FFd, static_cast<const uint8_t*>(data) + done, len - done, pos + int64_t(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError("Write error");
    }
    if (n == 0) {
      // No progress and no error: the device takes nothing more.
      errno = ENOSPC;
      ThrowFileError("Write error");
    }
    done += size_t(n);
  }
}

void TAtomicOutput::Drain() {
  if (FCopier) FCopier->Wait();
}

void TAtomicOutput::FlushRange(bool wait) {
  if (FPendingLen > 0) {
    const int64_t len = FPendingLen;
    FPendingLen = 0;
    const uint8_t* bytes = nullptr;
    if (FCopier) {
      FCopier->Add({FPendingSrc->Fd(), FPendingPos, FSize, len});
    } else if (len <= kWriteFromWindowMax &&
               (bytes = FPendingSrc->Peek(FPendingPos, size_t(len))) != nullptr) {
      // A short run (a piece of a few seconds) costs less written from the mapped window the
      // walk has just read than copied in the kernel, whose copy is made for long runs.
      WriteAll(bytes, size_t(len), FSize);
    } else {
      CopyBetween(FPendingSrc->Fd(), FPendingPos, FFd, FSize, len);
    }
    FSize += len;
  }
  if (wait) Drain();
}

void TAtomicOutput::AppendRange(TSourceFile& src, int64_t pos, int64_t len) {
  if (len <= 0) return;
  FRunLen = FRunLen > 0 && FRunEnd == pos ? FRunLen + len : len;
  FRunEnd = pos + len;
  if (FPendingLen > 0 && FPendingSrc == &src && FPendingPos + FPendingLen == pos) {
    FPendingLen += len;
    // A long run is copied on another thread, a chunk at a time, while the walk goes on.
    if (FPendingLen >= 2 * kAsyncChunk) {
      if (!FCopier) FCopier = std::make_unique<TRangeCopier>(FFd);
      FCopier->Add({src.Fd(), FPendingPos, FSize, kAsyncChunk});
      FSize += kAsyncChunk;
      FPendingPos += kAsyncChunk;
      FPendingLen -= kAsyncChunk;
    }
    return;
  }
  FlushRange(false);
  FPendingSrc = &src;
  FPendingPos = pos;
  FPendingLen = len;
}

void TAtomicOutput::AppendRangeInBackground(TSourceFile& src, int64_t pos, int64_t len) {
  FlushRange(false);
  if (len > 0) {
    FRunLen = FRunLen > 0 && FRunEnd == pos ? FRunLen + len : len;
    FRunEnd = pos + len;
  }
  if (!FCopier) FCopier = std::make_unique<TRangeCopier>(FFd);
  // Chunks end where the file's chunks of kAsyncChunk end, as a copy from offset 0 does: a
  // piece behind a header frame otherwise splits a page at every chunk, and the copies of
  // an hour cost a tenth more.
  for (int64_t done = 0, n; done < len; done += n) {
    n = std::min(kAsyncChunk - FSize % kAsyncChunk, len - done);
    FCopier->Add({src.Fd(), pos + done, FSize, n});
    FSize += n;
  }
}

void TAtomicOutput::Append(const void* data, size_t len) {
  FlushRange();
  if (len > 0) FRunLen = 0;
  WriteAll(data, len, FSize);
  FSize += int64_t(len);
}

void TAtomicOutput::WriteAt(int64_t pos, const void* data, size_t len) {
  FlushRange();
  if (len > 0) FRunLen = 0;
  WriteAll(data, len, pos);
  if (pos + int64_t(len) > FSize) FSize = pos + int64_t(len);
}

size_t TAtomicOutput::ReadBack(int64_t pos, void* dst, size_t len) {
  FlushRange();
  if (pos < 0 || pos >= FSize) return 0;
  if (int64_t(len) > FSize - pos) len = size_t(FSize - pos);
  const ssize_t n = ::pread(FFd, dst, len, pos);
  if (n < 0) ThrowFileError("Read error");
  return size_t(n);
}

void TAtomicOutput::Commit(bool noReplace, bool sync) {
  FlushRange();
  if (FFd < 0) {
    errno = EBADF;
    ThrowFileError("Nothing to commit");
  }
  if (sync && ::fsync(FFd) != 0) ThrowFileError("Write error");
  const TNamingScope naming;
  if (FUnnamed) {
    // Linking never replaces a file: that is what a piece wants, and the usual case of a new
    // file. A file to be replaced gets a temporary name first and is renamed over it.
    if (LinkUnnamed(FPath)) {
      CloseCommitted();
      return;
    }
    if (errno != EEXIST || noReplace) ThrowFileError("Cannot create " + FPath);
    for (int attempt = 0; attempt < 100 && FTempPath.empty(); ++attempt) {
      const std::string temp = TemporaryNameBeside(FPath);
      if (LinkUnnamed(temp)) {
        FTempPath = temp;
        FTempSlot = RememberTemporary(temp);
        continue;
      }
      if (errno != EEXIST) ThrowFileError("Cannot create " + FPath);
    }
    if (FTempPath.empty()) ThrowFileError("Cannot create " + FPath);
  }
  const int rc = noReplace ? RenameNoReplace() : ::rename(FTempPath.c_str(), FPath.c_str());
  if (rc != 0) ThrowFileError("Cannot create " + FPath);
  ForgetTemporary(FTempSlot);
  FTempPath.clear();
  CloseCommitted();
}

int TAtomicOutput::RenameNoReplace() {
  const char* temp = FTempPath.c_str();
  const char* path = FPath.c_str();
  if (renameat2(AT_FDCWD, temp, AT_FDCWD, path, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // File systems without RENAME_NOREPLACE: a hard link refuses an existing name too.
  if (::link(temp, path) == 0) {
    ::unlink(temp);
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return -1;
  // Nor hard links (FAT through FUSE, some network shares): the name is taken with an empty
  // file of ours, which only fails for a name that exists, and the file renamed over it. Only
  // once the empty file is ours may a signal remove it (the commit holds the signals back
  // until then, see TNamingScope).
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  int slot = RememberTemporary(FPath);
  ::close(fd);
  const int rc = ::rename(temp, path);
  const int error = errno;
  if (rc != 0) ::unlink(path);
  ForgetTemporary(slot);
  errno = error;
  return rc;
}

void TAtomicOutput::CommitAs(const std::string& path, bool noReplace) {
  FlushRange();
  FPath = path;
  if (FUnnamed && FFd >= 0 && LinkUnnamed(FPath)) {
    CloseCommitted();
    return;
  }
  // The name is taken (a new piece's never is): looked at as Open would have, a link written
  // where it points and a folder refused.
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) FPath = ResolveLink(path);
    if (stat(FPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      ThrowFileError("Cannot create " + path);
    }
  }
  Commit(noReplace);
}

bool TAtomicOutput::LinkUnnamed(const std::string& path) const {
  const std::string self = "/proc/self/fd/" + std::to_string(FFd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void TAtomicOutput::CloseCommitted() {
  FCopier.reset();
  const int fd = FFd;
  FFd = -1;
  FUnnamed = false;
  // The data are complete; a late close error can no longer undo the name.
  ::close(fd);
}

void TAtomicOutput::Discard() {
  FCopier.reset();
  FPendingLen = 0;
  FRunLen = 0;
  FUnnamed = false;
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  if (!FTempPath.empty()) {
    ::unlink(FTempPath.c_str());
    ForgetTemporary(FTempSlot);
    FTempPath.clear();
  }
}

}  // namespace pelcato
