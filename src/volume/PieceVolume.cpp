#include "volume/PieceVolume.h"

#include <algorithm>

#include "volume/MeasureFile.h"

namespace pelcato {

std::vector<std::pair<std::string, std::string>> ReplayGainRemoved() {
  return {
      {kTrackGainField, ""}, {kTrackPeakField, ""}, {kAlbumGainField, ""}, {kAlbumPeakField, ""}};
}

TPieceVolumes PreparePieceVolumes(TKorvaMP3& mp3, const TVolumeRequest& request,
                                  const std::vector<int64_t>& starts,
                                  const std::vector<int64_t>& ends,
                                  const std::function<void(double done)>& progress) {
  TPieceVolumes v;
  const size_t count = std::min(starts.size(), ends.size());
  v.Steps.assign(count, request.Volume.GainSteps);
  mp3.Volume = {};
  mp3.PieceGainSteps.clear();
  if (!request.Changes() && !request.Measure) return v;
  if (request.Changes() && mp3.Info.Layer != 3) {
    v.Error = "the volume changes the global gain of Layer III frames; this file has Layer " +
              std::to_string(mp3.Info.Layer) + " frames";
    return v;
  }
  if (request.Normalize || request.Measure) {
    TMeasureRequest m;
    m.StartMs = std::vector<int64_t>(starts.begin(), starts.begin() + long(count));
    m.EndMs = std::vector<int64_t>(ends.begin(), ends.begin() + long(count));
    // Whole frames reach up to a frame past either end of a range, and a piece's first frames
    // may sound a little before it: its peak is looked for two frames further.
    if (mp3.Info.SampleRate > 0) {
      m.PeakMarginMs = 2 * (mp3.Info.Version == 1.0 ? 1152 : 576) * 1000 / mp3.Info.SampleRate + 1;
    }
    m.Together = request.Album;
    m.Progress = progress;
    const TMeasured measured = MeasureFile(mp3.Info.FileName, m);
    if (!measured.Error.empty()) {
      v.Error = "cannot measure the loudness: " + measured.Error;
      return v;
    }
    v.Loudness = measured.Pieces;
    if (request.Album && measured.Whole) {
      TLoudness together = measured.Whole->Result();
      // The peak of what is written: every piece's, each with its margin.
      together.SamplePeak = 0.0;
      for (const TLoudness& l : v.Loudness) {
        together.SamplePeak = std::max(together.SamplePeak, l.SamplePeak);
      }
      v.Together = together;
    }
  }
  if (request.Normalize && v.Together) {
    v.Choices = {ChooseGain(*v.Together, request.TargetLufs, request.AllowClip)};
    v.Steps.assign(count, v.Choices.front().Steps);
  } else if (request.Normalize) {
    for (size_t i = 0; i < count; ++i) {
      v.Choices.push_back(ChooseGain(v.Loudness[i], request.TargetLufs, request.AllowClip));
      v.Steps[i] = v.Choices.back().Steps;
    }
  }
  mp3.Volume = request.Volume;
  if (request.Normalize) mp3.PieceGainSteps = v.Steps;
  return v;
}

}  // namespace pelcato
