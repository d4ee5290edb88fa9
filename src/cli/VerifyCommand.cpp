// pelcato-cli verify: every frame of each file decoded, as a player meets it.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "edit/TimeCode.h"
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
  const std::string counts = "the header frame counts " + std::to_string(c.HeaderFrames) +
                             " frames, the file holds " + std::to_string(c.Frames);
  out << "  Timeline: ";
  if (c.CountMismatch) {
    out << (c.Trimmed ? "trimmed at the start only: " : "untrimmed: ") << counts;
  } else {
    out << (c.Trimmed      ? "trimmed by the delay and padding"
            : c.HasGapless ? "untrimmed: the header frame's fields do not fit the stream"
                           : "untrimmed: no gapless fields");
  }
  out << "\n";
  if (c.HeaderMs >= 0) {
    // Who takes the length from the header frame: ffmpeg not where the file is more than a
    // sixteenth larger than the frame's byte count says, which it takes for joined files.
    out << "  LengthShown: " << FormatTimeCode(c.HeaderMs) << " by the header frame";
    if (c.CountMismatch) {
      out << " (" << (c.CutShort ? "ffmpeg, " : "") << "mutagen, libmpg123 before a scan), where "
          << FormatTimeCode(c.PlayedMs) << " plays";
    }
    out << "\n";
  }
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
