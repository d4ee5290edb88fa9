// Cutting any file: the output is whole frames of the source, in order, and its size is the sum
// of the frames copied (plus 128 with a tag). The first eight bytes choose the range and the tag.
#include <algorithm>
#include <cstring>

#include "FuzzFile.h"
#include "mp3/KorvaMp3.h"
#include "mp3/MpegFrameHeader.h"

using namespace pelcato;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const int64_t startMs = (data[0] << 8 | data[1]) * 7;
  const int64_t endMs = startMs + (data[2] << 8 | data[3]) * 7 - 70;
  const bool withTag = data[4] & 1;
  data += 8;
  size -= 8;
  const std::string path = fuzz::WriteInput("in.mp3", data, size);
  const std::string out = (fuzz::Folder() / "out.mp3").string();
  std::filesystem::remove(out);

  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(path, false);
  TID3v1Tag tag;
  if (withTag) std::memcpy(tag.Header, "TAG", 3);
  int64_t bytes = 0, ms = 0;
  const bool ok = mp3.SaveSegment(startMs, endMs, out, tag, bytes, ms);
  fuzz::Check(fuzz::ReadAll(path) == std::vector<uint8_t>(data, data + size), "source unchanged");
  if (!ok) {
    fuzz::Check(!std::filesystem::exists(out), "nothing under the name of a failed save");
    return 0;
  }
  const std::vector<uint8_t> piece = fuzz::ReadAll(out);
  // A tag lands over the last 128 bytes when they already start with "TAG".
  const bool appended = int64_t(piece.size()) == bytes + (withTag ? 128 : 0);
  fuzz::Check(appended || (withTag && int64_t(piece.size()) == bytes), "size is the frames' sum");
  fuzz::Check(ms >= 0, "duration");
  // Walk the frames of the piece; each must stand in the source, later than the one before.
  const uint8_t* from = data;
  const uint8_t* end = data + size;
  size_t pos = 0;
  const size_t audio = appended ? size_t(bytes) : (withTag ? piece.size() - 128 : piece.size());
  while (pos < audio) {
    fuzz::Check(audio - pos >= 4, "a whole frame header");
    const auto h = DecodeFrameHeader(&piece[pos]);
    fuzz::Check(h.has_value(), "a frame starts here");
    const size_t len = size_t(h->FrameSize);
    fuzz::Check(pos + len <= piece.size(), "a whole frame");
    const uint8_t* found = std::search(from, end, piece.begin() + long(pos),
                                       piece.begin() + long(std::min(pos + len, audio)));
    fuzz::Check(found != end, "the frame comes from the source, in order");
    from = found + 1;
    pos += len;
  }
  return 0;
}
