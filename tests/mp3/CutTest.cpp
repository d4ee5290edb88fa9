#include <fcntl.h>
#include <sys/stat.h>

#include <random>
#include <stdexcept>
#include <thread>

#include "CutYardstick.h"
#include "Mp3TestUtil.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/Mpg123Player.h"

namespace pelcato::test {
namespace {

// The frames the walk finds are the frames libmpg123 decodes: a header frame ("Xing" or
// "Info" where its layout puts it, also in a frame with a CRC, as lame -p writes it) is none.
TEST(Cut, WalkFindsTheFramesTheDecoderFinds) {
  mpg123_init();
  TempDir dir;
  Bytes crc = ReadFile(DataFile("cbr128.mp3"));
  crc[1] &= 0xFE;  // the "Info" frame announces a CRC; its tag stays 36 bytes in
  std::vector<std::string> files = {dir.Put("crc.mp3", crc)};
  for (const char* file : kFiles) files.push_back(DataFile(file));
  for (const std::string& file : files) {
    auto mp3 = Analyzed(file);
    int64_t frames = 0;
    mp3->WalkFrames([&](const TKorvaMP3::TFrameSpan&) { ++frames; });
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    ASSERT_EQ(mpg123_open(h, file.c_str()), MPG123_OK);
    ASSERT_EQ(mpg123_scan(h), MPG123_OK);
    EXPECT_EQ(frames, mpg123_framelength(h)) << file;
    mpg123_delete(h);
  }
}

TEST(Cut, RandomRangesMatchTheYardstick) {
  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  std::vector<std::string> files = {MessyFile(dir),
                                    dir.Put("short.mp3", Slice(cbr, 0, cbr.size() - 100))};
  for (const char* f : kFiles) files.push_back(DataFile(f));
  std::mt19937 rng(7);
  const TID3v1Tag tags[] = {{}, MakeTag("Piece", 3, 17)};
  for (const std::string& file : files) {
    auto mp3 = Analyzed(file);
    const Bytes src = ReadFile(file);
    const int64_t len = mp3->Info.Duration;
    for (int i = 0; i < 40; ++i) {
      const int64_t start = std::uniform_int_distribution<int64_t>(-100, len + 200)(rng);
      const int64_t end = start + std::uniform_int_distribution<int64_t>(-50, len)(rng);
      const TID3v1Tag& tag = tags[i % 2];
      SCOPED_TRACE(file + " " + std::to_string(start) + ".." + std::to_string(end));
      const TRefPiece ref = RefCut(src, mp3->Info, start, end, tag);
      int64_t bytes = -1, ms = -1;
      const std::string out = dir / "piece.mp3";
      ASSERT_EQ(mp3->SaveSegment(start, end, out, tag, bytes, ms), ref.Ok);
      ASSERT_EQ(fs::exists(out), ref.Ok);
      if (!ref.Ok) continue;
      ASSERT_EQ(ReadFile(out), ref.Out);
      EXPECT_EQ(bytes, ref.Written);
      EXPECT_EQ(ms, ref.Ms);
      if (i % 4 == 0 && ref.Frames.size() > 2) {
        EXPECT_TRUE(DecodesCleanly(out));
      }
      fs::remove(out);
    }
    EXPECT_EQ(ReadFile(file), src);
  }
}

// Cuts that start megabytes into a file, or are megabytes long, are copied from where the bit
// rate puts their frames while the walk checks that place: whatever the stream holds, the
// piece must be the one the walk gives, the whole file and its end included. Frames without
// padding, junk before or inside the piece, a stretch at another bit rate and an ID3v2 tag in front
// each put some frame elsewhere than guessed.
TEST(Cut, FarCutsEqualTheYardstickWhereverTheFramesLie) {
  TempDir dir;
  const Bytes even = CbrStream(14000);
  const Bytes junk = {'j', 'u', 'n', 'k', 0xFF, 0xFF};
  const auto insert = [](Bytes b, size_t at, const Bytes& what) {
    b.insert(b.begin() + at, what.begin(), what.end());
    return b;
  };
  Bytes faster;  // 160 kbit/s, 522 bytes
  for (int i = 0; i < 300; ++i) {
    Bytes frame(522, 0x33);
    std::memcpy(frame.data(), "\xFF\xFB\xA0\x64", 4);
    faster = Cat(faster, frame);
  }
  const Bytes id3 = ReadFile(DataFile("id3v2.mp3"));
  const Bytes tag = Slice(id3, 0, DecodeSyncsafe(id3.data() + 6) + 10);
  const std::vector<std::string> files = {
      dir.Put("even.mp3", even),
      dir.Put("unpadded.mp3", CbrStream(14000, false)),
      dir.Put("junk-inside.mp3", insert(even, 417 * 11000 + 3, junk)),
      dir.Put("junk-before.mp3", insert(even, 417 * 2000 + 100, junk)),
      dir.Put("faster.mp3", insert(even, 417 * 4000, faster)),
      dir.Put("tagged.mp3",
              Cat(Cat(tag, even), Slice(ReadFile(DataFile("id3v1.mp3")),
                                        ReadFile(DataFile("id3v1.mp3")).size() - 128, 128)))};
  std::mt19937 rng(5);
  for (const std::string& file : files) {
    auto mp3 = Analyzed(file);
    const Bytes src = ReadFile(file);
    for (int i = 0; i < 14; ++i) {
      int64_t start = std::uniform_int_distribution<int64_t>(140000, 360000)(rng);
      int64_t end = start + std::uniform_int_distribution<int64_t>(-50, 120000)(rng);
      if (i >= 12)
        std::tie(start, end) = std::pair<int64_t, int64_t>(i == 12 ? 0 : 200000, 1 << 30);
      const TID3v1Tag pieceTag = i % 3 ? TID3v1Tag{} : MakeTag("Far", 1, 2);
      SCOPED_TRACE(file + " " + std::to_string(start) + ".." + std::to_string(end));
      const TRefPiece ref = RefCut(src, mp3->Info, start, end, pieceTag);
      int64_t bytes = -1, ms = -1;
      ASSERT_EQ(mp3->SaveSegment(start, end, dir / "piece.mp3", pieceTag, bytes, ms), ref.Ok);
      ASSERT_EQ(ReadFile(dir / "piece.mp3"), ref.Out);
      EXPECT_EQ(std::tie(bytes, ms), std::tie(ref.Written, ref.Ms));
      fs::remove(dir / "piece.mp3");
    }
    EXPECT_EQ(dir.Entries(), files.size());
  }
}

TEST(Cut, PiecesStartAtTheFirstFrameAtOrAfterTheirStart) {
  TempDir dir;
  auto mp3 = Analyzed(dir.Put("n.mp3", NumberedFrames()));
  auto cut = [&](int64_t from, int64_t to, const TID3v1Tag& tag = {}) {
    int64_t bytes = 0, ms = 0;
    EXPECT_TRUE(mp3->SaveSegment(from, to, dir / "p.mp3", tag, bytes, ms));
    return std::tuple(ReadFile(dir / "p.mp3"), bytes, ms);
  };
  auto [a, aBytes, aMs] = cut(1000, 2000);
  const std::vector<int> first = FrameNumbers(a);
  ASSERT_EQ(first.size(), 39u);
  EXPECT_EQ(first.front(), 39);  // 38 frames are 992.65 ms, 39 frames 1018.78 ms
  EXPECT_EQ(first.back(), 77);
  EXPECT_EQ(aBytes, 39 * 417);
  EXPECT_EQ(aMs, 1018);
  EXPECT_EQ(FrameNumbers(std::get<0>(cut(2000, 3000))).front(), 77);  // shared with the last
  EXPECT_EQ(FrameNumbers(std::get<0>(cut(0, 1000))).back(), 38);      // never shared from 0
  // An empty range writes no frame, only the tag when there is one.
  auto [e, eBytes, eMs] = cut(1500, 1500, MakeTag("x", 0, 255));
  EXPECT_EQ(e.size(), 128u);
  EXPECT_EQ(eBytes, 0);
  EXPECT_EQ(std::get<0>(cut(1500, 900)).size(), 0u);
}

TEST(Cut, HeaderFramesAndTagsInTheStream) {
  TempDir dir;
  int64_t bytes, ms;
  // A header frame counts the source's frames, not the piece's: a cut from the start begins
  // with the frame behind it, "Xing" (VBR) or "Info" (CBR), 36 or 21 bytes in.
  for (const char* file : {"vbr.mp3", "cbr128.mp3", "mono.mp3", "mpeg2.mp3"}) {
    auto mp3 = Analyzed(DataFile(file));
    ASSERT_TRUE(mp3->Info.HasXing) << file;
    ASSERT_TRUE(mp3->SaveSegment(0, 300, dir / "p.mp3", {}, bytes, ms));
    const Bytes src = ReadFile(DataFile(file)), out = ReadFile(dir / "p.mp3");
    EXPECT_EQ(Slice(out, 0, 64), Slice(src, size_t(mp3->Info.FrameSize), 64)) << file;
    EXPECT_GE(ms, 300) << file;
    EXPECT_EQ(bytes, int64_t(out.size())) << file;
  }
  // The ID3v2 tags of the source stay behind; the cut-short frame before the ID3v1 tag is
  // copied at its full length, taking the tag's first bytes along.
  auto messy = Analyzed(MessyFile(dir));
  ASSERT_TRUE(messy->SaveSegment(0, 1 << 30, dir / "p.mp3", {}, bytes, ms));
  const Bytes out = ReadFile(dir / "p.mp3");
  EXPECT_EQ(std::search(out.begin(), out.end(), "ID3\4", "ID3\4" + 4), out.end());
  const std::string tagStart = "TAGTrack Seven";
  EXPECT_NE(std::search(out.begin(), out.end(), tagStart.begin(), tagStart.end()), out.end());
}

// The tag goes behind the last frame copied, also when the frames copied before a gap in the
// stream hold "TAG" 128 bytes before that gap: it once landed there, over the audio.
TEST(Cut, TagFollowsTheLastFrameWhateverTheFramesHold) {
  TempDir dir;
  Bytes run;
  Bytes frame(417, 0);
  std::memcpy(frame.data(), "\xFF\xFB\x90\x64", 4);
  for (int i = 0; i < 10; ++i) run = Cat(run, frame);
  Bytes marked = run;
  std::memcpy(&marked[run.size() - 128], "TAG", 3);
  auto mp3 = Analyzed(dir.Put("gap.mp3", Cat(Cat(marked, Bytes{1, 2, 3, 4}), run)));
  int64_t bytes, ms;
  ASSERT_TRUE(mp3->SaveSegment(0, 1 << 30, dir / "p.mp3", MakeTag("Title", 0, 1), bytes, ms));
  const Bytes out = ReadFile(dir / "p.mp3");
  ASSERT_EQ(out.size(), 2 * run.size() + 128);
  EXPECT_EQ(Slice(out, 0, 2 * run.size()), Cat(marked, run));
  EXPECT_EQ(Slice(out, 2 * run.size(), 3), (Bytes{'T', 'A', 'G'}));

  // The input the fuzzer found: eight bytes of range, then the file.
  const Bytes found = ReadFile(DataFile("regress-tag-over-earlier-frames.cut"));
  auto fuzzed = Analyzed(dir.Put("found.mp3", Slice(found, 8, found.size() - 8)));
  TID3v1Tag tag;
  std::memcpy(tag.Header, "TAG", 3);
  ASSERT_TRUE(fuzzed->SaveSegment(448, 2170, dir / "q.mp3", tag, bytes, ms));
  const Bytes piece = ReadFile(dir / "q.mp3");
  ASSERT_EQ(int64_t(piece.size()), bytes + 128);
  EXPECT_EQ(Slice(piece, piece.size() - 128, 3), (Bytes{'T', 'A', 'G'}));
}

// Audio that reads "TAG" 128 bytes before a piece's end stays audio, in a cut and in a split
// on two threads: the piece's tag goes behind it. Only the source's own tag, which a last frame
// running up to the end of the file copies into the piece, is replaced by the piece's tag.
TEST(Cut, TagBytesInTheAudioStayAudio) {
  TempDir dir;
  const std::string file = DataFile("regress-tag-bytes-in-audio.mp3");
  const Bytes src = ReadFile(file);
  const auto encoded = EncodeId3v1(MakeTag("piece", 1, 2));
  const Bytes tag(encoded.begin(), encoded.end());
  const auto expectPiece = [&](const std::string& path, int64_t bytes) {
    const Bytes out = ReadFile(path);
    ASSERT_EQ(int64_t(out.size()), bytes + 128) << path;
    // The stream holds nothing but frames: a piece's frames are one run of the source.
    EXPECT_NE(std::search(src.begin(), src.end(), out.begin(), out.begin() + bytes), src.end());
    EXPECT_EQ(Slice(out, size_t(bytes), 128), tag);
  };
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(file, false, true);
  int64_t bytes, ms;
  for (const auto& [start, end] : {std::pair<int64_t, int64_t>{0, 1 << 30}, {500, 1200}}) {
    ASSERT_TRUE(mp3.SaveSegment(start, end, dir / "cut.mp3", MakeTag("piece", 1, 2), bytes, ms));
    expectPiece(dir / "cut.mp3", bytes);
  }
  size_t pieces = 0;
  mp3.SaveSegments(
      {0, 800, 1600}, {800, 1600, 1 << 30}, [&](size_t i) { return dir / std::to_string(i); },
      MakeTag("piece", 1, 2), true,
      [&](size_t, const TSegmentResult& r) {
        ASSERT_TRUE(r.Ok);
        expectPiece(r.Path, r.Bytes);
        ++pieces;
      });
  EXPECT_EQ(pieces, 3u);

  // A last frame that ends where the file does holds the source's whole tag (the piece starts
  // behind the "Info" frame).
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes v1 = Slice(ReadFile(DataFile("id3v11.mp3")), 2792 - 128, 128);
  const Bytes ranIn = Cat(Slice(cbr, 0, cbr.size() - 128), v1);
  auto whole = Analyzed(dir.Put("ran-in.mp3", ranIn));
  ASSERT_EQ(whole->Info.ID3v1Size, 128);
  ASSERT_TRUE(whole->SaveSegment(0, 1 << 30, dir / "w.mp3", MakeTag("piece", 1, 2), bytes, ms));
  const size_t info = size_t(whole->Info.FrameSize);
  EXPECT_EQ(ReadFile(dir / "w.mp3"), Cat(Slice(ranIn, info, size_t(bytes) - 128), tag));
}

TEST(Cut, LastFrameCutShort) {
  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  auto mp3 = Analyzed(dir.Put("short.mp3", Slice(cbr, 0, cbr.size() - 100)));
  int64_t bytes, ms;
  EXPECT_FALSE(mp3->SaveSegment(1000, 1 << 30, dir / "p.mp3", {}, bytes, ms));
  EXPECT_FALSE(fs::exists(dir / "p.mp3"));
  EXPECT_EQ(dir.Entries(), 1u);
  EXPECT_TRUE(mp3->SaveSegment(0, 1000, dir / "p.mp3", {}, bytes, ms));
}

// One walk for many pieces writes what a walk per piece writes.

}  // namespace
}  // namespace pelcato::test
