#include <fcntl.h>
#include <sys/stat.h>

#include <random>
#include <stdexcept>
#include <thread>

#include "Mp3TestUtil.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/Mpg123Player.h"

namespace pelcato::test {
namespace {

// The cut written out plainly, as a yardstick: from the first frame, on four-byte steps over
// anything that is not a frame, "Xing" frames and ID3v2 tags passed over, frames copied whole.
struct TRefPiece {
  bool Ok = true;
  Bytes Out;
  int64_t Written = 0, Ms = 0;
  std::vector<int64_t> Frames;  // source offsets of the frames copied
};

struct TRefStep {
  int64_t Next, Bytes;
  double Ms;
};

TRefStep RefStep(const Bytes& f, int64_t p) {
  const int64_t n = int64_t(f.size());
  if (p + 4 <= n) {
    if (auto h = DecodeFrameHeader(&f[p])) {
      const bool xing = p + 40 <= n && std::memcmp(&f[p + 36], "Xing", 4) == 0;
      return {p + h->FrameSize, xing ? 0 : h->FrameSize, xing ? 0.0 : h->FrameMs};
    }
    if (p + 10 <= n && std::memcmp(&f[p], "ID3", 3) == 0) {
      return {p + 10 + DecodeSyncsafe(&f[p + 6]), 0, 0.0};
    }
  }
  return {p + 4, 0, 0.0};
}

TRefPiece RefCut(const Bytes& f, const TMp3DataInfo& info, int64_t startMs, int64_t endMs,
                 const TID3v1Tag& tag) {
  TRefPiece r;
  const int64_t n = int64_t(f.size());
  int64_t p = info.FirstFrameOffset();
  double t = 0;
  while (startMs > 0 && p < n - 4 && double(startMs) > t) {
    const TRefStep s = RefStep(f, p);
    p = s.Next;
    t += s.Ms;
  }
  t = 0;
  int64_t copiedTo = -1;
  while (p < n - info.ID3v1Size - info.ApeSize - 4 && double(endMs - startMs) > t) {
    const TRefStep s = RefStep(f, p);
    if (s.Bytes > 0) {
      if (p + s.Bytes > n) return {false, {}, 0, 0, {}};
      r.Out.insert(r.Out.end(), f.begin() + p, f.begin() + p + s.Bytes);
      r.Frames.push_back(p);
      copiedTo = p + s.Bytes;
    }
    r.Written += s.Bytes;
    t += s.Ms;
    p = s.Next;
  }
  r.Ms = int64_t(t);
  if (tag.IsTag()) {
    const auto enc = EncodeId3v1(tag);
    // Over the source's tag only, where the last frame ran into it up to the end.
    if (info.ID3v1Size > 0 && copiedTo == n) r.Out.resize(r.Out.size() - 128);
    r.Out.insert(r.Out.end(), enc.begin(), enc.end());
  }
  return r;
}

// 200 frames of MPEG 1 Layer III, 128 kbit/s, 44100 Hz, 417 bytes each, numbered at byte 4.
Bytes NumberedFrames(int count = 200) {
  Bytes f;
  for (int i = 0; i < count; ++i) {
    Bytes frame(417, 0);
    std::memcpy(frame.data(), "\xFF\xFB\x90\x64", 4);
    frame[4] = uint8_t(i);
    f = Cat(f, frame);
  }
  return f;
}

std::vector<int> FrameNumbers(const Bytes& out) {
  std::vector<int> n;
  for (size_t p = 0; p + 417 <= out.size(); p += 417) n.push_back(out[p + 4]);
  return n;
}

// The test files plus one built from them with everything the walk has to pass over: an
// ID3v2 tag in the stream, zeros that keep and that break the four-byte rhythm, junk, a last
// frame cut short and an ID3v1 tag behind it.
std::string MessyFile(const TempDir& dir) {
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes id3 = ReadFile(DataFile("id3v2.mp3"));
  const Bytes tag = Slice(id3, 0, DecodeSyncsafe(id3.data() + 6) + 10);
  const std::vector<int64_t> at =
      RefCut(cbr, Analyzed(DataFile("cbr128.mp3"))->Info, 0, 1 << 30, {}).Frames;
  auto frames = [&](int from, int to) { return Slice(cbr, at[from], at[to] - at[from]); };
  Bytes m = Cat(tag, frames(0, 10));
  for (const Bytes& b :
       {Bytes(8, 0), frames(10, 20), tag, frames(20, 30), Bytes(6, 0), frames(30, 40),
        Bytes{'j', 'u', 'n', 'k', 0xFF, 0xFF}, frames(40, 50), Slice(cbr, at[50], 300),
        Slice(ReadFile(DataFile("id3v11.mp3")), 2792 - 128, 128)}) {
    m = Cat(m, b);
  }
  return dir.Put("messy.mp3", m);
}

const char* const kFiles[] = {"cbr128.mp3",     "vbr.mp3",       "mpeg2.mp3",
                              "mpeg25.mp3",     "mono.mp3",      "layer2.mp3",
                              "id3v2-apic.mp3", "ape-id3v1.mp3", "id3v2.mp3"};

// The frames the walk finds are the frames libmpg123 decodes, plus an "Info" header frame,
// which the walk copies like any other.
TEST(Cut, WalkFindsTheFramesTheDecoderFinds) {
  mpg123_init();
  for (const char* file : kFiles) {
    auto mp3 = Analyzed(DataFile(file));
    const Bytes src = ReadFile(DataFile(file));
    const TRefPiece all = RefCut(src, mp3->Info, 0, 1 << 30, {});
    const Bytes first = Slice(src, all.Frames.at(0), 64);
    const std::string info = "Info";
    const bool infoFrame =
        std::search(first.begin(), first.end(), info.begin(), info.end()) != first.end();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    ASSERT_EQ(mpg123_open(h, DataFile(file).c_str()), MPG123_OK);
    ASSERT_EQ(mpg123_scan(h), MPG123_OK);
    EXPECT_EQ(int64_t(all.Frames.size()), mpg123_framelength(h) + infoFrame) << file;
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
  // A "Xing" frame is never copied; an "Info" frame is copied like any other.
  for (const char* file : {"vbr.mp3", "cbr128.mp3"}) {
    auto mp3 = Analyzed(DataFile(file));
    ASSERT_TRUE(mp3->SaveSegment(0, 300, dir / "p.mp3", {}, bytes, ms));
    const Bytes src = ReadFile(DataFile(file)), out = ReadFile(dir / "p.mp3");
    const size_t skip = mp3->Info.HasXing ? mp3->Info.FrameSize : 0;
    EXPECT_EQ(Slice(out, 0, 64), Slice(src, skip, 64)) << file;
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

  // A last frame that ends where the file does holds the source's whole tag.
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes v1 = Slice(ReadFile(DataFile("id3v11.mp3")), 2792 - 128, 128);
  const Bytes ranIn = Cat(Slice(cbr, 0, cbr.size() - 128), v1);
  auto whole = Analyzed(dir.Put("ran-in.mp3", ranIn));
  ASSERT_EQ(whole->Info.ID3v1Size, 128);
  ASSERT_TRUE(whole->SaveSegment(0, 1 << 30, dir / "w.mp3", MakeTag("piece", 1, 2), bytes, ms));
  EXPECT_EQ(ReadFile(dir / "w.mp3"), Cat(Slice(ranIn, 0, size_t(bytes) - 128), tag));
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
