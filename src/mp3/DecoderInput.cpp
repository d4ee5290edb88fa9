#include "mp3/DecoderInput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "mp3/MpegFrameHeader.h"

namespace pelcato {

int64_t TDecoderInput::Size() const {
  if (Fd < 0) return MemorySize;
  struct stat st;
  return fstat(Fd, &st) == 0 ? int64_t(st.st_size) : 0;
}

ssize_t TDecoderInput::ReadMapped(void* dst, size_t want) {
  try {
    const int64_t pos = FilePos;
    const int64_t size = Mapped->Size();
    if (pos >= size) return 0;
    const size_t n = size_t(std::min<int64_t>(int64_t(want), size - pos));
    const bool body = n >= 16 && pos == HeaderPos + 4 && int64_t(n) + 4 == HeaderFrameSize &&
                      pos >= kReadAtStart && pos + int64_t(n) <= size - kReadAtEnd;
    HeaderPos = -1;
    if (body) {
      std::memset(dst, 0, n);
    } else if (const uint8_t* p = n <= 64 * 1024 ? Mapped->Peek(pos, n) : nullptr) {
      std::memcpy(dst, p, n);
      if (n == 4) {
        if (const std::optional<MpegFrameHeader> h = DecodeFrameHeader(p)) {
          HeaderPos = pos;
          HeaderFrameSize = h->FrameSize;
        }
      }
    } else if (Mapped->ReadAt(pos, dst, n) != n) {
      return -1;
    }
    FilePos += off_t(n);
    // The scan goes through the file in order: the headers ahead are asked for now.
    Mapped->Prefetch(pos + 4096);
    return ssize_t(n);
  } catch (const std::exception&) {
    return -1;
  }
}

ssize_t TDecoderInput::ReadMemory(void* dst, size_t want) {
  if (FilePos >= MemorySize) return 0;
  const size_t n = size_t(std::min<int64_t>(int64_t(want), MemorySize - FilePos));
  std::memcpy(dst, Memory + FilePos, n);
  FilePos += off_t(n);
  return ssize_t(n);
}

ssize_t TDecoderInput::Read(void* handle, void* dst, size_t want) {
  auto& in = *static_cast<TDecoderInput*>(handle);
  if (in.Stop && in.Stop->load(std::memory_order_relaxed)) return -1;
  if (in.Fd < 0) return in.ReadMemory(dst, want);
  if (in.Mapped) return in.ReadMapped(dst, want);
  // libmpg123 reads a frame header and a frame at a time; through this buffer the length scan
  // of a long file costs a few hundred reads instead of two per frame.
  if (in.Buffer.empty()) in.Buffer.resize(kSize);
  size_t done = 0;
  while (done < want) {
    if (in.Pos == in.Len) {
      in.FilePos += off_t(in.Len);
      in.Pos = in.Len = 0;
      ssize_t n;
      do n = ::pread(in.Fd, in.Buffer.data(), kSize, in.FilePos);
      while (n < 0 && errno == EINTR);
      if (n < 0) return done ? ssize_t(done) : -1;
      if (n == 0) break;
      in.Len = size_t(n);
    }
    const size_t n = std::min(want - done, in.Len - in.Pos);
    std::memcpy(static_cast<uint8_t*>(dst) + done, in.Buffer.data() + in.Pos, n);
    in.Pos += n;
    done += n;
  }
  return ssize_t(done);
}

off_t TDecoderInput::Seek(void* handle, off_t offset, int whence) {
  auto& in = *static_cast<TDecoderInput*>(handle);
  off_t target = offset;
  if (whence == SEEK_CUR) {
    target = in.FilePos + off_t(in.Pos) + offset;  // Pos stays 0 with Mapped and Memory
  } else if (whence == SEEK_END) {
    if (in.Fd < 0) {
      target = off_t(in.MemorySize) + offset;
    } else {
      struct stat st;
      if (fstat(in.Fd, &st) != 0) return -1;
      target = st.st_size + offset;
    }
  } else if (whence != SEEK_SET) {
    errno = EINVAL;
    return -1;
  }
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  if (in.Mapped || in.Fd < 0) {
    in.FilePos = target;
    in.HeaderPos = -1;
  } else if (target >= in.FilePos && target <= in.FilePos + off_t(in.Len)) {
    in.Pos = size_t(target - in.FilePos);
  } else {
    in.FilePos = target;
    in.Pos = in.Len = 0;
  }
  return target;
}

void TDecoderInput::Cleanup(void* handle) {
  auto* in = static_cast<TDecoderInput*>(handle);
  if (!in) return;
  if (in->Fd >= 0) ::close(in->Fd);
  delete in;
}

}  // namespace pelcato
