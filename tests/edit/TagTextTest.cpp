#include <gtest/gtest.h>

#include <string>

#include "edit/TagText.h"

namespace pelcato {
namespace {

using K = TTagCodePage::TKind;

std::string Field(const char* field, size_t width) {
  return std::string(field, width);
}

TEST(TagText, CodePageFollowsTheLocale) {
  EXPECT_EQ(TagCodePageForLocale("zh_CN.UTF-8").Kind, K::Gbk);
  EXPECT_EQ(TagCodePageForLocale("zh_TW.UTF-8").Kind, K::Big5);
  EXPECT_EQ(TagCodePageForLocale("zh_HK").Kind, K::Big5);
  EXPECT_EQ(TagCodePageForLocale("ja_JP.UTF-8").Kind, K::ShiftJis);
  EXPECT_EQ(TagCodePageForLocale("ko_KR.UTF-8").Kind, K::Cp949);
  for (const char* other : {"de_DE.UTF-8", "C", "", "POSIX", "jam_X"}) {
    EXPECT_EQ(TagCodePageForLocale(other).Kind, K::SingleByte) << other;
    EXPECT_EQ(TagCodePageForLocale(other).Name, "windows-1252") << other;
  }
}

// Each 8-bit page against a letter whose byte the published code page tables give, both ways,
// so a wrong page name or a page iconv does not know shows up as "?" or as another letter.
TEST(TagText, EightBitCodePagesCarryTheirLanguagesLetters) {
  const struct {
    const char* Locale;
    const char* Name;
    const char* Utf8;
    const char* Bytes;
  } cases[] = {
      {"pl_PL.UTF-8", "windows-1250",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "\xA3\xF3"
       "d\x9F"},                                                        // Łódź
      {"cs_CZ", "windows-1250", "\xC5\x99", "\xF8"},                    // ř
      {"sr_RS@latin", "windows-1250", "\xC4\x91", "\xF0"},              // đ
      {"ru_RU.UTF-8", "windows-1251", "\xD0\x96\xD1\x8F", "\xC6\xFF"},  // Жя
      {"uk_UA", "windows-1251", "\xD1\x97", "\xBF"},                    // ї
      {"sr_RS", "windows-1251", "\xD1\x92", "\x90"},                    // ђ
      {"el_GR.UTF-8", "windows-1253", "\xCE\xA9\xCE\xB1", "\xD9\xE1"},  // Ωα
      {"tr_TR", "windows-1254", "\xC4\x9F\xC4\xB1", "\xF0\xFD"},        // ğı
      {"he_IL", "windows-1255", "\xD7\xA9", "\xF9"},                    // ש
      {"ar_EG", "windows-1256", "\xD8\xA8", "\xC8"},                    // ب
      {"lt_LT", "windows-1257", "\xC5\xB3", "\xF8"},                    // ų
      {"vi_VN", "windows-1258", "\xC4\x91", "\xF0"},                    // đ
      {"th_TH.UTF-8", "windows-874", "\xE0\xB8\x81", "\xA1"},           // ก
  };
  for (const auto& c : cases) {
    const TTagCodePage cp = TagCodePageForLocale(c.Locale);
    EXPECT_EQ(cp.Kind, K::SingleByte) << c.Locale;
    EXPECT_EQ(cp.Name, c.Name) << c.Locale;
    EXPECT_EQ(Utf8ToTagText(c.Utf8, cp), c.Bytes) << c.Locale;
    EXPECT_EQ(TagTextToUtf8(c.Bytes, cp), c.Utf8) << c.Locale;
  }
}

TEST(TagText, TruncateNeverSplitsADoubleByteCharacter) {
  const TTagCodePage gbk = TagCodePageForLocale("zh_CN");
  const TTagCodePage latin = TagCodePageForLocale("C");
  // 29 ASCII bytes and a GBK character on bytes 30 and 31: the character goes whole.
  const std::string straddling = std::string(29, 'a') + "\xD6\xD0" + "b";
  EXPECT_EQ(TruncateText(straddling, 30, gbk), std::string(29, 'a'));
  EXPECT_EQ(TruncateText(straddling, 30, latin).size(), 30u);
  // Fifteen characters fill 30 bytes exactly; a trail byte in the lead range is not a lead.
  std::string pairs;
  for (int i = 0; i < 16; ++i) pairs += "\xB0\xA1";
  EXPECT_EQ(TruncateText(pairs, 30, gbk), pairs.substr(0, 30));
  EXPECT_EQ(TruncateText(pairs, 29, gbk), pairs.substr(0, 28));
  EXPECT_EQ(TruncateText("short", 30, gbk), "short");
  // Shift_JIS: half-width katakana (0xA1..0xDF) are single bytes.
  const TTagCodePage sjis = TagCodePageForLocale("ja_JP");
  EXPECT_EQ(TruncateText("\xB1\xB2\x82\xA0", 3, sjis), "\xB1\xB2");
  EXPECT_EQ(TruncateText("\xB1\xB2\xB3\x82", 3, sjis), "\xB1\xB2\xB3");
}

TEST(TagText, ConversionsReplaceWhatTheyCannotCarry) {
  const TTagCodePage latin = TagCodePageForLocale("en_US");
  const TTagCodePage gbk = TagCodePageForLocale("zh_CN");
  EXPECT_EQ(Utf8ToTagText("Caf\xC3\xA9 \xE2\x82\xAC", latin), "Caf\xE9 \x80");
  EXPECT_EQ(TagTextToUtf8("Caf\xE9 \x80", latin), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Utf8ToTagText("\xE4\xB8\xAD", gbk), "\xD6\xD0");
  EXPECT_EQ(TagTextToUtf8("\xD6\xD0", gbk), "\xE4\xB8\xAD");
  // A character the code page lacks, broken UTF-8, a byte without a meaning, a cut pair.
  EXPECT_EQ(Utf8ToTagText("a\xE4\xB8\xAD"
                          "b",
                          latin),
            "a?b");
  EXPECT_EQ(Utf8ToTagText("a\xFF\xC3"
                          "b",
                          latin),
            "a??b");
  EXPECT_EQ(TagTextToUtf8("a\x81"
                          "b",
                          latin),
            "a?b");
  EXPECT_EQ(TagTextToUtf8("a\xD6", gbk), "a?");
}

TEST(TagText, TagFromFieldsWithTrackNumbers) {
  TTagFields f;
  f.Include = true;
  f.Title = "Title";
  f.Comment = std::string(30, 'c');
  f.Track = "7";
  TID3v1Tag tag = BuildTagFromFields(f);
  EXPECT_TRUE(tag.IsTag());
  EXPECT_EQ(Field(tag.Title, 30), std::string("Title") + std::string(25, '\0'));
  EXPECT_EQ(Field(tag.Comment, 30), std::string(28, 'c') + std::string(2, '\0'));
  EXPECT_EQ(tag.Track, 7);
  EXPECT_EQ(tag.Genre, kNoGenre);  // no genre chosen

  for (const char* none : {"300", "0", "-1", "abc", "", "7a"}) {
    f.Track = none;
    tag = BuildTagFromFields(f);
    EXPECT_EQ(tag.Track, 0) << none;
    EXPECT_EQ(Field(tag.Comment, 30), std::string(30, 'c')) << none;
  }
  f.Track = "255";
  EXPECT_EQ(BuildTagFromFields(f).Track, 255);
}

TEST(TagText, TagFromFieldsCutsTextsAndKeepsThemAsTyped) {
  TTagFields f;
  f.Include = true;
  f.Album = std::string(29, 'a') + "\xD6\xD0";
  f.Artist = " spaced ";
  f.Year = "20245";
  f.Genre = 17;
  f.CodePage = TagCodePageForLocale("zh_CN");
  TID3v1Tag tag = BuildTagFromFields(f);
  EXPECT_EQ(Field(tag.Album, 30), std::string(29, 'a') + '\0');
  EXPECT_EQ(FieldText(tag.Artist, 30), " spaced ");
  EXPECT_EQ(Field(tag.Year, 4), "2024");
  EXPECT_EQ(tag.Genre, 17);
  f.CodePage = TTagCodePage{};
  EXPECT_EQ(Field(BuildTagFromFields(f).Album, 30), f.Album.substr(0, 30));

  f.Include = false;
  tag = BuildTagFromFields(f);
  const std::string all(reinterpret_cast<const char*>(&tag), sizeof tag);
  EXPECT_EQ(all, std::string(sizeof tag, '\0'));
}

TEST(TagText, FieldsFromTagRoundTrip) {
  TTagFields f;
  f.Include = true;
  f.Title = std::string(30, 't');
  f.Comment = "note";
  f.Track = "12";
  f.Genre = 147;
  const TID3v1Tag tag = BuildTagFromFields(f);
  const TTagFields back = FieldsFromTag(tag, f.CodePage);
  EXPECT_TRUE(back.Include);
  EXPECT_EQ(back.Title, f.Title);
  EXPECT_EQ(back.Comment, "note");
  EXPECT_EQ(back.Track, "12");
  EXPECT_EQ(back.Genre, 147);
  TID3v1Tag unnamed = tag;
  unnamed.Genre = 200;
  unnamed.Track = 0;
  EXPECT_EQ(FieldsFromTag(unnamed, f.CodePage).Genre, -1);
  EXPECT_EQ(FieldsFromTag(unnamed, f.CodePage).Track, "");
}

}  // namespace
}  // namespace pelcato
