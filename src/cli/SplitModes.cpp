#include "cli/SplitModes.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "cli/Commands.h"
#include "edit/TimeCode.h"
#include "io/Paths.h"
#include "mp3/XingFrame.h"
#include "split/CueSheet.h"
#include "split/SizeSplit.h"
#include "split/SplitOptions.h"
#include "split/SplitPlan.h"

namespace pelcato {
namespace {

// Writes the pieces under the split's names, one tag for all, and reports each.
int SavePieces(TKorvaMP3& mp3, const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
               const std::string& folder, const TID3v1Tag& tag, TCliId3v2& id3v2,
               TCliVolume& volume, TPieceReport& report) {
  volume.Prepare(mp3, starts, ends, report.Out(), report.Err());
  report.Expect(starts.size());
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveSegments(
      starts, ends, [&](size_t piece) { return report.Starting(piece, names.Next()); }, tag, true,
      [&](size_t, const TSegmentResult& result) { report.Done(result); },
      id3v2.Front(starts.size()));
  return report.Finish();
}

}  // namespace

void CheckOutputFolder(const std::string& folder) {
  const std::string shownFolder = folder.empty() ? "." : folder;
  std::error_code made;
  if (!folder.empty()) std::filesystem::create_directories(folder, made);
  if (const std::string error = ValidateSplitFolder(shownFolder, Messages()); !error.empty()) {
    throw EFailed(shownFolder + ": " + error);
  }
}

int SplitByCue(TKorvaMP3& mp3, const std::string& sheetPath, const std::string& folder,
               const TTagOverrides& tagOptions, TCliId3v2& id3v2, TCliVolume& volume,
               TPieceReport& report) {
  const TTagCodePage cp = TagCodePageFromEnvironment();
  TCueSheet sheet;
  std::string error;
  if (!ReadCueSheet(sheetPath, cp, sheet, error)) throw EFailed(sheetPath + ": " + error);
  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  if (!CueTrackRanges(sheet, mp3.Info.Duration, starts, ends, error)) {
    throw EFailed(sheetPath + ": " + error);
  }
  CheckOutputFolder(folder);
  volume.Prepare(mp3, starts, ends, report.Out(), report.Err());
  report.Expect(starts.size());
  mp3.SaveSegmentsWithTags(
      starts, ends,
      [&](size_t piece) {
        return report.Starting(piece, JoinPath(folder, CuePieceName(sheet.Tracks[piece])));
      },
      [&](size_t piece) {
        // The sheet's fields stand where the source's tag would; the options override them.
        const TID3v1Tag fromSheet =
            BuildTagFromFields(CueTrackFields(sheet, sheet.Tracks[piece], cp));
        return BuildTagWithOverrides(&fromSheet, tagOptions, cp);
      },
      true, [&](size_t, const TSegmentResult& result) { report.Done(result); },
      id3v2.Front(starts.size(), &sheet));
  return report.Finish();
}

int SplitAtSilence(TKorvaMP3& mp3, const TSilenceOptions& options, bool dryRun,
                   const std::string& folder, const TTagOverrides& tagOptions, TCliId3v2& id3v2,
                   TCliVolume& volume, TPieceReport& report) {
  std::ostream& out = report.Out();
  std::ostream& err = report.Err();
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);
  if (!dryRun) CheckOutputFolder(folder);
  const bool progress = report.Progress();
  int shown = -1;
  std::vector<TPause> pauses;
  std::string error;
  const bool found = FindPauses(
      mp3.Info.FileName, options, mp3.Info.HasXing,
      [&](double done) {
        const int percent = int(done * 100.0);
        if (progress && percent != shown) {
          shown = percent;
          err << "\r\x1b[KFinding pauses: " << percent << "%" << std::flush;
        }
      },
      pauses, error);
  if (progress) err << "\r\x1b[K" << std::flush;
  if (!found) throw EFailed(mp3.Info.FileName + ": " + error);

  const int64_t minPieceMs = std::llround(options.MinPauseSeconds * 1000.0);
  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  BuildSilenceRanges(pauses, mp3.Info.Duration, minPieceMs, starts, ends);
  if (dryRun) {
    for (const TPause& p : pauses) {
      out << "Pause: " << FormatTimeCode(p.StartMs) << " length " << FormatTimeCode(p.LengthMs)
          << (p.AtEdge ? " (at an edge, not cut)" : " cut " + FormatTimeCode(p.CutMs)) << "\n";
    }
    out << "Pauses: " << pauses.size() << "\n";
    out << "Pieces: " << starts.size() << "\n";
    return kExitOk;
  }
  if (starts.empty()) throw EFailed(mp3.Info.FileName + ": the file has no length to split");
  return SavePieces(mp3, starts, ends, folder, tag, id3v2, volume, report);
}

