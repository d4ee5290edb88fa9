// Any bytes as a source's ID3v2 tag: reading, changing and rendering never fail, and a piece's
// tag is either none or one that TagLib reads back to its end, in the version it should have.
#include <string>

#include "FuzzFile.h"
#include "tags/Id3v2PieceTag.h"
#include "tags/Id3v2Summary.h"

using namespace pelcato;

namespace {

void CheckRendered(const TPieceTag& tag, const char* version) {
  if (tag.Bytes.empty()) return;
  const auto back = SummarizeId3v2(tag.Bytes.data(), tag.Bytes.size());
  fuzz::Check(back && back->Problem.empty(), "the rendered tag reads back whole");
  fuzz::Check(!back->Frames.empty(), "the rendered tag has frames");
  fuzz::Check(back->Version == version, "the rendered tag has its version");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  SummarizeId3v2(data, size);
  const TId3v2PieceTag maker(bytes);
  fuzz::Check(maker.SourceVersion() == 0 || maker.SourceVersion() == 2 || maker.Warning().empty(),
              "a kept tag has a warning only for ID3v2.2");
  TPieceTagFields fields;
  fields.Title = "Ti\xC3\xADtulo";
  fields.Comment = "";
  fields.Track = 2;
  fields.TrackCount = 3;
  fields.LengthMs = 1234;
  const char* kept = maker.SourceVersion() == 4 || maker.SourceVersion() == 0 ? "2.4" : "2.3";
  CheckRendered(maker.Render(TId3v2Mode::Keep, fields), kept);
  CheckRendered(maker.Render(TId3v2Mode::New, fields), "2.4");
  return 0;
}
