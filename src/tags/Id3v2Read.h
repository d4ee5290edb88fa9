// An ID3v2 tag read by TagLib from the bytes in memory, with the checks that tell a tag TagLib
// read to its end from one it gave up on part way. Only this library includes it.
#pragma once

#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevector.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelcato::tags {

// TagLib reads a tag through a File; this one holds nothing but the tag's bytes. Its length
// also bounds the padding TagLib renders.
class TMemoryFile : public TagLib::File {
 public:
  explicit TMemoryFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }
};

// TagLib's frame factory, but for the ID3v2.3 frames that ID3v2.4 dropped (RVAD, EQUA, TSIZ,
// TRDA): TagLib discards them on reading, and they are written into ID3v2.3 tags only.
const TagLib::ID3v2::FrameFactory* KeepingFrameFactory();

// The stream, the file and the tag together, in the order they depend on each other.
struct TTagLibTag {
  explicit TTagLibTag(const TagLib::ByteVector& bytes)
      : Stream(bytes), File(&Stream), Tag(&File, 0, KeepingFrameFactory()) {}
  TagLib::ByteVectorStream Stream;
  TMemoryFile File;
  TagLib::ID3v2::Tag Tag;
};

struct TId3v2Reading {
  bool Present = false;               // the bytes start with "ID3"
  int Version = 0;                    // the major version from the header
  size_t Length = 0;                  // the tag's bytes, its header included
  std::unique_ptr<TTagLibTag> Tag;    // what TagLib read; null when the header is unusable
  std::vector<std::string> FrameIds;  // as they stand in the tag, in order
  std::vector<size_t> SealedFrames;   // positions in FrameIds of encrypted or grouped frames
  std::string Problem;                // why the tag cannot be used; empty when it can

  bool Usable() const { return Tag && Problem.empty(); }
};

// Reads the tag that starts the bytes: its header, then as many bytes as its size gives (more
// are not looked at). The tag is unusable when the header is not one of ID3v2.2 to 2.4, the
// size is not syncsafe or runs past the bytes, or TagLib stops at a frame it cannot read
// before the padding.
TId3v2Reading ReadId3v2(const uint8_t* data, size_t size);

}  // namespace pelcato::tags
