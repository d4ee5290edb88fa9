#include "tags/Id3v2Read.h"

#include <taglib/id3v2extendedheader.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>

#include <cstring>
#include <exception>

#include "mp3/Id3Tags.h"

namespace pelcato::tags {

namespace {

constexpr uint8_t kFlagExtendedOrCompressed = 0x40;  // ID3v2.2 uses the bit for compression

// The frame id as it stands in the file, up to a zero byte (iTunes writes ID3v2.2 ids in
// ID3v2.3 tags, padded with one).
std::string RawFrameId(const TagLib::ByteVector& body, size_t pos, size_t idLength) {
  std::string id;
  for (size_t i = 0; i < idLength && body[pos + i] != 0; ++i) id += body[pos + i];
  return id;
}

// Walks the frames TagLib kept, by the sizes it read, through the body TagLib parsed: where
// the walk ends must be padding or the end of the body, else TagLib stopped at a frame it
// could not read and every frame behind it is lost.
void CheckFramesReachTheEnd(const uint8_t* data, uint32_t size, TId3v2Reading& r) {
  const TagLib::ID3v2::Tag& tag = r.Tag->Tag;
  TagLib::ByteVector body(reinterpret_cast<const char*>(data + kId3v2HeaderSize), size);
  // ID3v2.4 unsynchronises each frame on its own; the frame sizes count the stored bytes.
  if (tag.header()->unsynchronisation() && r.Version <= 3)
    body = TagLib::ID3v2::SynchData::decode(body);
  uint64_t pos = 0;
  if (tag.header()->extendedHeader() && tag.extendedHeader() &&
      tag.extendedHeader()->size() <= body.size())
    pos = tag.extendedHeader()->size();
  uint64_t end = body.size();
  if (tag.header()->footerPresent() && end >= kId3v2HeaderSize) end -= kId3v2HeaderSize;

  const size_t idLength = r.Version == 2 ? 3 : 4;
  const size_t headerLength = r.Version == 2 ? 6 : 10;
  for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
    if (pos + idLength > body.size()) {
      r.Problem = "the frames of the ID3v2 tag run past its end";
      return;
    }
    r.FrameIds.push_back(RawFrameId(body, size_t(pos), idLength));
    pos += uint64_t(frame->size()) + headerLength;
  }
  // TagLib takes a zero byte for the start of the padding and reads no frame from the last
  // ten bytes.
  if (pos + kId3v2HeaderSize < end && body[size_t(pos)] != 0)
    r.Problem = "TagLib cannot read the ID3v2 frame at byte " +
                std::to_string(pos + kId3v2HeaderSize) + " of the tag";
  else if (pos > body.size())
    r.Problem = "the frames of the ID3v2 tag run past its end";
}

}  // namespace

TId3v2Reading ReadId3v2(const uint8_t* data, size_t size) {
  TId3v2Reading r;
  if (size < 3 || std::memcmp(data, "ID3", 3) != 0) return r;
  r.Present = true;
  if (size < size_t(kId3v2HeaderSize)) {
    r.Problem = "the ID3v2 header is cut short";
    return r;
  }
  r.Version = data[3];
  if (r.Version < 2 || r.Version > 4) {
    r.Problem = "ID3v2." + std::to_string(r.Version) + " tags are not known";
    return r;
  }
  if ((data[6] | data[7] | data[8] | data[9]) & 0x80) {
    r.Problem = "the size in the ID3v2 header is not a syncsafe number";
    return r;
  }
  TId3v2Header header;
  TId3v2Header::Parse(data, size, header);
  if (header.Size > size - kId3v2HeaderSize) {
    r.Problem = "the ID3v2 tag is longer than the file";
    return r;
  }
  if (r.Version == 2 && (data[5] & kFlagExtendedOrCompressed)) {
    r.Problem = "the ID3v2.2 tag is compressed";
    return r;
  }
  try {
    r.Tag = std::make_unique<TTagLibTag>(TagLib::ByteVector(
        reinterpret_cast<const char*>(data), unsigned(kId3v2HeaderSize + header.Size)));
    CheckFramesReachTheEnd(data, header.Size, r);
  } catch (const std::exception& e) {
    r.Tag.reset();
    r.Problem = std::string("TagLib cannot read the ID3v2 tag: ") + e.what();
  }
  return r;
}

}  // namespace pelcato::tags
