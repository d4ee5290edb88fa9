// pelcato-cli loudness: the loudness of files as players play them (ITU-R BS.1770, EBU R 128),
// per file and, for several, of all of them together as an album, as lines or as JSON.
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/PieceReport.h"
#include "volume/MeasureFile.h"

namespace pelcato {
namespace {

// The names of the values, in JSON and as lines.
struct TKey {
  const char* Json;
  const char* Line;
};
constexpr TKey kKeys[] = {{"integrated_lufs", "IntegratedLufs"},
                          {"loudness_range_lu", "LoudnessRangeLu"},
                          {"sample_peak_dbfs", "SamplePeakDbfs"},
                          {"true_peak_dbtp", "TruePeakDbtp"},
                          {"replaygain_db", "ReplayGainDb"}};

// Two decimals, as the meters' own reports give them; -infinity (silence) has no number.
std::string Number(double v, bool json) {
  if (!std::isfinite(v)) return json ? "null" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v == 0.0 ? 0.0 : v);
  return text;
}

std::vector<double> Values(const TLoudness& l) {
  return {l.IntegratedLufs, l.Measured() ? l.RangeLu : -HUGE_VAL, DbOf(l.SamplePeak),
          DbOf(l.TruePeak), l.Measured() ? kReplayGainLufs - l.IntegratedLufs : -HUGE_VAL};
}

void PrintLines(std::ostream& out, const char* what, const std::string& name, const TLoudness& l) {
  out << what << ": " << name << "\n";
  const std::vector<double> v = Values(l);
  for (size_t i = 0; i < v.size(); ++i) out << kKeys[i].Line << ": " << Number(v[i], false) << "\n";
}

std::string JsonObject(const std::string* file, const TLoudness& l) {
  std::string s = "{";
  if (file) s += "\"file\": " + JsonString(*file) + ", ";
  const std::vector<double> v = Values(l);
  for (size_t i = 0; i < v.size(); ++i) {
    s += std::string(i ? ", " : "") + "\"" + kKeys[i].Json + "\": " + Number(v[i], true);
  }
  return s + "}";
}

}  // namespace

int CmdLoudness(const TWords& words, std::ostream& out, std::ostream& err) {
  const TArgs args = ParseArgs(words, {}, {"--json"});
  if (args.Positional.empty()) throw EUsage("loudness takes one FILE or more");
  const bool json = args.Has("--json");
  const bool progress = ShowsProgress(err);
  std::vector<std::unique_ptr<TLoudnessMeter>> meters;
  std::vector<std::pair<std::string, TLoudness>> files;
  bool failed = false;
  for (const std::string& file : args.Positional) {
    TMeasureRequest request;
    request.Range = true;
    request.TruePeak = true;
    int shown = -1;
    request.Progress = [&](double done) {
      const int percent = int(done * 100.0);
      if (progress && percent != shown) {
        shown = percent;
        err << "\r\x1b[KMeasuring " << file << ": " << percent << "%" << std::flush;
      }
    };
    TMeasured m = MeasureFile(file, request);
    if (progress) err << "\r\x1b[K" << std::flush;
    if (!m.Error.empty() || m.Pieces.empty()) {
      err << file << ": cannot measure the loudness: " << m.Error << "\n";
      failed = true;
      continue;
    }
    files.emplace_back(file, m.Pieces.front());
    meters.push_back(std::move(m.Whole));
  }
  // All the files together as one album: the gating runs over the blocks of all of them.
  std::optional<TLoudness> album;
  if (args.Positional.size() > 1 && !meters.empty()) {
    std::vector<const TLoudnessMeter*> all;
    for (const auto& m : meters) all.push_back(m.get());
    album = TLoudnessMeter::Together(all);
  }
  if (json) {
    out << "{\"files\": [";
    for (size_t i = 0; i < files.size(); ++i) {
      out << (i ? ", " : "") << JsonObject(&files[i].first, files[i].second);
    }
    out << "]";
    if (album) out << ", \"album\": " << JsonObject(nullptr, *album);
    out << "}\n";
  } else {
    for (const auto& [file, l] : files) PrintLines(out, "File", file, l);
    if (album) PrintLines(out, "Album", std::to_string(files.size()) + " files", *album);
  }
  return failed ? kExitFailed : kExitOk;
}

}  // namespace pelcato
