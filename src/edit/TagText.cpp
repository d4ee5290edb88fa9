#include "edit/TagText.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "edit/TimeCode.h"
#include "text/Text.h"

namespace pelcato {
namespace {

TTagCodePage MakeCodePage(TTagCodePage::TKind kind) {
  TTagCodePage cp;
  cp.Kind = kind;
  switch (kind) {
    case TTagCodePage::TKind::Gbk:
      cp.Name = "GBK";
      cp.IconvName = "GBK";
      break;
    case TTagCodePage::TKind::ShiftJis:
      cp.Name = "Shift_JIS";
      cp.IconvName = "CP932";
      break;
    case TTagCodePage::TKind::Big5:
      cp.Name = "Big5";
      cp.IconvName = "CP950";
      break;
    case TTagCodePage::TKind::Cp949:
      cp.Name = "windows-949";
      cp.IconvName = "CP949";
      break;
    case TTagCodePage::TKind::SingleByte:
      break;
  }
  return cp;
}

// The 8-bit code page the desktop picks for a language's legacy texts; 1252 for every
// language it has no other page for. Serbian and Uzbek are written in two scripts.
int SingleByteCodePage(const std::string& lang, bool latin, bool cyrillic) {
  static const struct {
    int Number;
    const char* Languages;
  } pages[] = {
      {1250, " cs pl hu sk sl hr ro sq bs tk "},
      {1251, " ru uk bg be mk kk ky tt mn ba sah tg cv os ce "},
      {1253, " el "},
      {1254, " tr az uz "},
      {1255, " he yi "},
      {1256, " ar fa ur ps ug sd ckb ku "},
      {1257, " et lv lt "},
      {1258, " vi "},
      {874, " th "},
  };
  if (lang == "sr") return latin ? 1250 : 1251;
  if (lang == "uz" && cyrillic) return 1251;
  if (lang.empty()) return 1252;
  const std::string word = " " + lang + " ";
  for (const auto& page : pages) {
    if (std::string_view(page.Languages).find(word) != std::string_view::npos) return page.Number;
  }
  return 1252;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Runs iconv over the whole input; where it stops at something it cannot take, "?" goes out
// and skip(p, left) bytes of input are passed over.
template <class Skip>
std::string Convert(std::string_view in, const char* to, const char* from, Skip skip) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) {
    // No converter: plain ASCII survives, anything else is unknown.
    std::string out(in);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return (c & 0x80) != 0; }, '?');
    return out;
  }
  std::string out;
  char buf[1024];
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    const int e = errno;
    out.append(buf, size_t(dst - buf));
    if (r != size_t(-1) || e == E2BIG) continue;
    // EILSEQ or EINVAL: an invalid or unconvertible sequence, or one cut short at the end.
    out += '?';
    const size_t n = std::max<size_t>(1, std::min(left, skip(src, left)));
    src += n;
    left -= n;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buf, size_t(dst - buf));
  iconv_close(cd);
  return out;
}

void CopyField(char* field, size_t width, const std::string& text) {
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

}  // namespace

bool TTagCodePage::IsLeadByte(uint8_t b) const {
  switch (Kind) {
    case TKind::Gbk:
    case TKind::Big5:
    case TKind::Cp949:
      return b >= 0x81 && b <= 0xFE;
    case TKind::ShiftJis:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case TKind::SingleByte:
      break;
  }
  return false;
}

TTagCodePage TagCodePageForLocale(std::string_view localeName) {
  const std::string name = Lower(localeName);
  const size_t langEnd = name.find_first_of("_-.@");
  const std::string lang = name.substr(0, langEnd);
  std::string territory;
  if (langEnd != std::string::npos && (name[langEnd] == '_' || name[langEnd] == '-')) {
    territory = name.substr(langEnd + 1, name.find_first_of(".@", langEnd + 1) - langEnd - 1);
  }
  using K = TTagCodePage::TKind;
  if (lang == "zh") {
    return MakeCodePage(territory == "tw" || territory == "hk" || territory == "mo" ? K::Big5
                                                                                    : K::Gbk);
  }
  if (lang == "ja") return MakeCodePage(K::ShiftJis);
  if (lang == "ko") return MakeCodePage(K::Cp949);
  TTagCodePage cp = MakeCodePage(K::SingleByte);
  const int number = SingleByteCodePage(lang, name.find("@latin") != std::string::npos,
                                        name.find("@cyrillic") != std::string::npos);
  if (number != 1252) {
    cp.Name = "windows-" + std::to_string(number);
    cp.IconvName = "CP" + std::to_string(number);
  }
  return cp;
}

