#include "mp3/KorvaMp3.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>

#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/XingFrame.h"

namespace pelcato {
namespace {

constexpr size_t kScanChunk = 64 * 1024;
constexpr int64_t kPrefetchFrames = 16;

int32_t ReadBigEndian32(const uint8_t* b) {
  return int32_t((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) |
                 uint32_t(b[3]));
}

bool StartsWithId3(const uint8_t* b) {
  return b[0] == 'I' && b[1] == 'D' && b[2] == '3';
}

}  // namespace

TKorvaMP3::TKorvaMP3(std::unique_ptr<TMediaPlayer> player) : FPlayer(std::move(player)) {}

TKorvaMP3::~TKorvaMP3() {
  if (FPlayer) FPlayer->Close();
}

void TKorvaMP3::AnalyzeFile(const std::string& fileName) {
  AnalyzeFile(fileName, true);
}

void TKorvaMP3::AnalyzeFile(const std::string& fileName, bool measure, bool index) {
  FIndex.clear();
  FWalkCount = {};
  FXingFrames = -1;
  // The tag keeps its previous bytes until a tag is read; everything else starts afresh.
  TID3v1Tag keptTag = Info.Tag;
  Info = TMp3DataInfo{};
  Info.FileName = fileName;
  Info.Tag = keptTag;
  ComputedDuration = 0;

  TSourceFile src(fileName);  // a file we cannot open is the caller's to report
  Info.FileSize = src.Size();

  uint8_t head[kId3v2HeaderSize];
  const size_t headLen = src.ReadAt(0, head, sizeof head);
  if (headLen < 4) return;  // shorter than a frame header: not an MP3
  int64_t first = 0;
  if (StartsWithId3(head)) {
    TId3v2Header id3;
    if (!TId3v2Header::Parse(head, headLen, id3)) return;
    const int64_t tagEnd = int64_t(id3.Size) + kId3v2HeaderSize;
    if (tagEnd > Info.FileSize) return;  // the tag claims more than the file holds
    Info.ID3v2Size = int(tagEnd);
    // Skip the ID3v2 tag and the zero padding behind it.
    first = SkipZeroPadding(src, tagEnd);
    // The padding is counted in an int; a first frame further out than that is no MP3 of ours.
    if (first - tagEnd > INT32_MAX) return;
    Info.ID3v2Padding = int(first - tagEnd);
  }
  const uint8_t* h = src.Peek(first, 4);
  if (!h) return;
  const std::optional<MpegFrameHeader> hdr = DecodeFrameHeader(h);
  if (!hdr) return;  // the first frame must stand right here; no search further on

  Info.Version = hdr->Version;
  Info.Layer = hdr->Layer;
  Info.Bitrate = hdr->Bitrate;
  Info.SampleRate = hdr->SampleRate;
  Info.Padding = hdr->Padding;
  Info.Mono = hdr->Mono;
  Info.FrameSize = hdr->FrameSize;
  const uint8_t* xing = src.Peek(first + kXingOffset, 4);
  Info.HasXing = xing && IsXingTag(xing);
  // The frame count of a "Xing" or "Info" frame wherever its layout puts the tag: the walk
  // passes over only a "Xing" tag 36 bytes in and takes any other such frame for audio.
  if (const uint8_t* frame = src.Peek(first, size_t(hdr->FrameSize))) {
    const std::optional<TXingFrame> x = TXingFrame::Parse(frame, size_t(hdr->FrameSize));
    if (x && (x->Flags & TXingFrame::kHasFrames)) FXingFrames = x->Frames;
  }
  Info.Valid = true;

  const TEndTags ends = ReadEndTags(
      Info.FileSize, [&](int64_t pos, void* dst, size_t len) { return src.ReadAt(pos, dst, len); },
      Info.Tag);
  Info.ID3v1Size = ends.ID3v1Size;
  Info.ApeSize = ends.ApeSize;

  // Every frame is taken to be as long as the first one (a VBR header frame included).
  const long double computed = static_cast<long double>(hdr->SamplesPerFrame * 1000) /
                               Info.SampleRate * Info.AudioBytes() / Info.FrameSize;
  Info.Duration = computed > 0 ? static_cast<int64_t>(computed) : 0;
  ComputedDuration = Info.Duration;

  // The index walk runs beside the player's length scan, which then counts frames without
  // reading what they hold.
  TFileStamp stamp;
  std::vector<TIndexMark> marks;
  TWalkCount count;
  std::thread indexer;
  // Whatever the player throws, the walk is waited for.
  struct TJoin {
    std::thread& T;
    ~TJoin() {
      if (T.joinable()) T.join();
    }
  } join{indexer};
  if (index && Stamp(fileName, stamp)) {
    indexer = std::thread([&] {
      try {
        TSourceFile own(fileName);
        marks = BuildIndex(own, count);
      } catch (const std::exception&) {
        marks.clear();
      }
    });
    if (FPlayer) FPlayer->SetLengthOnly(true);
  }
  MeasureWithPlayer(measure);
  if (FPlayer) FPlayer->SetLengthOnly(false);
  if (indexer.joinable()) {
    indexer.join();
    FIndex = std::move(marks);
    FIndexStamp = stamp;
    FWalkCount = count;
  }
}

void TKorvaMP3::MeasureWithPlayer(bool measure) {
  if (!measure || !FPlayer) return;
  // A file the player can open always gets the player's length, VBR included.
  try {
    FPlayer->Close();
    FPlayer->Open(Info.FileName);
    const int64_t length = FPlayer->Length();
    FPlayer->Close();
    TakeLength(true, length, {});
  } catch (const EPlayerError& e) {
    FPlayer->Close();
    TakeLength(false, 0, e.what(), e.Fault());
  } catch (const std::exception& e) {
    FPlayer->Close();
    TakeLength(false, 0, e.what());
  }
}

void TKorvaMP3::TakeLength(bool measured, int64_t length, const std::string& error,
                           TPlayerFault fault) {
  Info.MciOk = measured;
  Info.MciError = error;
  Info.MciFault = measured ? TPlayerFault::None : fault;
  Info.Duration = measured ? length : ComputedDuration;
}

int64_t TKorvaMP3::SkipZeroPadding(TSourceFile& src, int64_t pos) {
  uint8_t buf[kScanChunk];
  while (pos < src.Size()) {
    const size_t n = src.ReadAt(pos, buf, sizeof buf);
    if (n == 0) break;
    const uint8_t* nonZero = std::find_if(buf, buf + n, [](uint8_t b) { return b != 0; });
    if (nonZero != buf + n) return pos + (nonZero - buf);
    pos += int64_t(n);
  }
  return src.Size();
}

bool TKorvaMP3::FindPictureFrame(const std::string& fileName, int& tagSize, int& pictureOffset,
                                 int& pictureSize) {
  TSourceFile src(fileName);
  uint8_t head[kId3v2HeaderSize];
  TId3v2Header id3;
  if (src.ReadAt(0, head, sizeof head) != sizeof head || !TId3v2Header::Parse(head, 10, id3)) {
    return false;
  }
  tagSize = int(id3.Size);
  const int64_t tagEnd = int64_t(kId3v2HeaderSize) + id3.Size;
  int64_t sum = 0;
  int64_t pos = kId3v2HeaderSize;
  // Zero padding reads as frames of size 0, each adding 10 to the sum, until the tag ends.
  while (sum < tagSize) {
    // Stop where fewer bytes than a frame header remain in the tag or the file.
    if (pos > tagEnd - kId3v2HeaderSize || pos > src.Size() - kId3v2HeaderSize) return false;
    const uint8_t* frame = src.Peek(pos, kId3v2HeaderSize);
    if (!frame) return false;
    const int64_t size = ReadBigEndian32(frame + 4);
    if (size < 0) return false;
    const int64_t next = pos + kId3v2HeaderSize + size;
    if (next > tagEnd || next > src.Size()) return false;  // the frame would leave the tag
    if (std::memcmp(frame, "APIC", 4) == 0) {
      pictureOffset = int(pos);
      pictureSize = int(size + kId3v2HeaderSize);
      return true;
    }
    sum += size + kId3v2HeaderSize;
    pos = next;
  }
  return false;
}

bool TKorvaMP3::CopyWithoutFrame(const std::string& source, const std::string& destination,
                                 int tagSize, int pictureOffset, int pictureSize) {
  if (pictureOffset < kId3v2HeaderSize || pictureSize < kId3v2HeaderSize || pictureSize > tagSize) {
    return false;
  }
  if (IsSameFile(source, destination)) return false;
  try {
    TSourceFile src(source);
    if (int64_t(pictureOffset) + pictureSize > src.Size()) return false;
    uint8_t head[6];
    if (src.ReadAt(0, head, sizeof head) != sizeof head) return false;
    TAtomicOutput out;
    if (!out.Open(destination)) return false;
    out.Append(head, sizeof head);
    const std::array<uint8_t, 4> size = EncodeSyncsafe(uint32_t(tagSize - pictureSize));
    out.Append(size.data(), size.size());
    out.AppendRange(src, kId3v2HeaderSize, pictureOffset - kId3v2HeaderSize);
    const int64_t after = int64_t(pictureOffset) + pictureSize;
    out.AppendRange(src, after, src.Size() - after);
    out.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

const MpegFrameHeader* TKorvaMP3::THeaderCache::Miss(TEntry& e, uint32_t key, const uint8_t* h) {
  const std::optional<MpegFrameHeader> hdr = DecodeFrameHeader(h);
  e.Key = key;
  e.Valid = hdr.has_value();
  if (e.Valid) e.Header = *hdr;
  return e.Valid ? &e.Header : nullptr;
}

TKorvaMP3::TStep TKorvaMP3::StepAt(TSourceFile& src, int64_t pos, bool copying,
                                   THeaderCache& headers) const {
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
      const uint8_t* xing = src.Peek(pos + kXingOffset, 4);
      // A VBR header frame is passed over: never copied and no time.
      if (xing && IsXingTag(xing)) return {next, 0, 0.0};
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

bool TKorvaMP3::Stamp(const std::string& path, TFileStamp& stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp = {uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
           int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
  return true;
}

std::vector<TKorvaMP3::TIndexMark> TKorvaMP3::BuildIndex(TSourceFile& src,
                                                         TWalkCount& count) const {
  // The walk every save makes, from the first frame to the end of the audio, with a header
  // cache of its own.
  THeaderCache headers;
  std::vector<TIndexMark> marks;
  count = {};
  double firstMs = 0.0;
  const int64_t limit = AudioLimit();
  TCursor c{Info.FirstFrameOffset(), 0.0};
  while (c.Pos < limit) {
    TIndexMark m;
    m.Pos = c.Pos;
    m.Ms = c.Ms;
    m.Clean = true;
    for (int i = 0; i < kIndexStride && c.Pos < limit; ++i) {
      const TStep s = StepAt(src, c.Pos, false, headers);
      const bool frame = s.Bytes > 0 && s.Next == c.Pos + s.Bytes && s.Next <= src.Size();
      if (m.Steps == 0) m.FrameMs = s.Ms;
      if (!frame || s.Ms != m.FrameMs) m.Clean = false;
      if (frame) {
        if (count.Frames++ == 0) firstMs = s.Ms;
        if (s.Ms != firstMs) count.OneFrameTime = false;
      } else {
        ++count.OtherSteps;
      }
      ++m.Steps;
      m.Bytes += s.Next - c.Pos;
      c.Pos = s.Next;
      c.Ms += s.Ms;
    }
    marks.push_back(m);
  }
  TIndexMark end;
  end.Pos = c.Pos;
  end.Ms = c.Ms;
  marks.push_back(end);
  src.CheckIntact();
  return marks;
}

bool TKorvaMP3::HeaderCountsEveryFrame() const {
  // The header frame is the one step that is no frame when the walk passes over it, and one
  // frame more than it counts when the walk takes it for audio. An APE tag is not allowed:
  // the player knows nothing of it and might read frames into its bytes.
  const int64_t passedOver = Info.HasXing ? 1 : 0;
  return FXingFrames >= 0 && Info.ApeSize == 0 && UsableIndex() &&
         FWalkCount.OtherSteps == passedOver && FWalkCount.OneFrameTime &&
         FWalkCount.Frames == FXingFrames + 1 - passedOver &&
         FIndex.back().Pos == Info.FileSize - Info.ID3v1Size;
}

const std::vector<TKorvaMP3::TIndexMark>* TKorvaMP3::UsableIndex() const {
  TFileStamp now;
  if (FIndex.empty() || !Stamp(Info.FileName, now) || !(now == FIndexStamp)) return nullptr;
  return &FIndex;
}

void TKorvaMP3::SkipFrame(TSourceFile& src, TCursor& cursor) const {
  const TStep s = StepAt(src, cursor.Pos, false);
  cursor.Pos = s.Next;
  cursor.Ms += s.Ms;
}

void TKorvaMP3::SkipTo(TSourceFile& src, TCursor& cursor, int64_t targetMs) const {
  // Every state the walk passes through before it stops lies before the target in time, so
  // the last mark of the index that does is a state this walk reaches too: start there.
  if (const std::vector<TIndexMark>* index = FActiveIndex) {
    const double target = double(targetMs);
    auto after = std::partition_point(index->begin(), index->end(),
                                      [&](const TIndexMark& m) { return target > m.Ms; });
    while (after != index->begin()) {
      const TIndexMark& m = *(after - 1);
      if (m.Pos <= cursor.Pos) break;
      if (m.Pos < src.Size() - 4) {
        cursor = {m.Pos, m.Ms};
        break;
      }
      --after;
    }
  }
  // Bounded by the whole file, end tags included.
  while (cursor.Pos < src.Size() - 4 && double(targetMs) > cursor.Ms) SkipFrame(src, cursor);
}

TKorvaMP3::TCursor TKorvaMP3::SkipFor(TSourceFile& src, TSkipWalk& walk, int64_t startMs) const {
  if (startMs <= 0) return {Info.FirstFrameOffset(), 0.0};
  if (startMs < walk.Target) Restart(walk);
  SkipTo(src, walk.Shared, startMs);
  walk.Target = startMs;
  return walk.Shared;
}

bool TKorvaMP3::CopyFrame(TSourceFile& src, TAtomicOutput& out, int64_t& pos, int64_t& bytes,
                          double& ms) const {
  const TStep s = StepAt(src, pos, true);
  if (s.Bytes > 0) out.AppendRange(src, pos, s.Bytes);
  bytes += s.Bytes;
  ms += s.Ms;
  pos = s.Next;
  return s.Bytes > 0;
}

bool TKorvaMP3::SourceUsable() const {
  struct stat st;
  return Info.Valid && stat(Info.FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

std::vector<uint8_t> TKorvaMP3::VbrHeaderFor(TSourceFile& src, int64_t from, int64_t spanMs) const {
  // The same walk as the copy below, without copying: where the piece's frames lie, and
  // whether they share one bit rate. Frame positions are kept for at most kMaxMarks frames,
  // every second one dropped when the table is full, so memory stays small for any piece.
  constexpr size_t kMaxMarks = 4096;
  const int64_t limit = AudioLimit();
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
    const TStep s = StepAt(src, pos, true);
    if (s.Bytes > 0) {
      const uint8_t* h = src.Peek(pos, 4);
      if (!h) break;
      if (frames == 0) {
        std::memcpy(first, h, 4);
      } else if ((h[1] & 0x1E) != (first[1] & 0x1E) || (h[2] >> 4) != (first[2] >> 4)) {
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
  if (frames == 0 || oneRate) return {};
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
                            bool noReplace, TSegmentResult& result,
                            const TFrameCopy& copyFrames) const {
  result.Path = destination;
  result.Ok = false;
  result.Bytes = 0;
  result.DurationMs = 0;
  TAtomicOutput out;
  if (!out.Open(destination)) return false;
  try {
    int64_t bytes = 0;
    double written = 0.0;
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

void TKorvaMP3::CopyPiece(TSourceFile& src, int64_t from, int64_t spanMs, TAtomicOutput& out,
                          int64_t& bytes, double& written) const {
  // The audio ends before the APE footer and the ID3v1 tag.
  const int64_t limit = AudioLimit();
  const double span = double(spanMs);
  int64_t pos = from;
  if (VbrHeader) {
    const std::vector<uint8_t> header = VbrHeaderFor(src, from, spanMs);
    if (!header.empty()) out.Append(header.data(), header.size());
    bytes += int64_t(header.size());
  }
  const std::vector<TIndexMark>* index = FActiveIndex;
  size_t mark = 0;
  if (index) {
    mark = size_t(std::partition_point(index->begin(), index->end(),
                                       [&](const TIndexMark& m) { return m.Pos < pos; }) -
                  index->begin());
  }
  while (pos < limit && span > written) {
    if (index && mark + 1 < index->size() && (*index)[mark].Pos == pos && (*index)[mark].Clean) {
      // Whole frames end to end: copied in one go when the piece takes all of them, with the
      // time summed frame by frame as the walk below would.
      const TIndexMark& m = (*index)[mark];
      double w = written;
      int32_t taken = 0;
      while (taken < m.Steps && span > w) {
        w += m.FrameMs;
        ++taken;
      }
      if (taken == m.Steps) {
        out.AppendRange(src, pos, m.Bytes);
        bytes += m.Bytes;
        written = w;
        pos = (*index)[++mark].Pos;
        continue;
      }
    }
    CopyFrame(src, out, pos, bytes, written);
    while (index && mark < index->size() && (*index)[mark].Pos < pos) ++mark;
  }
}

bool TKorvaMP3::WritePiece(TSourceFile& src, int64_t from, int64_t spanMs,
                           const std::string& destination, const TID3v1Tag& tag, bool noReplace,
                           TSegmentResult& result) const {
  return WriteOutput(src, destination, tag, noReplace, result,
                     [&](TAtomicOutput& out, int64_t& bytes, double& written) {
                       CopyPiece(src, from, spanMs, out, bytes, written);
                     });
}

bool TKorvaMP3::SaveSegment(int64_t startMs, int64_t endMs, const std::string& destination,
                            const TID3v1Tag& tag, int64_t& bytes, int64_t& durationMs) {
  bytes = 0;
  durationMs = 0;
  if (!CanWriteTo(destination)) return false;
  TSegmentResult result;
  const TActiveIndex active(*this);
  try {
    TSourceFile src(Info.FileName);
    TCursor cursor{Info.FirstFrameOffset(), 0.0};
    // Without an index a long cut is copied while the walk checks it; what that leaves (the
    // cursor then stands on the start) is written here.
    const bool done = !FActiveIndex && WriteFromGuess(src, cursor, startMs, endMs - startMs,
                                                      destination, tag, result);
    if (!done) {
      if (FActiveIndex && startMs > 0) SkipTo(src, cursor, startMs);
      WritePiece(src, cursor.Pos, endMs - startMs, destination, tag, false, result);
    }
  } catch (const std::exception&) {
    return false;
  }
  bytes = result.Bytes;
  durationMs = result.DurationMs;
  return result.Ok;
}

void TKorvaMP3::SaveSegments(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                             const TNameFor& nameFor, const TID3v1Tag& tag, bool noReplace,
                             const TPieceDone& done) {
  SaveSegmentsWithTags(
      starts, ends, nameFor, [&](size_t) { return tag; }, noReplace, done);
}

void TKorvaMP3::SaveSegmentsWithTags(const std::vector<int64_t>& starts,
                                     const std::vector<int64_t>& ends, const TNameFor& nameFor,
                                     const TTagFor& tagFor, bool noReplace,
                                     const TPieceDone& done) {
  const size_t count = std::min(starts.size(), ends.size());
  const TActiveIndex active(*this);
  std::unique_ptr<TSourceFile> src;
  try {
    if (SourceUsable()) src = std::make_unique<TSourceFile>(Info.FileName);
  } catch (const std::exception&) {
  }
  if (src && FActiveIndex && count > 1 &&
      SavePiecesSideBySide(starts, ends, nameFor, tagFor, noReplace, done)) {
    return;
  }
  TSkipWalk walk;
  Restart(walk);
  for (size_t i = 0; i < count; ++i) {
    TSegmentResult result;
    const TID3v1Tag tag = tagFor(i);
    result.Path = nameFor(i);
    if (src && CanWriteTo(result.Path)) {
      try {
        const TCursor cursor = SkipFor(*src, walk, starts[i]);
        WritePiece(*src, cursor.Pos, ends[i] - starts[i], result.Path, tag, noReplace, result);
      } catch (const std::exception&) {
        Restart(walk);
        result.Ok = false;
      }
    }
    done(i, result);
  }
}

int64_t TKorvaMP3::WalkFrames(const std::function<void(const TFrameSpan& frame)>& each) {
  if (!SourceUsable()) return -1;
  TSourceFile src(Info.FileName);
  const int64_t limit = AudioLimit();
  int64_t pos = Info.FirstFrameOffset();
  while (pos < limit) {
    const TStep s = StepAt(src, pos, false);
    if (s.Bytes > 0) each(TFrameSpan{pos, s.Bytes, s.Ms});
    pos = s.Next;
  }
  return limit;
}

bool TKorvaMP3::WriteFrames(TSourceFile& src, int64_t from, int64_t to,
                            const std::string& destination, const TID3v1Tag& tag, bool noReplace,
                            TSegmentResult& result) const {
  return WriteOutput(src, destination, tag, noReplace, result,
                     [&](TAtomicOutput& out, int64_t& bytes, double& written) {
                       const int64_t limit = std::min(to, AudioLimit());
                       int64_t pos = from;
                       while (pos < limit) CopyFrame(src, out, pos, bytes, written);
                     });
}

void TKorvaMP3::SaveFrameRanges(const std::vector<int64_t>& from, const std::vector<int64_t>& to,
                                const TNameFor& nameFor, const TID3v1Tag& tag, bool noReplace,
                                const TPieceDone& done) {
  const size_t count = std::min(from.size(), to.size());
  std::unique_ptr<TSourceFile> src;
  try {
    if (SourceUsable()) src = std::make_unique<TSourceFile>(Info.FileName);
  } catch (const std::exception&) {
  }
  for (size_t i = 0; i < count; ++i) {
    TSegmentResult result;
    result.Path = nameFor(i);
    if (src && CanWriteTo(result.Path)) {
      try {
        WriteFrames(*src, from[i], to[i], result.Path, tag, noReplace, result);
      } catch (const std::exception&) {
        result.Ok = false;
      }
    }
    done(i, result);
  }
}

bool TKorvaMP3::PlayFrom(std::string& errorText, int64_t fromMs) {
  errorText.clear();
  if (!Info.Valid) return false;
  if (!FPlayer) {
    errorText = "No player is available";
    return false;
  }
  try {
    FPlayer->Close();
    FPlayer->Open(Info.FileName);
    FPlayer->SetPosition(fromMs);
    FPlayer->Play();
    return FPlayer->Mode() == TPlayerMode::Playing;
  } catch (const std::exception& e) {
    errorText = e.what();
    return false;
  }
}

void TKorvaMP3::Stop() {
  if (FPlayer) FPlayer->Close();
}

int64_t TKorvaMP3::PlayPosition() {
  if (!FPlayer) return -1;
  try {
    return FPlayer->Mode() == TPlayerMode::Playing ? FPlayer->Position() : -1;
  } catch (const std::exception&) {
    return -1;
  }
}

bool TKorvaMP3::IsStopped() {
  if (!FPlayer) return false;
  try {
    return FPlayer->Mode() == TPlayerMode::Stopped;
  } catch (const std::exception&) {
    return false;
  }
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
