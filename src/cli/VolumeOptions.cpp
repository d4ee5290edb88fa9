#include "cli/VolumeOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/PieceReport.h"
#include "volume/MeasureFile.h"

namespace pelcato {

const std::vector<std::string> kVolumeValueOptions = {"--gain", "--target", "--fade-in",
                                                      "--fade-out"};
const std::vector<std::string> kVolumeFlagOptions = {"--normalize", "--album-gain", "--allow-clip",
                                                     "--replaygain-tags"};

namespace {

const char* const kTrackGain = "REPLAYGAIN_TRACK_GAIN";
const char* const kTrackPeak = "REPLAYGAIN_TRACK_PEAK";
const char* const kAlbumGain = "REPLAYGAIN_ALBUM_GAIN";
const char* const kAlbumPeak = "REPLAYGAIN_ALBUM_PEAK";

std::string Fixed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// "-20.12 LUFS, sample peak -3.40 dBFS" of a measurement with steps more gain.
std::string LevelText(const TLoudness& l, int steps) {
  const auto db = [](double v) {
    return std::isfinite(v) ? Fixed("%.2f", v) : std::string("-inf");
  };
  return db(l.IntegratedLufs + DbOfSteps(steps)) + " LUFS, sample peak " +
         db(DbOf(l.SamplePeak) + DbOfSteps(steps)) + " dBFS";
}

double NumberArg(const TArgs& args, const std::string& name, double min, double max) {
  std::string text = *args.Value(name);
  // A gain may be written with its sign.
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  return ParseNumberArg(name, text, min, max);
}

}  // namespace

TCliVolume::TCliVolume(const TArgs& args)
    : FNormalize(args.Has("--normalize")),
      FAlbum(args.Has("--album-gain")),
      FAllowClip(args.Has("--allow-clip")),
      FTags(args.Has("--replaygain-tags")) {
  if (args.Value("--gain")) {
    if (FNormalize) throw EUsage("--gain and --normalize do not go together");
    // As far as a global gain reaches; what passes its limits is held there and said.
    FVolume.GainSteps = StepsForDb(NumberArg(args, "--gain", -384.0, 384.0));
  }
  if (args.Value("--target")) {
    if (!FNormalize) throw EUsage("--target goes with --normalize");
    FTarget = NumberArg(args, "--target", -70.0, 0.0);
  }
  if (FAllowClip && !FNormalize) throw EUsage("--allow-clip goes with --normalize");
  if (FAlbum && !FNormalize && !FTags) {
    throw EUsage("--album-gain goes with --normalize or --replaygain-tags");
  }
  const auto fade = [&](const char* name) -> int64_t {
    return args.Value(name) ? std::llround(NumberArg(args, name, 0.0, 86400000.0)) : 0;
  };
  FVolume.FadeInMs = fade("--fade-in");
  FVolume.FadeOutMs = fade("--fade-out");
}

void TCliVolume::Prepare(TKorvaMP3& mp3, const std::vector<int64_t>& starts,
                         const std::vector<int64_t>& ends, std::ostream& out, std::ostream& err) {
  const std::string& file = mp3.Info.FileName;
  if (!ChangesAudio() && !FTags) return;
  if (ChangesAudio() && mp3.Info.Layer != 3) {
    throw EFailed(file + ": the volume options change the global gain of Layer III frames; this" +
                  " file has Layer " + std::to_string(mp3.Info.Layer) + " frames");
  }
  const size_t count = std::min(starts.size(), ends.size());
  if (FNormalize || FTags) {
    TMeasureRequest request;
    request.StartMs = starts;
    request.EndMs = ends;
    // Whole frames reach up to a frame past either end of a range, and a piece's first frames
    // may sound a little before it: its peak is looked for two frames further.
    if (mp3.Info.SampleRate > 0) {
      request.PeakMarginMs =
          2 * (mp3.Info.Version == 1.0 ? 1152 : 576) * 1000 / mp3.Info.SampleRate + 1;
    }
    request.Together = FAlbum;
    const bool progress = ShowsProgress(err);
    int shown = -1;
    request.Progress = [&](double done) {
      const int percent = int(done * 100.0);
      if (progress && percent != shown) {
        shown = percent;
        err << "\r\x1b[KMeasuring the loudness: " << percent << "%" << std::flush;
      }
    };
    const TMeasured measured = MeasureFile(file, request);
    if (progress) err << "\r\x1b[K" << std::flush;
    if (!measured.Error.empty())
      throw EFailed(file + ": cannot measure the loudness: " + measured.Error);
    FPieces = measured.Pieces;
    if (FAlbum && measured.Whole) {
      TLoudness together = measured.Whole->Result();
      together.SamplePeak = 0.0;
      for (const TLoudness& l : FPieces)
        together.SamplePeak = std::max(together.SamplePeak, l.SamplePeak);
      FTogether = together;
    }
  }
  FSteps.assign(count, FVolume.GainSteps);
  const auto warn = [&](const std::string& what, const TGainChoice& c) {
    if (!c.Reached) {
      err << file << ": " << what << ": the target of " << Fixed("%.1f", FTarget)
          << " LUFS is not reached: " << c.Why << "\n";
    }
  };
  if (FNormalize && FAlbum) {
    const TGainChoice c = ChooseGain(*FTogether, FTarget, FAllowClip);
    FSteps.assign(count, c.Steps);
    out << "Album: " << LevelText(*FTogether, 0) << ", gain " << GainText(c.Steps) << "\n";
    warn("the pieces together", c);
  } else if (FNormalize) {
    for (size_t i = 0; i < count; ++i) {
      const TGainChoice c = ChooseGain(FPieces[i], FTarget, FAllowClip);
      FSteps[i] = c.Steps;
      if (count == 1) {
        out << "Loudness: " << LevelText(FPieces[i], 0) << "\n";
        out << "Gain: " << GainText(c.Steps) << "\n";
        warn("the range", c);
      } else {
        out << "Piece " << i + 1 << ": " << LevelText(FPieces[i], 0) << ", gain "
            << GainText(c.Steps) << "\n";
        warn("piece " + std::to_string(i + 1), c);
      }
    }
  } else if (FVolume.GainSteps != 0) {
    out << "Gain: " << GainText(FVolume.GainSteps) << "\n";
  }
  mp3.Volume = FVolume;
  mp3.PieceGainSteps = FNormalize ? FSteps : std::vector<int>();
}

std::vector<std::pair<std::string, std::string>> TCliVolume::TagFrames(size_t piece) const {
  std::vector<std::pair<std::string, std::string>> frames;
  const int steps = piece < FSteps.size() ? FSteps[piece] : 0;
  // The fields describe the piece as written: its loudness and peak with its gain.
  const auto fields = [&](const char* gain, const char* peak, const TLoudness& l) {
    if (!l.Measured()) {
      frames.push_back({gain, ""});
      frames.push_back({peak, ""});
      return;
    }
    frames.push_back(
        {gain, Fixed("%.2f dB", kReplayGainLufs - l.IntegratedLufs - DbOfSteps(steps))});
    frames.push_back({peak, Fixed("%.6f", l.SamplePeak * std::pow(2.0, steps / 4.0))});
  };
  if (FTags && FPieces.empty()) {
    // Before the measurement (a split by size sizing its tags): texts as long as any.
    for (const char* name : {kTrackGain, kTrackPeak}) frames.push_back({name, "-100.000000 dB"});
    if (FAlbum) {
      for (const char* name : {kAlbumGain, kAlbumPeak}) frames.push_back({name, "-100.000000 dB"});
    }
  } else if (FTags && piece < FPieces.size()) {
    fields(kTrackGain, kTrackPeak, FPieces[piece]);
    if (FTogether) {
      fields(kAlbumGain, kAlbumPeak, *FTogether);
    } else if (ChangesAudio()) {
      frames.push_back({kAlbumGain, ""});
      frames.push_back({kAlbumPeak, ""});
    }
  } else if (ChangesAudio()) {
    for (const char* name : {kTrackGain, kTrackPeak, kAlbumGain, kAlbumPeak}) {
      frames.push_back({name, ""});
    }
  }
  return frames;
}

void ReportClamped(const TSegmentResult& result, std::ostream& err) {
  if (result.Ok && result.Clamped > 0) {
    err << result.Path << ": " << result.Clamped
        << " granule gains were held at the global gain's limit (0 or 255), short of the gain "
           "asked for\n";
  }
}

}  // namespace pelcato
