#include <unistd.h>

#include <set>
#include <thread>

#include "Mp3TestUtil.h"
#include "mp3/Mpg123Player.h"

namespace pelcato::test {
namespace {

struct THookGuard {
  ~THookGuard() { SetWriteFaultHook(nullptr); }
};

// Runs a save once counting its writes, then again failing each write in turn, with and
// without an older file under the destination's name: the save reports the failure, the
// source and the older file stay as they were, and no partial file is left anywhere.
void FailEachWrite(const TempDir& dir, const std::string& src, const std::string& dest,
                   const std::function<bool()>& save) {
  THookGuard guard;
  const Bytes source = ReadFile(src);
  int writes = 0;
  SetWriteFaultHook([&] { return ++writes > 0; });
  ASSERT_TRUE(save());
  ASSERT_GT(writes, 0);
  fs::remove(dest);
  const size_t entries = dir.Entries();
  for (int k = 0; k < writes; ++k) {
    for (bool older : {false, true}) {
      if (older) WriteFile(dest, {'o', 'l', 'd'});
      int n = 0;
      SetWriteFaultHook([&] { return n++ != k; });
      EXPECT_FALSE(save()) << "write " << k;
      EXPECT_EQ(ReadFile(src), source);
      EXPECT_EQ(fs::exists(dest), older);
      EXPECT_EQ(ReadFile(dest), (older ? Bytes{'o', 'l', 'd'} : Bytes{}));
      EXPECT_EQ(dir.Entries(), entries + older) << "write " << k;
      fs::remove(dest);
    }
  }
}

TEST(Safety, AFailedWriteLeavesNothingBehind) {
  TempDir dir;
  const std::string src = dir.Put("src.mp3", ReadFile(DataFile("id3v2-apic.mp3")));
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src);
  int64_t bytes, ms;
  for (const auto& tag : {TID3v1Tag{}, MakeTag("t", 2, 3)}) {
    FailEachWrite(dir, src, dir / "out.mp3",
                  [&] { return mp3.SaveSegment(500, 1500, dir / "out.mp3", tag, bytes, ms); });
  }
  int tagSize, offset, size;
  ASSERT_TRUE(mp3.FindPictureFrame(src, tagSize, offset, size));
  FailEachWrite(dir, src, dir / "copy.mp3",
                [&] { return mp3.CopyWithoutFrame(src, dir / "copy.mp3", tagSize, offset, size); });
  FailEachWrite(dir, src, dir / "piece", [&] {
    bool ok = false;
    mp3.SaveSegments(
        {300}, {900}, [&](size_t) { return dir / "piece"; }, {}, false,
        [&](size_t, const TSegmentResult& r) { ok = r.Ok; });
    return ok;
  });
}

// A cut far into a file is copied while the walk runs; a write that fails there fails the
// piece too and leaves nothing.
TEST(Safety, AFailedWriteInAFarCutLeavesNothingBehind) {
  TempDir dir;
  const std::string src = dir.Put("long.mp3", CbrStream(9000));
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src);
  int64_t bytes, ms;
  FailEachWrite(dir, src, dir / "far.mp3", [&] {
    return mp3.SaveSegment(150000, 210000, dir / "far.mp3", MakeTag("t", 2, 3), bytes, ms);
  });
}

// A split through the frame index writes its pieces on two threads, the way the window and
// pelcato-cli split. Failing each write in turn, in files without a name and in named ones,
// fails the piece that write belongs to and leaves the others whole: no partial file, nothing
// but whole pieces in the folder, the source as it was.
TEST(Safety, AFailedWriteInASplitOnTwoThreadsLeavesOnlyWholePieces) {
  TempDir dir;
  THookGuard guard;
  struct TUnnamedGuard {
    ~TUnnamedGuard() { SetUnnamedFilesAllowed(true); }
  } unnamedGuard;
  const std::string src = dir.Put("src.mp3", CbrStream(3000));
  const Bytes source = ReadFile(src);
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src, false, true);
  std::vector<int64_t> starts, ends;
  for (int64_t s = 0; s < mp3.Info.Duration; s += 4000) {
    starts.push_back(s);
    ends.push_back(s + 4000);
  }
  const auto split = [&] {
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    std::vector<TSegmentResult> results;
    mp3.SaveSegments(
        starts, ends, [&](size_t i) { return dir / ("out/" + std::to_string(i)); },
        MakeTag("t", 2, 3), true, [&](size_t, const TSegmentResult& r) { results.push_back(r); });
    return results;
  };
  std::set<std::thread::id> threads;
  int writes = 0;
  SetWriteFaultHook([&] {
    threads.insert(std::this_thread::get_id());
    return ++writes > 0;
  });
  std::vector<Bytes> whole;
  for (const TSegmentResult& r : split()) {
    ASSERT_TRUE(r.Ok);
    whole.push_back(ReadFile(r.Path));
  }
  ASSERT_GT(whole.size(), 10u);
  for (const bool unnamed : {true, false}) {
    SetUnnamedFilesAllowed(unnamed);
    for (int k = 0; k < writes; ++k) {
      SCOPED_TRACE(std::to_string(k) + (unnamed ? " unnamed" : " named"));
      int n = 0;
      SetWriteFaultHook([&] {
        threads.insert(std::this_thread::get_id());
        return n++ != k;
      });
      const std::vector<TSegmentResult> results = split();
      ASSERT_EQ(results.size(), whole.size());
      size_t failed = 0;
      for (size_t i = 0; i < results.size(); ++i) {
        failed += !results[i].Ok;
        if (results[i].Ok) {
          EXPECT_EQ(ReadFile(results[i].Path), whole[i]) << i;
        } else {
          EXPECT_FALSE(fs::exists(results[i].Path)) << i;
        }
      }
      EXPECT_EQ(failed, 1u);
      EXPECT_EQ(size_t(std::distance(fs::directory_iterator(dir / "out"), {})),
                results.size() - failed);
    }
  }
  SetWriteFaultHook(nullptr);
  EXPECT_GE(threads.size(), 2u) << "the pieces were not written on two threads";
  EXPECT_EQ(ReadFile(src), source);
}

