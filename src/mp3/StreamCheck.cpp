#include "mp3/StreamCheck.h"

#include <mpg123.h>
#include <sys/stat.h>

#include <memory>
#include <mutex>

#include "io/SourceFile.h"
#include "mp3/Id3Tags.h"
#include "mp3/SideInfo.h"

namespace pelcato {
namespace {

// The most bytes a Layer III frame's main data can start before its own main data area.
constexpr int64_t kMaxReservoir = 511;

struct THandleDeleter {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};

// True when the bytes from `from` to `to` are exactly one ID3v2 tag.
bool IsTagBetween(TSourceFile& src, int64_t from, int64_t to) {
  const uint8_t* h = src.Peek(from, kId3v2HeaderSize);
  TId3v2Header tag;
  return h && TId3v2Header::Parse(h, kId3v2HeaderSize, tag) &&
         from + kId3v2HeaderSize + int64_t(tag.Size) == to;
}

TStreamCheck CheckStreamOrThrow(const std::string& path);

}  // namespace

TStreamCheck CheckStream(const std::string& path) {
  try {
    return CheckStreamOrThrow(path);
  } catch (const std::exception& e) {
    TStreamCheck r;
    r.Error = e.what();
    return r;
  }
}

namespace {

TStreamCheck CheckStreamOrThrow(const std::string& path) {
  TStreamCheck r;
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  std::unique_ptr<TSourceFile> src;
  try {
    src = std::make_unique<TSourceFile>(path);  // regular files only
  } catch (const std::exception& e) {
    r.Error = e.what();
    return r;
  }
  int err = MPG123_OK;
  std::unique_ptr<mpg123_handle, THandleDeleter> h(mpg123_new(nullptr, &err));
  if (!h) {
    r.Error = mpg123_plain_strerror(err);
    return r;
  }
  mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  // Every frame is decoded and counted: without gapless trimming the decoder would pass over
  // the frames that fall into an encoder delay.
  mpg123_param(h.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  if (mpg123_open(h.get(), path.c_str()) != MPG123_OK) {
    r.Error = mpg123_strerror(h.get());
    return r;
  }
  int channels = 0;
  int encoding = 0;
  int64_t prevEnd = -1;
  int64_t reservoir = 0;  // main data bytes of the frames decoded so far
  bool reservoirChecked = false;
  for (;;) {
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int rc = mpg123_decode_frame(h.get(), &num, &audio, &bytes);
    if (rc == MPG123_DONE) break;
    if (rc == MPG123_NEW_FORMAT) {
      mpg123_getformat(h.get(), &r.SampleRate, &channels, &encoding);
      continue;
    }
    if (rc != MPG123_OK) {
      // The decoder cannot go on from here.
      ++r.DecodeErrors;
      break;
    }
    mpg123_frameinfo info{};
    mpg123_info(h.get(), &info);
    const int64_t pos = mpg123_framepos(h.get());
    if (prevEnd >= 0 && pos != prevEnd && !IsTagBetween(*src, prevEnd, pos)) ++r.DecodeErrors;
    prevEnd = pos + info.framesize;
    ++r.Frames;
    if (channels > 0 && encoding != 0) {
      r.Samples += int64_t(bytes) / (int64_t(channels) * mpg123_encsize(encoding));
    }
    // Frames that reach back before the first frame can only be at the start.
    if (!reservoirChecked && info.layer == 3) {
      const uint8_t* frame = src->Peek(pos, 4);
      const int64_t size = info.framesize;
      const uint8_t* whole = frame && size >= 4 ? src->Peek(pos, size_t(size)) : nullptr;
      const std::optional<TLayer3SideInfo> side =
          whole ? TLayer3SideInfo::Parse(whole, size_t(size)) : std::nullopt;
      if (side) {
        if (side->MainDataBegin > reservoir) ++r.ReservoirFrames;
        reservoir += side->MainDataSize;
      }
      reservoirChecked = !side || reservoir >= kMaxReservoir;
    }
  }
  r.Decodable = r.SampleRate > 0;
  if (!r.Decodable && r.Error.empty()) r.Error = "no MPEG audio stream found";
  if (r.SampleRate > 0) r.DecodedMs = r.Samples * 1000 / r.SampleRate;
  return r;
}

}  // namespace

}  // namespace pelcato
