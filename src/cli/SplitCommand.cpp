// pelcato-cli split: the options of the five modes, the analysis with the exact length, and the
// split into parts or by duration; the other modes are in SplitModes.cpp.
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Id3v2Pieces.h"
#include "cli/PieceReport.h"
#include "cli/SplitModes.h"
#include "cli/VolumeOptions.h"
#include "mp3/LengthScan.h"
#include "split/SizeSplit.h"
#include "split/SplitOptions.h"
#include "split/SplitPlan.h"

namespace pelcato {

int CmdSplit(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  std::vector<std::string> valueOptions = kTagValueOptions;
  valueOptions.insert(valueOptions.end(), {"--parts", "--every", "--out", "--cue", "--size",
                                           "--threshold", "--min-pause"});
  valueOptions.insert(valueOptions.end(), kVolumeValueOptions.begin(), kVolumeValueOptions.end());
  std::vector<std::string> flags = kVbrHeaderFlags;
  flags.insert(flags.end(), {"--no-tag", "--silence", "--dry-run", "--exact", "--verify"});
  flags.insert(flags.end(), kVolumeFlagOptions.begin(), kVolumeFlagOptions.end());
  const TArgs args = ParseArgs(words, valueOptions, flags);
  if (args.Positional.size() != 1) throw EUsage("split takes one FILE");
  const std::string* parts = args.Value("--parts");
  const std::string* every = args.Value("--every");
  const std::string* cue = args.Value("--cue");
  const std::string* size = args.Value("--size");
  const bool silence = args.Has("--silence");
  if (int(!!parts) + int(!!every) + int(!!cue) + int(!!size) + int(silence) != 1) {
    throw EUsage(
        "split takes one of --parts N, --every TIME, --cue SHEET, --silence and --size SIZE");
  }
  if (!silence &&
      (args.Value("--threshold") || args.Value("--min-pause") || args.Has("--dry-run"))) {
    throw EUsage("--threshold, --min-pause and --dry-run go with --silence");
  }
  TSplitRequest request;
  TSilenceOptions silenceOptions;
  int64_t sizeLimit = 0;
  if (parts) {
    request.SplitType = TSplitType::IntoParts;
    request.SplitInto = ParsePartsArg(*parts);
  } else if (every) {
    request.SplitType = TSplitType::ByDuration;
    ParseEveryArg(*every, request);
  } else if (silence) {
    if (const std::string* t = args.Value("--threshold")) {
      silenceOptions.ThresholdDb = ParseNumberArg("--threshold", *t, -150.0, 0.0);
    }
    if (const std::string* m = args.Value("--min-pause")) {
      silenceOptions.MinPauseSeconds = ParseNumberArg("--min-pause", *m, 0.05, 86400.0);
    }
  } else if (size && !ParseByteSize(*size, sizeLimit)) {
    throw EUsage("--size needs a number of bytes, optionally with K, M or G: " + *size);
  }
  const std::string* outOption = args.Value("--out");
  const std::string folder = outOption ? *outOption : std::string();
  const std::string& file = args.Positional[0];
  const TTagOverrides tagOptions = ParseTagOptions(args);
  TCliId3v2 id3v2(args, tagOptions);
  TCliVolume volume(args);
  id3v2.SetUserTexts([&](size_t piece) { return volume.TagFrames(piece); });

  // The split uses the exact length, as the desktop program does. A file whose first frame
  // counts the frames (lame and ffmpeg write one) usually tells it without the player's scan,
  // which then waits until the walk of the frame index has shown whether it is needed. Any
  // other file is scanned from the start on a thread of its own while this one analyses the
  // file and walks its frames; started before this thread gets busy, the scan is not left
  // queued behind it on the same processor. The frame index spares every piece the walk from
  // the first frame; the size split walks the frames itself.
  TKorvaMP3 mp3(nullptr);
  mp3.VbrHeader = WantsVbrHeader(args);
  // Exact pieces, those of the size split too, are found through the frame index.
  const bool exactAsked = args.Has("--exact");
  Analyze(mp3, file, false);  // the tags and the first frame only: a moment
  TLengthScan scan(file, !size && mp3.HeaderFrameCount() >= 0);
  Analyze(mp3, file, false, true, !size || exactAsked);
  scan.Take(mp3);
  const bool exact = AskExact(mp3, exactAsked, err);
  TPieceReport report(out, err, args.Has("--verify"));
  if (!args.Has("--dry-run")) id3v2.TakeSource(mp3, err);
  if (cue) return SplitByCue(mp3, *cue, folder, tagOptions, id3v2, volume, report);
  if (silence) {
    return SplitAtSilence(mp3, silenceOptions, args.Has("--dry-run"), folder, tagOptions, id3v2,
                          volume, report);
  }
  if (size) {
    return SplitBySize(mp3, *size, sizeLimit, exact, folder, tagOptions, id3v2, volume, report);
  }
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);

  // The checks of the split options dialog, in its order.
  CheckOutputFolder(folder);
  request.Duration = mp3.Info.Duration;
  if (const std::string error = ValidateSplitValues(request, Messages()); !error.empty()) {
    throw EFailed(error);
  }

  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  const int count = BuildSplitRanges(request, starts, ends);
  if (count <= 0) throw EFailed(file + ": the file has no length to split");

  volume.Prepare(mp3, starts, ends, out, err);
  report.Expect(size_t(count));
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveSegments(
      starts, ends, [&](size_t piece) { return report.Starting(piece, names.Next()); }, tag, true,
      [&](size_t, const TSegmentResult& result) { report.Done(result); },
      id3v2.Front(size_t(count)));
  return report.Finish();
}

}  // namespace pelcato