TTagCodePage TagCodePageFromEnvironment() {
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return TagCodePageForLocale(value);
  }
  return TagCodePageForLocale("C");
}

std::string TruncateText(std::string_view text, size_t n, const TTagCodePage& codePage) {
  if (text.size() <= n) return std::string(text);
  size_t i = 0;
  while (i < n) {
    if (codePage.IsLeadByte(uint8_t(text[i]))) {
      if (i + 1 == n) return std::string(text.substr(0, n - 1));  // byte n leads a pair
      i += 2;
    } else {
      ++i;
    }
  }
  return std::string(text.substr(0, n));
}

std::string TagTextToUtf8(std::string_view bytes, const TTagCodePage& codePage) {
  return Convert(bytes, "UTF-8", codePage.IconvName.c_str(),
                 [](const char*, size_t) { return size_t(1); });
}

std::string Utf8ToTagText(std::string_view utf8, const TTagCodePage& codePage) {
  return Convert(utf8, codePage.IconvName.c_str(), "UTF-8", [](const char* p, size_t left) {
    return Utf8CharLength(reinterpret_cast<const unsigned char*>(p), left);
  });
}

TID3v1Tag BuildTagFromFields(const TTagFields& fields) {
  TID3v1Tag tag;  // all zero
  if (!fields.Include) return tag;
  std::memcpy(tag.Header, "TAG", 3);
  const TTagCodePage& cp = fields.CodePage;
  CopyField(tag.Title, sizeof tag.Title, TruncateText(fields.Title, 30, cp));
  CopyField(tag.Artist, sizeof tag.Artist, TruncateText(fields.Artist, 30, cp));
  CopyField(tag.Album, sizeof tag.Album, TruncateText(fields.Album, 30, cp));
  CopyField(tag.Year, sizeof tag.Year, TruncateText(fields.Year, 4, cp));
  int64_t track = 0;
  if (!ParseDecimal(fields.Track, track) || track < 1 || track > 255) track = 0;
  CopyField(tag.Comment, sizeof tag.Comment, TruncateText(fields.Comment, track ? 28 : 30, cp));
  tag.Track = uint8_t(track);
  tag.Genre = fields.Genre < 0 || fields.Genre > 255 ? kNoGenre : uint8_t(fields.Genre);
  return tag;
}

TTagFields FieldsFromTag(const TID3v1Tag& tag, const TTagCodePage& codePage) {
  TTagFields f;
  f.CodePage = codePage;
  f.Include = tag.IsTag();
  f.Title = FieldText(tag.Title, sizeof tag.Title);
  f.Artist = FieldText(tag.Artist, sizeof tag.Artist);
  f.Album = FieldText(tag.Album, sizeof tag.Album);
  f.Year = FieldText(tag.Year, sizeof tag.Year);
  f.Comment = FieldText(tag.Comment, sizeof tag.Comment);
  if (tag.Track > 0) f.Track = std::to_string(tag.Track);
  f.Genre = tag.Genre < kGenreCount ? tag.Genre : -1;
  return f;
}

int GenreNumber(std::string_view text) {
  int64_t n = -1;
  if (ParseDecimal(text, n)) return n >= 0 && n < kGenreCount ? int(n) : -1;
  for (int g = 0; g < kGenreCount; ++g) {
    if (SameText(text, ID3Genres[size_t(g)])) return g;
  }
  return -1;
}

TID3v1Tag BuildTagWithOverrides(const TID3v1Tag* sourceTag, const TTagOverrides& overrides,
                                const TTagCodePage& codePage) {
  TTagFields fields;
  fields.CodePage = codePage;
  if (sourceTag != nullptr) fields = FieldsFromTag(*sourceTag, codePage);
  const std::pair<const std::optional<std::string>*, std::string*> texts[] = {
      {&overrides.Title, &fields.Title},     {&overrides.Artist, &fields.Artist},
      {&overrides.Album, &fields.Album},     {&overrides.Year, &fields.Year},
      {&overrides.Comment, &fields.Comment}, {&overrides.Track, &fields.Track},
  };
  for (const auto& [given, field] : texts) {
    if (*given) *field = Utf8ToTagText(**given, codePage);
  }
  if (overrides.Genre) fields.Genre = *overrides.Genre;
  if (overrides.NoTag) {
    fields.Include = false;
  } else if (overrides.SetsAField()) {
    fields.Include = true;
  }
  return BuildTagFromFields(fields);
}

}  // namespace pelcato
