// The copy without the picture frame is the source minus exactly the frame found, with the
// ID3v2 size reduced by its size.
#include <cstring>

#include "FuzzFile.h"
#include "mp3/Id3Tags.h"
#include "mp3/KorvaMp3.h"

using namespace pelcato;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteInput("in.mp3", data, size);
  const std::string out = (fuzz::Folder() / "copy.mp3").string();
  std::filesystem::remove(out);
  TKorvaMP3 mp3(nullptr);
  int tagSize = 0, offset = 0, pictureSize = 0;
  if (!mp3.FindPictureFrame(path, tagSize, offset, pictureSize)) return 0;
  fuzz::Check(offset >= 10 && pictureSize >= 10, "frame inside the tag");
  fuzz::Check(size_t(offset) + size_t(pictureSize) <= size, "frame inside the file");
  fuzz::Check(size_t(offset) + size_t(pictureSize) <= size_t(tagSize) + 10, "frame in the tag");
  const bool ok = mp3.CopyWithoutFrame(path, out, tagSize, offset, pictureSize);
  fuzz::Check(ok, "the copy succeeds");
  std::vector<uint8_t> expected(data, data + offset);
  expected.insert(expected.end(), data + offset + pictureSize, data + size);
  const auto syncsafe = EncodeSyncsafe(uint32_t(tagSize - pictureSize));
  std::memcpy(&expected[6], syncsafe.data(), 4);
  fuzz::Check(fuzz::ReadAll(out) == expected, "copy = source minus the frame");
  fuzz::Check(fuzz::ReadAll(path) == std::vector<uint8_t>(data, data + size), "source unchanged");
  return 0;
}
