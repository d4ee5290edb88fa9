#include "ExactPocWriter.h"

#include <fstream>
#include <iterator>

#include "mp3/Crc16.h"
#include "mp3/FillerFrame.h"
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
                                     s.Header->Frames, s.Model.Frames, first->SamplesPerFrame);
  }
  return s;
}

std::vector<uint8_t> WriteExactPiece(const TSourceStream& src, const TExactPiece& plan) {
  const std::vector<uint8_t>& b = src.File;
  const TMainDataFrame& first = src.Frames[size_t(plan.FirstFrame)];
  const uint8_t* firstHeader = &b[size_t(first.Offset)];

  std::vector<uint8_t> filler;
  if (plan.Filler) {
    std::vector<uint8_t> reservoir;
    const size_t from = size_t(plan.FirstFrame) > 16 ? size_t(plan.FirstFrame) - 16 : 0;
    const std::span<const TMainDataFrame> before(src.Frames.data() + from,
                                                 size_t(plan.FirstFrame) - from);
    // Where the bytes are not in the file (a source that starts with such a frame), the
    // filler stays silent and the frame decodes as it does in the source.
    if (std::optional<std::vector<TByteRange>> ranges = ReservoirOf(first, before)) {
      for (const TByteRange& r : *ranges) {
        reservoir.insert(reservoir.end(), b.begin() + r.Offset, b.begin() + r.Offset + r.Size);
      }
    }
    filler = TFillerFrame::Render(firstHeader, reservoir);
    if (filler.empty()) return {};
  }

  std::optional<TXingFrame> x = TXingFrame::WithLameFor(firstHeader);
  if (!x) return {};
  const TMainDataFrame& last = src.Frames[size_t(plan.LastFrame)];
  const int64_t audioBytes = int64_t(filler.size()) + last.Offset + last.Size - first.Offset;
  bool oneRate = true;
  for (int64_t i = plan.FirstFrame; i <= plan.LastFrame; ++i) {
    oneRate =
        oneRate && (b[size_t(src.Frames[size_t(i)].Offset) + 2] >> 4) == (firstHeader[2] >> 4);
  }
  // The source's extension where it has one; an encoder string that ffmpeg does not know
  // would keep ffmpeg from trimming the piece.
  if (src.Header && src.Header->Lame) x->Lame = src.Header->Lame;
  if (!x->Lame->HonouredEverywhere()) x->Lame->SetEncoder("LAME");
  x->Info = oneRate;
  x->Lame->VbrMethod = oneRate ? 1 : x->Lame->VbrMethod;
  x->Frames = uint32_t(plan.Frames);
  x->Bytes = uint32_t(x->FrameSize() + audioBytes);
  x->Lame->Delay = uint16_t(plan.Delay);
  x->Lame->Padding = uint16_t(plan.Padding);
  x->Lame->MusicLength = x->Bytes;
  uint16_t crc = UpdateCrc16(0, filler.data(), filler.size());
  crc = UpdateCrc16(crc, &b[size_t(first.Offset)], size_t(audioBytes) - filler.size());
  x->Lame->MusicCrc = crc;
  x->FillToc([&](uint64_t frame) -> uint64_t {
    // Audio frame 0 of the piece is the filler when there is one.
    if (plan.Filler && frame == 0) return 0;
    const int64_t kept = plan.FirstFrame + int64_t(frame) - (plan.Filler ? 1 : 0);
    return filler.size() + uint64_t(src.Frames[size_t(kept)].Offset - first.Offset);
  });

  std::vector<uint8_t> out = x->Render();
  out.insert(out.end(), filler.begin(), filler.end());
  out.insert(out.end(), b.begin() + first.Offset, b.begin() + last.Offset + last.Size);
  return out;
}

namespace {

std::optional<TSourceStream> ReadSourceFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ReadSourceStream(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

bool WritePiece(const TSourceStream& src, const TExactPiece& plan, const std::string& path) {
  const std::vector<uint8_t> out = WriteExactPiece(src, plan);
  if (out.empty()) return false;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  return true;
}

}  // namespace

bool PocCut(const std::string& source, int64_t startMs, int64_t endMs, const std::string& piece) {
  const std::optional<TSourceStream> src = ReadSourceFile(source);
  if (!src) return false;
  const int rate = src->Model.SampleRate;
  const std::optional<TExactPiece> plan =
      PlanExact(src->Model, SampleAtMs(startMs, rate), SampleAtMs(endMs, rate),
                [&](int64_t i) { return src->Frames[size_t(i)].MainDataBegin > 0; });
  return plan && WritePiece(*src, *plan, piece);
}

std::vector<std::string> PocSplit(const std::string& source,
                                  const std::vector<int64_t>& boundariesMs,
                                  const std::string& folder) {
  const std::optional<TSourceStream> src = ReadSourceFile(source);
  if (!src) return {};
  std::vector<int64_t> at;
  for (int64_t ms : boundariesMs) at.push_back(SampleAtMs(ms, src->Model.SampleRate));
  std::vector<std::string> paths;
  for (const TExactPiece& p : PlanExactSplit(
           src->Model, at, [&](int64_t i) { return src->Frames[size_t(i)].MainDataBegin > 0; })) {
    paths.push_back(folder + "/part" + std::to_string(paths.size() + 1) + ".mp3");
    if (!WritePiece(*src, p, paths.back())) return {};
  }
  return paths;
}

}  // namespace pelcato::test