namespace {

// The exact plan at limit, with tags as large as the count of its pieces makes them; needed as
// PlanExactSizes tells it.
bool PlanExactWithTags(const TKorvaMP3& mp3, int64_t limit, const TID3v1Tag& tag, TCliId3v2& id3v2,
                       std::vector<int64_t>& starts, std::vector<int64_t>& ends, int64_t& needed,
                       int64_t& tagBytes) {
  // The ID3v2 tags grow with the pieces' numbers: planned again until the count the tags were
  // measured for holds them all.
  for (size_t count = 1;;) {
    tagBytes = (tag.IsTag() ? kId3v1Size : 0) + int64_t(id3v2.LargestTag(count, mp3.Info.Duration));
    if (!PlanExactSizes(mp3, limit, tagBytes, starts, ends, needed)) return false;
    if (starts.size() <= count) return true;
    count = starts.size();
  }
}

int SplitBySizeExact(TKorvaMP3& mp3, const std::string& sizeText, int64_t limit,
                     const std::string& folder, const TID3v1Tag& tag, TCliId3v2& id3v2,
                     TCliVolume& volume, TPieceReport& report) {
  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  int64_t needed = 0;
  int64_t tagBytes = 0;
  try {
    if (!PlanExactWithTags(mp3, limit, tag, id3v2, starts, ends, needed, tagBytes)) {
      if (needed == 0) throw EFailed(mp3.Info.FileName + ": the file has no frames to split");
      // The piece that failed asks for needed bytes; with that size the pieces before it move,
      // and one further on may ask for more. Each round asks for more than the last, and the
      // whole file fits in one piece.
      int64_t smallest = needed;
      std::vector<int64_t> s, e;
      int64_t more = 0;
      while (!PlanExactWithTags(mp3, smallest, tag, id3v2, s, e, more, tagBytes)) {
        smallest = std::max(more, smallest + 1);
      }
      throw EBadValue(mp3.Info.FileName + ": --size " + sizeText + " (" + std::to_string(limit) +
                      " bytes) is too small for an exact piece of this file; the smallest size "
                      "possible is " +
                      std::to_string(smallest) + " bytes" + (tagBytes ? ", tags included" : ""));
    }
  } catch (const EFileError& e) {
    throw EFailed(mp3.Info.FileName + ": cannot read the file: " + e.what());
  }
  return SavePieces(mp3, starts, ends, folder, tag, id3v2, volume, report);
}

}  // namespace

int SplitBySize(TKorvaMP3& mp3, const std::string& sizeText, int64_t limit, bool exact,
                const std::string& folder, const TTagOverrides& tagOptions, TCliId3v2& id3v2,
                TCliVolume& volume, TPieceReport& report) {
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);
  CheckOutputFolder(folder);
  if (exact) return SplitBySizeExact(mp3, sizeText, limit, folder, tag, id3v2, volume, report);
  std::vector<TSizedFrame> frames;
  std::vector<double> frameMs;  // where each frame starts in time
  double ms = 0.0;
  int64_t audioEnd = -1;
  // The VBR header frame a piece gets depends on its first frame's version, sample rate and
  // channel mode, and the average frame on its bit rate; a stream has a handful of those.
  std::map<uint32_t, std::pair<int32_t, double>> known;
  try {
    audioEnd = mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& f) {
      const uint8_t* h = f.Header;
      TSizedFrame frame{f.Pos, f.Bytes, RateKey(h), 0, 0.0};
      if (mp3.VbrHeader) {
        const uint32_t key = uint32_t(h[1]) << 16 | uint32_t(h[2] & 0xFC) << 8 | (h[3] & 0xC0);
        auto it = known.find(key);
        if (it == known.end()) {
          const std::optional<MpegFrameHeader> d = DecodeFrameHeader(h);
          const double average = d ? AverageFrameBytes(*d) : 0.0;
          it = known.emplace(key, std::pair(TXingFrame::ForBytes(h), average)).first;
        }
        std::tie(frame.HeaderBytes, frame.Average) = it->second;
      }
      frames.push_back(frame);
      frameMs.push_back(ms);
      ms += f.Ms;
    });
  } catch (const std::exception& e) {
    throw EFailed(mp3.Info.FileName + ": cannot read the file: " + e.what());
  }
  if (audioEnd < 0 || frames.empty()) {
    throw EFailed(mp3.Info.FileName + ": the file has no frames to split");
  }
  const int64_t v2Bytes = int64_t(id3v2.LargestTag(frames.size(), mp3.Info.Duration));
  const int64_t tagBytes = (tag.IsTag() ? kId3v1Size : 0) + v2Bytes;
  const TSizePlan plan = PlanSizePieces(frames, audioEnd, limit, tagBytes);
  if (!plan.Fits) {
    throw EBadValue(mp3.Info.FileName + ": --size " + sizeText + " (" + std::to_string(limit) +
                    " bytes) is smaller than the largest frame (" +
                    std::to_string(plan.LargestFrame) + " bytes)" +
                    (tagBytes ? std::string(v2Bytes ? " plus the tags (" : " plus the tag (") +
                                    std::to_string(tagBytes) + " bytes)"
                              : "") +
                    "; the smallest size possible is " +
                    std::to_string(plan.LargestFrame + tagBytes) + " bytes");
  }
  if (volume.ChangesAudio() || volume.ReplayGainTags()) {
    // The pieces' times, for their loudness: from the first frame at or behind each place.
    const auto timeAt = [&](int64_t pos) {
      const auto at = std::lower_bound(frames.begin(), frames.end(), pos,
                                       [](const TSizedFrame& f, int64_t p) { return f.Pos < p; });
      return at == frames.end() ? int64_t(ms) : int64_t(frameMs[size_t(at - frames.begin())]);
    };
    std::vector<int64_t> starts, ends;
    for (size_t i = 0; i < plan.From.size(); ++i) {
      starts.push_back(timeAt(plan.From[i]));
      ends.push_back(timeAt(plan.To[i]));
    }
    volume.Prepare(mp3, starts, ends, report.Out(), report.Err());
  }
  // Pieces of one bit rate each need no walk of their own for a VBR header frame.
  mp3.VbrHeader = std::any_of(plan.Header.begin(), plan.Header.end(), [](int64_t b) { return b; });
  report.Expect(plan.From.size());
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveFrameRanges(
      plan.From, plan.To, [&](size_t piece) { return report.Starting(piece, names.Next()); }, tag,
      true, [&](size_t, const TSegmentResult& result) { report.Done(result); },
      id3v2.Front(plan.From.size()));
  return report.Finish();
}

}  // namespace pelcato
