// Cue sheets from any bytes: reading never fails hard, and a sheet that is accepted has tracks
// numbered from 1 with starts that grow, names that are single file names, and tags that build.
#include <string>
#include <string_view>

#include "FuzzFile.h"
#include "split/CueSheet.h"

using namespace pelcato;

// libcue leaks the part of a sheet it had built when it meets a syntax error: its own memory,
// a few hundred bytes once per command. Leaks anywhere else are still reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libcue.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const TTagCodePage codePages[] = {TagCodePageForLocale("en_US.UTF-8"),
                                           TagCodePageForLocale("ja_JP.UTF-8")};
  const TTagCodePage& cp = codePages[size % 2];
  TCueSheet sheet;
  std::string error;
  if (!ParseCueSheet(text, cp, sheet, error)) {
    fuzz::Check(!error.empty(), "a refused sheet says why");
    return 0;
  }
  fuzz::Check(!sheet.Tracks.empty(), "an accepted sheet has tracks");
  for (size_t i = 0; i < sheet.Tracks.size(); ++i) {
    const TCueTrack& t = sheet.Tracks[i];
    fuzz::Check(t.Number == int(i) + 1, "tracks numbered from 1");
    fuzz::Check(t.StartMs >= 0, "starts are not negative");
    fuzz::Check(i == 0 || t.StartMs > sheet.Tracks[i - 1].StartMs, "starts grow");
    const std::string name = CuePieceName(t);
    fuzz::Check(name.size() <= 255, "a name fits a file system");
    fuzz::Check(name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") == 0, "ends in .mp3");
    for (const char c : name) {
      const auto u = static_cast<unsigned char>(c);
      fuzz::Check(c != '/' && u >= 0x20 && u != 0x7F, "one name, no control characters");
    }
    const TID3v1Tag tag = BuildTagFromFields(CueTrackFields(sheet, t, cp));
    fuzz::Check(tag.IsTag(), "a track gets a tag");
  }
  std::vector<int64_t> starts, ends;
  if (CueTrackRanges(sheet, 3'600'000, starts, ends, error)) {
    fuzz::Check(starts.size() == sheet.Tracks.size() && ends.size() == starts.size(),
                "one range per track");
    for (size_t i = 0; i < starts.size(); ++i) fuzz::Check(starts[i] < ends[i], "ranges grow");
  }
  return 0;
}
