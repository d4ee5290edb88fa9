// A source file read without ever going past its end, through mapped windows where it can.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/FileError.h"

namespace pelcato {

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

}  // namespace pelcato
