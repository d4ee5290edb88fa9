#include "split/CueSyntax.h"

#include <vector>

namespace pelcato {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

bool IsNumber(std::string_view w) {
  if (w.empty()) return false;
  for (const char c : w) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A number, or minutes:seconds:frames.
bool IsTime(std::string_view w) {
  const size_t a = w.find(':');
  if (a == std::string_view::npos) return IsNumber(w);
  const size_t b = w.find(':', a + 1);
  return b != std::string_view::npos && IsNumber(w.substr(0, a)) &&
         IsNumber(w.substr(a + 1, b - a - 1)) && IsNumber(w.substr(b + 1));
}

bool OneOf(std::string_view w, std::initializer_list<std::string_view> list) {
  for (const std::string_view e : list) {
    if (w == e) return true;
  }
  return false;
}

// The words of a line: a word runs to the next blank; one that starts with a quote runs to the
// closing quote, which must come before the line ends and be followed by a blank or the end.
bool SplitWords(std::string_view line, std::vector<std::string_view>& words, std::string& why) {
  words.clear();
  size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    if (line[i] == '"' || line[i] == '\'') {
      end = line.find(line[i], i + 1);
      if (end == std::string_view::npos) {
        why = "a quote is not closed";
        return false;
      }
      ++end;
      if (end < line.size() && !IsBlank(line[end])) {
        why = "text follows a quoted value";
        return false;
      }
    } else {
      while (end < line.size() && !IsBlank(line[end])) ++end;
    }
    words.push_back(line.substr(i, end - i));
    i = end;
  }
  return true;
}

}  // namespace

bool CheckCueSyntax(std::string_view text, std::string& forParser, std::string& error) {
  forParser.clear();
  bool inTrack = false;
  bool trackHasCommand = false;
  bool fileSinceTrack = false;  // a FILE line since the last TRACK (or the start)
  bool anyFile = false;
  int tracks = 0;
  int number = 0;
  std::vector<std::string_view> w;
  const auto fail = [&](const std::string& why) {
    error = "the cue sheet does not parse (line " + std::to_string(number) + ": " + why + ")";
    return false;
  };
  while (!text.empty()) {
    ++number;
    const size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    std::string why;
    if (!SplitWords(line, w, why)) return fail(why);
    std::string passed(line);
    if (w.empty()) {
      forParser += "\n";
      continue;
    }
    const std::string_view cmd = w[0];
    const size_t values = w.size() - 1;
    const bool quoted = values > 0 && w[1][0] == '"';
    if (cmd == "REM") {
      // Only the first word of a date or a genre is read; any other remark is left out.
      passed = values >= 2 && OneOf(w[1], {"DATE", "GENRE"})
                   ? "REM " + std::string(w[1]) + " " + std::string(w[2])
                   : std::string();
    } else if (values > 1 && !quoted &&
               OneOf(cmd,
                     {"TITLE", "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE"}) &&
               line.find('"') == std::string_view::npos) {
      // Hand-written sheets often leave a text of several words unquoted; libcue would keep its
      // first word only, so the whole rest of the line is passed on quoted.
      const size_t from = size_t(w[1].data() - line.data());
      const size_t to = size_t(w.back().data() - line.data()) + w.back().size();
      passed = std::string(cmd) + " \"" + std::string(line.substr(from, to - from)) + "\"";
    } else if (OneOf(cmd, {"TITLE", "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE",
                           "DISC_ID", "GENRE", "TOC_INFO1", "TOC_INFO2", "UPC_EAN", "SIZE_INFO"}) ||
               (cmd == "ISRC" && quoted) || (OneOf(cmd, {"CATALOG", "CDTEXTFILE"}) && !inTrack)) {
      if (values != 1) return fail(std::string(cmd) + " takes one value");
    } else if (cmd == "FILE") {
      if (values != 2 || !OneOf(w[2], {"BINARY", "MOTOROLA", "AIFF", "WAVE", "MP3", "FLAC"})) {
        return fail("FILE takes a name and a type");
      }
      if (fileSinceTrack) return fail("a second FILE before a TRACK");
      fileSinceTrack = anyFile = true;
    } else if (cmd == "TRACK") {
      if (values != 2 || !IsNumber(w[1]) ||
          !OneOf(w[2], {"AUDIO", "MODE1/2048", "MODE1/2352", "MODE2/2336", "MODE2/2048",
                        "MODE2/2342", "MODE2/2332", "MODE2/2352"})) {
        return fail("TRACK takes a number and a mode");
      }
      if (!anyFile) return fail("a TRACK before any FILE");
      if (inTrack && !trackHasCommand) return fail("the track before has no INDEX");
      inTrack = true;
      trackHasCommand = fileSinceTrack = false;
      ++tracks;
    } else if (!inTrack) {
      return fail(std::string(cmd) + " before the first TRACK");
    } else if (cmd == "INDEX") {
      if (values != 2 || !IsNumber(w[1]) || !IsTime(w[2]))
        return fail("INDEX takes a number and a time");
    } else if (OneOf(cmd, {"PREGAP", "POSTGAP"})) {
      if (values != 1 || !IsTime(w[1])) return fail(std::string(cmd) + " takes a time");
    } else if (cmd == "FLAGS") {
      for (size_t i = 1; i < w.size(); ++i) {
        if (!OneOf(w[i], {"PRE", "DCP", "4CH", "SCMS"})) return fail("unknown flag");
      }
    } else if (cmd == "ISRC") {
      if (values != 1) return fail("ISRC takes one value");
    } else {
      return fail("unknown command " + std::string(cmd.substr(0, 40)));
    }
    if (inTrack && cmd != "TRACK" && !passed.empty()) trackHasCommand = true;
    forParser += passed + "\n";
  }
  if (tracks == 0) {
    error = "the cue sheet does not parse (it names no track)";
    return false;
  }
  if (!trackHasCommand) {
    ++number;
    return fail("the last track has no INDEX");
  }
  return true;
}

}  // namespace pelcato
