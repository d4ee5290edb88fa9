// Cutting any file: the output is whole frames of the source, in order, and its size is the sum
// of the frames copied (plus 128 with a tag). The first eight bytes choose the range and the tag,
// and whether the range is also written in pieces through the frame index, with and without
// bytes in front of each piece, and whether it is also cut exact to the sample: a header frame
// whose CRC holds, counting the whole frames behind it.
#include <algorithm>
#include <cstring>

#include "FuzzFile.h"
#include "mp3/KorvaMp3.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/XingFrame.h"

using namespace pelcato;

namespace {

// An exact piece, walked to its frames (a cut) or found through the frame index (a split).
void CheckExact(const std::string& path, int64_t startMs, int64_t endMs, const TID3v1Tag& tag,
                bool indexed) {
  const std::string out = (fuzz::Folder() / "exact.mp3").string();
  std::filesystem::remove(out);
  TKorvaMP3 mp3(nullptr);
  mp3.Exact = true;
  mp3.AnalyzeFile(path, false, indexed);
  std::string notExact;
  bool ok = false;
  int64_t bytes = 0, ms = 0;
  if (indexed) {
    notExact = mp3.Info.Valid ? mp3.ExactRefusal() : "no MP3";
    mp3.SaveSegments(
        {startMs}, {endMs}, [&](size_t) { return out; }, tag, false,
        [&](size_t, const TSegmentResult& r) {
          ok = r.Ok;
          bytes = r.Bytes;
        });
  } else {
    ok = mp3.SaveSegment(startMs, endMs, out, tag, bytes, ms, {}, &notExact);
  }
  if (!ok || !notExact.empty() || bytes == 0) return;
  const std::vector<uint8_t> piece = fuzz::ReadAll(out);
  const auto x = TXingFrame::Parse(piece.data(), piece.size());
  fuzz::Check(x && x->Lame && x->LameCrcOk, "an exact piece starts with its header frame");
  size_t pos = size_t(x->FrameSize());
  uint32_t frames = 0;
  while (pos < size_t(bytes)) {
    const auto h = DecodeFrameHeader(&piece[pos]);
    fuzz::Check(h && pos + size_t(h->FrameSize) <= size_t(bytes), "whole frames behind it");
    pos += size_t(h->FrameSize);
    ++frames;
  }
  fuzz::Check(frames == x->Frames, "the header frame counts the frames");
  fuzz::Check(x->Bytes == uint32_t(bytes) || x->Bytes == piece.size(), "and their bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const int64_t startMs = (data[0] << 8 | data[1]) * 7;
  const int64_t endMs = startMs + (data[2] << 8 | data[3]) * 7 - 70;
  const bool withTag = data[4] & 1;
  const bool inPieces = data[4] & 2;
  const bool exact = data[4] & 4;
  data += 8;
  size -= 8;
  const std::string path = fuzz::WriteInput("in.mp3", data, size);
  const std::string out = (fuzz::Folder() / "out.mp3").string();
  std::filesystem::remove(out);

  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(path, false);
  TID3v1Tag tag;
  if (withTag) std::memcpy(tag.Header, "TAG", 3);
  int64_t bytes = 0, ms = 0;
  const bool ok = mp3.SaveSegment(startMs, endMs, out, tag, bytes, ms);
  fuzz::Check(fuzz::ReadAll(path) == std::vector<uint8_t>(data, data + size), "source unchanged");
  if (exact) {
    CheckExact(path, startMs, endMs, tag, inPieces);
    fuzz::Check(fuzz::ReadAll(path) == std::vector<uint8_t>(data, data + size), "still unchanged");
  }
  if (inPieces) {
    // The same range in three pieces through the frame index (written on two threads): each
    // piece as a cut of its range without the index writes it.
    TKorvaMP3 indexed(nullptr);
    indexed.AnalyzeFile(path, false, true);
    const int64_t third = (endMs - startMs) / 3;
    const std::vector<int64_t> starts = {startMs, startMs + third, startMs + 2 * third};
    const std::vector<int64_t> ends = {startMs + third, startMs + 2 * third, endMs};
    std::vector<TSegmentResult> results;
    indexed.SaveSegments(
        starts, ends,
        [](size_t i) { return (fuzz::Folder() / ("p" + std::to_string(i))).string(); }, tag, false,
        [&](size_t, const TSegmentResult& r) { results.push_back(r); });
    fuzz::Check(results.size() == 3, "every piece reported");
    // Again with two bytes in front of each piece, which ask for its length: each piece is
    // those and then the piece without them, and the length asked for is the one it reports.
    std::vector<TSegmentResult> fronted;
    std::vector<int64_t> asked(3, -1);
    indexed.SaveSegments(
        starts, ends,
        [](size_t i) { return (fuzz::Folder() / ("f" + std::to_string(i))).string(); }, tag, false,
        [&](size_t, const TSegmentResult& r) { fronted.push_back(r); },
        [&](size_t i, const TKorvaMP3::TLengthOf& lengthMs) {
          asked[i] = lengthMs();
          return std::vector<uint8_t>{'F', uint8_t(i)};
        });
    fuzz::Check(fronted.size() == 3, "every piece with a front reported");
    for (size_t i = 0; i < 3; ++i) {
      fuzz::Check(fronted[i].Ok == results[i].Ok, "a front fails no piece");
      if (!fronted[i].Ok) continue;
      std::vector<uint8_t> expected = {'F', uint8_t(i)};
      const std::vector<uint8_t> plain = fuzz::ReadAll(results[i].Path);
      expected.insert(expected.end(), plain.begin(), plain.end());
      fuzz::Check(fuzz::ReadAll(fronted[i].Path) == expected, "the front, then the piece");
      fuzz::Check(asked[i] == fronted[i].DurationMs, "the length asked for is the piece's");
      std::filesystem::remove(fronted[i].Path);
    }
    for (size_t i = 0; i < 3; ++i) {
      const std::string alone = (fuzz::Folder() / "alone.mp3").string();
      std::filesystem::remove(alone);
      int64_t b = 0, m = 0;
      const bool aloneOk = mp3.SaveSegment(starts[i], ends[i], alone, tag, b, m);
      fuzz::Check(results[i].Ok == aloneOk, "a piece fails as its cut fails");
      if (aloneOk) {
        fuzz::Check(fuzz::ReadAll(results[i].Path) == fuzz::ReadAll(alone), "a piece is its cut");
        fuzz::Check(results[i].Bytes == b && results[i].DurationMs == m, "a piece's facts");
      }
      std::filesystem::remove(results[i].Path);
    }
  }
  if (!ok) {
    fuzz::Check(!std::filesystem::exists(out), "nothing under the name of a failed save");
    return 0;
  }
  const std::vector<uint8_t> piece = fuzz::ReadAll(out);
  // A tag lands over the last 128 bytes only where the last frame copied the source's own tag.
  const bool appended = int64_t(piece.size()) == bytes + (withTag ? 128 : 0);
  const bool over = withTag && mp3.Info.ID3v1Size > 0 && int64_t(piece.size()) == bytes &&
                    bytes >= 128 && std::equal(data + size - 128, data + size - 125, "TAG");
  fuzz::Check(appended || over, "size is the frames' sum");
  fuzz::Check(ms >= 0, "duration");
  // Walk the frames of the piece; each must stand in the source, later than the one before.
  const uint8_t* from = data;
  const uint8_t* end = data + size;
  size_t pos = 0;
  const size_t audio = appended ? size_t(bytes) : (withTag ? piece.size() - 128 : piece.size());
  while (pos < audio) {
    fuzz::Check(audio - pos >= 4, "a whole frame header");
    const auto h = DecodeFrameHeader(&piece[pos]);
    fuzz::Check(h.has_value(), "a frame starts here");
    const size_t len = size_t(h->FrameSize);
    fuzz::Check(pos + len <= piece.size(), "a whole frame");
    const uint8_t* found = std::search(from, end, piece.begin() + long(pos),
                                       piece.begin() + long(std::min(pos + len, audio)));
    fuzz::Check(found != end, "the frame comes from the source, in order");
    from = found + 1;
    pos += len;
  }
  return 0;
}
