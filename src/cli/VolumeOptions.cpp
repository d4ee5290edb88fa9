#include "cli/VolumeOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/PieceReport.h"

namespace pelcato {

const std::vector<std::string> kVolumeValueOptions = {"--gain", "--target", "--fade-in",
                                                      "--fade-out"};
const std::vector<std::string> kVolumeFlagOptions = {"--normalize", "--album-gain", "--allow-clip",
                                                     "--replaygain-tags"};

namespace {

const char* const kTrackGain = kTrackGainField;
const char* const kTrackPeak = kTrackPeakField;
const char* const kAlbumGain = kAlbumGainField;
const char* const kAlbumPeak = kAlbumPeakField;

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

TCliVolume::TCliVolume(const TArgs& args) {
  TVolumeRequest& r = FRequest;
  r.Normalize = args.Has("--normalize");
  r.Album = args.Has("--album-gain");
  r.AllowClip = args.Has("--allow-clip");
  r.Measure = args.Has("--replaygain-tags");
  if (args.Value("--gain")) {
    if (r.Normalize) throw EUsage("--gain and --normalize do not go together");
    // As far as a global gain reaches; what passes its limits is held there and said.
    r.Volume.GainSteps = StepsForDb(NumberArg(args, "--gain", -384.0, 384.0));
  }
  if (args.Value("--target")) {
    if (!r.Normalize) throw EUsage("--target goes with --normalize");
    r.TargetLufs = NumberArg(args, "--target", -70.0, 0.0);
  }
  if (r.AllowClip && !r.Normalize) throw EUsage("--allow-clip goes with --normalize");
  if (r.Album && !r.Normalize && !r.Measure) {
    throw EUsage("--album-gain goes with --normalize or --replaygain-tags");
  }
  const auto fade = [&](const char* name) -> int64_t {
    return args.Value(name) ? std::llround(NumberArg(args, name, 0.0, 86400000.0)) : 0;
  };
  r.Volume.FadeInMs = fade("--fade-in");
  r.Volume.FadeOutMs = fade("--fade-out");
}

void TCliVolume::Prepare(TKorvaMP3& mp3, const std::vector<int64_t>& starts,
                         const std::vector<int64_t>& ends, std::ostream& out, std::ostream& err) {
  const std::string& file = mp3.Info.FileName;
  if (!ChangesAudio() && !ReplayGainTags()) return;
  const bool progress = ShowsProgress(err);
  int shown = -1;
  FPieces = PreparePieceVolumes(mp3, FRequest, starts, ends, [&](double done) {
    const int percent = int(done * 100.0);
    if (progress && percent != shown) {
      shown = percent;
      err << "\r\x1b[KMeasuring the loudness: " << percent << "%" << std::flush;
    }
  });
  if (progress && shown >= 0) err << "\r\x1b[K" << std::flush;
  if (!FPieces.Error.empty()) throw EFailed(file + ": " + FPieces.Error);
  const auto warn = [&](const std::string& what, const TGainChoice& c) {
    if (!c.Reached) {
      err << file << ": " << what << ": the target of " << Fixed("%.1f", FRequest.TargetLufs)
          << " LUFS is not reached: " << c.Why << "\n";
    }
  };
  const size_t count = FPieces.Steps.size();
  if (FRequest.Normalize && FPieces.Together) {
    const TGainChoice& c = FPieces.Choices.front();
    out << "Album: " << LevelText(*FPieces.Together, 0) << ", gain " << GainText(c.Steps) << "\n";
    warn("the pieces together", c);
  } else if (FRequest.Normalize) {
    for (size_t i = 0; i < count; ++i) {
      const TGainChoice& c = FPieces.Choices[i];
      if (count == 1) {
        out << "Loudness: " << LevelText(FPieces.Loudness[i], 0) << "\n";
        out << "Gain: " << GainText(c.Steps) << "\n";
        warn("the range", c);
      } else {
        out << "Piece " << i + 1 << ": " << LevelText(FPieces.Loudness[i], 0) << ", gain "
            << GainText(c.Steps) << "\n";
        warn("piece " + std::to_string(i + 1), c);
      }
    }
  } else if (FRequest.Volume.GainSteps != 0) {
    out << "Gain: " << GainText(FRequest.Volume.GainSteps) << "\n";
  }
}

std::vector<std::pair<std::string, std::string>> TCliVolume::TagFrames(size_t piece) const {
  std::vector<std::pair<std::string, std::string>> frames;
  const int steps = piece < FPieces.Steps.size() ? FPieces.Steps[piece] : 0;
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
  if (ReplayGainTags() && FPieces.Loudness.empty()) {
    // Before the measurement (a split by size sizing its tags): texts as long as any.
    for (const char* name : {kTrackGain, kTrackPeak}) frames.push_back({name, "-100.000000 dB"});
    if (FRequest.Album) {
      for (const char* name : {kAlbumGain, kAlbumPeak}) frames.push_back({name, "-100.000000 dB"});
    }
  } else if (ReplayGainTags() && piece < FPieces.Loudness.size()) {
    fields(kTrackGain, kTrackPeak, FPieces.Loudness[piece]);
    if (FPieces.Together) {
      fields(kAlbumGain, kAlbumPeak, *FPieces.Together);
    } else if (ChangesAudio()) {
      frames.push_back({kAlbumGain, ""});
      frames.push_back({kAlbumPeak, ""});
    }
  } else if (ChangesAudio()) {
    frames = ReplayGainRemoved();
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
