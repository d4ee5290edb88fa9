#include "mp3/ExactWriter.h"

#include <algorithm>
#include <cstring>

#include "io/AtomicOutput.h"
#include "mp3/Crc16.h"
#include "mp3/FillerFrame.h"
#include "mp3/FrameSink.h"
#include "mp3/FrameWalk.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/MusicCrc.h"

namespace pelcato {
namespace {

// Frames before a piece's first frame that may hold the main data it takes: the reservoir
// is at most 511 bytes, and the smallest main data area of a frame is about 58 bytes.
constexpr int64_t kLookBack = 16;

// Frames behind the one that holds a timeline's last sample: its padding and the decoder
// delay, at most 4,095 + 529 samples, in frames of 576. A walk that has not met the end of the
// stream looks that far on, so that a range ending within the last millisecond finds out.
constexpr int64_t kTailFrames = 9;

// The largest Layer III frame: 320 kbit/s at 32 kHz, or 160 kbit/s at 8 kHz, padded.
constexpr int64_t kMaxFrameBytes = 1441;

// Pieces at least this long are copied on a thread of their own while their frames are read,
// a part at a time; the CRC reads them a smaller part at a time.
constexpr int64_t kCopyAheadBytes = 2 << 20;
constexpr int64_t kCrcBytes = 256 << 10;

// Times in milliseconds beyond any stream (about 31 years), so that a sample number stays far
// from overflow.
constexpr int64_t kMaxMs = int64_t(1) << 40;

// Frame k of a stream whose fields were taken on trust lies past the frames its header counts.
bool Unconfirmed(const TExactSource& m, int64_t k) {
  return m.Gapless && m.Frames == TExactSource::kUnknownFrames && k >= m.HeaderFrames;
}

uint16_t FormatOf(const uint8_t* h) {
  return uint16_t((h[1] & 0x1E) << 8 | (h[2] & 0x0C));
}

// The seek table's frame positions with memory that stays small for any piece: at most
// kMaxMarks, every second one dropped when full.
class TSeekMarks {
 public:
  void Add(int64_t frame, int64_t pos) {
    if (frame % FStride != 0) return;
    if (FMarks.size() == kMaxMarks) {
      for (size_t i = 0; i < kMaxMarks / 2; ++i) FMarks[i] = FMarks[2 * i];
      FMarks.resize(kMaxMarks / 2);
      FStride *= 2;
      if (frame % FStride != 0) return;
    }
    FMarks.push_back(pos);
  }
  // Between two kept positions the frames are taken to be of even size.
  uint64_t At(uint64_t frame) const {
    const size_t i = size_t(frame / uint64_t(FStride));
    if (FMarks.empty()) return 0;
    if (i + 1 >= FMarks.size()) return uint64_t(FMarks.back());
    const int64_t at = FMarks[i];
    return uint64_t(at + (FMarks[i + 1] - at) * int64_t(frame % uint64_t(FStride)) / FStride);
  }