TEST(Safety, TheSourceIsNeverTheDestination) {
  TempDir dir;
  const std::string src = dir.Put("a.mp3", ReadFile(DataFile("cbr128.mp3")));
  const Bytes before = ReadFile(src);
  fs::create_directory(dir / "sub");
  fs::create_symlink(src, dir / "link.mp3");
  fs::create_hard_link(src, dir / "hard.mp3");
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src);
  int64_t bytes, ms;
  for (const std::string& same :
       {src, dir.Path() + "/./a.mp3", dir / "sub/../a.mp3", dir / "link.mp3", dir / "hard.mp3"}) {
    EXPECT_FALSE(mp3.SaveSegment(0, 1000, same, MakeTag("x", 1, 1), bytes, ms)) << same;
    EXPECT_FALSE(mp3.CopyWithoutFrame(src, same, 100, 10, 20)) << same;
    mp3.SaveSegments(
        {0}, {1000}, [&](size_t) { return same; }, {}, false,
        [&](size_t, const TSegmentResult& r) { EXPECT_FALSE(r.Ok) << same; });
    EXPECT_EQ(ReadFile(src), before);
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link.mp3"));
  EXPECT_EQ(dir.Entries(), 4u);

  // A folder, a missing folder, a source gone since the analysis: false, nothing written.
  EXPECT_FALSE(mp3.SaveSegment(0, 1000, dir / "sub", {}, bytes, ms));
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
  EXPECT_FALSE(mp3.SaveSegment(0, 1000, dir / "none/x.mp3", {}, bytes, ms));
  // A link to another file is written where it points, and stays a link.
  WriteFile(dir / "other.mp3", {'o'});
  fs::create_symlink(dir / "other.mp3", dir / "other-link.mp3");
  EXPECT_TRUE(mp3.SaveSegment(0, 1000, dir / "other-link.mp3", {}, bytes, ms));
  EXPECT_TRUE(fs::is_symlink(dir / "other-link.mp3"));
  EXPECT_EQ(int64_t(fs::file_size(dir / "other.mp3")), bytes);
  // Pieces that must not replace a file leave it alone.
  std::vector<bool> ok;
  mp3.SaveSegments(
      {0, 1000}, {1000, 2000}, [&](size_t i) { return dir / (i ? "new.mp3" : "other.mp3"); }, {},
      true, [&](size_t, const TSegmentResult& r) { ok.push_back(r.Ok); });
  EXPECT_EQ(ok, (std::vector<bool>{false, true}));
  EXPECT_EQ(int64_t(fs::file_size(dir / "other.mp3")), bytes);
  fs::remove_all(dir / "sub");
  fs::remove(dir / "hard.mp3");
  fs::remove(src);
  EXPECT_FALSE(mp3.SaveSegment(0, 1000, dir / "gone.mp3", {}, bytes, ms));
  EXPECT_FALSE(fs::exists(dir / "gone.mp3"));
}

