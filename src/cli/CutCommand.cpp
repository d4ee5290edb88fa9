// pelcato-cli cut: the frames of a time range into a new file.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Id3v2Pieces.h"
#include "cli/VolumeOptions.h"
#include "io/Paths.h"

namespace pelcato {

int CmdCut(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  std::vector<std::string> valueOptions = kTagValueOptions;
  valueOptions.insert(valueOptions.end(), kVolumeValueOptions.begin(), kVolumeValueOptions.end());
  std::vector<std::string> flags = kVbrHeaderFlags;
  flags.insert(flags.end(), {"--no-tag", "--exact", "--verify", "--overwrite"});
  flags.insert(flags.end(), kVolumeFlagOptions.begin(), kVolumeFlagOptions.end());
  const TArgs args = ParseArgs(words, valueOptions, flags);
  if (args.Positional.size() != 4) throw EUsage("cut takes FILE START END OUT");
  const std::string& file = args.Positional[0];
  const int64_t startMs = ParseTimeArg("START", args.Positional[1]);
  const int64_t endMs = ParseTimeArg("END", args.Positional[2]);
  const std::string& target = args.Positional[3];
  const TTagOverrides tagOptions = ParseTagOptions(args);
  TCliId3v2 id3v2(args, tagOptions);
  TCliVolume volume(args);
  const bool overwrite = args.Has("--overwrite");
  const std::string exists = std::string(kExistsNotReplaced) + " (--overwrite replaces it)";
  if (startMs >= endMs) throw EFailed(Messages().Ms_ClipErr);
  TKorvaMP3 mp3(nullptr);  // the cut needs no exact length
  mp3.VbrHeader = WantsVbrHeader(args);
  mp3.Exact = args.Has("--exact");
  Analyze(mp3, file, false);
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);
  if (IsSameFile(mp3.Info.FileName, target)) throw EFailed(Messages().Ms_NotSaveName + target);
  if (!overwrite && PathExists(target)) throw EFailed(target + ": " + exists);
  id3v2.TakeSource(mp3, err);
  volume.Prepare(mp3, {startMs}, {endMs}, out, err);
  id3v2.SetUserTexts([&](size_t piece) { return volume.TagFrames(piece); });
  int64_t bytes = 0;
  int64_t durationMs = 0;
  std::string notExact;
  TSegmentResult result;
  const bool saved = mp3.SaveSegment(startMs, endMs, target, tag, bytes, durationMs, id3v2.Front(0),
                                     &notExact, !overwrite, &result.Clamped);
  if (!notExact.empty()) WarnNotExact(mp3, notExact, err);
  if (!saved) {
    // A cut never makes its name when it fails, so a name there now was there before.
    err << target << ": " << (!overwrite && PathExists(target) ? exists : Messages().Ms_NotSave)
        << "\n";
    return kExitFailed;
  }
  out << "Bytes: " << bytes << "\n";
  out << "DurationMs: " << durationMs << "\n";
  result.Ok = true;
  result.Path = target;
  ReportClamped(result, err);
  if (args.Has("--verify") && !PrintStreamCheck(target, out, err)) return kExitFailed;
  return kExitOk;
}

}  // namespace pelcato
