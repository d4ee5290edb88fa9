// The tags around the frames: ID3v1 at the end (read and written), the ID3v2 header at the
// start and the APE footer before the ID3v1 tag (measured and passed over).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelcato {

// ID3v1 tag as we hold it. Texts are bytes in the tag's 8-bit code page, zero padded; a text
// that fills its field has no terminating zero. Header "TAG" means the tag is present (or is to
// be written). Track is held apart from the comment: 0 = none. Genre 255 = none.
struct TID3v1Tag {
  char Header[3] = {};
  char Title[30] = {};
  char Artist[30] = {};
  char Album[30] = {};
  char Year[4] = {};
  char Comment[30] = {};
  uint8_t Track = 0;
  uint8_t Genre = 0;

  bool IsTag() const { return Header[0] == 'T' && Header[1] == 'A' && Header[2] == 'G'; }
};

constexpr int kId3v1Size = 128;
constexpr int kApeFooterSize = 32;
constexpr int kId3v2HeaderSize = 10;
constexpr int kGenreCount = 148;
constexpr uint8_t kNoGenre = 255;

// The ID3v1 genre list with the Winamp extension, indexed by genre number.
extern const std::array<const char*, kGenreCount> ID3Genres;
// The genre's name, or an empty text for numbers without one (148..255).
std::string_view GenreName(int genre);

// Field text up to its first zero byte, trailing blanks kept.
std::string FieldText(const char* field, size_t width);

// Syncsafe integers: four bytes of seven bits each, most significant first.
uint32_t DecodeSyncsafe(const uint8_t* b);
std::array<uint8_t, 4> EncodeSyncsafe(uint32_t n);  // n below 2^28

// The 10-byte ID3v2 header. Only the identifier and the size are read; a footer is never
// assumed, so an ID3v2.4 footer stands where the first frame is expected.
struct TId3v2Header {
  uint32_t Size = 0;  // without the 10 header bytes
  static bool Parse(const uint8_t* b, size_t len, TId3v2Header& out);
};

// Reads an ID3v1 tag from the last 128 bytes of a file. "TAG" is compared up to a zero byte.
// A zero comment byte 28 marks the track form: the comment keeps 28 bytes and byte 29 is the
// track number. Returns false (tag untouched) when there is no tag.
bool ParseId3v1(const uint8_t* last128, TID3v1Tag& tag);

// The 128 bytes of the tag on disk; a non-zero Track gives the ID3v1.1 form, whatever the last
// two comment bytes held.
std::array<uint8_t, kId3v1Size> EncodeId3v1(const TID3v1Tag& tag);

// An APE tag footer starts with "APETAGEX"; its own size and item count are not read.
bool IsApeFooter(const uint8_t* b, size_t len);

// What the end of a file says about its tags.
struct TEndTags {
  int ID3v1Size = 0;  // 128 or 0
  int ApeSize = 0;    // 32 or 0
};

// Looks at the end of a file of fileSize bytes through read(pos, buf, len) -> bytes read.
// Fills tag only when an ID3v1 tag is there. Files shorter than a tag have none.
template <class ReadAt>
TEndTags ReadEndTags(int64_t fileSize, ReadAt&& read, TID3v1Tag& tag) {
  TEndTags r;
  int64_t apePos = fileSize - kApeFooterSize;
  if (fileSize >= kId3v1Size) {
    uint8_t last[kId3v1Size];
    if (read(fileSize - kId3v1Size, last, kId3v1Size) == size_t(kId3v1Size) &&
        ParseId3v1(last, tag)) {
      r.ID3v1Size = kId3v1Size;
      apePos = fileSize - kId3v1Size - kApeFooterSize;
    }
  }
  if (apePos >= 0) {
    uint8_t footer[8];
    if (read(apePos, footer, 8) == 8 && IsApeFooter(footer, 8)) r.ApeSize = kApeFooterSize;
  }
  return r;
}

}  // namespace pelcato
