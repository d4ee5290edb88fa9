// Writing pieces: the walk to a piece's start, the copy of its frames (from the frame index in
// runs where it can), its VBR header frame and its tag, and the loop every save of many pieces
// runs.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "io/AtomicOutput.h"
#include "mp3/FrameSink.h"
#include "mp3/FrameWalk.h"
#include "mp3/KorvaMp3.h"
#include "mp3/XingFrame.h"

namespace pelcato {

void TKorvaMP3::SkipTo(TSourceFile& src, TCursor& cursor, int64_t targetMs,
                       const TFrameIndex* index) const {
  // Every state the walk passes through before it stops lies before the target in time, so
  // the last mark of the index that does is a state this walk reaches too: start there.
  if (index) {
    const std::vector<TFrameIndex::TMark>& marks = index->Marks();
    const double target = double(targetMs);
    auto after = std::partition_point(marks.begin(), marks.end(),
                                      [&](const TFrameIndex::TMark& m) { return target > m.Ms; });
    while (after != marks.begin()) {
      const TFrameIndex::TMark& m = *(after - 1);
      if (m.Pos <= cursor.Pos) break;
      if (m.Pos < src.Size() - 4) {
        cursor = {m.Pos, m.Ms};
        break;
      }
      --after;
    }
  }
  // Bounded by the whole file, end tags included.
  while (cursor.Pos < src.Size() - 4 && double(targetMs) > cursor.Ms) {
    const TFrameStep s = StepAt(src, cursor.Pos, false);
    cursor.Pos = s.Next;
    cursor.Ms += s.Ms;
  }
}

TKorvaMP3::TCursor TKorvaMP3::SkipFor(TSourceFile& src, TSkipWalk& walk, int64_t startMs,
                                      const TFrameIndex* index) const {
  if (startMs <= 0) return {Info.FirstFrameOffset(), 0.0};
  if (startMs < walk.Target) Restart(walk);
  SkipTo(src, walk.Shared, startMs, index);
  walk.Target = startMs;
  return walk.Shared;
}

bool TKorvaMP3::CopyFrame(TSourceFile& src, TFrameSink* sink, int64_t& pos, int64_t& bytes,
                          double& ms) const {
  const TFrameStep s = StepAt(src, pos, true);
  if (sink && s.Bytes > 0) sink->Add(pos, s.Bytes);
  bytes += s.Bytes;
  ms += s.Ms;
  pos = s.Next;
  return s.Bytes > 0;
}

bool TKorvaMP3::SourceUsable() const {
  struct stat st;
  return Info.Valid && stat(Info.FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<TSourceFile> TKorvaMP3::OpenSource() const {
  try {
    if (SourceUsable()) return std::make_unique<TSourceFile>(Info.FileName);
  } catch (const std::exception&) {
  }
  return nullptr;
}

bool TKorvaMP3::CanWriteTo(const std::string& destination) const {
  // One look at each: the source still a regular file, the destination not the source itself
  // through any path or link.
  struct stat source, target;
  if (!Info.Valid || stat(Info.FileName.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) {
    return false;
  }
  return stat(destination.c_str(), &target) != 0 || source.st_dev != target.st_dev ||
         source.st_ino != target.st_ino;
}

std::vector<uint8_t> TKorvaMP3::VbrHeaderFor(TSourceFile& src, int64_t from, int64_t spanMs,
                                             int64_t to) const {
  // The same walk as the copy below, without copying: where the piece's frames lie, and
  // whether they share one bit rate. Frame positions are kept for at most kMaxMarks frames,
  // every second one dropped when the table is full, so memory stays small for any piece.
  constexpr size_t kMaxMarks = 4096;
  const int64_t limit = std::min(to, AudioLimit());
  const double span = double(spanMs);
  int64_t pos = from;
  int64_t bytes = 0;
  double written = 0.0;
  uint64_t frames = 0;
  uint8_t first[4] = {};
  bool oneRate = true;
  std::vector<int64_t> marks;
  uint64_t stride = 1;
  while (pos < limit && span > written) {
    const TFrameStep s = StepAt(src, pos, true);
    if (s.Bytes > 0) {
      const uint8_t* h = src.Peek(pos, 4);
      if (!h) break;
      if (frames == 0) {
        std::memcpy(first, h, 4);
      } else if (RateKey(h) != RateKey(first)) {
        oneRate = false;
      }
      if (frames % stride == 0) {
        if (marks.size() == kMaxMarks) {
          for (size_t i = 0; i < kMaxMarks / 2; ++i) marks[i] = marks[2 * i];
          marks.resize(kMaxMarks / 2);
          stride *= 2;
        }
        if (frames % stride == 0) marks.push_back(bytes);
      }
      ++frames;
    }
    bytes += s.Bytes;
    written += s.Ms;
    pos = s.Next;
  }
  if (frames == 0) return {};
  // Frames of one bit rate need no header where their size tells their length.
  const std::optional<MpegFrameHeader> firstHeader = DecodeFrameHeader(first);
  if (oneRate && firstHeader &&
      SizeTellsLength(int64_t(frames), bytes, AverageFrameBytes(*firstHeader))) {
    return {};
  }
  std::optional<TXingFrame> x = TXingFrame::For(first);
  if (!x) return {};
  const int64_t total = bytes + x->FrameSize();
  if (total > int64_t(UINT32_MAX) || frames > UINT32_MAX) return {};
  x->Frames = uint32_t(frames);
  x->Bytes = uint32_t(total);
  x->FillToc([&](uint64_t frame) -> uint64_t {
    // Between two kept positions the frames are taken to be of even size.
    const size_t i = size_t(frame / stride);
    const int64_t at = marks[i];
    if (i + 1 >= marks.size()) return uint64_t(at);
    return uint64_t(at + (marks[i + 1] - at) * int64_t(frame - i * stride) / int64_t(stride));
  });
  return x->Render();
}

bool TKorvaMP3::WriteOutput(TSourceFile& src, const std::string& destination, const TID3v1Tag& tag,
                            const std::vector<uint8_t>& front, bool noReplace,
                            TSegmentResult& result, const TFrameCopy& copyFrames) const {
  result.Path = destination;
  result.Ok = false;
  result.Bytes = 0;
  result.DurationMs = 0;
  TAtomicOutput out;
  if (!out.Open(destination)) return false;
  try {
    int64_t bytes = 0;
    double written = 0.0;
    if (!front.empty()) out.Append(front.data(), front.size());
    copyFrames(out, bytes, written);
    if (tag.IsTag()) WriteTag(out, tag, SourceTagEnd());
    // A source cut short while we read it must not give a piece that looks whole.
    src.CheckIntact();
    out.Commit(noReplace);
    result.Ok = true;
    result.Bytes = bytes;
    result.DurationMs = int64_t(written);
    return true;
  } catch (const std::exception&) {
    out.Discard();
    return false;
  }
}

TVolume TKorvaMP3::VolumeOf(size_t piece) const {
  TVolume v = Volume;
  if (piece < PieceGainSteps.size()) v.GainSteps = PieceGainSteps[piece];
  return v;
}

std::optional<TVolumeFilter> TKorvaMP3::FilterFor(const TVolume& volume,
                                                  const std::function<int64_t()>& frames) const {
  if (!volume.Changes()) return std::nullopt;
  // A player plays every sample of a piece of whole frames; a fade-out needs to know how many.
  const int64_t samples = Info.Version == 1.0 ? 1152 : 576;
  const int64_t length = volume.FadeOutMs > 0 ? frames() * samples : 0;
  return TVolumeFilter(TGainRamp(volume, Info.SampleRate, 0, length), 0);
}

void TKorvaMP3::CopyPiece(TSourceFile& src, int64_t from, int64_t spanMs, TAtomicOutput* out,
                          int64_t& bytes, double& written, const TFrameIndex* index,
                          const TVolume& volume, int64_t* clamped) const {
  // The audio ends before the APE footer and the ID3v1 tag.
  const int64_t limit = AudioLimit();
  const double span = double(spanMs);
  int64_t pos = from;
  // Pieces asked to be exact get the VBR header frame even where they fall back to whole frames.
  // Where the index has met frames of one bit rate only, spread evenly, no piece needs one.
  if ((VbrHeader || Exact) && out &&
      !(index && index->Count().OneRate && index->Count().EvenSizes)) {
    const std::vector<uint8_t> header = VbrHeaderFor(src, from, spanMs);
    if (!header.empty()) out->Append(header.data(), header.size());
    bytes += int64_t(header.size());
  }
  std::optional<TVolumeFilter> filter;
  if (out) {
    filter = FilterFor(volume, [&] {
      int64_t frameBytes = 0;
      double ms = 0.0;
      CopyPiece(src, from, spanMs, nullptr, frameBytes, ms, index);
      const double frameMs = (Info.Version == 1.0 ? 1152.0 : 576.0) * 1000.0 / Info.SampleRate;
      return std::llround(ms / frameMs);
    });
  }
  std::optional<TFrameSink> sink;
  if (out) sink.emplace(*out, src, filter ? &*filter : nullptr);
  const std::vector<TFrameIndex::TMark>* marks = index ? &index->Marks() : nullptr;
  size_t mark = 0;
  if (marks) {
    mark = size_t(std::partition_point(marks->begin(), marks->end(),
                                       [&](const TFrameIndex::TMark& m) { return m.Pos < pos; }) -
                  marks->begin());
  }
  while (pos < limit && span > written) {
    if (marks && mark + 1 < marks->size() && (*marks)[mark].Pos == pos && (*marks)[mark].Clean) {
      // Whole frames end to end: copied in one go when the piece takes all of them, with the
      // time summed frame by frame as the walk below would.
      const TFrameIndex::TMark& m = (*marks)[mark];
      double w = written;
      int32_t taken = 0;
      while (taken < m.Steps && span > w) {
        w += m.FrameMs;
        ++taken;
      }
      if (taken == m.Steps) {
        if (sink) sink->Add(pos, m.Bytes);
        bytes += m.Bytes;
        written = w;
        pos = (*marks)[++mark].Pos;
        continue;
      }
    }
    CopyFrame(src, sink ? &*sink : nullptr, pos, bytes, written);
    while (marks && mark < marks->size() && (*marks)[mark].Pos < pos) ++mark;
  }
  if (sink) sink->Finish();
  if (filter && clamped) *clamped = filter->Clamped();
}

bool TKorvaMP3::WritePiece(TSourceFile& src, int64_t from, int64_t spanMs,
                           const std::string& destination, const TID3v1Tag& tag,
                           const std::vector<uint8_t>& front, bool noReplace,
                           TSegmentResult& result, const TFrameIndex* index,
                           const TVolume& volume) const {
  return WriteOutput(src, destination, tag, front, noReplace, result,
                     [&](TAtomicOutput& out, int64_t& bytes, double& written) {
                       CopyPiece(src, from, spanMs, &out, bytes, written, index, volume,
                                 &result.Clamped);
                     });
}

int64_t TKorvaMP3::PieceLength(TSourceFile& src, int64_t from, int64_t spanMs,
                               const TFrameIndex* index) const {
  int64_t bytes = 0;
  double written = 0.0;
  CopyPiece(src, from, spanMs, nullptr, bytes, written, index);
  return int64_t(written);
}

int64_t TKorvaMP3::RangeLength(TSourceFile& src, int64_t from, int64_t to) const {
  const int64_t limit = std::min(to, AudioLimit());
  int64_t bytes = 0;
  double written = 0.0;
  for (int64_t pos = from; pos < limit;) CopyFrame(src, nullptr, pos, bytes, written);
  return int64_t(written);
}

bool TKorvaMP3::SaveSegment(int64_t startMs, int64_t endMs, const std::string& destination,
                            const TID3v1Tag& tag, int64_t& bytes, int64_t& durationMs,
                            const TFrontFor& front, std::string* notExact, bool noReplace,
                            int64_t* clamped) {
  bytes = 0;
  durationMs = 0;
  if (!CanWriteTo(destination)) return false;
  TSegmentResult result;
  const TFrameIndex* index = UsableIndex();
  try {
    TSourceFile src(Info.FileName);
    // One piece walks to its frames rather than make a frame index first.
    if (const std::unique_ptr<TExactSave> exact =
            Exact ? PrepareExact(src, notExact, true) : nullptr) {
      TSkipWalk walk;
      Restart(walk);
      WriteRange(src, walk, exact.get(), 0, startMs, endMs, destination, tag, front, noReplace,
                 result, index, notExact);
      bytes = result.Bytes;
      durationMs = result.DurationMs;
      if (clamped) *clamped = result.Clamped;
      return result.Ok;
    }
    TCursor cursor{Info.FirstFrameOffset(), 0.0};
    const std::vector<uint8_t> frontBytes =
        front ? front(0,
                      [&] {
                        TCursor start = cursor;
                        if (startMs > 0) SkipTo(src, start, startMs, index);
                        return PieceLength(src, start.Pos, endMs - startMs, index);
                      })
              : std::vector<uint8_t>();
    // Without an index a long cut is copied while the walk checks it; what that leaves (the
    // cursor then stands on the start) is written here.
    const bool done = !index && WriteFromGuess(src, cursor, startMs, endMs - startMs, destination,
                                               tag, frontBytes, noReplace, result);
    if (!done) {
      if (index && startMs > 0) SkipTo(src, cursor, startMs, index);
      WritePiece(src, cursor.Pos, endMs - startMs, destination, tag, frontBytes, noReplace, result,
                 index, VolumeOf(0));
    }
  } catch (const std::exception&) {
    return false;
  }
  bytes = result.Bytes;
  durationMs = result.DurationMs;
  if (clamped) *clamped = result.Clamped;
  return result.Ok;
}

void TKorvaMP3::SaveSegments(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                             const TNameFor& nameFor, const TID3v1Tag& tag, bool noReplace,
                             const TPieceDone& done, const TFrontFor& front) {
  SaveSegmentsWithTags(
      starts, ends, nameFor, [&](size_t) { return tag; }, noReplace, done, front);
}

void TKorvaMP3::SaveInOrder(size_t count, const TNameFor& nameFor, const TTagFor& tagFor,
                            const TPieceDone& done, const TWriteOne& write,
                            const std::function<void(size_t piece)>& ready) const {
  for (size_t i = 0; i < count; ++i) {
    if (ready) ready(i);
    TSegmentResult result;
    const TID3v1Tag tag = tagFor(i);
    result.Path = nameFor(i);
    if (CanWriteTo(result.Path)) {
      try {
        write(i, tag, result);
      } catch (const std::exception&) {
        result.Ok = false;
      }
    }
    done(i, result);
  }
}

void TKorvaMP3::SaveSegmentsWithTags(const std::vector<int64_t>& starts,
                                     const std::vector<int64_t>& ends, const TNameFor& nameFor,
                                     const TTagFor& tagFor, bool noReplace, const TPieceDone& done,
                                     const TFrontFor& front) {
  const size_t count = std::min(starts.size(), ends.size());
  const TFrameIndex* index = UsableIndex();
  const std::unique_ptr<TSourceFile> src = OpenSource();
  std::unique_ptr<TExactSave> exact;
  try {
    if (src && Exact) exact = PrepareExact(*src);
  } catch (const std::exception&) {
    // A source that cannot be read fails every piece below.
  }
  if (src && index && count > 1 &&
      SavePiecesSideBySide(starts, ends, nameFor, tagFor, noReplace, done, front, *index,
                           exact.get())) {
    return;
  }
  TSkipWalk walk;
  Restart(walk);
  SaveInOrder(count, nameFor, tagFor, done,
              [&](size_t i, const TID3v1Tag& tag, TSegmentResult& result) {
                if (!src) return;
                try {
                  WriteRange(*src, walk, exact.get(), i, starts[i], ends[i], result.Path, tag,
                             front, noReplace, result, index);
                } catch (const std::exception&) {
                  Restart(walk);
                  throw;
                }
              });
}

int64_t TKorvaMP3::WalkFrames(const std::function<void(const TFrameSpan& frame)>& each) {
  if (!SourceUsable()) return -1;
  TSourceFile src(Info.FileName);
  const int64_t limit = AudioLimit();
  int64_t pos = Info.FirstFrameOffset();
  while (pos < limit) {
    const TFrameStep s = StepAt(src, pos, false);
    if (s.Bytes > 0) {
      TFrameSpan f{pos, s.Bytes, s.Ms};
      if (const uint8_t* h = src.Peek(pos, 4)) std::memcpy(f.Header, h, 4);
      each(f);
    }
    pos = s.Next;
  }
  return limit;
}

bool TKorvaMP3::WriteFrames(TSourceFile& src, int64_t from, int64_t to,
                            const std::string& destination, const TID3v1Tag& tag,
                            const std::vector<uint8_t>& front, bool noReplace,
                            TSegmentResult& result, const TVolume& volume) const {
  return WriteOutput(src, destination, tag, front, noReplace, result,
                     [&](TAtomicOutput& out, int64_t& bytes, double& written) {
                       if (VbrHeader) {
                         const std::vector<uint8_t> header = VbrHeaderFor(src, from, kNoSpan, to);
                         if (!header.empty()) out.Append(header.data(), header.size());
                         bytes += int64_t(header.size());
                       }
                       const int64_t limit = std::min(to, AudioLimit());
                       std::optional<TVolumeFilter> filter = FilterFor(volume, [&] {
                         int64_t frames = 0, frameBytes = 0;
                         double ms = 0.0;
                         for (int64_t p = from; p < limit;) {
                           frames += CopyFrame(src, nullptr, p, frameBytes, ms) ? 1 : 0;
                         }
                         return frames;
                       });
                       TFrameSink sink(out, src, filter ? &*filter : nullptr);
                       int64_t pos = from;
                       while (pos < limit) CopyFrame(src, &sink, pos, bytes, written);
                       sink.Finish();
                       if (filter) result.Clamped = filter->Clamped();
                     });
}

void TKorvaMP3::SaveFrameRanges(const std::vector<int64_t>& from, const std::vector<int64_t>& to,
                                const TNameFor& nameFor, const TID3v1Tag& tag, bool noReplace,
                                const TPieceDone& done, const TFrontFor& front) {
  const std::unique_ptr<TSourceFile> src = OpenSource();
  SaveInOrder(
      std::min(from.size(), to.size()), nameFor, [&](size_t) { return tag; }, done,
      [&](size_t i, const TID3v1Tag& pieceTag, TSegmentResult& result) {
        if (!src) return;
        const std::vector<uint8_t> frontBytes =
            front ? front(i, [&] { return RangeLength(*src, from[i], to[i]); })
                  : std::vector<uint8_t>();
        WriteFrames(*src, from[i], to[i], result.Path, pieceTag, frontBytes, noReplace, result,
                    VolumeOf(i));
      });
}

void WriteTag(TAtomicOutput& out, const TID3v1Tag& tag, int64_t sourceTagEnd) {
  const std::array<uint8_t, kId3v1Size> bytes = EncodeId3v1(tag);
  // A frame starts before the source's tag, so one that ends with the source ends with all of
  // the tag copied behind the audio.
  if (sourceTagEnd >= kId3v1Size && out.EndsWithCopyUpTo(sourceTagEnd, kId3v1Size)) {
    out.WriteAt(out.Size() - kId3v1Size, bytes.data(), bytes.size());
  } else {
    out.Append(bytes.data(), bytes.size());
  }
}

}  // namespace pelcato
