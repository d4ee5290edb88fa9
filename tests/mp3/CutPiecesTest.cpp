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

TEST(Cut, ManyPiecesInOneWalkEqualOnePieceAtATime) {
  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  for (const std::string& file : {DataFile("cbr128.mp3"), DataFile("vbr.mp3"), MessyFile(dir),
                                  dir.Put("short.mp3", Slice(cbr, 0, cbr.size() - 100))}) {
    auto mp3 = Analyzed(file);
    const int64_t len = mp3->Info.Duration;
    std::vector<std::pair<std::vector<int64_t>, std::vector<int64_t>>> plans;
    for (int parts : {3, 7}) {
      plans.emplace_back();
      for (int i = 0; i < parts; ++i) {
        plans.back().first.push_back(len * i / parts);
        plans.back().second.push_back(len * (i + 1) / parts);
      }
    }
    for (int64_t piece : {1000, 700}) {
      plans.emplace_back();
      for (int64_t s = 0; s < len; s += piece) {
        plans.back().first.push_back(s);
        plans.back().second.push_back(std::min(s + piece, len));
      }
    }
    plans.push_back({{1500, 200, 0, 900}, {2500, 800, 400, 1000}});  // out of order
    const TID3v1Tag tag = MakeTag("Split", 0, 255);
    for (const auto& [starts, ends] : plans) {
      std::vector<TSegmentResult> got;
      mp3->SaveSegments(
          starts, ends, [&](size_t i) { return dir / ("many" + std::to_string(i)); }, tag, true,
          [&](size_t, const TSegmentResult& r) { got.push_back(r); });
      ASSERT_EQ(got.size(), starts.size());
      for (size_t i = 0; i < starts.size(); ++i) {
        int64_t bytes, ms;
        const bool saved = mp3->SaveSegment(starts[i], ends[i], dir / "one", tag, bytes, ms);
        ASSERT_EQ(got[i].Ok, saved) << file << " " << starts[i];
        if (!saved) continue;  // the last piece of the cut-short file
        EXPECT_EQ(ReadFile(got[i].Path), ReadFile(dir / "one")) << file << " " << starts[i];
        EXPECT_EQ(got[i].Bytes, bytes);
        EXPECT_EQ(got[i].DurationMs, ms);
        fs::remove(got[i].Path);
      }
    }
  }
}

