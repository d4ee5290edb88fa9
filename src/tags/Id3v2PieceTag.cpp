#include "tags/Id3v2PieceTag.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

#include "tags/Id3v2Read.h"

namespace pelcato {

namespace {

using TagLib::ID3v2::CommentsFrame;
using TagLib::ID3v2::Frame;
using TagLib::ID3v2::FrameList;
using TagLib::ID3v2::TextIdentificationFrame;
using TagLib::ID3v2::UserTextIdentificationFrame;

TagLib::String Utf8(const std::string& text) {
  return TagLib::String(text, TagLib::String::UTF8);
}

// The frames as they stand now. Pointers, not a copy of the list, which may share the tag's
// ownership of them and delete them when frames are removed.
std::vector<Frame*> FramesOf(const FrameList& list) {
  return std::vector<Frame*>(list.begin(), list.end());
}

// The text goes into the first frame of the id and the other frames of the id go; an empty text
// removes them all. A frame keeps its encoding, which TagLib widens to UTF-8 (ID3v2.4) or
// UTF-16 (ID3v2.3) for a text that needs it; a new frame is UTF-8 (UTF-16 in ID3v2.3).
void SetTextFrame(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text) {
  const std::vector<Frame*> frames = FramesOf(tag.frameList(id));
  auto* kept = frames.empty() || text.empty()
                   ? nullptr
                   : dynamic_cast<TextIdentificationFrame*>(frames.front());
  for (Frame* frame : frames)
    if (frame != kept) tag.removeFrame(frame);
  if (text.empty()) return;
  if (!kept) {
    kept = new TextIdentificationFrame(id, TagLib::String::UTF8);
    tag.addFrame(kept);
  }
  kept->setText(Utf8(text));
}

// The comment is the COMM frame without a description; described ones (a player's loudness
// data and the like) stay.
void SetComment(TagLib::ID3v2::Tag& tag, const std::string& text) {
  CommentsFrame* kept = nullptr;
  for (Frame* frame : FramesOf(tag.frameList("COMM"))) {
    auto* comment = dynamic_cast<CommentsFrame*>(frame);
    if (!comment || !comment->description().isEmpty()) continue;
    if (!kept && !text.empty())
      kept = comment;
    else
      tag.removeFrame(comment);
  }
  if (text.empty()) return;
  if (!kept) {
    kept = new CommentsFrame(TagLib::String::UTF8);
    kept->setLanguage("XXX");  // unknown
    tag.addFrame(kept);
  }
  kept->setText(Utf8(text));
}

// The TXXX frames of a description go (players compare it without case); a value puts one back.
void SetUserText(TagLib::ID3v2::Tag& tag, const std::string& description,
                 const std::string& value) {
  const TagLib::String wanted = Utf8(description).upper();
  for (Frame* frame : FramesOf(tag.frameList("TXXX"))) {
    auto* text = dynamic_cast<UserTextIdentificationFrame*>(frame);
    if (text && text->description().upper() == wanted) tag.removeFrame(text);
  }
  if (value.empty()) return;
  auto* frame = new UserTextIdentificationFrame(TagLib::String::UTF8);
  frame->setDescription(Utf8(description));
  frame->setText(Utf8(value));
  tag.addFrame(frame);
}

void ApplyFields(TagLib::ID3v2::Tag& tag, const TPieceTagFields& fields) {
  if (fields.Title) SetTextFrame(tag, "TIT2", *fields.Title);
  if (fields.Artist) SetTextFrame(tag, "TPE1", *fields.Artist);
  if (fields.Album) SetTextFrame(tag, "TALB", *fields.Album);
  if (fields.Year) SetTextFrame(tag, "TDRC", *fields.Year);
  if (fields.Track) {
    std::string text;
    if (*fields.Track > 0) text = std::to_string(*fields.Track);
    if (*fields.Track > 0 && fields.TrackCount > 0) {
      text += '/';
      text += std::to_string(fields.TrackCount);
    }
    SetTextFrame(tag, "TRCK", text);
  }
  if (fields.Genre) SetTextFrame(tag, "TCON", *fields.Genre);
  if (fields.Comment) SetComment(tag, *fields.Comment);
  // A length the source did not state is not made up for its pieces.
  if (fields.LengthMs && !tag.frameList("TLEN").isEmpty())
    SetTextFrame(tag, "TLEN", std::to_string(std::max<int64_t>(*fields.LengthMs, 0)));
  for (const auto& [description, value] : fields.UserTexts) SetUserText(tag, description, value);
}

// The rendered tag when TagLib reads it back whole; a tag left without frames is no tag.
TPieceTag Checked(const TagLib::ByteVector& rendered, std::string warning) {
  std::vector<uint8_t> bytes(rendered.begin(), rendered.end());
  const tags::TId3v2Reading back = tags::ReadId3v2(bytes.data(), bytes.size());
  if (!back.Usable())
    return {{},
            "the pieces' ID3v2 tag is left out: TagLib cannot read back what it rendered (" +
                back.Problem + ")"};
  if (back.FrameIds.empty()) return {{}, std::move(warning)};
  return {std::move(bytes), std::move(warning)};
}

}  // namespace

TId3v2PieceTag::TId3v2PieceTag(const std::vector<uint8_t>& sourceTag) {
  const tags::TId3v2Reading r = tags::ReadId3v2(sourceTag.data(), sourceTag.size());
  if (!r.Present) return;
  if (!r.Usable()) {
    FSourceBroken = true;
    FWarning = "the source's ID3v2 tag is left out: " + r.Problem;
    return;
  }
  if (r.FrameIds.empty()) return;  // a tag of padding only is as good as none
  FVersion = r.Version;
  FStatesLength = !r.Tag->Tag.frameList("TLEN").isEmpty();
  FSource.assign(sourceTag.begin(), sourceTag.begin() + r.Length);
  if (FVersion == 2)
    FWarning = "the source's ID3v2.2 tag is written as ID3v2.3, the oldest version TagLib writes";
}

TPieceTagFields TId3v2PieceTag::SourceFields() const {
  TPieceTagFields f;
  if (FSource.empty()) return f;
  try {
    const tags::TId3v2Reading r = tags::ReadId3v2(FSource.data(), FSource.size());
    if (!r.Usable()) return f;
    const TagLib::ID3v2::Tag& tag = r.Tag->Tag;
    // The first frame's text as it stands (TagLib reads an ID3v2.3 TYER as TDRC); a field
    // whose frame is missing or empty is not set.
    const auto text = [&](std::optional<std::string>& field, const char* id) {
      const FrameList& frames = tag.frameList(id);
      if (frames.isEmpty()) return;
      const std::string t = frames.front()->toString().to8Bit(true);
      if (!t.empty()) field = t;
    };
    text(f.Title, "TIT2");
    text(f.Artist, "TPE1");
    text(f.Album, "TALB");
    text(f.Year, "TDRC");
    // TagLib's genre: the name, also where the frame holds an ID3v1 number such as "(17)".
    if (const std::string genre = tag.genre().to8Bit(true); !genre.empty()) f.Genre = genre;
    if (const std::string comment = tag.comment().to8Bit(true); !comment.empty()) {
      f.Comment = comment;
    }
    if (const unsigned track = tag.track(); track > 0 && track <= INT32_MAX) f.Track = int(track);
  } catch (const std::exception&) {
    return {};
  }
  return f;
}

TPieceTag TId3v2PieceTag::Render(TId3v2Mode mode, const TPieceTagFields& fields) const {
  try {
    switch (mode) {
      case TId3v2Mode::None:
        return {};
      case TId3v2Mode::Keep:
        if (!FSource.empty()) return RenderKept(fields);
        if (FSourceBroken) return {{}, FWarning};
        return RenderNew(fields);
      case TId3v2Mode::New:
        return RenderNew(fields);
    }
  } catch (const std::exception& e) {
    return {{}, std::string("the pieces' ID3v2 tag is left out: ") + e.what()};
  }
  return {};
}

TPieceTag TId3v2PieceTag::RenderKept(const TPieceTagFields& fields) const {
  // Read afresh for each piece: TagLib's tag changes as it is edited and rendered.
  tags::TId3v2Reading r = tags::ReadId3v2(FSource.data(), FSource.size());
  if (!r.Usable()) return {{}, "the source's ID3v2 tag is left out: " + r.Problem};
  TagLib::ID3v2::Tag& tag = r.Tag->Tag;
  // TagLib renders an encrypted or grouped frame without its flags, so its bytes would be read
  // as the frame's plain content.
  const std::vector<Frame*> frames = FramesOf(tag.frameList());
  for (size_t i : r.SealedFrames)
    if (i < frames.size()) tag.removeFrame(frames[i]);
  // Tables of byte positions in the source's audio would mislead a player's seeking in a
  // piece.
  for (const char* id : {"MLLT", "SEEK", "ASPI"}) tag.removeFrames(id);
  ApplyFields(tag, fields);
  const auto version = FVersion == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3;
  return Checked(tag.render(version), FVersion == 2 ? FWarning : std::string());
}

TPieceTag TId3v2PieceTag::RenderNew(const TPieceTagFields& fields) const {
  TagLib::ID3v2::Tag tag;
  ApplyFields(tag, fields);
  if (tag.frameList().isEmpty()) return {};
  return Checked(tag.render(TagLib::ID3v2::v4), {});
}

}  // namespace pelcato
