// Helpers of the hostile-file tests: frames built to measure, and a probe that runs every
// reader and writer over a file and checks that none of them touched it.
#pragma once

#include "Mp3TestUtil.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/Mpg123Player.h"

namespace pelcato::test {

// count frames with the given header, each numbered at byte 4 from first on; the rest zeros.
inline Bytes Frames(const Bytes& header, int count, int first = 0) {
  const auto h = DecodeFrameHeader(header.data());
  EXPECT_TRUE(h.has_value());
  Bytes out;
  for (int i = 0; i < count; ++i) {
    Bytes frame(size_t(h->FrameSize), 0);
    std::copy(header.begin(), header.end(), frame.begin());
    frame[4] = uint8_t(first + i);
    out = Cat(out, frame);
  }
  return out;
}

inline const Bytes kMpeg1 = {0xFF, 0xFB, 0x90, 0x64};      // 128 kbit/s, 44100 Hz: 417 bytes
inline const Bytes kMpeg1At48 = {0xFF, 0xFB, 0x94, 0x64};  // 48000 Hz: 384 bytes, 24 ms
inline const Bytes kMpeg2 = {0xFF, 0xF3, 0x80, 0x64};      // 64 kbit/s, 22050 Hz: 208 bytes
inline const Bytes kMpeg25 = {0xFF, 0xE3, 0x18, 0xC4};     // 8 kbit/s, 8000 Hz: 72 bytes, 72 ms

// An ID3v2 header for a tag of size bytes behind it.
inline Bytes Id3v2Header(uint32_t size) {
  const auto s = EncodeSyncsafe(size);
  return {'I', 'D', '3', 3, 0, 0, s[0], s[1], s[2], s[3]};
}

// The numbers (byte 4) of the frames a piece is made of, walking it frame by frame; -1 marks
// bytes that are no whole frame.
inline std::vector<int> FrameNumbersOf(const Bytes& piece) {
  std::vector<int> numbers;
  for (size_t p = 0; p + 4 <= piece.size();) {
    const auto h = DecodeFrameHeader(&piece[p]);
    if (!h || p + size_t(h->FrameSize) > piece.size()) {
      numbers.push_back(-1);
      break;
    }
    numbers.push_back(piece[p + 4]);
    p += size_t(h->FrameSize);
  }
  return numbers;
}

inline std::vector<int> Range(int from, int to) {
  std::vector<int> r;
  for (int i = from; i <= to; ++i) r.push_back(i);
  return r;
}

// What every reader and writer made of one file.
struct TProbe {
  TMp3DataInfo Info;
  bool Saved = false;
  Bytes Piece;  // the whole stream cut as one piece, when Saved
  int64_t Written = 0, Ms = 0;
  bool Picture = false;
};

// Analyses path, looks for a picture frame (and copies the file without it), cuts the whole
// stream and splits it in two pieces. The source stays byte for byte as it was, and a failed
// save leaves no file.
inline TProbe Probe(const TempDir& dir, const std::string& path) {
  const Bytes before = ReadFile(path);
  TProbe r;
  // The length is measured by the decoder too, as the desktop program does on every open.
  TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
  mp3.AnalyzeFile(path);
  r.Info = mp3.Info;
  EXPECT_EQ(r.Info.FileSize, int64_t(before.size()));
  EXPECT_GE(r.Info.Duration, 0);
  int tagSize = 0, offset = 0, size = 0;
  r.Picture = mp3.FindPictureFrame(path, tagSize, offset, size);
  if (r.Picture) {
    EXPECT_TRUE(mp3.CopyWithoutFrame(path, dir / "copy.mp3", tagSize, offset, size));
    fs::remove(dir / "copy.mp3");
  }
  const std::string out = dir / "piece.mp3";
  r.Saved = mp3.SaveSegment(0, int64_t(1) << 40, out, {}, r.Written, r.Ms);
  EXPECT_EQ(fs::exists(out), r.Saved);
  if (r.Saved) {
    r.Piece = ReadFile(out);
    // With a tag: the same frames and the tag behind them, over the source's own tag only
    // where the last frame copied it.
    int64_t written = 0, ms = 0;
    EXPECT_TRUE(mp3.SaveSegment(0, int64_t(1) << 40, out, MakeTag("p", 1, 1), written, ms));
    const size_t n = r.Piece.size();
    const bool ranIn = r.Info.ID3v1Size > 0 && n >= 128 &&
                       Slice(r.Piece, n - 128, 128) == Slice(before, before.size() - 128, 128);
    const auto tag = EncodeId3v1(MakeTag("p", 1, 1));
    EXPECT_EQ(ReadFile(out),
              Cat(Slice(r.Piece, 0, ranIn ? n - 128 : n), Bytes(tag.begin(), tag.end())));
  }
  if (!r.Info.Valid) {
    EXPECT_FALSE(r.Saved);
  }
  fs::remove(out);
  const int64_t half = r.Ms / 2;
  mp3.SaveSegments(
      {0, half}, {half, r.Ms + 1}, [&](size_t i) { return dir / ("part" + std::to_string(i)); },
      MakeTag("p", 1, 1), false,
      [&](size_t i, const TSegmentResult& piece) {
        EXPECT_EQ(fs::exists(piece.Path), piece.Ok) << i;
        fs::remove(piece.Path);
      });
  EXPECT_EQ(ReadFile(path), before) << "the source changed";
  return r;
}

}  // namespace pelcato::test