// An analysis that records where the frames lie lets saves start at a recorded walk state
// and copy runs of plain frames at once: the pieces must stay the same bytes.
TEST(Cut, TheFrameIndexChangesNoPiece) {
  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes messy = ReadFile(MessyFile(dir));
  Bytes longMessy;  // long enough for many index marks, with ID3v2 tags inside the stream
  for (int i = 0; i < 6; ++i) longMessy = Cat(longMessy, Slice(messy, 0, messy.size() - 128));
  longMessy = Cat(longMessy, Slice(messy, messy.size() - 128, 128));
  std::vector<std::string> files = {dir.Put("long.mp3", longMessy), MessyFile(dir),
                                    dir.Put("short.mp3", Slice(cbr, 0, cbr.size() - 100)),
                                    dir.Put("n.mp3", NumberedFrames(1000))};
  for (const char* f : kFiles) files.push_back(DataFile(f));
  std::mt19937 rng(11);
  const TID3v1Tag tag = MakeTag("Indexed", 0, 255);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    TKorvaMP3 mp3(nullptr);
    mp3.AnalyzeFile(file, false, true);
    const Bytes src = ReadFile(file);
    const int64_t len = mp3.Info.Duration;
    for (int i = 0; i < 30; ++i) {
      const int64_t start = std::uniform_int_distribution<int64_t>(-100, len + 200)(rng);
      const int64_t end = start + std::uniform_int_distribution<int64_t>(-50, len)(rng);
      const TRefPiece ref = RefCut(src, mp3.Info, start, end, i % 2 ? tag : TID3v1Tag{});
      int64_t bytes = -1, ms = -1;
      ASSERT_EQ(mp3.SaveSegment(start, end, dir / "p", i % 2 ? tag : TID3v1Tag{}, bytes, ms),
                ref.Ok)
          << start << ".." << end;
      if (!ref.Ok) continue;
      ASSERT_EQ(ReadFile(dir / "p"), ref.Out) << start << ".." << end;
      EXPECT_EQ(std::tie(bytes, ms), std::tie(ref.Written, ref.Ms));
      fs::remove(dir / "p");
    }
    std::vector<int64_t> starts, ends;
    for (int64_t s = 0; s < len; s += 700) {
      starts.push_back(s);
      ends.push_back(std::min(s + 700, len));
    }
    mp3.SaveSegments(
        starts, ends, [&](size_t i) { return dir / ("s" + std::to_string(i)); }, tag, true,
        [&](size_t i, const TSegmentResult& r) {
          const TRefPiece ref = RefCut(src, mp3.Info, starts[i], ends[i], tag);
          ASSERT_EQ(r.Ok, ref.Ok) << starts[i];
          if (r.Ok) {
            EXPECT_EQ(ReadFile(r.Path), ref.Out) << starts[i];
          }
          fs::remove(r.Path);
        });
  }

  // A file changed after the analysis: the index no longer speaks for it and is not used.
  const std::string file = dir.Put("changed.mp3", NumberedFrames(1000));
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(file, false, true);
  Bytes changed = NumberedFrames(1000);
  for (size_t p = 417 * 100; p < 417 * 900; p += 417) changed[p + 2] = 0xB0;  // 192 kbit/s
  WriteFile(file, changed);
  const struct timespec times[2] = {{1, 0}, {1, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  int64_t bytes = -1, ms = -1;
  ASSERT_TRUE(mp3.SaveSegment(5000, 20000, dir / "p", {}, bytes, ms));
  EXPECT_EQ(ReadFile(dir / "p"), RefCut(changed, mp3.Info, 5000, 20000, {}).Out);
}

// With a frame index the pieces are written on two threads, but the caller sees the one-thread
// order: on its own thread, each piece's tag and then its name asked for when the piece is
// named, in order, and reported in order. A name is asked for only when the piece is whole, so
// a piece that fails leaves its number to the next, as a namer that takes the lowest free
// number expects. A name in another folder and a caller that throws are handled too.
TEST(Cut, PiecesWrittenSideBySideAreNamedInOrderOnTheCallersThread) {
  TempDir dir;
  const Bytes src = NumberedFrames(1000);
  const std::string file = dir.Put("n.mp3", src);
  fs::create_directory(dir / "out");
  fs::create_directory(dir / "other");
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(file, false, true);
  std::vector<int64_t> starts, ends;
  for (int64_t s = 0; s < mp3.Info.Duration; s += 600) {
    starts.push_back(s);
    ends.push_back(std::min(s + 600, mp3.Info.Duration));
  }
  const size_t count = starts.size();
  ASSERT_GT(count, 30u);
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<std::string> calls;
  const auto lowestFree = [&] {
    for (int n = 1;; ++n) {
      const std::string path = dir / ("out/" + std::to_string(n));
      if (!fs::exists(path)) return path;
    }
  };
  WriteFile(dir / "out/taken", {'k', 'e', 'e', 'p'});
  std::vector<TSegmentResult> results;
  mp3.SaveSegmentsWithTags(
      starts, ends,
      [&](size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        calls.push_back("name " + std::to_string(i));
        if (i == 5) return dir / "out/taken";  // exists: not replaced, the piece fails
        if (i == 7) return dir / "other/seven";
        if (i == 9) return dir / "missing/nine";
        return lowestFree();
      },
      [&](size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        calls.push_back("tag " + std::to_string(i));
        return MakeTag("piece " + std::to_string(i), uint8_t(i), 1);
      },
      true,
      [&](size_t i, const TSegmentResult& r) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        calls.push_back("done " + std::to_string(i));
        results.push_back(r);
      });
  std::vector<std::string> expected;
  for (size_t i = 0; i < count; ++i) {
    for (const char* what : {"tag ", "name ", "done "})
      expected.push_back(what + std::to_string(i));
  }
  EXPECT_EQ(calls, expected);
  ASSERT_EQ(results.size(), count);
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    const TRefPiece ref = RefCut(src, mp3.Info, starts[i], ends[i],
                                 MakeTag("piece " + std::to_string(i), uint8_t(i), 1));
    EXPECT_EQ(results[i].Ok, i != 5 && i != 9);
    if (!results[i].Ok) continue;
    EXPECT_EQ(ReadFile(results[i].Path), ref.Out);
    EXPECT_EQ(std::tie(results[i].Bytes, results[i].DurationMs), std::tie(ref.Written, ref.Ms));
  }
  // Pieces 5 and 9 failed, so the numbers run on without a gap; piece 7 went elsewhere.
  EXPECT_EQ(results[6].Path, dir / "out/6");
  EXPECT_EQ(results[10].Path, dir / "out/8");
  EXPECT_EQ(ReadFile(dir / "out/taken"), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(fs::exists(dir / "missing"));
  const auto entries = [](const std::string& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  };
  EXPECT_EQ(entries(dir / "out"), count - 3 + 1);
  EXPECT_EQ(entries(dir / "other"), 1u);

  // A caller that throws stops the save there: no hang, and nothing left behind, also where
  // the pieces ahead are files with a name (folders without O_TMPFILE).
  struct TUnnamedGuard {
    ~TUnnamedGuard() { SetUnnamedFilesAllowed(true); }
  } guard;
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed);
    SetUnnamedFilesAllowed(unnamed);
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    size_t named = 0;
    EXPECT_THROW(mp3.SaveSegments(
                     starts, ends,
                     [&](size_t i) {
                       if (i == 20) throw std::runtime_error("stop");
                       ++named;
                       return dir / ("out/" + std::to_string(i));
                     },
                     {}, true, [](size_t, const TSegmentResult&) {}),
                 std::runtime_error);
    EXPECT_EQ(named, 20u);
    EXPECT_EQ(entries(dir / "out"), 20u);
  }

  // There, every piece's temporary name is short, whatever the name of the first piece.
  fs::remove_all(dir / "out");
  fs::create_directory(dir / "out");
  const std::string longName(240, 'n');
  size_t written = 0;
  mp3.SaveSegments(
      starts, ends, [&](size_t i) { return dir / ("out/" + longName + std::to_string(i)); }, {},
      true, [&](size_t, const TSegmentResult& r) { written += r.Ok; });
  EXPECT_EQ(written, count);
  EXPECT_EQ(entries(dir / "out"), count);
}

