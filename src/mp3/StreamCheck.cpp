#include "mp3/StreamCheck.h"

#include <algorithm>
#include <memory>

#include "io/SourceFile.h"
#include "mp3/Decoder.h"
#include "mp3/ExactPlan.h"
#include "mp3/Id3Tags.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/SideInfo.h"
#include "mp3/XingFrame.h"

namespace pelcato {
namespace {

// The most bytes a Layer III frame's main data can start before its own main data area.
constexpr int64_t kMaxReservoir = 511;

// True when the bytes from `from` to `to` are exactly one ID3v2 tag.
bool IsTagBetween(TSourceFile& src, int64_t from, int64_t to) {
  const uint8_t* h = src.Peek(from, kId3v2HeaderSize);
  TId3v2Header tag;
  return h && TId3v2Header::Parse(h, kId3v2HeaderSize, tag) &&
         from + kId3v2HeaderSize + int64_t(tag.Size) == to;
}

TStreamCheck CheckStreamOrThrow(const std::string& path);

// The header frame of the file: the first frame behind an ID3v2 tag and its zero padding.
std::optional<TXingFrame> HeaderFrame(TSourceFile& src) {
  int64_t pos = 0;
  TId3v2Header tag;
  const uint8_t* h = src.Peek(0, kId3v2HeaderSize);
  if (h && TId3v2Header::Parse(h, kId3v2HeaderSize, tag)) pos = kId3v2HeaderSize + tag.Size;
  for (const uint8_t* b = src.Peek(pos, 1); b && *b == 0; b = src.Peek(pos, 1)) ++pos;
  h = src.Peek(pos, 4);
  const std::optional<MpegFrameHeader> hdr = h ? DecodeFrameHeader(h) : std::nullopt;
  const uint8_t* frame = hdr ? src.Peek(pos, size_t(hdr->FrameSize)) : nullptr;
  return frame ? TXingFrame::Parse(frame, size_t(hdr->FrameSize)) : std::nullopt;
}

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
  std::unique_ptr<TSourceFile> src;
  try {
    src = std::make_unique<TSourceFile>(path);  // regular files only
  } catch (const std::exception& e) {
    r.Error = e.what();
    return r;
  }
  // Every frame is decoded and counted: with gapless trimming the decoder would pass over the
  // frames that fall into an encoder delay.
  TDecoderSetup setup;
  setup.Gapless = false;
  TDecoder decoder(setup);
  if (!decoder.OpenFile(path)) {
    r.Error = decoder.ErrorText();
    return r;
  }
  int channels = 0;
  int64_t prevEnd = -1;
  int64_t reservoir = 0;  // main data bytes of the frames decoded so far
  bool reservoirChecked = false;
  for (;;) {
    TDecodedFrame frame;
    const TDecodeStatus status = decoder.DecodeFrame(frame);
    if (status == TDecodeStatus::Done) break;
    if (status == TDecodeStatus::NewFormat) {
      decoder.Format(r.SampleRate, channels);
      continue;
    }
    if (status != TDecodeStatus::Ok) {
      // The decoder cannot go on from here.
      ++r.DecodeErrors;
      break;
    }
    const int64_t pos = frame.Pos;
    if (prevEnd >= 0 && pos != prevEnd && !IsTagBetween(*src, prevEnd, pos)) ++r.DecodeErrors;
    prevEnd = pos + frame.FrameBytes;
    ++r.Frames;
    if (channels > 0) r.Samples += frame.Samples;
    // Frames that reach back before the first frame can only be at the start.
    if (!reservoirChecked && frame.Layer == 3) {
      const uint8_t* head = src->Peek(pos, 4);
      const int64_t size = frame.FrameBytes;
      const uint8_t* whole = head && size >= 4 ? src->Peek(pos, size_t(size)) : nullptr;
      const std::optional<TLayer3SideInfo> side =
          whole ? TLayer3SideInfo::Parse(whole, size_t(size)) : std::nullopt;
      if (side) {
        if (side->MainDataBegin > reservoir) ++r.ReservoirFrames;
        reservoir += side->MainDataSize;
      }
      reservoirChecked = !side || reservoir >= kMaxReservoir;
    }
  }
  if (const std::optional<TXingFrame> x = HeaderFrame(*src)) {
    if (x->Flags & TXingFrame::kHasFrames) r.HeaderFrames = x->Frames;
    if (x->Lame) {
      r.HasGapless = true;
      r.Delay = x->Lame->Delay;
      r.Padding = x->Lame->Padding;
      r.Encoder = x->Lame->EncoderString();
      r.Trimmed = r.Frames > 0 && r.Frames <= r.HeaderFrames &&
                  TrustedGapless(r.Delay, r.Padding, r.HeaderFrames, int(r.Samples / r.Frames));
    }
  }
  r.Decodable = r.SampleRate > 0;
  if (!r.Decodable && r.Error.empty()) r.Error = "no MPEG audio stream found";
  if (!r.Decodable) return r;
  r.DecodedMs = r.Samples * 1000 / r.SampleRate;
  r.PlayedMs = r.DecodedMs;
  if (r.HeaderFrames < 0 || r.Frames == 0) return r;
  const int64_t perFrame = r.Samples / r.Frames;
  const std::optional<TGapless> g =
      r.HasGapless ? TrustedGapless(r.Delay, r.Padding, r.HeaderFrames, int(perFrame))
                   : std::nullopt;
  const int64_t delay = g ? g->Delay + kDecoderDelay : 0;
  const int64_t padding = g ? g->Padding - kDecoderDelay : 0;
  r.HeaderMs = (r.HeaderFrames * perFrame - (g ? g->Delay + g->Padding : 0)) * 1000 / r.SampleRate;
  r.CountMismatch = r.HeaderFrames != r.Frames;
  r.CutShort = r.Frames < r.HeaderFrames;
  // A joined file plays every sample; the others lose the delay, and the padding where the
  // frames the header counts end in the file.
  if (r.Trimmed) {
    const int64_t played = r.Samples - delay - (r.CutShort ? 0 : padding);
    r.PlayedMs = std::max<int64_t>(played, 0) * 1000 / r.SampleRate;
  }
  return r;
}

}  // namespace

}  // namespace pelcato
