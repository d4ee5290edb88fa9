// Destinations that appear under their name only once they are complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/SourceFile.h"

namespace pelcato {

class TRangeCopier;

// Test hook: with false, destinations are written under named temporary files, as in folders
// that have no O_TMPFILE (FAT, network shares).
void SetUnnamedFilesAllowed(bool allowed);

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

  void Drain();

  std::unique_ptr<TRangeCopier> FCopier;  // copies long ranges while the caller walks on
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
