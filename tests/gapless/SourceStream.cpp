#include "SourceStream.h"

#include "mp3/MpegFrameHeader.h"

namespace pelcato::test {

std::optional<TSourceStream> ReadSourceStream(std::vector<uint8_t> file) {
  TSourceStream s;
  s.File = std::move(file);
  const std::vector<uint8_t>& b = s.File;
  size_t pos = 0;
  if (b.size() >= 10 && b[0] == 'I' && b[1] == 'D' && b[2] == '3') {
    pos = 10 + (size_t(b[6] & 0x7F) << 21 | size_t(b[7] & 0x7F) << 14 | size_t(b[8] & 0x7F) << 7 |
                size_t(b[9] & 0x7F));
    if (b[5] & 0x10) pos += 10;  // footer
  }
  std::optional<MpegFrameHeader> first;
  while (pos + 4 <= b.size()) {
    const std::optional<MpegFrameHeader> h = DecodeFrameHeader(&b[pos]);
    if (!h || h->Layer != 3 || size_t(h->FrameSize) > b.size() - pos) break;
    if (!first) {
      first = h;
      s.FirstFrameAt = pos;
      s.Header = TXingFrame::Parse(&b[pos], size_t(h->FrameSize));
      if (s.Header) {
        pos += size_t(h->FrameSize);
        continue;
      }
    }
    const std::optional<TMainDataFrame> f =
        TMainDataFrame::Of(&b[pos], size_t(h->FrameSize), int64_t(pos));
    if (!f) break;
    s.Frames.push_back(*f);
    pos += size_t(h->FrameSize);
  }
  if (!first || s.Frames.empty()) return std::nullopt;
  s.Model.SampleRate = first->SampleRate;
  s.Model.SamplesPerFrame = first->SamplesPerFrame;
  s.Model.Frames = int64_t(s.Frames.size());
  if (s.Header && s.Header->Lame && (s.Header->Flags & TXingFrame::kHasFrames)) {
    s.Model.Gapless = TrustedGapless(s.Header->Lame->Delay, s.Header->Lame->Padding,
                                     s.Header->Frames, first->SamplesPerFrame);
    s.Model.HeaderFrames = s.Header->Frames;
  }
  return s;
}

}  // namespace pelcato::test
