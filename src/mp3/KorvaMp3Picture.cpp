// The ID3v2 tag: its bytes as the analysis found them, and its picture frame ("APIC"), found
// by walking the tag's frames and left out of a copy of the file whose tag size is reduced by
// the frame's size.
#include <cstring>

#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "mp3/Id3Tags.h"
#include "mp3/KorvaMp3.h"

namespace pelcato {
namespace {

int32_t ReadBigEndian32(const uint8_t* b) {
  return int32_t((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) |
                 uint32_t(b[3]));
}

}  // namespace

std::vector<uint8_t> TKorvaMP3::ReadID3v2Tag() const {
  if (Info.ID3v2Size <= 0) return {};
  TSourceFile src(Info.FileName);
  std::vector<uint8_t> tag(size_t(Info.ID3v2Size));
  // A file cut short since the analysis gives the bytes it still has; the tag's reader then
  // finds its size running past them.
  tag.resize(src.ReadAt(0, tag.data(), tag.size()));
  return tag;
}

bool TKorvaMP3::FindPictureFrame(const std::string& fileName, int& tagSize, int& pictureOffset,
                                 int& pictureSize) {
  TSourceFile src(fileName);
  uint8_t head[kId3v2HeaderSize];
  TId3v2Header id3;
  if (src.ReadAt(0, head, sizeof head) != sizeof head || !TId3v2Header::Parse(head, 10, id3)) {
    return false;
  }
  tagSize = int(id3.Size);
  const int64_t tagEnd = int64_t(kId3v2HeaderSize) + id3.Size;
  int64_t sum = 0;
  int64_t pos = kId3v2HeaderSize;
  // Zero padding reads as frames of size 0, each adding 10 to the sum, until the tag ends.
  while (sum < tagSize) {
    // Stop where fewer bytes than a frame header remain in the tag or the file.
    if (pos > tagEnd - kId3v2HeaderSize || pos > src.Size() - kId3v2HeaderSize) return false;
    const uint8_t* frame = src.Peek(pos, kId3v2HeaderSize);
    if (!frame) return false;
    const int64_t size = ReadBigEndian32(frame + 4);
    if (size < 0) return false;
    const int64_t next = pos + kId3v2HeaderSize + size;
    if (next > tagEnd || next > src.Size()) return false;  // the frame would leave the tag
    if (std::memcmp(frame, "APIC", 4) == 0) {
      pictureOffset = int(pos);
      pictureSize = int(size + kId3v2HeaderSize);
      return true;
    }
    sum += size + kId3v2HeaderSize;
    pos = next;
  }
  return false;
}

bool TKorvaMP3::CopyWithoutFrame(const std::string& source, const std::string& destination,
                                 int tagSize, int pictureOffset, int pictureSize) {
  if (pictureOffset < kId3v2HeaderSize || pictureSize < kId3v2HeaderSize || pictureSize > tagSize) {
    return false;
  }
  if (IsSameFile(source, destination)) return false;
  try {
    TSourceFile src(source);
    if (int64_t(pictureOffset) + pictureSize > src.Size()) return false;
    uint8_t head[6];
    if (src.ReadAt(0, head, sizeof head) != sizeof head) return false;
    TAtomicOutput out;
    if (!out.Open(destination)) return false;
    out.Append(head, sizeof head);
    const std::array<uint8_t, 4> size = EncodeSyncsafe(uint32_t(tagSize - pictureSize));
    out.Append(size.data(), size.size());
    out.AppendRange(src, kId3v2HeaderSize, pictureOffset - kId3v2HeaderSize);
    const int64_t after = int64_t(pictureOffset) + pictureSize;
    out.AppendRange(src, after, src.Size() - after);
    out.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace pelcato
