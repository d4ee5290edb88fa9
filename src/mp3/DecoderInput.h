// What libmpg123 reads through: a file (buffered, or for a length scan through mapped windows
// that pass over the frames' bodies) or bytes in memory. libmpg123 owns it once opened and
// ends it through Cleanup.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/SourceFile.h"

namespace pelcato {

struct TDecoderInput {
  static constexpr size_t kSize = 256 * 1024;
  int Fd = -1;  // a file, or -1 for Memory
  const uint8_t* Memory = nullptr;
  int64_t MemorySize = 0;
  std::vector<uint8_t> Buffer;
  size_t Pos = 0;
  size_t Len = 0;
  off_t FilePos = 0;  // file offset of Buffer[0]; with Mapped or Memory, the read position
  // Opened for the length only: reads come from mapped windows of the file, and a frame's
  // body, which the length scan only passes over, is not read: the four header bytes just
  // read announce a frame whose remaining bytes are asked for now. The first bytes (where a
  // VBR header frame is read) and the last (the tags) are always read.
  static constexpr int64_t kReadAtStart = 16 * 1024;
  static constexpr int64_t kReadAtEnd = 1024;
  std::unique_ptr<TSourceFile> Mapped;
  const std::atomic<bool>* Stop = nullptr;  // set: every read fails from now on
  int64_t HeaderPos = -1;                   // where the last four-byte read found a frame header
  int64_t HeaderFrameSize = 0;

  int64_t Position() const { return int64_t(FilePos) + int64_t(Pos); }
  int64_t Size() const;

  static ssize_t Read(void* handle, void* dst, size_t want);
  static off_t Seek(void* handle, off_t offset, int whence);
  static void Cleanup(void* handle);

 private:
  ssize_t ReadMapped(void* dst, size_t want);
  ssize_t ReadMemory(void* dst, size_t want);
};

}  // namespace pelcato
