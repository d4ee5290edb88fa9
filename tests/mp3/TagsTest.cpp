#include <set>

#include "Mp3TestUtil.h"
#include "mp3/Id3Tags.h"

namespace pelcato::test {
namespace {

Bytes TagBytes(uint8_t comment28, uint8_t comment29) {
  Bytes t(128, 0);
  std::memcpy(t.data(), "TAGTitle", 8);
  std::memset(t.data() + 97, 'c', 28);
  t[125] = comment28;
  t[126] = comment29;
  t[127] = 17;
  return t;
}

TEST(Id3v1, ReadsTheTrackFormOnlyWhenCommentByte28IsZero) {
  TID3v1Tag tag;
  ASSERT_TRUE(ParseId3v1(TagBytes(0, 7).data(), tag));
  EXPECT_EQ(FieldText(tag.Title, 30), "Title");
  EXPECT_EQ(FieldText(tag.Comment, 30), std::string(28, 'c'));
  EXPECT_EQ(tag.Track, 7);
  EXPECT_EQ(tag.Genre, 17);
  ASSERT_TRUE(ParseId3v1(TagBytes(0, 0).data(), tag));
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(FieldText(tag.Comment, 30).size(), 28u);
  ASSERT_TRUE(ParseId3v1(TagBytes('x', 9).data(), tag));
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(FieldText(tag.Comment, 30), std::string(28, 'c') + "x\x09");

  Bytes lower = TagBytes(0, 7);
  lower[0] = 't';
  tag.Track = 99;
  EXPECT_FALSE(ParseId3v1(lower.data(), tag));
  EXPECT_EQ(tag.Track, 99);  // untouched
}

TEST(Id3v1, WritesTheCommentWholeOrInTrackForm) {
  TID3v1Tag tag = MakeTag("T", 0, 255);
  std::memset(tag.Comment, 'z', 30);
  auto out = EncodeId3v1(tag);
  EXPECT_EQ(Bytes(out.begin() + 97, out.begin() + 127), Bytes(30, 'z'));
  EXPECT_EQ(out[127], 255);
  tag.Track = 12;
  out = EncodeId3v1(tag);
  EXPECT_EQ(Bytes(out.begin() + 97, out.begin() + 125), Bytes(28, 'z'));
  EXPECT_EQ(out[125], 0);
  EXPECT_EQ(out[126], 12);
  TID3v1Tag back;
  ASSERT_TRUE(ParseId3v1(out.data(), back));
  EXPECT_EQ(back.Track, 12);
  EXPECT_EQ(EncodeId3v1(back), out);
}

TEST(Id3v1, Genres) {
  ASSERT_EQ(ID3Genres.size(), 148u);
  EXPECT_EQ(std::set<std::string>(ID3Genres.begin(), ID3Genres.end()).size(), 148u);
  const std::pair<int, const char*> names[] = {{0, "Blues"},
                                               {67, "Psychadelic"},
                                               {79, "Hard Rock"},
                                               {80, "Folk"},
                                               {85, "Bebob"},
                                               {123, "Acapella"},
                                               {126, "Goa"},
                                               {132, "BritPop"},
                                               {136, "Christian Gangsta Rap"},
                                               {140, "Contemporary Christian"},
                                               {144, "Trash Metal"},
                                               {146, "Jpop"},
                                               {147, "Synthpop"}};
  for (const auto& [i, name] : names) EXPECT_EQ(GenreName(i), name) << i;
  EXPECT_EQ(GenreName(148), "");
  EXPECT_EQ(GenreName(255), "");
}

TEST(Id3v2, Syncsafe) {
  const uint8_t b[4] = {0, 0, 2, 1};
  EXPECT_EQ(DecodeSyncsafe(b), 257u);
  for (uint32_t n : {0u, 127u, 128u, 257u, 300000u, (1u << 28) - 1}) {
    const auto e = EncodeSyncsafe(n);
    for (uint8_t x : e) EXPECT_LT(x, 0x80);
    EXPECT_EQ(DecodeSyncsafe(e.data()), n);
  }
}

// The end of a file held in memory, read with bounds checked.
TEndTags EndTagsOf(const Bytes& file, TID3v1Tag& tag) {
  return ReadEndTags(
      int64_t(file.size()),
      [&](int64_t pos, void* dst, size_t len) {
        EXPECT_GE(pos, 0);
        EXPECT_LE(pos + int64_t(len), int64_t(file.size()));
        std::memcpy(dst, file.data() + pos, len);
        return len;
      },
      tag);
}

TEST(EndTags, ApeFooterBeforeTheId3v1TagOrAtTheEnd) {
  const Bytes audio(1000, 0x55);
  Bytes ape(32, 0);
  std::memcpy(ape.data(), "APETAGEX", 8);
  TID3v1Tag tag;
  auto r = EndTagsOf(Cat(Cat(audio, ape), TagBytes(0, 3)), tag);
  EXPECT_EQ(r.ID3v1Size, 128);
  EXPECT_EQ(r.ApeSize, 32);
  EXPECT_EQ(tag.Track, 3);
  r = EndTagsOf(Cat(audio, ape), tag);
  EXPECT_EQ(r.ID3v1Size, 0);
  EXPECT_EQ(r.ApeSize, 32);
  r = EndTagsOf(Cat(Cat(audio, ape), Bytes(10, 1)), tag);
  EXPECT_EQ(r.ApeSize, 0);
  // Files shorter than a tag have none, and nothing is read outside them.
  for (size_t n : {0, 3, 8, 31, 32, 127, 128, 129, 159}) {
    Bytes small(n, 0);
    if (n >= 32) std::memcpy(small.data() + n - 32, "APETAGEX", 8);
    r = EndTagsOf(small, tag);
    EXPECT_EQ(r.ID3v1Size, 0) << n;
    EXPECT_EQ(r.ApeSize, n >= 32 ? 32 : 0) << n;
  }
}

}  // namespace
}  // namespace pelcato::test
