#include "mp3/NotMp3.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "mp3/MpegFrameHeader.h"

namespace pelcato {
namespace {

constexpr int64_t kLookBytes = 1 << 20;
// Frames that must follow each other end to end before a place counts as a frame start.
constexpr int kChain = 3;

// Other formats people mistake for MP3, by the bytes they start with.
const char* OtherFormat(const uint8_t* b, size_t len) {
  const auto at = [&](size_t pos, const char* magic) {
    const size_t n = std::strlen(magic);
    return len >= pos + n && std::memcmp(b + pos, magic, n) == 0;
  };
  if (at(0, "RIFF") && at(8, "WAVE")) return "a WAVE file";
  if (at(0, "fLaC")) return "a FLAC file";
  if (at(0, "OggS")) return "an Ogg file";
  if (at(4, "ftyp")) return "an MP4 or M4A file";
  if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) return "an AIFF file";
  return nullptr;
}

// True when kChain frames of one layer and sample rate lie end to end from pos.
bool ChainAt(TSourceFile& src, int64_t pos) {
  std::optional<MpegFrameHeader> first;
  for (int i = 0; i < kChain; ++i) {
    const uint8_t* h = src.Peek(pos, 4);
    const std::optional<MpegFrameHeader> f = h ? DecodeFrameHeader(h) : std::nullopt;
    if (!f || (first && (f->Layer != first->Layer || f->SampleRate != first->SampleRate))) {
      return false;
    }
    if (!first) first = f;
    pos += f->FrameSize;
  }
  return true;
}

}  // namespace

std::string WhyNoFrameAt(TSourceFile& src, int64_t first) {
  uint8_t head[12] = {};
  const size_t len = src.ReadAt(first, head, sizeof head);
  if (const char* other = OtherFormat(head, len)) return std::string(other) + ", not MP3";
  const int64_t end = std::min(src.Size() - 4, first + kLookBytes);
  for (int64_t pos = first + 1; pos < end; ++pos) {
    const uint8_t* b = src.Peek(pos, 1);
    if (b && *b == 0xFF && ChainAt(src, pos)) {
      return "no MPEG audio frame at byte " + std::to_string(first) +
             ", where the audio has to start; frames start at byte " + std::to_string(pos) +
             " behind other data";
    }
  }
  return first + kLookBytes < src.Size() ? "no MPEG audio frames found in the first MiB"
                                         : "no MPEG audio frames found";
}

}  // namespace pelcato
