// pelcato-cli verify: every frame of each file decoded, as a player meets it.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "mp3/StreamCheck.h"

namespace pelcato {

bool PrintStreamCheck(const std::string& file, std::ostream& out, std::ostream& err) {
  const TStreamCheck c = CheckStream(file);
  out << file << "\n";
  if (!c.Decodable) {
    err << file << ": cannot decode: " << c.Error << "\n";
    return false;
  }
  out << "  Frames: " << c.Frames << "\n";
  out << "  DecodedMs: " << c.DecodedMs << "\n";
  out << "  DecodedSamples: " << c.Samples << "\n";
  out << "  DecodeErrors: " << c.DecodeErrors << "\n";
  out << "  ReservoirFrames: " << c.ReservoirFrames << "\n";
  if (c.HasGapless) {
    out << "  Gapless: delay " << c.Delay << ", padding " << c.Padding << ", encoder \""
        << c.Encoder << "\"\n";
  } else {
    out << "  Gapless: none\n";
  }
  out << "  Timeline: "
      << (c.Trimmed      ? "trimmed by the delay and padding"
          : c.HasGapless ? "untrimmed: the header frame's fields do not fit the stream"
                         : "untrimmed: no gapless fields")
      << "\n";
  return c.DecodeErrors == 0;
}

int CmdVerify(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  const TArgs args = ParseArgs(words, {}, {});
  if (args.Positional.empty()) throw EUsage("verify takes one FILE or more");
  bool allClean = true;
  for (const std::string& file : args.Positional) {
    allClean = PrintStreamCheck(file, out, err) && allClean;
  }
  return allClean ? kExitOk : kExitFailed;
}

}  // namespace pelcato