int32_t BigEndian(const Bytes& b, size_t at) {
  return int32_t(uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}

TEST(Picture, CopyIsTheFileWithoutThePictureFrame) {
  TempDir dir;
  TKorvaMP3 mp3(nullptr);
  for (const char* file : {"id3v2-apic.mp3", "id3v2-apic-first.mp3"}) {
    SCOPED_TRACE(file);
    const Bytes src = ReadFile(DataFile(file));
    const std::string apic = "APIC";
    const size_t at = std::search(src.begin(), src.end(), apic.begin(), apic.end()) - src.begin();
    int tagSize, offset, size;
    ASSERT_TRUE(mp3.FindPictureFrame(DataFile(file), tagSize, offset, size));
    EXPECT_EQ(tagSize, int(DecodeSyncsafe(&src[6])));
    EXPECT_EQ(offset, int(at));
    EXPECT_EQ(size, BigEndian(src, at + 4) + 10);
    ASSERT_TRUE(mp3.CopyWithoutFrame(DataFile(file), dir / "copy.mp3", tagSize, offset, size));
    const auto newSize = EncodeSyncsafe(uint32_t(tagSize - size));
    const Bytes expected = Cat(
        Cat(Cat(Slice(src, 0, 6), Bytes(newSize.begin(), newSize.end())), Slice(src, 10, at - 10)),
        Slice(src, at + size, src.size() - at - size));
    EXPECT_EQ(ReadFile(dir / "copy.mp3"), expected);
    EXPECT_FALSE(mp3.FindPictureFrame(dir / "copy.mp3", tagSize, offset, size));
    EXPECT_TRUE(DecodesCleanly(dir / "copy.mp3"));
    mp3.AnalyzeFile(dir / "copy.mp3");
    EXPECT_TRUE(mp3.Info.Valid);
  }
  int a, b, c;
  EXPECT_FALSE(mp3.FindPictureFrame(DataFile("cbr128.mp3"), a, b, c));
  EXPECT_FALSE(mp3.FindPictureFrame(DataFile("id3v2.mp3"), a, b, c));
  EXPECT_THROW(mp3.FindPictureFrame(dir / "missing.mp3", a, b, c), EFileError);
  // Places and sizes that do not fit the file are refused.
  EXPECT_FALSE(mp3.CopyWithoutFrame(DataFile("id3v2-apic.mp3"), dir / "x.mp3", 428, 21000, 50));
  EXPECT_FALSE(mp3.CopyWithoutFrame(DataFile("id3v2-apic.mp3"), dir / "x.mp3", 40, 10, 50));
  EXPECT_FALSE(fs::exists(dir / "x.mp3"));
}

// libmpg123 takes a tag whose size bytes are not syncsafe for junk and gives up its search for
// the first frame 64 KiB into it: the file holds audio, but the player finds none. The copy
// without the picture frame, whose tag size is written afresh, plays as the audio alone does.
TEST(Picture, ThePlayerRefusesABrokenTagThatTheCopyMends) {
  TempDir dir;
  TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
  mp3.AnalyzeFile(DataFile("mono.mp3"));
  ASSERT_TRUE(mp3.Info.MciOk);
  const int64_t length = mp3.Info.Duration;
  const std::string broken = DataFile("id3v2-apic-bad-size.mp3");
  mp3.AnalyzeFile(broken);
  EXPECT_TRUE(mp3.Info.Valid);
  EXPECT_FALSE(mp3.Info.MciOk);
  EXPECT_EQ(mp3.Info.MciFault, TPlayerFault::NotPlayable) << mp3.Info.MciError;
  int tagSize, offset, size;
  ASSERT_TRUE(mp3.FindPictureFrame(broken, tagSize, offset, size));
  ASSERT_TRUE(mp3.CopyWithoutFrame(broken, dir / "copy.mp3", tagSize, offset, size));
  mp3.AnalyzeFile(dir / "copy.mp3");
  EXPECT_TRUE(mp3.Info.MciOk) << mp3.Info.MciError;
  EXPECT_EQ(mp3.Info.MciFault, TPlayerFault::None);
  EXPECT_EQ(mp3.Info.Duration, length);

  // A file it cannot read, and one without audio, say so apart.
  TMpg123Player player;
  for (const auto& [file, fault] :
       {std::pair{dir / "missing.mp3", TPlayerFault::CannotRead},
        std::pair{dir.Put("junk.mp3", Bytes(100000, ' ')), TPlayerFault::NotPlayable}}) {
    try {
      player.Open(file);
      ADD_FAILURE() << file << " opened";
    } catch (const EPlayerError& e) {
      EXPECT_EQ(e.Fault(), fault) << e.what();
    }
  }
}

// Broken frame sizes end the search; none of them makes it hang or read outside the file.
TEST(Picture, BrokenSizesEndTheSearch) {
  TempDir dir;
  TKorvaMP3 mp3(nullptr);
  const Bytes src = ReadFile(DataFile("id3v2-apic.mp3"));
  const size_t apic = 10 + 17 + 18;  // behind the two text frames
  ASSERT_EQ(Slice(src, apic, 4), (Bytes{'A', 'P', 'I', 'C'}));
  struct {
    size_t at;
    uint32_t value;
    bool found;
  } cases[] = {
      {14, 0, false},                 // text frame of size 0: the walk lands in its text
      {14, 0x80000000, false},        // negative
      {14, 0xFFFFFFF6, false},        // negative, -10: the walk would stand still
      {14, 0x7FFFFFF0, false},        // past the tag and the file
      {apic + 4, 0x00010000, false},  // the picture frame leaves the tag
      {14, 7 + 1, false},             // one byte too long: the next frame is not found
  };
  for (const auto& c : cases) {
    Bytes b = src;
    for (int i = 0; i < 4; ++i) b[c.at + i] = uint8_t(c.value >> (24 - 8 * i));
    int tagSize, offset, size;
    EXPECT_EQ(mp3.FindPictureFrame(dir.Put("b.mp3", b), tagSize, offset, size), c.found)
        << std::hex << c.value;
  }
  // A tag size past the end of the file, and a file that is only a tag header.
  Bytes big = src;
  big[6] = big[7] = big[8] = big[9] = 0x7F;
  int a, o, s;
  EXPECT_TRUE(mp3.FindPictureFrame(dir.Put("b.mp3", big), a, o, s));
  EXPECT_FALSE(mp3.FindPictureFrame(dir.Put("b.mp3", Slice(src, 0, 10)), a, o, s));
  EXPECT_FALSE(mp3.FindPictureFrame(dir.Put("b.mp3", Slice(src, 0, 5)), a, o, s));
}

// 30,000 frames (12.5 MB): long enough for several mapped windows and for copies handed to
// the second thread.
Bytes ManyFrames() {
  Bytes f(size_t(30000) * 417, 0x55);
  for (size_t p = 0; p < f.size(); p += 417) std::memcpy(&f[p], "\xFF\xFB\x90\x64", 4);
  return f;
}

TEST(Safety, ASourceCutShortWhileItIsReadFailsTheSave) {
  TempDir dir;
  THookGuard guard;
  const std::string src = dir.Put("big.mp3", ManyFrames());
  auto mp3 = Analyzed(src);
  int64_t bytes = 0, ms = 0;
  // Someone cuts the source short as the first bytes are written: the walk then meets pages
  // that are gone, which must fail the save rather than the process.
  SetWriteFaultHook([&] {
    if (fs::file_size(src) > 1'000'000) fs::resize_file(src, 1'000'000);
    return true;
  });
  EXPECT_FALSE(mp3->SaveSegment(1000, 1 << 30, dir / "piece.mp3", {}, bytes, ms));
  EXPECT_FALSE(fs::exists(dir / "piece.mp3"));
  WriteFile(src, ManyFrames());
  mp3 = Analyzed(src);
  std::vector<TSegmentResult> results;
  mp3->SaveSegments(
      {0, 200000, 400000}, {200000, 400000, 800000},
      [&](size_t i) { return dir / ("p" + std::to_string(i)); }, {}, true,
      [&](size_t, const TSegmentResult& r) { results.push_back(r); });
  ASSERT_EQ(results.size(), 3u);
  for (const TSegmentResult& r : results) {
    EXPECT_FALSE(r.Ok);
    EXPECT_FALSE(fs::exists(r.Path));
  }
  EXPECT_EQ(dir.Entries(), 1u);
}

TEST(Safety, LongCopiesOnTheSecondThreadFailAndSucceedCleanly) {
  TempDir dir;
  THookGuard guard;
  const Bytes frames = ManyFrames();
  const std::string src = dir.Put("big.mp3", frames);
  auto mp3 = Analyzed(src);
  int64_t bytes = 0, ms = 0;
  int writes = 0;
  SetWriteFaultHook([&] { return ++writes > 0; });
  ASSERT_TRUE(mp3->SaveSegment(0, 1 << 30, dir / "piece.mp3", {}, bytes, ms));
  fs::remove(dir / "piece.mp3");
  ASSERT_GT(writes, 4);
  for (int failAt : {0, writes / 2, writes - 1}) {
    int n = 0;
    SetWriteFaultHook([&] { return n++ != failAt; });
    EXPECT_FALSE(mp3->SaveSegment(0, 1 << 30, dir / "piece.mp3", {}, bytes, ms)) << failAt;
    EXPECT_FALSE(fs::exists(dir / "piece.mp3"));
  }
  SetWriteFaultHook(nullptr);
  ASSERT_TRUE(mp3->SaveSegment(0, 1 << 30, dir / "piece.mp3", MakeTag("t", 1, 2), bytes, ms));
  const Bytes out = ReadFile(dir / "piece.mp3");
  ASSERT_EQ(out.size(), frames.size() + 128);
  EXPECT_TRUE(std::equal(frames.begin(), frames.end(), out.begin()));
  EXPECT_EQ(dir.Entries(), 2u);
}

}  // namespace
}  // namespace pelcato::test
