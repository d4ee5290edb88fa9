// MP3 files built to mislead the readers: broken ID3v2 headers, odd bytes in the stream, tags
// in files too short for them. Every case also runs through Probe, which checks that the
// source is never changed and that a failed save leaves nothing behind.
#include <random>

#include "RobustUtil.h"

namespace pelcato::test {
namespace {

TEST(HostileId3v2, SizeBytesWithTheHighBitSetAreReadAsSevenBits) {
  TempDir dir;
  const Bytes body = Cat(Bytes(257, 'x'), Frames(kMpeg1, 10));
  Bytes dirty = Cat(Id3v2Header(257), body);
  for (int i = 6; i < 10; ++i) dirty[i] |= 0x80;
  const TProbe clean = Probe(dir, dir.Put("clean.mp3", Cat(Id3v2Header(257), body)));
  const TProbe high = Probe(dir, dir.Put("high.mp3", dirty));
  ASSERT_TRUE(high.Info.Valid);
  EXPECT_EQ(high.Info.ID3v2Size, 267);
  EXPECT_EQ(high.Info.FirstFrameOffset(), clean.Info.FirstFrameOffset());
  EXPECT_EQ(high.Piece, clean.Piece);
  EXPECT_EQ(FrameNumbersOf(high.Piece), Range(0, 9));
  // Every bit set: a tag far larger than the file, which is then no MP3.
  dirty[6] = dirty[7] = dirty[8] = dirty[9] = 0xFF;
  EXPECT_FALSE(Probe(dir, dir.Put("huge.mp3", dirty)).Info.Valid);
}

// Tags smaller than a frame header, full of sync bytes or of zeros.
TEST(HostileId3v2, SizesZeroToNine) {
  TempDir dir;
  for (uint32_t n = 0; n <= 9; ++n) {
    for (uint8_t fill : {0x00, 0xFF}) {
      SCOPED_TRACE(std::to_string(n) + " bytes of " + std::to_string(fill));
      const TProbe p = Probe(
          dir, dir.Put("small.mp3", Cat(Cat(Id3v2Header(n), Bytes(n, fill)), Frames(kMpeg1, 5))));
      ASSERT_TRUE(p.Info.Valid);
      EXPECT_EQ(p.Info.ID3v2Size, int(n + 10));
      EXPECT_EQ(p.Info.ID3v2Padding, 0);
      EXPECT_FALSE(p.Picture);
      EXPECT_EQ(FrameNumbersOf(p.Piece), Range(0, 4));
    }
  }
}

TEST(HostileId3v2, TwoTagsInARowAreNoMp3) {
  TempDir dir;
  const Bytes apic = {'A', 'P', 'I', 'C', 0, 0, 0, 20, 0, 0};
  const Bytes second = Cat(Cat(Id3v2Header(30), apic), Bytes(20, 0xFF));
  const TProbe p = Probe(
      dir,
      dir.Put("two.mp3", Cat(Cat(Cat(Id3v2Header(40), Bytes(40, 0)), second), Frames(kMpeg1, 5))));
  EXPECT_FALSE(p.Info.Valid);
  EXPECT_EQ(p.Info.ID3v2Size, 50);
  EXPECT_FALSE(p.Picture);  // the search stays in the first tag
}

TEST(HostileId3v2, ATagOfZerosToTheEndOfTheFile) {
  TempDir dir;
  const uint32_t size = 1 << 20;
  for (uint32_t declared : {size, size - 1000, size + 1}) {
    const TProbe p = Probe(dir, dir.Put("zeros.mp3", Cat(Id3v2Header(declared), Bytes(size, 0))));
    EXPECT_FALSE(p.Info.Valid) << declared;
    EXPECT_FALSE(p.Picture) << declared;  // 100,000 empty frames walked, none of them APIC
  }
}

// Headers whose codes have no table entry are no frame: the walk steps over them four bytes
// at a time, and a file starting with one is no MP3.
TEST(HostileFrames, ReservedCodesInsideTheStream) {
  TempDir dir;
  const Bytes reserved[] = {
      {0xFF, 0xEB, 0x90, 0x64},  // version code 1
      {0xFF, 0xF9, 0x90, 0x64},  // layer code 0
      {0xFF, 0xFB, 0xF0, 0x64},  // bit-rate index 15
      {0xFF, 0xFB, 0x00, 0x64},  // bit-rate index 0 (free format)
      {0xFF, 0xFB, 0x9C, 0x64},  // sample-rate index 3
  };
  Bytes file = Frames(kMpeg1, 5);
  for (const Bytes& r : reserved) {
    file = Cat(Cat(file, r), Bytes{0xFF, 0, 0xFF, 0xFF});
    EXPECT_FALSE(Probe(dir, dir.Put("first.mp3", Cat(r, Frames(kMpeg1, 3)))).Info.Valid);
  }
  const TProbe p = Probe(dir, dir.Put("reserved.mp3", Cat(file, Frames(kMpeg1, 5, 5))));
  EXPECT_EQ(FrameNumbersOf(p.Piece), Range(0, 9));
  EXPECT_EQ(p.Written, 10 * 417);
  EXPECT_EQ(p.Ms, 261);  // ten frames of 26.1224 ms
}

// Every frame counts with its own duration; pieces are whole frames wherever the stream
// changes its sample rate or version.
TEST(HostileFrames, SampleRateAndVersionChangeInTheMiddle) {
  TempDir dir;
  const Bytes file =
      Cat(Cat(Cat(Frames(kMpeg1, 20), Frames(kMpeg1At48, 20, 20)), Frames(kMpeg2, 20, 40)),
          Frames(kMpeg25, 20, 60));
  const TProbe all = Probe(dir, dir.Put("mixed.mp3", file));
  ASSERT_TRUE(all.Info.Valid);
  EXPECT_EQ(FrameNumbersOf(all.Piece), Range(0, 79));
  EXPECT_EQ(all.Written, int64_t(file.size()));
  EXPECT_EQ(all.Ms, 2964);  // 20 x (26.1224 + 24 + 26.1224 + 72) ms

  // From 600 ms: the 48 kHz frames start at 522.45 ms, 24 ms apart, so frame 24 (618.45 ms) is
  // the first at or after the start; 16 frames of 24 ms and 9 of 26.12 ms make 619.1 ms.
  auto mp3 = Analyzed(dir / "mixed.mp3");
  int64_t bytes, ms;
  ASSERT_TRUE(mp3->SaveSegment(600, 1200, dir / "p.mp3", {}, bytes, ms));
  EXPECT_EQ(FrameNumbersOf(ReadFile(dir / "p.mp3")), Range(24, 48));
  EXPECT_EQ(bytes, 16 * 384 + 9 * 208);
  EXPECT_EQ(ms, 619);
  // The last part is MPEG 2.5 alone: 72 ms frames.
  ASSERT_TRUE(mp3->SaveSegment(2600, 2800, dir / "p.mp3", {}, bytes, ms));
  EXPECT_EQ(FrameNumbersOf(ReadFile(dir / "p.mp3")), Range(75, 77));  // from 2604.9 ms
  EXPECT_EQ(ms, 216);
}

// Long stretches without frames cost time but end: the result is the frames around them.
TEST(HostileFrames, MegabytesOfZerosOrJunkBetweenFrames) {
  TempDir dir;
  const size_t eightMb = 8 << 20;
  const Bytes before = Frames(kMpeg1, 10), after = Frames(kMpeg1, 10, 10);
  Bytes junk(1 << 20);
  std::mt19937 rng(11);
  for (uint8_t& b : junk) {
    do b = uint8_t(rng());
    while (b == 0xFF || b == 'I');  // no sync byte, no ID3v2 tag
  }
  for (const Bytes& gap : {Bytes(eightMb, 0), junk}) {
    SCOPED_TRACE(gap[0] == 0 ? "zeros" : "junk");
    const TProbe p = Probe(dir, dir.Put("gap.mp3", Cat(Cat(before, gap), after)));
    EXPECT_EQ(FrameNumbersOf(p.Piece), Range(0, 19));
    EXPECT_EQ(p.Ms, 522);
    // A start past the gap: the gap adds no time, frame 12 is the first at or after 300 ms.
    auto mp3 = Analyzed(dir / "gap.mp3");
    int64_t bytes, ms;
    ASSERT_TRUE(mp3->SaveSegment(300, 400, dir / "p.mp3", {}, bytes, ms));
    EXPECT_EQ(FrameNumbersOf(ReadFile(dir / "p.mp3")), Range(12, 15));
  }
  // Eight megabytes of zero padding behind an ID3v2 tag.
  const TProbe padded =
      Probe(dir, dir.Put("padded.mp3", Cat(Cat(Id3v2Header(0), Bytes(eightMb, 0)), before)));
  EXPECT_TRUE(padded.Info.Valid);
  EXPECT_EQ(padded.Info.ID3v2Padding, int(eightMb));
  EXPECT_EQ(FrameNumbersOf(padded.Piece), Range(0, 9));
}

// Sync bytes and whole frame headers inside a picture, an ID3v2 tag in the stream and an
// ID3v1 tag are never taken for frames.
TEST(HostileFrames, SyncBytesInsideTagsAndPictures) {
  TempDir dir;
  Bytes picture(600, 0xFF);
  for (size_t i = 0; i + 4 <= picture.size(); i += 40)
    std::copy(kMpeg1.begin(), kMpeg1.end(), picture.begin() + long(i));
  const Bytes apic = Cat({'A', 'P', 'I', 'C', 0, 0, 2, 0x58, 0, 0}, picture);
  const Bytes title = {'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0, 0, 0xFF, 0xFB, 0x90, 0x64};
  const Bytes head = Cat(Cat(Id3v2Header(uint32_t(title.size() + apic.size() + 100)), title),
                         Cat(apic, Bytes(100, 0)));
  const Bytes inStream = Cat(Id3v2Header(uint32_t(picture.size())), picture);
  Bytes v1(128, 0xFF);
  std::copy(kMpeg1.begin(), kMpeg1.end(), v1.begin() + 60);
  std::copy_n("TAG", 3, v1.begin());
  const Bytes file =
      Cat(Cat(Cat(head, Frames(kMpeg1, 5)), Cat(inStream, Frames(kMpeg1, 5, 5))), v1);
  const TProbe p = Probe(dir, dir.Put("sync.mp3", file));
  ASSERT_TRUE(p.Info.Valid);
  EXPECT_EQ(p.Info.FirstFrameOffset(), int64_t(head.size()));
  EXPECT_EQ(p.Info.ID3v1Size, 128);
  EXPECT_TRUE(p.Picture);
  EXPECT_EQ(FrameNumbersOf(p.Piece), Range(0, 9));
}

// A last frame cut short is copied whole when the end tags make up for the missing bytes,
// and fails the save (leaving nothing) when the file ends before the frame does.
TEST(HostileFrames, LastFrameCutShortWithAndWithoutEndTags) {
  TempDir dir;
  Bytes ape(32, 0);
  std::copy_n("APETAGEX", 8, ape.begin());
  Bytes v1(128, 0);
  std::copy_n("TAG", 3, v1.begin());
  const std::pair<const char*, Bytes> tails[] = {
      {"none", {}}, {"ID3v1", v1}, {"APE", ape}, {"APE and ID3v1", Cat(ape, v1)}};
  const Bytes frames = Frames(kMpeg1, 10);
  for (const auto& [name, tail] : tails) {
    for (size_t missing : {1, 200}) {
      SCOPED_TRACE(std::string(name) + ", " + std::to_string(missing) + " bytes missing");
      const Bytes file = Cat(Slice(frames, 0, frames.size() - missing), tail);
      const TProbe p = Probe(dir, dir.Put("short.mp3", file));
      ASSERT_TRUE(p.Info.Valid);
      EXPECT_EQ(p.Saved, tail.size() >= missing);
      if (p.Saved) {
        EXPECT_EQ(p.Piece, Slice(file, 0, frames.size()));
      }
      // Pieces that end before the last frame are not affected.
      auto mp3 = Analyzed(dir / "short.mp3");
      int64_t bytes, ms;
      EXPECT_TRUE(mp3->SaveSegment(0, 200, dir / "p.mp3", {}, bytes, ms));
      EXPECT_EQ(dir.Entries(), 2u);
      fs::remove(dir / "p.mp3");
    }
  }
}

// The source cut short or grown after it was analysed: a frame that now runs past the end
// fails the save and leaves nothing; bytes added behind the analysed size are not walked.
TEST(HostileFrames, TheSourceChangesAfterTheAnalysis) {
  TempDir dir;
  const Bytes frames = Frames(kMpeg1, 20);
  const std::string src = dir.Put("src.mp3", frames);
  auto mp3 = Analyzed(src);
  int64_t bytes, ms;
  fs::resize_file(src, 10 * 417 + 100);
  EXPECT_FALSE(mp3->SaveSegment(0, 5000, dir / "p.mp3", {}, bytes, ms));
  EXPECT_FALSE(fs::exists(dir / "p.mp3"));
  EXPECT_TRUE(mp3->SaveSegment(0, 200, dir / "p.mp3", {}, bytes, ms));  // frames 0 to 7
  WriteFile(src, Cat(frames, Frames(kMpeg1, 5, 20)));
  ASSERT_TRUE(mp3->SaveSegment(0, 5000, dir / "p.mp3", {}, bytes, ms));
  EXPECT_EQ(FrameNumbersOf(ReadFile(dir / "p.mp3")), Range(0, 19));
}

// Tag markers where the file is too short for the tag: no tag. An ID3v1 tag reaching into the
// ID3v2 tag leaves no audio, which is no fault either.
TEST(HostileTags, MarkersInFilesTooShortForTheirTag) {
  TempDir dir;
  auto file = [](size_t size, size_t at, const std::string& marker) {
    Bytes b(size, 0x20);
    std::copy(kMpeg1.begin(), kMpeg1.end(), b.begin());
    std::copy(marker.begin(), marker.end(), b.begin() + long(at));
    return b;
  };
  Bytes v1(128, 0);
  std::copy_n("TAG", 3, v1.begin());
  struct {
    const char* Name;
    Bytes File;
    int ID3v1, Ape;
  } cases[] = {
      {"TAG in 100 bytes", file(100, 4, "TAG"), 0, 0},
      {"TAG in 127 bytes", file(127, 8, "TAG"), 0, 0},
      {"APETAGEX in 31 bytes", file(31, 4, "APETAGEX"), 0, 0},
      {"APETAGEX ending 40 bytes", file(40, 8, "APETAGEX"), 0, 32},
      {"APETAGEX and a tag in 159 bytes", Cat(file(31, 4, "APETAGEX"), v1), 128, 0},
      {"APETAGEX and a tag in 168 bytes", Cat(file(40, 8, "APETAGEX"), v1), 128, 32},
  };
  for (const auto& c : cases) {
    const TProbe p = Probe(dir, dir.Put("t.mp3", c.File));
    EXPECT_TRUE(p.Info.Valid) << c.Name;
    EXPECT_EQ(p.Info.ID3v1Size, c.ID3v1) << c.Name;
    EXPECT_EQ(p.Info.ApeSize, c.Ape) << c.Name;
  }
  // ID3v2 tag of 200 bytes, a frame header, 36 bytes: the last 128 bytes start in the ID3v2 tag.
  Bytes overlap = Cat(Cat(Id3v2Header(200), Bytes(200, 'x')), file(40, 40, ""));
  std::copy_n("TAG", 3, overlap.end() - 128);
  const TProbe p = Probe(dir, dir.Put("overlap.mp3", overlap));
  EXPECT_TRUE(p.Info.Valid);
  EXPECT_EQ(p.Info.ID3v1Size, 128);
  EXPECT_EQ(p.Info.Duration, 0);
  EXPECT_TRUE(p.Saved);
  EXPECT_EQ(p.Written, 0);
}

// Files of a few bytes around the sizes of a header and a tag, starting like an ID3v2 tag.
TEST(HostileTags, TinyFilesStartingWithAnId3v2Header) {
  TempDir dir;
  const Bytes full = Cat(Cat(Id3v2Header(0), kMpeg1), Bytes(200, 0x20));
  for (size_t n : {3, 4, 127, 128, 129}) {
    const TProbe p = Probe(dir, dir.Put("tiny.mp3", Slice(full, 0, n)));
    EXPECT_EQ(p.Info.Valid, n >= 14) << n;
    EXPECT_FALSE(p.Picture) << n;
  }
}

}  // namespace
}  // namespace pelcato::test
