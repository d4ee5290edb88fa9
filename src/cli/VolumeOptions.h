// The volume options of cut and split: --gain, --normalize with --target, --album-gain and
// --allow-clip, --fade-in and --fade-out, and --replaygain-tags. The pieces' loudness is
// measured from the source's decode, all pieces in one decode, before they are written.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/Arguments.h"
#include "mp3/KorvaMp3.h"
#include "volume/PieceVolume.h"

namespace pelcato {

extern const std::vector<std::string> kVolumeValueOptions;
extern const std::vector<std::string> kVolumeFlagOptions;

class TCliVolume {
 public:
  // Reads the options; wrong values and combinations are wrong usage.
  explicit TCliVolume(const TArgs& args);

  // The pieces' audio changes.
  bool ChangesAudio() const { return FRequest.Changes(); }
  bool ReplayGainTags() const { return FRequest.Measure; }

  // Before the pieces from starts[i] to ends[i] (ms) are written: checks that the analysed file
  // can take the volume, measures the pieces where the options need their loudness, gives mp3
  // each piece's volume and prints what it chose on out (warnings on err).
  void Prepare(TKorvaMP3& mp3, const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
               std::ostream& out, std::ostream& err);

  // The TXXX frames the ID3v2 tag of piece i gets: the ReplayGain fields with
  // --replaygain-tags; where the audio changes without it, the source's ReplayGain fields
  // removed (they no longer describe it).
  std::vector<std::pair<std::string, std::string>> TagFrames(size_t piece) const;

 private:
  TVolumeRequest FRequest;  // Measure: --replaygain-tags
  TPieceVolumes FPieces;    // what was measured and chosen
};

// Says on err what the volume of a written piece could not do.
void ReportClamped(const TSegmentResult& result, std::ostream& err);

}  // namespace pelcato
