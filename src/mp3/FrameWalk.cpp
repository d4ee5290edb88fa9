#include "mp3/FrameWalk.h"

#include <cstring>
#include <optional>

#include "mp3/Id3Tags.h"

namespace pelcato {
namespace {

constexpr int64_t kPrefetchFrames = 16;

}  // namespace

const MpegFrameHeader* THeaderCache::Miss(TEntry& e, uint32_t key, const uint8_t* h) {
  const std::optional<MpegFrameHeader> hdr = DecodeFrameHeader(h);
  e.Key = key;
  e.Valid = hdr.has_value();
  if (e.Valid) e.Header = *hdr;
  return e.Valid ? &e.Header : nullptr;
}

TFrameStep StepAt(TSourceFile& src, int64_t pos, bool copying, THeaderCache& headers) {
  const uint8_t* p = src.Peek(pos, 4);
  if (!p) return {pos + 4, 0, 0.0};
  uint8_t h[4];
  std::memcpy(h, p, 4);
  if (h[0] == 0xFF) {
    if (const MpegFrameHeader* hdr = headers.Decode(h)) {
      const int64_t next = pos + hdr->FrameSize;
      // The header kPrefetchFrames on, where it lies if the frames up to it are as long as this
      // one, is asked for now: it is at hand when the walk gets there (a place a fixed number
      // of bytes on would mostly miss the header's line).
      src.Prefetch(pos + kPrefetchFrames * hdr->FrameSize);
      // A header frame is passed over: never copied and no time.
      if (HeaderTagAt(src, pos, *hdr) != THeaderTag::None) return {next, 0, 0.0};
      // A frame is copied whole or not at all.
      if (copying && next > src.Size()) throw EFileError("A frame is cut short by the end");
      return {next, hdr->FrameSize, hdr->FrameMs};
    }
  }
  if (StartsWithId3(h)) {
    // An ID3v2 tag inside the stream is passed over.
    if (const uint8_t* tag = src.Peek(pos, kId3v2HeaderSize)) {
      return {pos + kId3v2HeaderSize + DecodeSyncsafe(tag + 6), 0, 0.0};
    }
  }
  // Anything else is dropped four bytes at a time.
  return {pos + 4, 0, 0.0};
}

}  // namespace pelcato
