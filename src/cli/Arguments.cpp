#include "cli/Arguments.h"

#include <charconv>

#include "cli/Commands.h"
#include "edit/TimeCode.h"
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

int64_t ParseTimeArg(const std::string& text) {
  const bool allDigits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  int64_t ms = 0;
  if (allDigits) {
    if (ParseDecimal(text, ms)) return ms;
  } else if (text.size() == 13 && text[3] == ':' && text[6] == ':' && text[9] == '.') {
    bool digits = true;
    for (const int i : {0, 1, 2, 4, 5, 7, 8, 10, 11, 12}) {
      digits = digits && text[size_t(i)] >= '0' && text[size_t(i)] <= '9';
    }
    if (digits) return ParseTimeCode(text);
  }
  throw EUsage("not a time code or a number of milliseconds: " + text);
}

int ParsePartsArg(const std::string& text) {
  int64_t n = 0;
  if (!ParseDecimal(text, n)) throw EUsage("--parts needs a whole number: " + text);
  return n < -1'000'000 ? -1'000'000 : n > 1'000'000 ? 1'000'000 : int(n);
}

void ParseEveryArg(const std::string& text, TSplitRequest& request) {
  int fields[3] = {};
  size_t pos = 0;
  for (int f = 0; f < 3; ++f) {
    const size_t colon = f < 2 ? text.find(':', pos) : text.size();
    int64_t value = -1;
    if (colon == std::string::npos || !ParseDecimal(text.substr(pos, colon - pos), value) ||
        text[pos] < '0' || text[pos] > '9' || value < 0 || value > (f == 0 ? 200 : 60)) {
      throw EUsage("--every needs H:MM:SS (hours 0 to 200, minutes and seconds 0 to 60): " + text);
    }
    fields[f] = int(value);
    pos = colon + 1;
  }
  request.SplitHour = fields[0];
  request.SplitMin = fields[1];
  request.SplitSec = fields[2];
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
