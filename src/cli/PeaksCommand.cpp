// pelcato-cli peaks: the waveform's envelope of a file, decoded from every frame, for scripts.
#include <charconv>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "wave/PeaksDecoder.h"
#include "wave/PeaksText.h"

namespace pelcato {
namespace {

constexpr int kDefaultWidth = 1000;
// Many screens wide; the bound keeps a mistyped width from printing gigabytes.
constexpr int kMostColumns = 100000;

int ParseWidth(const std::string& text) {
  int width = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, width);
  if (text.empty() || ec != std::errc() || ptr != end || width < 1 || width > kMostColumns) {
    throw EUsage("--width needs a whole number from 1 to " + std::to_string(kMostColumns) + ": " +
                 text);
  }
  return width;
}

}  // namespace

int CmdPeaks(const TWords& words, std::ostream& out, std::ostream&) {
  const TArgs args = ParseArgs(words, {"--width"}, {"--json"});
  if (args.Positional.size() != 1) throw EUsage("peaks takes one FILE");
  const std::string& file = args.Positional.front();
  const int width = args.Value("--width") ? ParseWidth(*args.Value("--width")) : kDefaultWidth;
  TKorvaMP3 mp3(nullptr);
  Analyze(mp3, file, false);
  TWaveSummary summary;
  const TPeaksResult result = DecodePeaks(file, summary);
  if (!result.Done) throw EFailed(file + ": cannot decode: " + result.Error);
  // The columns span the samples the player plays, from its position 0 on.
  const TEnvelope env = summary.View(0.0, summary.DurationMs(), width);
  out << (args.Has("--json") ? PeaksJson(env) : PeaksText(env));
  return kExitOk;
}

}  // namespace pelcato
