#include "mp3/ExactWriter.h"

#include <algorithm>
#include <cstring>

#include "io/AtomicOutput.h"
#include "mp3/Crc16.h"
#include "mp3/FillerFrame.h"
#include "mp3/FrameWalk.h"
#include "mp3/MpegFrameHeader.h"

namespace pelcato {
namespace {

// Frames before a piece's first frame that may hold the main data it takes: the reservoir
// is at most 511 bytes, and the smallest main data area of a frame is about 58 bytes.
constexpr int64_t kLookBack = 16;

// Pieces at least this long are copied on a thread of their own while their frames are read.
constexpr int64_t kCopyAheadBytes = 2 << 20;

// Times in milliseconds beyond any stream (about 31 years), so that a sample number stays far
// from overflow.
constexpr int64_t kMaxMs = int64_t(1) << 40;

}  // namespace

std::optional<TExactStream> ExamineExact(TSourceFile& src, int64_t firstFrame, int layer,
                                         const TFrameIndex& index, std::string& refusal) {
  if (layer != 3) {
    refusal = "Layer " + std::to_string(layer) + " frames cannot be cut exact to the sample";
    return std::nullopt;
  }
  const uint8_t* h = src.Peek(firstFrame, 4);
  const std::optional<MpegFrameHeader> hdr = h ? DecodeFrameHeader(h) : std::nullopt;
  const TFrameIndex::TCount& count = index.Count();
  TExactStream s;
  bool passedOver = false;
  if (hdr) {
    if (const uint8_t* frame = src.Peek(firstFrame, size_t(hdr->FrameSize))) {
      s.Header = TXingFrame::Parse(frame, size_t(hdr->FrameSize));
    }
    // The walk passes over a "Xing" frame of the common layout and takes any other header
    // frame for a frame; decoders take both for the header they are.
    const uint8_t* tag = src.Peek(firstFrame + kXingOffset, 4);
    passedOver = tag && IsXingTag(tag);
  }
  s.FirstStep = s.Header || passedOver ? 1 : 0;
  const int64_t frames = count.Frames - (s.Header && !passedOver ? 1 : 0);
  if (!hdr || count.OtherSteps != (passedOver ? 1 : 0) || !count.OneFrameTime || !count.OneFormat ||
      frames <= 0) {
    refusal =
        "the stream holds more than whole frames of one format (bytes between frames, a tag "
        "inside it, free-format frames or a change of sample rate)";
    return std::nullopt;
  }
  s.Model.SampleRate = hdr->SampleRate;
  s.Model.SamplesPerFrame = hdr->SamplesPerFrame;
  s.Model.Frames = frames;
  if (s.Header && s.Header->Lame && (s.Header->Flags & TXingFrame::kHasFrames)) {
    s.Model.Gapless = TrustedGapless(s.Header->Lame->Delay, s.Header->Lame->Padding,
                                     s.Header->Frames, frames, hdr->SamplesPerFrame);
  }
  return s;
}

TMainDataFrame TFrameLocator::At(int64_t k) {
  const std::vector<TFrameIndex::TMark>& marks = FIndex.Marks();
  const int64_t step = k + FFirstStep;
  const int64_t mark = step / TFrameIndex::kStride;
  if (k < 0 || mark >= int64_t(marks.size())) throw EFileError("No such frame in the index");
  // On from where the walk stands when that is no further than from the mark.
  if (FStep < 0 || FStep > step || step - FStep > step - mark * TFrameIndex::kStride) {
    FStep = mark * TFrameIndex::kStride;
    FPos = marks[size_t(mark)].Pos;
  }
  THeaderCache headers;
  while (FStep < step) {
    FPos = StepAt(FSrc, FPos, false, headers).Next;
    ++FStep;
  }
  const TFrameStep s = StepAt(FSrc, FPos, true, headers);
  const uint8_t* frame = s.Bytes > 0 ? FSrc.Peek(FPos, size_t(s.Bytes)) : nullptr;
  const std::optional<TMainDataFrame> f =
      frame ? TMainDataFrame::Of(frame, size_t(s.Bytes), FPos) : std::nullopt;
  if (!f) throw EFileError("The walk meets no Layer III frame where the index puts one");
  return *f;
}

std::optional<TExactPiece> TExactWriter::Plan(int64_t startMs, int64_t endMs) {
  const TExactSource& m = FStream.Model;
  const int64_t length = m.TimelineSamples();
  const int64_t lastMs = length * 1000 / m.SampleRate;
  const int64_t first = SampleAtMs(std::clamp<int64_t>(startMs, 0, kMaxMs), m.SampleRate);
  const int64_t end =
      endMs >= lastMs ? length : SampleAtMs(std::clamp<int64_t>(endMs, 0, kMaxMs), m.SampleRate);
  return PlanExact(m, first, end, [&](int64_t i) { return FFrames.At(i).MainDataBegin > 0; });
}

TExactLead TExactWriter::Lead(const TExactPiece& piece) {
  std::vector<TMainDataFrame> before;
  for (int64_t k = std::max<int64_t>(0, piece.FirstFrame - kLookBack); k < piece.FirstFrame; ++k) {
    before.push_back(FFrames.At(k));
  }
  const TMainDataFrame first = FFrames.At(piece.FirstFrame);
  uint8_t header[4];
  std::memcpy(header, FSrc.Peek(first.Offset, 4), 4);  // At has read the whole frame
  std::optional<TXingFrame> x = TXingFrame::WithLameFor(header);
  if (!x) throw EFileError("No header frame holds the piece's fields");
  TExactLead lead{*x, {}};
  if (piece.Filler) {
    std::vector<uint8_t> reservoir;
    // Where the bytes are not in the file (a source whose first frames take main data from
    // before it), the filler stays silent and the frame decodes as it does in the source.
    if (const std::optional<std::vector<TByteRange>> ranges = ReservoirOf(first, before)) {
      for (const TByteRange& r : *ranges) {
        const uint8_t* p = FSrc.Peek(r.Offset, size_t(r.Size));
        if (!p) throw EFileError("The reservoir lies past the end of the file");
        reservoir.insert(reservoir.end(), p, p + r.Size);
      }
    }
    lead.Filler = TFillerFrame::Render(header, reservoir);
    if (lead.Filler.empty()) throw EFileError("No filler frame holds the reservoir");
  }
  return lead;
}

int64_t TExactWriter::FrameEnd(int64_t frame) {
  const TMainDataFrame f = FFrames.At(frame);
  return f.Offset + f.Size;
}

TExactHeader TExactWriter::Write(const TExactPiece& piece, TAtomicOutput& out, int64_t& bytes,
                                 double& written) {
  TExactLead lead = Lead(piece);
  TXingFrame& x = lead.Header;
  const int64_t from = FFrames.At(piece.FirstFrame).Offset;
  const int64_t end = FrameEnd(piece.LastFrame);
  const int64_t filler = int64_t(lead.Filler.size());
  const int64_t streamBytes = x.FrameSize() + filler + (end - from);
  if (streamBytes > int64_t(UINT32_MAX) || piece.Frames > int64_t(UINT32_MAX)) {
    throw EFileError("The piece is too long for its header frame");
  }

  // The header frame's place first; its fields are known once the frames are read, which a
  // long piece's copy does not wait for.
  const int64_t at = out.Size();
  const std::vector<uint8_t> blank(size_t(x.FrameSize()), 0);
  out.Append(blank.data(), blank.size());
  out.Append(lead.Filler.data(), lead.Filler.size());
  if (end - from >= kCopyAheadBytes) {
    out.AppendRangeInBackground(FSrc, from, end - from);
  } else {
    out.AppendRange(FSrc, from, end - from);
  }

  // The kept frames in order: whether they share one bit rate, where the frames that the
  // seek table points at lie (piece frame 0 is the filler when there is one, at 0), and the
  // music CRC, which covers every audio frame behind the header frame.
  bool oneRate = true;
  uint8_t firstRate = 0;
  uint16_t crc = UpdateCrc16(0, lead.Filler.data(), lead.Filler.size());
  std::vector<std::pair<uint64_t, uint64_t>> seekPoints;
  const auto note = [&](uint64_t frame, uint64_t pos) {
    while (seekPoints.size() < 100 && uint64_t(piece.Frames) * seekPoints.size() / 100 == frame) {
      seekPoints.emplace_back(frame, pos);
    }
  };
  uint64_t frame = 0;
  if (filler > 0) note(frame++, 0);
  THeaderCache headers;
  for (int64_t pos = from; pos < end; ++frame) {
    const TFrameStep step = StepAt(FSrc, pos, true, headers);
    const uint8_t* p = step.Bytes > 0 ? FSrc.Peek(pos, size_t(step.Bytes)) : nullptr;
    if (!p || step.Next != pos + step.Bytes || step.Next > end) {
      throw EFileError("The frames of the piece do not follow each other");
    }
    if (pos == from) firstRate = p[2] >> 4;
    oneRate = oneRate && (p[2] >> 4) == firstRate;
    note(frame, uint64_t(filler + pos - from));
    crc = UpdateCrc16(crc, p, size_t(step.Bytes));
    pos = step.Next;
  }

  // The source's extension where it has one, for the encoder's settings it tells; the gain
  // and peak fields described the whole source and are cleared.
  if (FStream.Header && FStream.Header->Lame) x.Lame = FStream.Header->Lame;
  if (FStream.Header && (FStream.Header->Flags & TXingFrame::kHasQuality)) {
    x.Quality = FStream.Header->Quality;
  }
  TLameTag& lame = *x.Lame;
  // ffmpeg trims only behind the encoder strings it knows; lame pads a short one with zeros.
  if (!lame.HonouredEverywhere()) lame.SetEncoder("LAME");
  lame.Peak = 0;
  lame.RadioGain = 0;
  lame.AudiophileGain = 0;
  x.Info = oneRate;
  if (oneRate) lame.VbrMethod = 1;
  x.Frames = uint32_t(piece.Frames);
  x.Bytes = uint32_t(streamBytes);
  lame.Delay = uint16_t(piece.Delay);
  lame.Padding = uint16_t(piece.Padding);
  lame.MusicLength = x.Bytes;
  lame.MusicCrc = crc;
  x.FillToc([&](uint64_t f) -> uint64_t {
    const auto p =
        std::lower_bound(seekPoints.begin(), seekPoints.end(), std::make_pair(f, uint64_t(0)));
    return p == seekPoints.end() ? 0 : p->second;
  });
  bytes += streamBytes;
  written += double(piece.EndSample - piece.FirstSample) * 1000.0 / FStream.Model.SampleRate;
  return {x, at};
}

void FinishExact(TAtomicOutput& out, const TExactHeader& header) {
  TXingFrame x = header.Frame;
  // ffmpeg takes a file more than a sixteenth larger than the header frame's byte count for
  // several files joined and forgets the frame count, and with it the padding to trim: a tag
  // behind a short piece is counted then.
  const int64_t trailing = out.Size() - header.At - int64_t(x.Bytes);
  if (trailing > int64_t(x.Bytes) / 16) x.Bytes += uint32_t(trailing);
  const std::vector<uint8_t> frame = x.Render();
  if (frame.empty()) throw EFileError("The header frame cannot be rendered");
  out.WriteAt(header.At, frame.data(), frame.size());
}

}  // namespace pelcato