// With the index, the player's length scan skips the contents of the frames the walk found
// end to end; the length it gives must be the one a full scan gives.
TEST(Cut, TheIndexLeavesThePlayersLengthAsItIs) {
  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes vbr = ReadFile(DataFile("vbr.mp3"));
  const Bytes messy = ReadFile(MessyFile(dir));
  Bytes longer, damaged = Cat(Cat(cbr, cbr), cbr);
  for (int i = 0; i < 6; ++i)
    longer = Cat(longer, i % 2 ? vbr : Slice(messy, 0, messy.size() - 128));
  for (size_t i = 0; i < 300; ++i) damaged[cbr.size() + 20000 + i] = uint8_t(i * 7);
  std::vector<std::string> files = {dir.Put("longer.mp3", longer), dir.Put("damaged.mp3", damaged),
                                    dir.Put("n.mp3", NumberedFrames(1000)), MessyFile(dir)};
  for (const char* f : kFiles) files.push_back(DataFile(f));
  for (const std::string& file : files) {
    TKorvaMP3 plain(std::make_unique<TMpg123Player>());
    plain.AnalyzeFile(file, true, false);
    TKorvaMP3 indexed(std::make_unique<TMpg123Player>());
    indexed.AnalyzeFile(file, true, true);
    ASSERT_TRUE(plain.Info.MciOk) << file;
    EXPECT_TRUE(indexed.Info.MciOk) << file;
    EXPECT_EQ(indexed.Info.Duration, plain.Info.Duration) << file;
  }
}

}  // namespace
}  // namespace pelcato::test
