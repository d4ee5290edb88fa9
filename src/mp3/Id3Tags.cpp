#include "mp3/Id3Tags.h"

#include <cstring>

namespace pelcato {

const std::array<const char*, kGenreCount> ID3Genres = {
    // 0..79: the genres defined with ID3v1
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // 80..147: the Winamp extension
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "Acapella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Trash Metal", "Anime", "Jpop", "Synthpop"};

std::string_view GenreName(int genre) {
  if (genre < 0 || genre >= kGenreCount) return {};
  return ID3Genres[genre];
}

std::string FieldText(const char* field, size_t width) {
  const void* zero = std::memchr(field, 0, width);
  return std::string(field, zero ? static_cast<const char*>(zero) - field : width);
}

uint32_t DecodeSyncsafe(const uint8_t* b) {
  return (uint32_t(b[0] & 0x7F) << 21) | (uint32_t(b[1] & 0x7F) << 14) |
         (uint32_t(b[2] & 0x7F) << 7) | uint32_t(b[3] & 0x7F);
}

std::array<uint8_t, 4> EncodeSyncsafe(uint32_t n) {
  return {uint8_t((n >> 21) & 0x7F), uint8_t((n >> 14) & 0x7F), uint8_t((n >> 7) & 0x7F),
          uint8_t(n & 0x7F)};
}

bool TId3v2Header::Parse(const uint8_t* b, size_t len, TId3v2Header& out) {
  if (len < kId3v2HeaderSize || std::memcmp(b, "ID3", 3) != 0) return false;
  out.Size = DecodeSyncsafe(b + 6);
  return true;
}

bool ParseId3v1(const uint8_t* d, TID3v1Tag& tag) {
  // "TAG" taken up to a zero byte and compared case-sensitively.
  if (std::memcmp(d, "TAG", 3) != 0) return false;
  std::memcpy(tag.Header, d, 3);
  std::memcpy(tag.Title, d + 3, 30);
  std::memcpy(tag.Artist, d + 33, 30);
  std::memcpy(tag.Album, d + 63, 30);
  std::memcpy(tag.Year, d + 93, 4);
  const uint8_t* comment = d + 97;
  if (comment[28] == 0) {
    std::memcpy(tag.Comment, comment, 28);
    tag.Comment[28] = tag.Comment[29] = 0;
    tag.Track = comment[29];
  } else {
    std::memcpy(tag.Comment, comment, 30);
    tag.Track = 0;
  }
  tag.Genre = d[127];
  return true;
}

std::array<uint8_t, kId3v1Size> EncodeId3v1(const TID3v1Tag& tag) {
  std::array<uint8_t, kId3v1Size> out{};
  std::memcpy(out.data(), tag.Header, 3);
  std::memcpy(out.data() + 3, tag.Title, 30);
  std::memcpy(out.data() + 33, tag.Artist, 30);
  std::memcpy(out.data() + 63, tag.Album, 30);
  std::memcpy(out.data() + 93, tag.Year, 4);
  std::memcpy(out.data() + 97, tag.Comment, 30);
  if (tag.Track > 0) {
    out[125] = 0;
    out[126] = tag.Track;
  }
  out[127] = tag.Genre;
  return out;
}

bool IsApeFooter(const uint8_t* b, size_t len) {
  return len >= 8 && std::memcmp(b, "APETAGEX", 8) == 0;
}

}  // namespace pelcato
