#include "mp3/Mpg123Player.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "io/SourceFile.h"
#include "mp3/MpegFrameHeader.h"

namespace pelcato {
namespace {

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

// libmpg123 reads its input a frame header and a frame at a time; through this buffer the
// length scan of a long file costs a few hundred reads instead of two per frame.
struct TBufferedInput {
  static constexpr size_t kSize = 256 * 1024;
  int Fd = -1;
  std::vector<uint8_t> Buffer = std::vector<uint8_t>(kSize);
  size_t Pos = 0;
  size_t Len = 0;
  off_t FilePos = 0;  // file offset of Buffer[0]; with Mapped, the read position
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

  mpg123_ssize_t ReadMapped(void* dst, size_t want) {
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
      return mpg123_ssize_t(n);
    } catch (const std::exception&) {
      return -1;
    }
  }

  static mpg123_ssize_t Read(void* handle, void* dst, size_t want) {
    auto& in = *static_cast<TBufferedInput*>(handle);
    if (in.Stop && in.Stop->load(std::memory_order_relaxed)) return -1;
    if (in.Mapped) return in.ReadMapped(dst, want);
    size_t done = 0;
    while (done < want) {
      if (in.Pos == in.Len) {
        in.FilePos += off_t(in.Len);
        in.Pos = in.Len = 0;
        ssize_t n;
        do n = ::pread(in.Fd, in.Buffer.data(), kSize, in.FilePos);
        while (n < 0 && errno == EINTR);
        if (n < 0) return done ? mpg123_ssize_t(done) : -1;
        if (n == 0) break;
        in.Len = size_t(n);
      }
      const size_t n = std::min(want - done, in.Len - in.Pos);
      std::memcpy(static_cast<uint8_t*>(dst) + done, in.Buffer.data() + in.Pos, n);
      in.Pos += n;
      done += n;
    }
    return mpg123_ssize_t(done);
  }

  static off_t Seek(void* handle, off_t offset, int whence) {
    auto& in = *static_cast<TBufferedInput*>(handle);
    off_t target = offset;
    if (whence == SEEK_CUR) {
      target = in.FilePos + off_t(in.Pos) + offset;  // Pos stays 0 with Mapped
    } else if (whence == SEEK_END) {
      struct stat st;
      if (fstat(in.Fd, &st) != 0) return -1;
      target = st.st_size + offset;
    } else if (whence != SEEK_SET) {
      errno = EINVAL;
      return -1;
    }
    if (target < 0) {
      errno = EINVAL;
      return -1;
    }
    if (in.Mapped) {
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

  static void Cleanup(void* handle) {
    auto* in = static_cast<TBufferedInput*>(handle);
    if (!in) return;
    ::close(in->Fd);
    delete in;
  }
};

}  // namespace

TMpg123Player::TMpg123Player() {
  InitLibraryOnce();
}

TMpg123Player::~TMpg123Player() {
  Close();
  if (FHandle) mpg123_delete(FHandle);
}

void TMpg123Player::Raise(const std::string& what) const {
  const char* reason = FHandle ? mpg123_strerror(FHandle) : "out of memory";
  const bool unread = !FHandle || mpg123_errcode(FHandle) == MPG123_ERR_READER;
  throw EPlayerError(what + ": " + reason,
                     unread ? TPlayerFault::CannotRead : TPlayerFault::NotPlayable);
}

void TMpg123Player::Open(const std::string& fileName) {
  Close();
  if (!FHandle) {
    int err = MPG123_OK;
    FHandle = mpg123_new(nullptr, &err);
    if (!FHandle)
      throw EPlayerError(std::string("Cannot start the decoder: ") + mpg123_plain_strerror(err));
    mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_replace_reader_handle(FHandle, TBufferedInput::Read, TBufferedInput::Seek,
                                 TBufferedInput::Cleanup);
  }
  auto* input = new TBufferedInput;
  input->Fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (input->Fd < 0 || fstat(input->Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const std::string reason = input->Fd < 0 ? std::strerror(errno) : "not a regular file";
    if (input->Fd >= 0) ::close(input->Fd);
    delete input;
    throw EPlayerError("Cannot open the file: " + reason, TPlayerFault::CannotRead);
  }
  if (FLengthOnly) {
    try {
      input->Mapped = std::make_unique<TSourceFile>(fileName);
    } catch (const std::exception&) {
      input->Mapped.reset();  // read it all
    }
    FLengthOnly = false;
  }
  input->Stop = FStop;
  // On success and failure alike the library owns the input from here and cleans it up.
  if (mpg123_open_handle(FHandle, input) != MPG123_OK) {
    const std::string reason = mpg123_strerror(FHandle);
    mpg123_close(FHandle);
    throw EPlayerError("Cannot open the file: " + reason, TPlayerFault::CannotRead);
  }
  FOpen = true;
  // mpg123_open takes any file; a stream without a format is one we cannot play.
  int encoding = 0;
  if (mpg123_getformat(FHandle, &FRate, &FChannels, &encoding) != MPG123_OK || FRate <= 0) {
    const std::string reason = mpg123_strerror(FHandle);
    const bool unread = mpg123_errcode(FHandle) == MPG123_ERR_READER;
    Close();
    throw EPlayerError("The file is not playable: " + reason,
                       unread ? TPlayerFault::CannotRead : TPlayerFault::NotPlayable);
  }
  FPositionMs = 0;
}

int64_t TMpg123Player::Length() {
  if (!FOpen) throw EPlayerError("No file is open");
  if (mpg123_scan(FHandle) != MPG123_OK) Raise("Cannot measure the length");
  const off_t samples = mpg123_length(FHandle);
  if (samples < 0) Raise("Cannot measure the length");
  return int64_t(samples) * 1000 / FRate;
}

int64_t TMpg123Player::LengthWithoutScan() {
  if (!FOpen) throw EPlayerError("No file is open");
  const off_t samples = mpg123_length(FHandle);
  if (samples < 0) Raise("Cannot tell the length");
  return int64_t(samples) * 1000 / FRate;
}

int64_t TMpg123Player::Position() {
  return FPositionMs;
}

void TMpg123Player::SetPosition(int64_t ms) {
  if (!FOpen) throw EPlayerError("No file is open");
  FPositionMs = ms;
}

void TMpg123Player::Play() {
  throw EPlayerError("Preview playback is not available");
}

TPlayerMode TMpg123Player::Mode() {
  return FOpen ? TPlayerMode::Stopped : TPlayerMode::NotOpen;
}

void TMpg123Player::Close() {
  if (FOpen) mpg123_close(FHandle);
  FOpen = false;
  FPositionMs = 0;
}

}  // namespace pelcato