 private:
  static constexpr size_t kMaxMarks = 4096;
  std::vector<int64_t> FMarks;
  int64_t FStride = 1;
};

}  // namespace

std::optional<TExactStream> ExamineExact(TSourceFile& src, int64_t firstFrame, int64_t audioLimit,
                                         int layer, const TFrameIndex* index,
                                         std::string& refusal) {
  if (layer != 3) {
    refusal = "Layer " + std::to_string(layer) + " frames cannot be cut exact to the sample";
    return std::nullopt;
  }
  const uint8_t* h = src.Peek(firstFrame, 4);
  const std::optional<MpegFrameHeader> hdr = h ? DecodeFrameHeader(h) : std::nullopt;
  if (!hdr) {
    refusal = ENotExact().what();
    return std::nullopt;
  }
  TExactStream s;
  s.FirstFrame = firstFrame;
  s.AudioLimit = audioLimit;
  s.Format = FormatOf(h);
  if (const uint8_t* frame = src.Peek(firstFrame, size_t(hdr->FrameSize))) {
    s.Header = TXingFrame::Parse(frame, size_t(hdr->FrameSize));
  }
  // The walk passes over a header frame (a "VBRI" one too, whose fields are not read).
  const bool passedOver = HeaderTagAt(src, firstFrame, *hdr) != THeaderTag::None;
  s.FirstStep = passedOver ? 1 : 0;
  s.Model.SampleRate = hdr->SampleRate;
  s.Model.SamplesPerFrame = hdr->SamplesPerFrame;
  s.Model.Frames = TExactSource::kUnknownFrames;
  if (index) {
    const TFrameIndex::TCount& count = index->Count();
    s.Model.Frames = count.Frames;
    if (count.OtherSteps != s.FirstStep || !count.OneFrameTime || !count.OneFormat ||
        s.Model.Frames <= 0) {
      refusal = ENotExact().what();
      return std::nullopt;
    }
  }
  // Decoders drop the padding where the frames the header counts end, a hole in what follows.
  if (s.Header && s.Header->Lame && (s.Header->Flags & TXingFrame::kHasFrames) &&
      (!index || s.Model.Frames <= int64_t(s.Header->Frames))) {
    s.Model.Gapless = TrustedGapless(s.Header->Lame->Delay, s.Header->Lame->Padding,
                                     s.Header->Frames, hdr->SamplesPerFrame);
    s.Model.HeaderFrames = s.Header->Frames;
  }
  return s;
}

void TFrameLocator::Keep(int64_t k, const TMainDataFrame& f) {
  if (k != FKeptEnd) FKeptCount = 0;
  FKept[size_t(k % kKept)] = f;
  FKeptEnd = k + 1;
  FKeptCount = std::min(FKeptCount + 1, kKept);
}

std::optional<TMainDataFrame> TFrameLocator::Find(int64_t k) {
  if (k < 0 || (FEnd >= 0 && k >= FEnd)) return std::nullopt;
  if (k < FKeptEnd && k >= FKeptEnd - FKeptCount) return FKept[size_t(k % kKept)];
  const int64_t first = FStream.FirstStep;
  const int64_t step = k + first;
  if (FIndex) {
    const std::vector<TFrameIndex::TMark>& marks = FIndex->Marks();
    const int64_t frames = FStream.Model.Frames;
    if (k >= frames) {
      FEnd = frames;
      return std::nullopt;
    }
    // On from where the walk stands when that is no further than from the mark.
    const int64_t mark = step / TFrameIndex::kStride;
    if (FStep < 0 || FStep > step || step - FStep > step - mark * TFrameIndex::kStride) {
      if (mark >= int64_t(marks.size())) throw EFileError("No such frame in the index");
      FStep = mark * TFrameIndex::kStride;
      FPos = marks[size_t(mark)].Pos;
    }
  } else if (FStep < 0 || FStep > step) {
    FStep = 0;
    FPos = FStream.FirstFrame;
  }
  THeaderCache headers;
  for (; FStep <= step; ++FStep) {
    if (FPos >= FStream.AudioLimit) {
      FEnd = std::max<int64_t>(FStep - first, 0);
      return std::nullopt;
    }
    const TFrameStep s = StepAt(FSrc, FPos, false, headers);
    if (FStep >= first && (FStep > step - kKept || !FIndex)) {
      // An audio frame: whole, of the stream's format, where a piece may need it.
      const uint8_t* frame = s.Bytes > 0 && s.Next == FPos + s.Bytes && s.Next <= FSrc.Size()
                                 ? FSrc.Peek(FPos, size_t(s.Bytes))
                                 : nullptr;
      if (!frame || FormatOf(frame) != FStream.Format) {
        if (FIndex) throw EFileError("The walk meets no frame where the index puts one");
        throw ENotExact();
      }
      if (Unconfirmed(FStream.Model, FStep - first)) throw EMoreFramesThanCounted();
      if (FStep > step - kKept) {
        const std::optional<TMainDataFrame> f = TMainDataFrame::Of(frame, size_t(s.Bytes), FPos);
        if (!f) throw EFileError("A frame is too short for its side information");
        Keep(FStep - first, *f);
      }
    }
    FPos = s.Next;
  }
  return FKept[size_t(k % kKept)];
}

int64_t TFrameLocator::StartNoLaterThan(int64_t k) const {
  if (!FIndex || k < 0) return FStream.FirstFrame;
  const std::vector<TFrameIndex::TMark>& marks = FIndex->Marks();
  const size_t mark = size_t((k + FStream.FirstStep) / TFrameIndex::kStride);
  return mark < marks.size() ? marks[mark].Pos : FStream.FirstFrame;
}

TMainDataFrame TFrameLocator::At(int64_t k) {
  const std::optional<TMainDataFrame> f = Find(k);
  if (!f) throw EFileError("The stream ends before the frame");
  return *f;
}

int64_t TExactWriter::WantedEnd() const {
  const TExactSource& m = FStream.Model;
  const int64_t length = m.TimelineSamples();
  return FEndMs >= length * 1000 / m.SampleRate ? length : SampleAtMs(FEndMs, m.SampleRate);
}

std::optional<TExactPiece> TExactWriter::Plan(int64_t startMs, int64_t endMs) {
  TExactSource& m = FStream.Model;
  FEndMs = std::clamp<int64_t>(endMs, 0, kMaxMs);
  const int64_t first = SampleAtMs(std::clamp<int64_t>(startMs, 0, kMaxMs), m.SampleRate);
  for (;;) {
    bool ended = false;
    std::optional<TExactPiece> piece = PlanExact(m, first, WantedEnd(), [&](int64_t i) {
      const std::optional<TMainDataFrame> f = FFrames.Find(i);
      ended = !f;
      return f && f->MainDataBegin > 0;
    });
    // Without a frame count, the frames around the first wanted sample show whether the
    // stream ends there.
    if (piece && !ended && m.Frames == TExactSource::kUnknownFrames) {
      ended = !FFrames.Find((piece->FirstSample + m.Shift()) / m.SamplesPerFrame + kTailFrames);
    }
    if (!ended || FFrames.FramesAtEnd() == m.Frames) return piece;
    m.Frames = FFrames.FramesAtEnd();
  }
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

TExactPiece TExactWriter::Settle(TExactPiece piece) {
  TExactSource& m = FStream.Model;
  if (m.Frames == TExactSource::kUnknownFrames && !FFrames.Find(piece.LastFrame + kTailFrames)) {
    m.Frames = FFrames.FramesAtEnd();
    SetPieceEnd(m, piece, WantedEnd());
  }
  return piece;
}

int64_t TExactWriter::FrameEnd(int64_t frame) {
  const TMainDataFrame f = FFrames.At(frame);
  return f.Offset + f.Size;
}

TExactHeader TExactWriter::Write(const TExactPiece& planned, TAtomicOutput& out, int64_t& bytes,
                                 double& written, const TVolume& volume, int64_t* clamped) {
  TExactSource& m = FStream.Model;
  TExactPiece piece = planned;
  TExactLead lead = Lead(piece);
  TXingFrame& x = lead.Header;
  const int64_t from = FFrames.At(piece.FirstFrame).Offset;
  const int64_t filler = int64_t(lead.Filler.size());

  // The header frame's place first; its fields are known once the frames are read, which a
  // long piece's copy does not wait for.
  const int64_t at = out.Size();
  const std::vector<uint8_t> blank(size_t(x.FrameSize()), 0);
  out.Append(blank.data(), blank.size());
  out.Append(lead.Filler.data(), lead.Filler.size());

  // The kept frames in order: whether they share one bit rate, where they lie for the seek
  // table (piece frame 0 is the filler when there is one, at 0), and the music CRC, which
  // covers every audio frame behind the header frame. A walk without a frame count may meet
  // the stream's end on the way, or just behind the piece: the piece then ends where the
  // timeline does.
  bool oneRate = true;
  const uint8_t firstRate = FSrc.Peek(from, 4)[2] >> 4;
  TMusicCrc crc(FSrc, UpdateCrc16(0, lead.Filler.data(), lead.Filler.size()));
  TSeekMarks seek;
  if (filler > 0) seek.Add(0, 0);
  THeaderCache headers;
  int64_t pos = from;
  int64_t copied = from;
  int64_t summed = from;
  // Frames whose volume changes are changed in memory on their way out; their music CRC is
  // summed there, over the bytes as written.
  std::optional<TVolumeFilter> filter;
  if (volume.Changes()) {
    const TGainRamp ramp(volume, m.SampleRate, piece.Delay + kDecoderDelay,
                         piece.EndSample - piece.FirstSample);
    filter.emplace(ramp, filler > 0 ? m.SamplesPerFrame / 576 : 0);
  }
  TFrameSink sink(out, FSrc, filter ? &*filter : nullptr);
  if (filter) sink.SumCrc(UpdateCrc16(0, lead.Filler.data(), lead.Filler.size()));
  // Up to the start of the piece's last frame, as far as the frame index shows it, the bytes
  // surely belong to the piece: their CRC is summed ahead of the walk, whose reads of each
  // frame's header then find the bytes at hand instead of waiting for memory one frame at a
  // time. Behind that, and without an index, the CRC follows the walk.
  const int64_t sure = FFrames.StartNoLaterThan(piece.LastFrame);
  const auto sum = [&](int64_t upTo) {
    if (!filter) crc.Add(summed, upTo - summed);
    summed = upTo;
  };
  // The frames walked go to the copy, on a thread of its own for a long piece.
  const auto copy = [&] {
    sink.AddInBackground(copied, pos - copied);
    copied = pos;
  };
  // Without a frame count a second walk goes ahead near the end of the audio: when it meets
  // the end, the piece's end is known before a frame behind it is taken.
  int64_t ahead = -1;
  int64_t aheadFrame = 0;
  bool aheadStopped = false;
  for (int64_t k = piece.FirstFrame;; ++k) {
    if (m.Frames == TExactSource::kUnknownFrames &&
        FStream.AudioLimit - pos <= kTailFrames * kMaxFrameBytes) {
      if (ahead < 0) {
        ahead = pos;
        aheadFrame = k;
      }
      while (!aheadStopped && aheadFrame < k + kTailFrames && ahead < FStream.AudioLimit) {
        const TFrameStep s = StepAt(FSrc, ahead, false, headers);
        // Bytes that are no frame: the walk that takes the frames sees to them.
        aheadStopped = s.Bytes == 0;
        ahead = s.Next;
        if (!aheadStopped && Unconfirmed(m, aheadFrame++)) throw EMoreFramesThanCounted();
      }
      if (ahead >= FStream.AudioLimit && !aheadStopped) {
        m.Frames = aheadFrame;
        SetPieceEnd(m, piece, WantedEnd());
        if (filter) filter->Ramp().SetPlayLength(piece.EndSample - piece.FirstSample);
      }
    }
    if (k > piece.LastFrame) break;
    if (pos >= FStream.AudioLimit) throw EFileError("The stream ends inside the piece");
    if (summed < sure && summed - pos < kCrcBytes / 2) {
      sum(std::min(sure, summed + kCrcBytes));
    } else if (pos - summed >= kCrcBytes) {
      sum(pos);
    }
    const TFrameStep step = StepAt(FSrc, pos, true, headers);
    const uint8_t* p = step.Bytes > 0 ? FSrc.Peek(pos, 4) : nullptr;
    if (!p || step.Next != pos + step.Bytes || FormatOf(p) != FStream.Format) throw ENotExact();
    oneRate = oneRate && (p[2] >> 4) == firstRate;
    seek.Add(filler > 0 ? 1 + k - piece.FirstFrame : k - piece.FirstFrame, filler + pos - from);
    pos = step.Next;
    if (pos - copied >= kCopyAheadBytes) copy();
  }
  sum(pos);
  sink.Add(copied, pos - copied);
  sink.Finish();
  if (filter && clamped) *clamped = filter->Clamped();

  const int64_t streamBytes = x.FrameSize() + filler + (pos - from);
  if (streamBytes > int64_t(UINT32_MAX) || piece.Frames > int64_t(UINT32_MAX)) {
    throw EFileError("The piece is too long for its header frame");
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
  lame.MusicCrc = filter ? sink.Crc() : crc.Finish();
  x.FillToc([&](uint64_t f) { return seek.At(f); });
  bytes += streamBytes;
  written += LengthMs(piece);
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
