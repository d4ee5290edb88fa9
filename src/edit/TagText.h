// ID3v1 tag texts: the 8-bit code page they are kept in, conversion from and to UTF-8, the
// byte-length cut that never splits a character, and the tag record made from field texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mp3/Id3Tags.h"

namespace pelcato {

// The legacy code page of tag texts, chosen from the user's locale as the desktop's ANSI code
// page would be.
struct TTagCodePage {
  enum class TKind { SingleByte, Gbk, ShiftJis, Big5, Cp949 };
  TKind Kind = TKind::SingleByte;
  std::string Name = "windows-1252";  // the name Qt/ICU decoders know
  std::string IconvName = "CP1252";   // the name iconv knows

  // True when b starts a two-byte character (only meaningful at a character boundary).
  bool IsLeadByte(uint8_t b) const;
  bool IsDoubleByte() const { return Kind != TKind::SingleByte; }
};

// From a locale name such as "ru_RU.UTF-8" or "sr_RS@latin": zh_CN (and other Chinese) -> GBK,
// zh_TW, zh_HK and zh_MO -> Big5, ja -> Shift_JIS, ko -> CP949; the 8-bit pages windows-1250
// (Central European), 1251 (Cyrillic), 1253 (Greek), 1254 (Turkish), 1255 (Hebrew), 1256
// (Arabic), 1257 (Baltic), 1258 (Vietnamese) and windows-874 (Thai) for their languages;
// anything else -> windows-1252.
TTagCodePage TagCodePageForLocale(std::string_view localeName);
// From the environment: the first set of LC_ALL, LC_CTYPE and LANG.
TTagCodePage TagCodePageFromEnvironment();

// The text cut to at most n bytes; a two-byte character that would be split at the cut is
// dropped whole. Characters are found by scanning from the start, so a trail byte is never
// taken for a lead byte.
std::string TruncateText(std::string_view text, size_t n, const TTagCodePage& codePage);

// Conversions between tag bytes and UTF-8. A byte sequence or character that has no
// counterpart becomes "?"; invalid input never stops the conversion.
std::string TagTextToUtf8(std::string_view bytes, const TTagCodePage& codePage);
std::string Utf8ToTagText(std::string_view utf8, const TTagCodePage& codePage);

// What the tag page holds, texts already in the tag's code page.
struct TTagFields {
  bool Include = false;
  std::string Title;
  std::string Artist;
  std::string Album;
  std::string Year;
  std::string Comment;
  std::string Track;  // decimal text; not a number or outside 1..255 means no track
  int Genre = -1;     // item index of the genre list; -1 = none
  TTagCodePage CodePage;
};

// The record to write: all zero unless Include; then "TAG", the texts cut to their fields
// (the comment to 28 bytes when there is a track number), the track and the genre (255 for
// none).
TID3v1Tag BuildTagFromFields(const TTagFields& fields);

// The fields as the tag page shows a tag read from a file: texts up to their first zero byte,
// the track in decimal when above 0, the genre when it has a name. Include is set when tag
// holds "TAG".
TTagFields FieldsFromTag(const TID3v1Tag& tag, const TTagCodePage& codePage);

// The genre a text names: its item index written as a whole number (0 to 147), or its name in
// any case of ASCII letters. -1 for anything else.
int GenreNumber(std::string_view text);

// Field texts in UTF-8 that replace those of a tag, as the command line's tag options give them.
struct TTagOverrides {
  std::optional<std::string> Title;
  std::optional<std::string> Artist;
  std::optional<std::string> Album;
  std::optional<std::string> Year;
  std::optional<std::string> Comment;
  std::optional<std::string> Track;
  std::optional<int> Genre;  // item index of the genre list; -1 = none
  bool NoTag = false;        // write no tag at all

  bool SetsAField() const { return Title || Artist || Album || Year || Comment || Track || Genre; }
};

// The tag a new file gets from a source tag (nullptr: the source has none) and the overrides:
// the source's fields as the tag page shows them after opening, with every given field put in
// (converted to the code page). A tag is written when the source had one or a field was given,
// and never with NoTag.
TID3v1Tag BuildTagWithOverrides(const TID3v1Tag* sourceTag, const TTagOverrides& overrides,
                                const TTagCodePage& codePage);

}  // namespace pelcato
