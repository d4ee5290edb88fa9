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

constexpr char kFlagUnsynchronisation = char(0x80);
constexpr char kFlagExtendedHeader = 0x40;  // compression in ID3v2.2
constexpr char kFlagFooter = 0x10;

// The frame id as it stands in the tag, up to a zero byte (iTunes writes ID3v2.2 ids in
// ID3v2.3 tags, padded with one).
std::string RawFrameId(const TagLib::ByteVector& body, size_t pos, size_t idLength) {
  std::string id;
  for (size_t i = 0; i < idLength && body[pos + i] != 0; ++i) id += body[pos + i];
  return id;
}

// Puts right what TagLib 1.13 misreads, in the copy it reads. It takes the ten bytes of a
// footer off the end of the body, where no footer stands (it follows the size), and loses the
// frames there; and it takes an ID3v2.3 extended header's size for one that counts itself, as
// in ID3v2.4, and then reads the rest of it as padding. Neither is rendered again, so the
// footer flag goes and the ID3v2.3 extended header is cut out of the (resynchronised) body.
bool PutRight(TagLib::ByteVector& tag, int version, std::string& problem) {
  tag[5] = char(tag[5] & ~kFlagFooter);
  if (version != 3 || !(tag[5] & kFlagExtendedHeader)) return true;
  TagLib::ByteVector body = tag.mid(kId3v2HeaderSize);
  if (tag[5] & kFlagUnsynchronisation) body = TagLib::ID3v2::SynchData::decode(body);
  const uint64_t extended = body.size() < 4 ? UINT64_MAX : uint64_t(body.toUInt(0, true)) + 4;
  if (extended > body.size()) {
    problem = "the extended header of the ID3v2 tag runs past its end";
    return false;
  }
  body = body.mid(unsigned(extended));
  const auto size = EncodeSyncsafe(body.size());
  TagLib::ByteVector out = tag.mid(0, 5);
  out.append(char(tag[5] & ~(kFlagExtendedHeader | kFlagUnsynchronisation)));
  out.append(TagLib::ByteVector(reinterpret_cast<const char*>(size.data()), 4));
  out.append(body);
  tag = out;
  return true;
}

// Walks the frames TagLib kept, by the sizes it read, through the body it parsed: where the
// walk ends must be padding or the end of the body, else TagLib stopped at a frame it could
// not read and every frame behind it is lost.
void CheckFramesReachTheEnd(const TagLib::ByteVector& bytes, TId3v2Reading& r) {
  const TagLib::ID3v2::Tag& tag = r.Tag->Tag;
  TagLib::ByteVector body = bytes.mid(kId3v2HeaderSize);
  // ID3v2.4 unsynchronises each frame on its own; the frame sizes count the stored bytes.
  if (tag.header()->unsynchronisation() && r.Version <= 3)
    body = TagLib::ID3v2::SynchData::decode(body);
  uint64_t pos = 0;
  if (tag.header()->extendedHeader() && tag.extendedHeader() &&
      tag.extendedHeader()->size() <= body.size())
    pos = tag.extendedHeader()->size();

  const size_t idLength = r.Version == 2 ? 3 : 4;
  const size_t headerLength = r.Version == 2 ? 6 : 10;
  // The format flags of encryption and grouping, which ID3v2.2 does not have.
  const uint8_t sealed = r.Version == 3 ? 0x60 : r.Version == 4 ? 0x44 : 0;
  for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
    if (pos + headerLength > body.size()) break;
    if (sealed && (uint8_t(body[size_t(pos) + 9]) & sealed))
      r.SealedFrames.push_back(r.FrameIds.size());
    r.FrameIds.push_back(RawFrameId(body, size_t(pos), idLength));
    pos += uint64_t(frame->size()) + headerLength;
  }
  // TagLib takes a zero byte for the start of the padding and reads no frame from the last
  // ten bytes.
  if (pos > body.size())
    r.Problem = "the frames of the ID3v2 tag run past its end";
  else if (pos + kId3v2HeaderSize < body.size() && body[size_t(pos)] != 0)
    r.Problem = "TagLib cannot read the ID3v2 frame at byte " +
                std::to_string(pos + kId3v2HeaderSize) + " of the tag";
}

// The frame header's type as updateFrame takes it: TagLib 1.13 keeps its name protected.
template <class F>
struct TParameterOf;
template <class R, class C, class P>
struct TParameterOf<R (C::*)(P) const> {
  using Type = P;
};

class TKeepingFrameFactory : public TagLib::ID3v2::FrameFactory {
  using THeader = TParameterOf<decltype(&TKeepingFrameFactory::updateFrame)>::Type;

 protected:
  bool updateFrame(THeader header) const override {
    // TDAT and TIME go into TDRC, which becomes TYER, TDAT and TIME again in ID3v2.3.
    const TagLib::ByteVector id = header->frameID();
    if (header->version() == 3 && (id == "RVAD" || id == "EQUA" || id == "TSIZ" || id == "TRDA"))
      return true;
    return FrameFactory::updateFrame(header);
  }
};

}  // namespace

const TagLib::ID3v2::FrameFactory* KeepingFrameFactory() {
  static const TKeepingFrameFactory factory;
  return &factory;
}

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
  if (r.Version == 2 && (data[5] & kFlagExtendedHeader)) {
    r.Problem = "the ID3v2.2 tag is compressed";
    return r;
  }
  r.Length = kId3v2HeaderSize + header.Size;
  try {
    TagLib::ByteVector bytes(reinterpret_cast<const char*>(data), unsigned(r.Length));
    if (!PutRight(bytes, r.Version, r.Problem)) return r;
    r.Tag = std::make_unique<TTagLibTag>(bytes);
    CheckFramesReachTheEnd(bytes, r);
  } catch (const std::exception& e) {
    r.Tag.reset();
    r.Problem = std::string("TagLib cannot read the ID3v2 tag: ") + e.what();
  }
  return r;
}

}  // namespace pelcato::tags
