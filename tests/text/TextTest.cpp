// The one UTF-8 decoder of the program against glibc's iconv, over every one- and two-byte
// sequence and the three- and four-byte sequences around every boundary; and the
// windows-1252 text of language files against iconv's CP1252.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "text/Text.h"

namespace pelcato {
namespace {

class TIconv {
 public:
  TIconv(const char* to, const char* from) : FCd(iconv_open(to, from)) {}
  ~TIconv() {
    if (FCd != iconv_t(-1)) iconv_close(FCd);
  }
  bool Valid() const { return FCd != iconv_t(-1); }
  // The whole input converted, or false.
  bool Convert(const std::string& in, std::string& out) {
    iconv(FCd, nullptr, nullptr, nullptr, nullptr);
    out.assign(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (iconv(FCd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || srcLeft != 0) return false;
    out.resize(out.size() - dstLeft);
    return true;
  }

 private:
  iconv_t FCd;
};

TEST(Utf8, TheDecoderAgreesWithIconv) {
  TIconv reference("UTF-32LE", "UTF-8");
  ASSERT_TRUE(reference.Valid());
  std::vector<std::string> cases;
  for (int a = 0; a < 256; ++a) {
    cases.push_back(std::string(1, char(a)));
    for (int b = 0; b < 256; ++b) cases.push_back({char(a), char(b)});
  }
  for (int a = 0xE0; a <= 0xEF; ++a)
    for (int b = 0; b < 256; ++b)
      for (const int c : {0x7F, 0x80, 0xBF, 0xC0}) cases.push_back({char(a), char(b), char(c)});
  for (int a = 0xF0; a <= 0xF8; ++a)
    for (int b = 0; b < 256; ++b)
      for (const int d : {0x41, 0x80, 0xBF})
        cases.push_back({char(a), char(b), char(0x80), char(d)});
  size_t valid = 0;
  std::string out;
  for (const std::string& text : cases) {
    const bool expected = reference.Convert(text, out);
    ASSERT_EQ(IsValidUtf8(text), expected) << testing::PrintToString(text);
    if (expected && !text.empty() && static_cast<unsigned char>(text[0]) >= 0x80) {
      EXPECT_EQ(Utf8CharLength(reinterpret_cast<const unsigned char*>(text.data()), text.size()),
                text.size());
    }
    valid += expected;
  }
  EXPECT_GT(valid, 10000u);
  EXPECT_EQ(Utf8CharLength(reinterpret_cast<const unsigned char*>("\xE2\x82\xAC"), 2), 0u);
}

TEST(Windows1252, EveryDefinedByteAsIconvReadsIt) {
  TIconv reference("UTF-8", "CP1252");
  ASSERT_TRUE(reference.Valid());
  std::string out;
  for (int b = 1; b < 256; ++b) {
    const std::string byte(1, char(b));
    // iconv leaves the five bytes the code page does not define undecoded.
    if (!reference.Convert(byte, out)) continue;
    EXPECT_EQ(Windows1252ToUtf8(byte), out) << b;
  }
  EXPECT_EQ(Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_TRUE(IsValidUtf8(Windows1252ToUtf8("K\xF6ln \x80\xFF")));
}

TEST(TextHelpers, ReplaceAllAndSameText) {
  EXPECT_EQ(ReplaceAll("%1 of %1", "%1", "%1%1"), "%1%1 of %1%1");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_TRUE(SameText("Blues", "bLUES"));
  EXPECT_FALSE(SameText("Blues", "Blue"));
  EXPECT_FALSE(SameText("\xC4", "\xE4"));  // only ASCII letters fold
}

}  // namespace
}  // namespace pelcato
