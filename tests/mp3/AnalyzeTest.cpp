#include <sys/stat.h>

#include <algorithm>

#include "Mp3TestUtil.h"
#include "mp3/Mpg123Player.h"

namespace pelcato::test {
namespace {

TEST(Analyze, RealFiles) {
  struct {
    const char* file;
    double version;
    int layer, sampleRate, bitrate;
    bool mono, xing;  // xing: a header frame first, "Info" from lame but for VBR
    int id3v2, id3v1, ape;
    int64_t lengthMs;  // of the signal the file was made from
  } cases[] = {
      {"cbr128.mp3", 1.0, 3, 44100, 128, false, true, 0, 0, 0, 2500},
      {"vbr.mp3", 1.0, 3, 44100, 128, false, true, 0, 0, 0, 2500},
      {"mpeg2.mp3", 2.0, 3, 22050, 64, false, true, 0, 0, 0, 2500},
      {"mpeg25.mp3", 2.5, 3, 8000, 8, true, false, 0, 0, 0, 2500},
      {"mono.mp3", 1.0, 3, 44100, 64, true, true, 0, 0, 0, 2500},
      {"layer2.mp3", 1.0, 2, 48000, 192, false, false, 0, 0, 0, 1500},
      {"id3v2.mp3", 2.0, 3, 22050, 64, false, true, 45, 0, 0, 2500},
      {"id3v2-apic.mp3", 1.0, 3, 44100, 64, true, true, 438, 0, 0, 2500},
      {"ape-id3v1.mp3", 2.5, 3, 8000, 8, true, false, 0, 128, 32, 2500},
      {"id3v1.mp3", 2.5, 3, 8000, 8, true, false, 0, 128, 0, 2500},
      {"id3v11.mp3", 2.5, 3, 8000, 8, true, false, 0, 128, 0, 2500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
    mp3.AnalyzeFile(DataFile(c.file));
    const TMp3DataInfo& i = mp3.Info;
    ASSERT_TRUE(i.Valid);
    EXPECT_EQ(i.FileSize, int64_t(fs::file_size(DataFile(c.file))));
    EXPECT_EQ(i.Version, c.version);
    EXPECT_EQ(i.Layer, c.layer);
    EXPECT_EQ(i.SampleRate, c.sampleRate);
    EXPECT_EQ(i.Bitrate, c.bitrate);
    EXPECT_EQ(i.Mono, c.mono);
    EXPECT_EQ(i.HasXing, c.xing);
    EXPECT_EQ(i.ID3v2Size, c.id3v2);
    EXPECT_EQ(i.ID3v2Padding, 0);
    EXPECT_EQ(i.ID3v1Size, c.id3v1);
    EXPECT_EQ(i.ApeSize, c.ape);
    EXPECT_TRUE(i.MciOk) << i.MciError;
    // Without gapless facts in the file the encoder's delay and padding are counted too.
    EXPECT_NEAR(double(i.Duration), double(c.lengthMs), 200.0);
    EXPECT_GT(mp3.ComputedDuration, 0);
  }
  // A comment filling all 30 bytes, and the track form.
  auto v1 = Analyzed(DataFile("id3v1.mp3")), v11 = Analyzed(DataFile("id3v11.mp3"));
  EXPECT_EQ(FieldText(v1->Info.Tag.Comment, 30), "A comment of thirty characters");
  EXPECT_EQ(v1->Info.Tag.Track, 0);
  EXPECT_EQ(FieldText(v11->Info.Tag.Title, 30), "Track Seven");
  EXPECT_EQ(v11->Info.Tag.Track, 7);
  EXPECT_EQ(v11->Info.Tag.Genre, 8);
}

// An ID3v2 tag, zero bytes behind it, then the frames.
TEST(Analyze, ZeroPaddingAfterTheId3v2Tag) {
  TempDir dir;
  const Bytes src = ReadFile(DataFile("id3v2.mp3"));
  const size_t s = DecodeSyncsafe(src.data() + 6);
  const Bytes padded =
      Cat(Cat(Slice(src, 0, s + 10), Bytes(300, 0)), Slice(src, s + 10, src.size() - s - 10));
  auto mp3 = Analyzed(dir.Put("padded.mp3", padded));
  EXPECT_TRUE(mp3->Info.Valid);
  EXPECT_EQ(mp3->Info.ID3v2Size, int(s + 10));
  EXPECT_EQ(mp3->Info.ID3v2Padding, 300);
  EXPECT_EQ(mp3->Info.FirstFrameOffset(), int64_t(s + 310));
  EXPECT_EQ(mp3->Info.Bitrate, 64);
}

TEST(Analyze, NotAnMp3) {
  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes id3 = ReadFile(DataFile("id3v2.mp3"));
  const size_t tagEnd = DecodeSyncsafe(id3.data() + 6) + 10;
  Bytes footer = Slice(id3, 0, tagEnd);  // ID3v2.4 with a footer behind the tag
  footer[5] |= 0x10;
  footer = Cat(Cat(footer, {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 35}),
               Slice(id3, tagEnd, id3.size() - tagEnd));
  Bytes pastEnd = id3;
  pastEnd[6] = 0x7F;
  const Bytes riff = {'R', 'I', 'F', 'F', 0x10, 0, 0, 0, 'W', 'A', 'V', 'E'};
  const std::pair<const char*, Bytes> cases[] = {
      {"riff", Cat(riff, cbr)},
      {"junk", Cat({0, 0, 0, 0x21}, cbr)},
      {"footer", footer},
      {"zeros after tag", Cat(Slice(id3, 0, tagEnd), Bytes(5000, 0))},
      {"tag only", Slice(id3, 0, tagEnd)},
      {"size past end", pastEnd},
      {"short tag header", Bytes{'I', 'D', '3', 4, 0, 0}},
      {"reserved layer", Cat({0xFF, 0xF9, 0x90, 0x64}, Slice(cbr, 4, 2000))},
      {"3 bytes", Slice(cbr, 0, 3)},
      {"empty", {}},
  };
  for (const auto& [name, bytes] : cases) {
    auto mp3 = Analyzed(dir.Put("x.mp3", bytes));
    EXPECT_FALSE(mp3->Info.Valid) << name;
    EXPECT_EQ(mp3->Info.FileSize, int64_t(bytes.size())) << name;
    EXPECT_EQ(mp3->Info.Duration, 0) << name;
  }
  EXPECT_THROW(Analyzed(dir / "missing.mp3"), EFileError);
  EXPECT_THROW(Analyzed(dir.Path()), EFileError);
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_THROW(Analyzed(dir / "pipe"), EFileError);  // refused, not waited on
}

// Files around the size of a header and of an ID3v1 tag, starting with a frame header.
TEST(Analyze, TinyFiles) {
  TempDir dir;
  for (size_t n : {4, 127, 128, 129, 131}) {
    Bytes b(n, 0);
    std::memcpy(b.data(), "\xFF\xFB\x90\x64", 4);
    if (n >= 129) std::memcpy(b.data() + n - 128, "TAG", 3);
    auto mp3 = Analyzed(dir.Put("tiny.mp3", b));
    EXPECT_TRUE(mp3->Info.Valid) << n;
    EXPECT_EQ(mp3->Info.ID3v1Size, n >= 129 ? 128 : 0) << n;
    EXPECT_GE(mp3->Info.Duration, 0) << n;
    EXPECT_LT(mp3->Info.Duration, 27) << n;
    int64_t bytes = -1, ms = -1;
    const bool saved = mp3->SaveSegment(0, 5000, dir / "out.mp3", MakeTag("t", 1, 2), bytes, ms);
    // The lone frame runs past the end of the file, unless the end of the audio keeps the walk
    // from reaching it.
    EXPECT_EQ(saved, n == 4 || n >= 129) << n;
    EXPECT_EQ(fs::exists(dir / "out.mp3"), saved) << n;
    if (saved) {
      EXPECT_EQ(fs::file_size(dir / "out.mp3"), 128u) << n;
    }
    fs::remove(dir / "out.mp3");
  }
}

// A player that cannot open the file leaves the length computed from the first frame.
TEST(Analyze, ComputedLengthAndPlayerLength) {
  TempDir dir;
  auto script = std::make_shared<TFakePlayer::TScript>();
  TKorvaMP3 mp3(std::make_unique<TFakePlayer>(script));
  for (auto [b2, expected] : {std::pair{0x90, 261850}, {0x92, 261224}}) {
    const std::string path = dir / "long.mp3";
    WriteFile(path, {0xFF, 0xFB, uint8_t(b2), 0x64});
    fs::resize_file(path, 4180000);
    script->OpenError = "MCI error 277";
    mp3.AnalyzeFile(path);
    EXPECT_TRUE(mp3.Info.Valid);
    EXPECT_FALSE(mp3.Info.MciOk);
    EXPECT_EQ(mp3.Info.MciError, "MCI error 277");
    EXPECT_EQ(mp3.Info.Duration, expected);
    script->OpenError.clear();
    script->Length = 12345;
    mp3.AnalyzeFile(path);
    EXPECT_TRUE(mp3.Info.MciOk);
    EXPECT_EQ(mp3.Info.MciError, "");
    EXPECT_EQ(mp3.Info.Duration, 12345);
    EXPECT_EQ(mp3.ComputedDuration, expected);
    EXPECT_EQ(mp3.IsStopped(), false);  // the measurement closed the player again
  }
}

// A split may take the length from the "Xing"/"Info" frame instead of the player's scan, but
// only where the walk met exactly the frames that frame counts: then the two lengths agree.
TEST(Analyze, HeaderCountsEveryFrameOnlyWhereTheWalkAgrees) {
  const auto trusted = [](const std::string& path) {
    TKorvaMP3 mp3(nullptr);
    mp3.AnalyzeFile(path, false, true);
    return mp3.HeaderCountsEveryFrame();
  };
  const auto expectScanAgrees = [](const std::string& path) {
    TMpg123Player player;
    player.Open(path);
    const int64_t header = player.LengthWithoutScan();
    EXPECT_EQ(header, player.Length()) << path;
  };
  std::vector<std::string> agreeing;
  for (const auto& e : fs::directory_iterator(PELCATO_TEST_DATA)) {
    if (e.path().extension() != ".mp3" || !trusted(e.path().string())) continue;
    // Its frames are whole, but the player finds none of them behind its broken tag.
    if (e.path().filename() == "id3v2-apic-bad-size.mp3") continue;
    agreeing.push_back(e.path().filename().string());
    expectScanAgrees(e.path().string());
  }
  std::sort(agreeing.begin(), agreeing.end());
  // lame's Info frame (CBR) and Xing frame (VBR), both passed over; files without such a
  // frame or with a tag the walk cannot place never agree.
  EXPECT_TRUE(std::binary_search(agreeing.begin(), agreeing.end(), "cbr128.mp3"));
  EXPECT_TRUE(std::binary_search(agreeing.begin(), agreeing.end(), "vbr.mp3"));
  EXPECT_FALSE(std::binary_search(agreeing.begin(), agreeing.end(), "layer2.mp3"));
  EXPECT_FALSE(std::binary_search(agreeing.begin(), agreeing.end(), "ape-id3v1.mp3"));

  TempDir dir;
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  std::vector<int64_t> frameAt;
  {
    TKorvaMP3 mp3(nullptr);
    mp3.AnalyzeFile(DataFile("cbr128.mp3"), false);
    mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& f) { frameAt.push_back(f.Pos); });
  }
  ASSERT_GT(frameAt.size(), 20u);
  const Bytes withTags = ReadFile(DataFile("ape-id3v1.mp3"));
  const Bytes id3v1 = Slice(withTags, withTags.size() - 128, 128);
  const Bytes apeFooter = Slice(withTags, withTags.size() - 160, 32);
  Bytes oneTooMany = cbr;
  ++oneTooMany[47];  // the low byte of the Info frame's frame count
  Bytes junk = Slice(cbr, 0, size_t(frameAt[10]));
  junk = Cat(Cat(junk, {'j', 'u', 'n', 'k'}), Slice(cbr, junk.size(), cbr.size() - junk.size()));
  const struct {
    const char* name;
    Bytes bytes;
    bool agree;
  } cases[] = {
      {"id3v1", Cat(cbr, id3v1), true},
      {"count", oneTooMany, false},
      {"junk", junk, false},
      {"short", Slice(cbr, 0, cbr.size() - 1), false},
      {"trailing", Cat(cbr, {0xFF, 0xFB, 0x90}), false},
      {"ape", Cat(Cat(cbr, apeFooter), id3v1), false},
  };
  for (const auto& c : cases) {
    const std::string path = dir / (std::string(c.name) + ".mp3");
    WriteFile(path, c.bytes);
    EXPECT_EQ(trusted(path), c.agree) << c.name;
    if (c.agree) expectScanAgrees(path);
  }
}

TEST(Analyze, Preview) {
  auto script = std::make_shared<TFakePlayer::TScript>();
  TKorvaMP3 mp3(std::make_unique<TFakePlayer>(script));
  std::string error = "old";
  EXPECT_FALSE(mp3.PlayFrom(error, 0));  // nothing analysed
  EXPECT_EQ(error, "");
  mp3.AnalyzeFile(DataFile("cbr128.mp3"));
  EXPECT_TRUE(mp3.PlayFrom(error, 1500));
  script->Position = 1700;
  EXPECT_EQ(mp3.PlayPosition(), 1700);
  mp3.Stop();
  EXPECT_EQ(mp3.PlayPosition(), -1);
  script->ModeAfterPlay = TPlayerMode::Paused;
  EXPECT_FALSE(mp3.PlayFrom(error, 0));
  EXPECT_EQ(mp3.PlayPosition(), -1);
  script->OpenError = "MCI cannot open";
  EXPECT_FALSE(mp3.PlayFrom(error, 0));
  EXPECT_EQ(error, "MCI cannot open");
}

}  // namespace
}  // namespace pelcato::test
