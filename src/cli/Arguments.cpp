#include "cli/Arguments.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "cli/Commands.h"
#include "edit/TimeCode.h"
#include "edit/TypedTime.h"
#include "mp3/Id3Tags.h"
#include "text/Text.h"

namespace pelcato {
namespace {

bool Contains(const std::vector<std::string>& list, const std::string& s) {
  for (const std::string& e : list) {
    if (e == s) return true;
  }
  return false;
}

int ParseGenreArg(const std::string& text) {
  if (SameText(text, "none")) return -1;
  if (const int genre = GenreNumber(text); genre >= 0) return genre;
  int64_t n = 0;
  if (ParseDecimal(text, n)) throw EUsage("--genre: a genre number is 0 to 147");
  throw EUsage("--genre: unknown genre " + text);
}

}  // namespace

const std::vector<std::string> kTagValueOptions = {"--title",   "--artist", "--album", "--year",
                                                   "--comment", "--track",  "--genre", "--id3v2"};

const std::vector<std::string> kVbrHeaderFlags = {"--vbr-header", "--no-vbr-header"};

bool WantsVbrHeader(const TArgs& args) {
  const bool off = args.Has("--no-vbr-header");
  if (off && args.Has("--vbr-header")) {
    throw EUsage("--vbr-header and --no-vbr-header cannot go together");
  }
  return !off;
}

TArgs ParseArgs(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
                const std::vector<std::string>& flagOptions) {
  TArgs args;
  bool optionsEnd = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (optionsEnd || w.size() < 2 || w.compare(0, 2, "--") != 0) {
      args.Positional.push_back(w);
      continue;
    }
    if (w == "--") {
      optionsEnd = true;
      continue;
    }
    const size_t eq = w.find('=');
    const std::string name = w.substr(0, eq);
    if (Contains(valueOptions, name)) {
      std::string value;
      if (eq != std::string::npos) {
        value = w.substr(eq + 1);
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        throw EUsage(name + " needs a value");
      }
      if (args.Values.count(name)) throw EUsage(name + " is given twice");
      args.Values[name] = value;
    } else if (Contains(flagOptions, name) && eq == std::string::npos) {
      args.Flags.push_back(name);
    } else {
      throw EUsage("unknown option " + w);
    }
  }
  return args;
}

int64_t ParseTimeArg(const std::string& name, const std::string& text) {
  if (const std::optional<int64_t> ms = ParseTypedTime(text)) return *ms;
  throw EUsage(name + ": not a time: \"" + text + "\" (write it as " + kTypedTimeForms + ")");
}

int ParsePartsArg(const std::string& text) {
  int64_t n = 0;
  if (!ParseDecimal(text, n)) throw EUsage("--parts needs a whole number: " + text);
  return n < -1'000'000 ? -1'000'000 : n > 1'000'000 ? 1'000'000 : int(n);
}

void ParseEveryArg(const std::string& text, TSplitRequest& request) {
  // Far longer than any file, and still within the fields' range: refused as too long.
  constexpr int64_t kLongest = int64_t(1000) * 3'600'000;
  const int64_t ms = std::min(ParseTimeArg("--every", text), kLongest);
  request.SplitHour = int(ms / 3'600'000);
  request.SplitMin = int(ms / 60'000 % 60);
  request.SplitSec = int(ms / 1000 % 60);
  request.SplitMs = int(ms % 1000);
}

TTagOverrides ParseTagOptions(const TArgs& args) {
  TTagOverrides o;
  const std::pair<const char*, std::optional<std::string>*> texts[] = {
      {"--title", &o.Title}, {"--artist", &o.Artist},   {"--album", &o.Album},
      {"--year", &o.Year},   {"--comment", &o.Comment}, {"--track", &o.Track}};
  for (const auto& [name, field] : texts) {
    if (const std::string* v = args.Value(name)) *field = *v;
  }
  if (const std::string* g = args.Value("--genre")) o.Genre = ParseGenreArg(*g);
  o.NoTag = args.Has("--no-tag");
  // With an ID3v2 tag the fields still have a tag to go to.
  if (o.NoTag && o.SetsAField() && !args.Value("--id3v2")) {
    throw EUsage("--no-tag cannot go with options that set tag fields, but with --id3v2");
  }
  return o;
}

std::string NumberText(double d) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, end) : "0";
}

double ParseNumberArg(const std::string& name, const std::string& text, double min, double max) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !(value >= min && value <= max)) {
    throw EUsage(name + " needs a number from " + NumberText(min) + " to " + NumberText(max) +
                 ": " + text);
  }
  return value;
}

}  // namespace pelcato
