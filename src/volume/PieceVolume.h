// The volume of the pieces of one save, as pelcato-cli and the window ask for it: a fixed gain
// or each piece normalised to a loudness (measured on the source's decode, all pieces in one
// decode), and fades; handed to the analysis component, which applies it as it writes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mp3/KorvaMp3.h"
#include "volume/GainChoice.h"
#include "volume/Loudness.h"

namespace pelcato {

struct TVolumeRequest {
  TVolume Volume;  // the gain in steps (without Normalize) and the fades
  bool Normalize = false;
  double TargetLufs = kReplayGainLufs;
  bool Album = false;      // one gain for all pieces, from their loudness together
  bool AllowClip = false;  // normalising may pass full scale
  bool Measure = false;    // measure the pieces even without normalising them
  bool Changes() const { return Volume.Changes() || Normalize; }
};

struct TPieceVolumes {
  std::string Error;  // why nothing is written; empty when all is well
  // Measured, when normalising or asked to: each piece and, with Album, all together.
  std::vector<TLoudness> Loudness;
  std::optional<TLoudness> Together;
  // The gain of each piece; when normalising, how it was chosen (one choice with Album).
  std::vector<int> Steps;
  std::vector<TGainChoice> Choices;
};

// The ReplayGain 2.0 fields as TXXX descriptions of an ID3v2 tag.
inline constexpr char kTrackGainField[] = "REPLAYGAIN_TRACK_GAIN";
inline constexpr char kTrackPeakField[] = "REPLAYGAIN_TRACK_PEAK";
inline constexpr char kAlbumGainField[] = "REPLAYGAIN_ALBUM_GAIN";
inline constexpr char kAlbumPeakField[] = "REPLAYGAIN_ALBUM_PEAK";
// All four without a value: what a kept tag loses when its piece's volume changes, as they
// would make players change the level a second time.
std::vector<std::pair<std::string, std::string>> ReplayGainRemoved();

// For the pieces from starts[i] to ends[i] (ms) of the analysed file: checks that it can take
// the volume (Layer III), measures what the request needs, chooses the gains and gives mp3
// each piece's volume (TKorvaMP3::Volume and PieceGainSteps). progress hears the share of the
// decode done.
TPieceVolumes PreparePieceVolumes(TKorvaMP3& mp3, const TVolumeRequest& request,
                                  const std::vector<int64_t>& starts,
                                  const std::vector<int64_t>& ends,
                                  const std::function<void(double done)>& progress = {});

}  // namespace pelcato
