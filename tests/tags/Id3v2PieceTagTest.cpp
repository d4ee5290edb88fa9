// The pieces' ID3v2 tags read back by independent readers (mutagen, ffprobe, ffmpeg) from
// sources tagged by mutagen, by ffmpeg and by hand, and the same tags after injected faults.
#include <cstring>
#include <random>

#include "TagsTestUtil.h"
#include "tags/Id3v2PieceTag.h"
#include "tags/Id3v2Summary.h"

namespace pelcato::test {
namespace {

// The rendered tag in front of the source's audio, as the cutter writes a piece.
std::string WritePiece(const TempDir& dir, const TPieceTag& tag, const Bytes& source) {
  return dir.Put("piece.mp3", Cat(tag.Bytes, AudioOf(source)));
}

std::string MakeSource(const TempDir& dir, int version, const std::string& options) {
  const std::string path = dir / "source.mp3";
  Probe("make '" + DataFile("cbr128.mp3") + "' '" + path + "' " + std::to_string(version) + " " +
        options);
  return path;
}

// The frame ids our summary gives, as mutagen's dump lists them.
std::string SummaryIds(const Bytes& file) {
  const auto s = SummarizeId3v2(file.data(), file.size());
  std::string ids = "ids";
  for (const std::string& id : s ? s->Frames : std::vector<std::string>{}) ids += " " + id;
  return ids;
}

// A frame as ID3v2.2 (no flags), 2.3 (a plain size) or 2.4 (a syncsafe size) stores it.
Bytes Frame(int version, const char* id, const std::string& body, uint8_t format = 0) {
  const uint32_t n = uint32_t(body.size());
  Bytes f(id, id + (version == 2 ? 3 : 4));
  const auto syncsafe = EncodeSyncsafe(n);
  if (version == 2) f.insert(f.end(), {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  if (version == 3)
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  if (version == 4) f.insert(f.end(), syncsafe.begin(), syncsafe.end());
  if (version > 2) f.insert(f.end(), {0, format});
  return Cat(f, Bytes(body.begin(), body.end()));
}

Bytes Tag(int version, uint8_t flags, const Bytes& body) {
  const auto size = EncodeSyncsafe(uint32_t(body.size()));
  return Cat({'I', 'D', '3', uint8_t(version), 0, flags, size[0], size[1], size[2], size[3]}, body);
}

// Every fact mutagen reads from the source it reads from the piece too, but the track number
// and the length, which become the piece's; the picture also by ffmpeg; the audio unchanged.
TEST(Id3v2PieceTag, KeepsEveryFrameOfMutagenTagsInTheirVersion) {
  TempDir dir;
  for (const auto& [version, options] :
       {std::pair{3, "unsync"}, std::pair{4, ""}, std::pair{4, "nolength"}}) {
    SCOPED_TRACE(std::to_string(version) + " " + options);
    const std::string src = MakeSource(dir, version, options);
    const Bytes source = ReadFile(src);
    const TId3v2PieceTag maker(TagOf(source));
    EXPECT_EQ(maker.SourceVersion(), version);
    EXPECT_EQ(maker.Warning(), "");
    TPieceTagFields fields;
    fields.Track = 2;
    fields.TrackCount = 3;
    fields.LengthMs = 1234;
    const std::string piece = WritePiece(dir, maker.Render(TId3v2Mode::Keep, fields), source);

    const auto before = MutagenDump(src), after = MutagenDump(piece);
    EXPECT_EQ(SummaryIds(source), before[1]);
    EXPECT_EQ(after[0], "version 2." + std::to_string(version));
    for (const std::string& line : before) {
      if (line.rfind("ids", 0) && line.rfind("text TRCK", 0) && line.rfind("text TLEN", 0)) {
        EXPECT_TRUE(Has(after, line)) << line;
      }
    }
    EXPECT_EQ(after.size(), before.size());
    EXPECT_TRUE(Has(after, "text TRCK " + Hex("2/3") + " encoding 0"));
    EXPECT_EQ(Has(after, "text TLEN " + Hex("1234") + " encoding 0"),
              std::string(options) != "nolength");

    const auto ff = FfprobeTags(piece);
    EXPECT_TRUE(Has(ff, "TAG:title=Título") && Has(ff, "TAG:track=2/3"));
    Output("ffmpeg -v error -y -i '" + piece + "' -map 0:v -c copy -f image2 '" + dir / "c.png" +
           "'");
    EXPECT_EQ(ReadFile(dir / "c.png"), ReadFile(src + ".png"));
    EXPECT_EQ(DecodedSamples(piece), DecodedSamples(src));
  }
}

// ffmpeg writes ID3v2.3 texts in Latin-1 when it can; the cue sheet's titles need UTF-16 there.
TEST(Id3v2PieceTag, FfmpegTagKeepsItsPictureAndTakesUnicodeFields) {
  TempDir dir;
  const std::string cover = MakeSource(dir, 4, "") + ".png";
  const std::string src = dir / "ffmpeg.mp3";
  Output("ffmpeg -v error -i '" + DataFile("cbr128.mp3") + "' -i '" + cover +
         "' -map 0 -map 1 -c copy -id3v2_version 3 -metadata title=Plain -metadata "
         "artist=Someone '" +
         src + "'");
  const Bytes source = ReadFile(src);
  const TId3v2PieceTag maker(TagOf(source));
  ASSERT_EQ(maker.SourceVersion(), 3);
  TPieceTagFields fields;
  fields.Title = "夜に駆ける";
  fields.Artist = "Кино";
  fields.Track = 1;
  fields.TrackCount = 2;
  fields.LengthMs = 1000;
  const std::string piece = WritePiece(dir, maker.Render(TId3v2Mode::Keep, fields), source);

  const auto before = MutagenDump(src), after = MutagenDump(piece);
  EXPECT_EQ(SummaryIds(source), before[1]);
  EXPECT_EQ(after[0], "version 2.3");
  EXPECT_TRUE(Has(after, "text TIT2 " + Hex("夜に駆ける") + " encoding 1"));
  EXPECT_TRUE(Has(after, "text TPE1 " + Hex("Кино") + " encoding 1"));
  EXPECT_TRUE(Has(after, "text TRCK " + Hex("1/2") + " encoding 1"));
  EXPECT_EQ(Has(after, "text TLEN " + Hex("1000") + " encoding 1"), Has(before, "TLEN"));
  const auto picture = std::find_if(before.begin(), before.end(),
                                    [](const std::string& l) { return !l.rfind("picture", 0); });
  ASSERT_NE(picture, before.end());
  EXPECT_TRUE(Has(after, *picture));
  EXPECT_TRUE(Has(FfprobeTags(piece), "TAG:title=夜に駆ける"));
}

// A new tag is ID3v2.4 in UTF-8 with the texts whole; keep makes the same for a source
// without a tag.
TEST(Id3v2PieceTag, NewTagHoldsLongAndUnicodeTitlesExactly) {
  TempDir dir;
  const Bytes source = ReadFile(DataFile("cbr128.mp3"));
  std::string eighty;
  for (int i = 0; i < 80; ++i) eighty += char('a' + i % 26);
  for (const std::string& title :
       {eighty, std::string("Песня о далёкой родине"), std::string("夜に駆ける")}) {
    TPieceTagFields fields;
    fields.Title = title;
    fields.Artist = "Artist";
    fields.Album = "Альбом";
    fields.Year = "1999";
    fields.Genre = "Rock";
    fields.Comment = "a comment";
    fields.Track = 5;
    fields.TrackCount = 12;
    fields.LengthMs = 1000;
    const TId3v2PieceTag maker(TagOf(source));
    const TPieceTag tag = maker.Render(TId3v2Mode::New, fields);
    EXPECT_EQ(maker.Render(TId3v2Mode::Keep, fields).Bytes, tag.Bytes);
    const std::string piece = WritePiece(dir, tag, source);
    const auto dump = MutagenDump(piece);
    EXPECT_EQ(dump[0], "version 2.4");
    EXPECT_EQ(dump[1], "ids TIT2 TPE1 TALB TDRC TRCK TCON COMM");
    for (const auto& [id, text] : {std::pair{"TIT2", title},
                                   {"TALB", "Альбом"},
                                   {"TDRC", "1999"},
                                   {"TRCK", "5/12"},
                                   {"TCON", "Rock"}})
      EXPECT_TRUE(Has(dump, "text " + std::string(id) + " " + Hex(text) + " encoding 3")) << id;
    EXPECT_TRUE(Has(dump, "comm  XXX " + Hex("a comment") + " encoding 3"));
    EXPECT_TRUE(Has(FfprobeTags(piece), "TAG:title=" + title));
    EXPECT_EQ(DecodedSamples(piece), DecodedSamples(DataFile("cbr128.mp3")));
  }
  EXPECT_TRUE(TId3v2PieceTag({}).Render(TId3v2Mode::New, {}).Bytes.empty());
}

// TagLib writes no ID3v2.2; such a tag is kept as ID3v2.3, the picture converted.
TEST(Id3v2PieceTag, Id3v22TagIsKeptAsId3v23) {
  TempDir dir;
  const Bytes png = ReadFile(MakeSource(dir, 4, "") + ".png");
  const std::string picture = std::string("\0PNG\3\0", 6) + std::string(png.begin(), png.end());
  Bytes body = Cat(Frame(2, "TT2", std::string("\0Old", 4)), Frame(2, "PIC", picture));
  body.resize(body.size() + 100);  // padding
  const Bytes source = Cat(Tag(2, 0, body), ReadFile(DataFile("cbr128.mp3")));
  const std::string src = dir.Put("v22.mp3", source);
  const TId3v2PieceTag maker(TagOf(source));
  EXPECT_EQ(maker.SourceVersion(), 2);
  EXPECT_NE(maker.Warning().find("ID3v2.3"), std::string::npos);
  const std::string piece = WritePiece(dir, maker.Render(TId3v2Mode::Keep, {}), source);
  const auto before = MutagenDump(src), after = MutagenDump(piece);
  EXPECT_EQ(SummaryIds(source), "ids TT2 PIC");  // mutagen shows them converted
  EXPECT_EQ(after[0], "version 2.3");
  EXPECT_EQ(after[1], "ids TIT2 APIC");
  EXPECT_TRUE(Has(after, "text TIT2 " + Hex("Old") + " encoding 0"));
  EXPECT_EQ(after[3], before[3]);  // the picture line
}

// What TagLib 1.13 misreads on its own (a footer, an ID3v2.3 extended header) is read whole;
// what it renders wrongly (encrypted and grouped frames, without their flags) is left out.
TEST(Id3v2PieceTag, OddTagsAreReadWholeAndSealedFramesLeftOut) {
  TempDir dir;
  const Bytes audio = ReadFile(DataFile("cbr128.mp3"));
  const std::string title("\3Title"), artist("\3Artist");
  const Bytes withFooter = Tag(4, 0x10, Cat(Frame(4, "TIT2", title), Frame(4, "TPE1", artist)));
  const Bytes extended =
      Tag(3, 0x40,
          Cat({0, 0, 0, 6, 0, 0, 0, 0, 0, 0}, Cat(Frame(3, "TIT2", std::string("\0Title", 6)),
                                                  Frame(3, "TPE1", std::string("\0Artist", 7)))));
  const Bytes sealed =
      Tag(4, 0,
          Cat(Cat(Frame(4, "TIT2", title), Frame(4, "TPE1", "xcipher", 4)),
              Cat(Frame(4, "TALB", "\7\3Group", 0x40), Frame(4, "TCON", std::string("\3Rock")))));
  for (const auto& [tag, ids] :
       {std::pair{withFooter, "ids TIT2 TPE1"}, std::pair{extended, "ids TIT2 TPE1"},
        std::pair{sealed, "ids TIT2 TCON"}}) {
    const TId3v2PieceTag maker(tag);
    EXPECT_EQ(maker.Warning(), "");
    const std::string piece =
        dir.Put("piece.mp3", Cat(maker.Render(TId3v2Mode::Keep, {}).Bytes, audio));
    EXPECT_EQ(MutagenDump(piece)[1], ids);
  }
  EXPECT_EQ(SummaryIds(sealed), "ids TIT2 TPE1 TALB TCON");
  EXPECT_EQ(MutagenDump(dir.Put("extended.mp3", Cat(extended, audio)))[1], "ids TIT2 TPE1");
}

// Faults injected into a real tag: the size runs past the file, a frame's size runs past the
// tag, a frame id is not one. The pieces get no tag and a warning; a new tag is still made.
TEST(Id3v2PieceTag, BrokenSourceTagGivesNoTagAndAWarning) {
  TempDir dir;
  const Bytes tag = TagOf(ReadFile(MakeSource(dir, 4, "")));
  auto at = [&](const char* id) {
    return size_t(std::search(tag.begin(), tag.end(), id, id + 4) - tag.begin());
  };
  Bytes shortened(tag.begin(), tag.begin() + tag.size() / 2), oversized = tag, badId = tag;
  std::memset(&oversized[at("USLT") + 4], 0x7F, 4);
  std::memcpy(&badId[at("PRIV")], "pr!v", 4);
  TPieceTagFields fields;
  fields.Title = "New";
  for (const Bytes& broken : {shortened, oversized, badId}) {
    const TId3v2PieceTag maker(broken);
    EXPECT_EQ(maker.SourceVersion(), 0);
    EXPECT_FALSE(maker.Warning().empty());
    const TPieceTag kept = maker.Render(TId3v2Mode::Keep, fields);
    EXPECT_TRUE(kept.Bytes.empty());
    EXPECT_EQ(kept.Warning, maker.Warning());
    EXPECT_FALSE(maker.Render(TId3v2Mode::New, fields).Bytes.empty());
    const auto summary = SummarizeId3v2(broken.data(), broken.size());
    ASSERT_TRUE(summary);
    EXPECT_FALSE(summary->Problem.empty());
  }
  const auto summary = SummarizeId3v2(badId.data(), badId.size());
  EXPECT_EQ(summary->Frames, (std::vector<std::string>{"TIT2", "TPE1", "TRCK", "TALB", "TDRC",
                                                       "TCON", "TLEN", "RVA2"}));
}

// Hostile bytes (bits flipped, mostly in the headers, and cut short): whatever comes out is no
// tag or a tag that reads to its end.
TEST(Id3v2PieceTag, HostileTagsNeverGiveAnUnreadableTag) {
  TempDir dir;
  const Bytes v23 = TagOf(ReadFile(MakeSource(dir, 3, "unsync")));
  const Bytes v24 = TagOf(ReadFile(MakeSource(dir, 4, "")));
  const Bytes v22 = Tag(2, 0,
                        Cat(Frame(2, "TT2", std::string("\0Old", 4)),
                            Frame(2, "PIC", std::string("\0PNG\3\0\x89PNG", 10))));
  const Bytes* sources[] = {&v22, &v23, &v24};
  std::mt19937 random(23);
  TPieceTagFields fields;
  fields.Title = "Title";
  fields.Track = 1;
  fields.LengthMs = 5;
  for (int i = 0; i < 3000; ++i) {
    Bytes b = *sources[i % 3];
    if (i % 5 == 0) b.resize(random() % b.size());
    for (int flips = 1 + random() % 4; flips-- > 0 && !b.empty();)
      b[random() % std::min<size_t>(b.size(), i % 4 ? 64 : b.size())] ^= uint8_t(1 << random() % 8);
    const TId3v2PieceTag maker(b);
    SummarizeId3v2(b.data(), b.size());
    for (auto mode : {TId3v2Mode::Keep, TId3v2Mode::New}) {
      const Bytes out = maker.Render(mode, fields).Bytes;
      if (out.empty()) continue;
      const auto back = SummarizeId3v2(out.data(), out.size());
      ASSERT_TRUE(back && back->Problem.empty() && !back->Frames.empty()) << i;
    }
  }
}

}  // namespace
}  // namespace pelcato::test
