// The ID3v2 tag in front of each piece: the source's, kept with all its frames and in its own
// version, or a new ID3v2.4 tag in UTF-8. TagLib reads, changes and renders the tags.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelcato {

// What the pieces get in front: nothing, the source's tag, or a new tag (the values of the
// Id3v2 setting).
enum class TId3v2Mode { None = 0, Keep = 1, New = 2 };

// The fields of one piece's tag, in UTF-8 and at full length. A field that is set replaces the
// source's frames (an empty text removes them); one that is not set leaves them as they are
// (keep) or is not written (new).
struct TPieceTagFields {
  std::optional<std::string> Title;    // TIT2
  std::optional<std::string> Artist;   // TPE1
  std::optional<std::string> Album;    // TALB
  std::optional<std::string> Year;     // TDRC (TYER in ID3v2.3)
  std::optional<std::string> Comment;  // COMM without a description
  std::optional<std::string> Genre;    // TCON, the genre's name
  // TRCK as "Track/TrackCount", or "Track" without a count; 0 or less removes it.
  std::optional<int> Track;
  int TrackCount = 0;
  // The piece's length: TLEN gets it, only where the source tag had TLEN.
  std::optional<int64_t> LengthMs;
  // User texts (TXXX) by description: each replaces the frames of its description, whatever
  // their case; an empty value removes them.
  std::vector<std::pair<std::string, std::string>> UserTexts;
};

struct TPieceTag {
  std::vector<uint8_t> Bytes;  // the tag to write first; empty: no ID3v2 tag
  std::string Warning;         // why the piece has no tag, or has it in another version
};

class TId3v2PieceTag {
 public:
  // sourceTag: the source's bytes from its ID3v2 header on, at least as many as the header's
  // size gives (more are not read); empty when the source has no ID3v2 tag.
  explicit TId3v2PieceTag(const std::vector<uint8_t>& sourceTag);

  // 2, 3 or 4 when the source has a tag TagLib reads whole; else 0.
  int SourceVersion() const { return FVersion; }
  // Why the source's tag cannot be kept (then the pieces get none with keep), or that an
  // ID3v2.2 tag is kept as ID3v2.3; empty otherwise.
  const std::string& Warning() const { return FWarning; }
  // The source's tag states a length (TLEN), which a kept tag gives each piece as its own.
  bool StatesLength() const { return FStatesLength; }

  // The texts of the source's tag, in UTF-8 and at full length: title, artist, album, year,
  // comment (the first without a description, or the first), genre by its name and the track
  // number. Only the fields whose frames hold a text are set; none without a readable tag.
  TPieceTagFields SourceFields() const;

  // The tag of one piece. keep: the source's tag with the fields put in and its own version;
  // as new when the source has no tag; nothing when its tag is unreadable. new: the fields
  // alone, nothing when none is set. Never throws.
  TPieceTag Render(TId3v2Mode mode, const TPieceTagFields& fields) const;

 private:
  TPieceTag RenderKept(const TPieceTagFields& fields) const;
  TPieceTag RenderNew(const TPieceTagFields& fields) const;

  std::vector<uint8_t> FSource;  // the source's tag when it can be kept
  bool FSourceBroken = false;
  bool FStatesLength = false;
  int FVersion = 0;
  std::string FWarning;
};

}  // namespace pelcato
