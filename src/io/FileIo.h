// Reading sources and writing destinations: buffered reads that never go past the end of a
// file, and destinations that appear under their name only once they are complete.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelcato {

class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A source opened read-only. Small reads come from a window of the file: mapped where the
// system allows it (the walk then touches only the bytes it looks at, and nothing is copied),
// otherwise read into memory. A source cut short while mapped makes the next read fail.
class TSourceFile {
 public:
  explicit TSourceFile(const std::string& path);  // throws EFileError
  ~TSourceFile();
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  int64_t Size() const { return FSize; }
  int Fd() const { return FFd; }
  // Up to len bytes at pos; fewer at the end of the file. Throws EFileError on a read error.
  size_t ReadAt(int64_t pos, void* dst, size_t len);
  // len bytes at pos (len at most a few KiB), or nullptr when fewer than len remain. Throws
  // EFileError when the file was cut short under a mapped window.
  const uint8_t* Peek(int64_t pos, size_t len) {
    if (pos >= FWindowPos && pos >= 0 && len <= FWindowLen &&
        pos - FWindowPos <= int64_t(FWindowLen - len) && *FCutShort == 0) {
      return FWindowData + (pos - FWindowPos);
    }
    return PeekSlow(pos, len);
  }
  // Asks for the bytes at pos to be brought near the processor; a hint only.
  void Prefetch(int64_t pos) const {
    if (pos >= FWindowPos && pos - FWindowPos < int64_t(FWindowLen)) {
      __builtin_prefetch(FWindowData + (pos - FWindowPos));
    }
  }
  // Throws EFileError when the file was cut short while we read it through a mapped window.
  void CheckIntact() const;

 private:
  const uint8_t* PeekSlow(int64_t pos, size_t len);
  void Unmap();

  int FFd = -1;
  int64_t FSize = 0;
  std::vector<uint8_t> FWindow;
  const uint8_t* FWindowData = nullptr;
  int64_t FWindowPos = 0;
  size_t FWindowLen = 0;
  void* FMap = nullptr;  // the mapped window, when there is one
  size_t FMapLen = 0;
  int FSlot = -1;                 // the window's entry in the table the SIGBUS handler reads
  const volatile int* FCutShort;  // set by that handler when the window lost its file
  bool FMapFailed = false;
};

// Test hook, asked before every write to a destination, from whichever thread writes, one call
// at a time; answering false fails that write.
using TWriteFaultHook = std::function<bool()>;
void SetWriteFaultHook(TWriteFaultHook hook);
// Test hook: with false, destinations are written under named temporary files, as in folders
// that have no O_TMPFILE (FAT, network shares).
void SetUnnamedFilesAllowed(bool allowed);

// True when both paths name the same file (same device and inode), through any spelling,
// symbolic link or hard link.
bool IsSameFile(const std::string& a, const std::string& b);

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);

// A path that is a symbolic link resolved to the file it points to; any other path as it is.
// Destinations are written where their link points, as editors do.
std::string ResolveLink(const std::string& path);

// A destination written under a temporary name in its own folder. Commit renames it to its
// name; anything else (an error, the destructor) removes it, so a failed save leaves no
// partial file and a file it was to replace stays as it was.
class TAtomicOutput {
 public:
  TAtomicOutput();
  ~TAtomicOutput();
  TAtomicOutput(const TAtomicOutput&) = delete;
  TAtomicOutput& operator=(const TAtomicOutput&) = delete;

  // Creates the temporary file beside path. False when that is not possible. Without
  // lookAtPath the path is not looked at (a piece named only at CommitAs): a new file's
  // permission bits.
  bool Open(const std::string& path, bool lookAtPath = true);
  // Copies a range of the source. Ranges that follow each other are gathered into one large
  // copy. Throws EFileError.
  void AppendRange(TSourceFile& src, int64_t pos, int64_t len);
  // Starts copying a range on another thread at once, a chunk at a time, and returns; what
  // comes next (a write, ReadBack, Commit) waits for it, and Discard stops it. Throws
  // EFileError.
  void AppendRangeInBackground(TSourceFile& src, int64_t pos, int64_t len);
  void Append(const void* data, size_t len);                // throws EFileError
  void WriteAt(int64_t pos, const void* data, size_t len);  // throws EFileError
  size_t ReadBack(int64_t pos, void* dst, size_t len);      // what has been written so far
  int64_t Size() const { return FSize + FPendingLen; }      // gathered copies included
  // True when the last len bytes written are a copy of the source bytes that end at srcEnd.
  bool EndsWithCopyUpTo(int64_t srcEnd, int64_t len) const {
    return FRunEnd == srcEnd && FRunLen >= len;
  }
  // Gives the finished file its name. With noReplace an existing file of that name is never
  // overwritten (the commit fails instead); with sync the data reach the disk before the name
  // does. Throws EFileError.
  void Commit(bool noReplace = false, bool sync = false);
  // Commit under another name in the same file system, chosen only now (a split piece that
  // was written before its number was known). Throws EFileError.
  void CommitAs(const std::string& path, bool noReplace);
  // Finishes every copy handed over so far, so that the sources they read may go. Throws
  // EFileError.
  void Flush() { FlushRange(); }
  void Discard();

 private:
  void FlushRange(bool wait = true);
  void CloseCommitted();
  // Gives the file without a name (O_TMPFILE) the name path; false with errno otherwise.
  bool LinkUnnamed(const std::string& path) const;
  // Renames the named temporary file to FPath unless a file has that name; 0 or -1 with errno.
  int RenameNoReplace();
  void WriteAll(const void* data, size_t len, int64_t pos);

  struct TCopier;
  void Drain();

  std::unique_ptr<TCopier> FCopier;  // copies long ranges while the caller walks on
  int FFd = -1;
  bool FUnnamed = false;  // the file has no name yet (O_TMPFILE)
  std::string FPath;
  std::string FTempPath;
  int FTempSlot = -1;  // where a signal handler finds FTempPath
  int64_t FSize = 0;
  TSourceFile* FPendingSrc = nullptr;
  int64_t FPendingPos = 0;
  int64_t FPendingLen = 0;
  // The copy of source bytes that the output ends with: where it ends in the source, and how
  // long it is (0 when the output ends in bytes written as they are).
  int64_t FRunEnd = -1;
  int64_t FRunLen = 0;
};

}  // namespace pelcato
