#include "mp3/KorvaMp3.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <thread>

#include "mp3/FrameWalk.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/NotMp3.h"
#include "mp3/XingFrame.h"

namespace pelcato {
namespace {

constexpr size_t kScanChunk = 64 * 1024;
// No MPEG audio frame is shorter (Layer III at 8 kbit/s and 24 kHz).
constexpr int64_t kLeastFrameBytes = 24;

}  // namespace

TKorvaMP3::TKorvaMP3(std::unique_ptr<TMediaPlayer> player) : FPlayer(std::move(player)) {}

TKorvaMP3::~TKorvaMP3() {
  if (FPlayer) FPlayer->Close();
}

void TKorvaMP3::AnalyzeFile(const std::string& fileName) {
  AnalyzeFile(fileName, true);
}

void TKorvaMP3::AnalyzeFile(const std::string& fileName, bool measure, bool want,
                            TFrameObserver* observer) {
  FIndex = {};
  FXingFrames = -1;
  // The tag keeps its previous bytes until a tag is read; everything else starts afresh.
  TID3v1Tag keptTag = Info.Tag;
  Info = TMp3DataInfo{};
  Info.FileName = fileName;
  Info.Tag = keptTag;
  ComputedDuration = 0;

  TSourceFile src(fileName);  // a file we cannot open is the caller's to report
  Info.FileSize = src.Size();

  const auto invalid = [&](const std::string& why) { Info.InvalidReason = why; };
  uint8_t head[kId3v2HeaderSize];
  const size_t headLen = src.ReadAt(0, head, sizeof head);
  if (headLen < 4) {
    // Shorter than a frame header: not an MP3.
    return invalid(headLen == 0 ? "empty file" : "too short for an MPEG audio frame");
  }
  int64_t first = 0;
  if (StartsWithId3(head)) {
    TId3v2Header id3;
    if (!TId3v2Header::Parse(head, headLen, id3)) return invalid("damaged ID3v2 tag header");
    const int64_t tagEnd = int64_t(id3.Size) + kId3v2HeaderSize;
    if (tagEnd > Info.FileSize) return invalid("the ID3v2 tag is longer than the file");
    Info.ID3v2Size = int(tagEnd);
    // Skip the ID3v2 tag and the zero padding behind it.
    first = SkipZeroPadding(src, tagEnd);
    // The padding is counted in an int; a first frame further out than that is no MP3 of ours.
    if (first - tagEnd > INT32_MAX) return invalid("more than 2 GiB of zero bytes after the tag");
    Info.ID3v2Padding = int(first - tagEnd);
  }
  const uint8_t* h = src.Peek(first, 4);
  if (!h) {
    return invalid(first > 0 ? "no audio after the ID3v2 tag"
                             : "too short for an MPEG audio frame");
  }
  const std::optional<MpegFrameHeader> hdr = DecodeFrameHeader(h);
  // The first frame must stand right here; no search further on.
  if (!hdr) return invalid(WhyNoFrameAt(src, first));

  Info.Version = hdr->Version;
  Info.Layer = hdr->Layer;
  Info.Bitrate = hdr->Bitrate;
  Info.SampleRate = hdr->SampleRate;
  Info.Padding = hdr->Padding;
  Info.Mono = hdr->Mono;
  Info.ChannelMode = hdr->ChannelMode;
  Info.FrameSize = hdr->FrameSize;
  Info.HeaderTag = HeaderTagAt(src, first, *hdr);
  Info.HasXing = Info.HeaderTag != THeaderTag::None;
  // The frame count of a "Xing" or "Info" frame, which the player reads too.
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
  TFrameIndex index;
  std::thread indexer;
  // Whatever the player throws, the walk is waited for.
  struct TJoin {
    std::thread& T;
    ~TJoin() {
      if (T.joinable()) T.join();
    }
  } join{indexer};
  if (want && index.StampFile(fileName)) {
    const int64_t first = Info.FirstFrameOffset();
    const int64_t limit = AudioLimit();
    if (observer) {
      // The header frame's count when there is one (a VBR file's frames differ in size), as
      // far as the bytes can hold so many frames.
      const int64_t bytes = std::max<int64_t>(Info.AudioBytes(), 0);
      const int64_t bySize = bytes / Info.FrameSize;
      observer->Begin(FXingFrames >= 0 ? std::min(FXingFrames, bytes / kLeastFrameBytes) : bySize);
    }
    indexer = std::thread([&index, fileName, first, limit, observer] {
      try {
        TSourceFile own(fileName);
        index.Build(own, first, limit, observer);
      } catch (const std::exception&) {
        index.Clear();
      }
    });
    if (FPlayer) FPlayer->SetLengthOnly(true);
  }
  MeasureWithPlayer(measure);
  if (FPlayer) FPlayer->SetLengthOnly(false);
  if (indexer.joinable()) {
    indexer.join();
    FIndex = std::move(index);
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

bool TKorvaMP3::HeaderCountsEveryFrame() const {
  // The header frame is the one step the walk meets that is no frame. An APE tag is not
  // allowed: the player knows nothing of it and might read frames into its bytes.
  const TFrameIndex::TCount& count = FIndex.Count();
  return FXingFrames >= 0 && Info.HasXing && Info.ApeSize == 0 && UsableIndex() &&
         count.OtherSteps == 1 && count.OneFrameTime && count.Frames == FXingFrames &&
         FIndex.End() == Info.FileSize - Info.ID3v1Size;
}

const TFrameIndex* TKorvaMP3::UsableIndex() const {
  return FIndex.Describes(Info.FileName) ? &FIndex : nullptr;
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

}  // namespace pelcato
