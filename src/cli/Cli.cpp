#include "cli/Cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "edit/SplitPlan.h"
#include "edit/TagText.h"
#include "edit/TimeCode.h"
#include "mp3/FileIo.h"
#include "mp3/KorvaMp3.h"
#include "mp3/Mpg123Player.h"
#include "mp3/StreamCheck.h"
#include "settings/MessageTable.h"

namespace pelcato {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The user messages, in their built-in English wording.
const TMessageTable& Messages() {
  static const TMessageTable messages;
  return messages;
}

constexpr const char* kUsage =
    "Usage:\n"
    "  pelcato-cli info [--json] FILE\n"
    "  pelcato-cli cut FILE START END OUT [TAG OPTIONS] [--vbr-header] [--verify]\n"
    "  pelcato-cli split FILE (--parts N | --every H:MM:SS) [--out DIR] [TAG OPTIONS]\n"
    "                    [--vbr-header] [--verify]\n"
    "  pelcato-cli verify FILE...\n"
    "  pelcato-cli --help\n"
    "\n"
    "info   prints the stream facts and the ID3v1 tag of FILE (--json: as one JSON object).\n"
    "cut    writes the frames from START to END into OUT. START and END are time codes\n"
    "       such as 000:01:02.500, or whole milliseconds.\n"
    "split  writes FILE as 2 to 200 equal parts, or as pieces of the given duration, into\n"
    "       DIR (default: the current folder), named NAME-yymmdd-0001.mp3 and so on.\n"
    "verify decodes every frame of each FILE and prints its frames, its decoded length, its\n"
    "       decode errors and the frames at its start whose audio data lie in frames before\n"
    "       it (the bit reservoir). Exit status 1 when a file has decode errors.\n"
    "\n"
    "  --vbr-header  a piece whose frames do not all share one bit rate starts with a new\n"
    "                VBR header frame (Xing), so that players show and seek its length right\n"
    "  --verify      runs verify on every file written\n"
    "\n"
    "Tag options (cut and split). Without them a new file gets the ID3v1 tag of FILE when\n"
    "FILE has one; each option sets one field and writes a tag:\n"
    "  --title TEXT  --artist TEXT  --album TEXT  --year TEXT  --comment TEXT\n"
    "  --track N     (1 to 255; anything else: no track number)\n"
    "  --genre G     (a number 0 to 147, a genre name, or none)\n"
    "  --no-tag      write no tag\n";

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure already worded for the user.
class EFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words after the command: positional arguments and --options with their values.
struct TArgs {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Values;  // options that take a value
  std::vector<std::string> Flags;             // options without one
  bool Has(const std::string& flag) const {
    for (const std::string& f : Flags) {
      if (f == flag) return true;
    }
    return false;
  }
  const std::string* Value(const std::string& name) const {
    const auto it = Values.find(name);
    return it == Values.end() ? nullptr : &it->second;
  }
};

const std::vector<std::string> kTagValueOptions = {"--title",   "--artist", "--album", "--year",
                                                   "--comment", "--track",  "--genre"};

bool Contains(const std::vector<std::string>& list, const std::string& s) {
  for (const std::string& e : list) {
    if (e == s) return true;
  }
  return false;
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

// START or END: whole milliseconds, or a time code with three-digit hours.
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

// --every H:MM:SS, each field within the range the split options dialog allows.
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

int ParseGenreArg(const std::string& text) {
  int64_t n = 0;
  if (ParseDecimal(text, n)) {
    if (n >= 0 && n < kGenreCount) return int(n);
    throw EUsage("--genre: a genre number is 0 to 147");
  }
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  };
  if (same(text, "none")) return -1;
  for (int g = 0; g < kGenreCount; ++g) {
    if (same(text, ID3Genres[size_t(g)])) return g;
  }
  throw EUsage("--genre: unknown genre " + text);
}

// What the tag options ask for, checked before any file is touched.
struct TTagOptions {
  std::vector<std::pair<std::string, std::string>> Texts;  // option name, UTF-8 text
  std::optional<int> Genre;
  bool NoTag = false;
};

TTagOptions ParseTagOptions(const TArgs& args) {
  TTagOptions o;
  for (const char* name : {"--title", "--artist", "--album", "--year", "--comment", "--track"}) {
    if (const std::string* v = args.Value(name)) o.Texts.emplace_back(name, *v);
  }
  if (const std::string* g = args.Value("--genre")) o.Genre = ParseGenreArg(*g);
  o.NoTag = args.Has("--no-tag");
  if (o.NoTag && (!o.Texts.empty() || o.Genre)) {
    throw EUsage("--no-tag cannot go with options that set tag fields");
  }
  return o;
}

// The tag a new file gets: the source's, as the tag page shows it after opening, with the
// fields given on the command line put in.
TID3v1Tag BuildTag(const TTagOptions& options, const TMp3DataInfo& info) {
  const TTagCodePage cp = TagCodePageFromEnvironment();
  TTagFields fields;
  fields.CodePage = cp;
  if (info.ID3v1Size > 0) fields = FieldsFromTag(info.Tag, cp);
  std::map<std::string, std::string*> texts = {
      {"--title", &fields.Title}, {"--artist", &fields.Artist},   {"--album", &fields.Album},
      {"--year", &fields.Year},   {"--comment", &fields.Comment}, {"--track", &fields.Track}};
  for (const auto& [name, value] : options.Texts) *texts.at(name) = Utf8ToTagText(value, cp);
  if (options.Genre) fields.Genre = *options.Genre;
  if (options.NoTag) {
    fields.Include = false;
  } else if (!options.Texts.empty() || options.Genre) {
    fields.Include = true;
  }
  return BuildTagFromFields(fields);
}

// Analyses the file; a file that cannot be read, or is no MP3, ends the command.
void Analyze(TKorvaMP3& mp3, const std::string& file, bool measure, bool requireValid = true,
             bool index = false) {
  try {
    mp3.AnalyzeFile(file, measure, index);
  } catch (const std::exception& e) {
    throw EFailed(file + ": cannot read the file: " + e.what());
  }
  if (requireValid && !mp3.Info.Valid) throw EFailed(file + ": " + Messages().Ms_NotMP3);
}

// ---- info ----

using TValue = std::variant<std::string, int64_t, bool, double>;
using TFacts = std::vector<std::pair<std::string, TValue>>;

TFacts CollectFacts(const TKorvaMP3& mp3) {
  const TMp3DataInfo& i = mp3.Info;
  TFacts f = {
      {"FileName", i.FileName},
      {"FileSize", i.FileSize},
      {"Valid", i.Valid},
      {"MciOk", i.MciOk},
      {"MciError", i.MciError},
      {"Bitrate", int64_t(i.Bitrate)},
      {"SampleRate", int64_t(i.SampleRate)},
      {"FrameSize", int64_t(i.FrameSize)},
      {"Version", i.Version},
      {"Layer", int64_t(i.Layer)},
      {"Padding", int64_t(i.Padding)},
      {"Mono", i.Mono},
      {"HasXing", i.HasXing},
      {"ID3v1Size", int64_t(i.ID3v1Size)},
      {"ID3v2Size", int64_t(i.ID3v2Size)},
      {"ApeSize", int64_t(i.ApeSize)},
      {"ID3v2Padding", int64_t(i.ID3v2Padding)},
      {"Duration", i.Duration},
      {"ComputedDuration", mp3.ComputedDuration},
  };
  if (i.ID3v1Size > 0) {
    const TTagCodePage cp = TagCodePageFromEnvironment();
    const TID3v1Tag& t = i.Tag;
    auto text = [&](const char* field, size_t width) {
      return TValue(TagTextToUtf8(FieldText(field, width), cp));
    };
    f.emplace_back("Title", text(t.Title, sizeof t.Title));
    f.emplace_back("Artist", text(t.Artist, sizeof t.Artist));
    f.emplace_back("Album", text(t.Album, sizeof t.Album));
    f.emplace_back("Year", text(t.Year, sizeof t.Year));
    f.emplace_back("Comment", text(t.Comment, sizeof t.Comment));
    f.emplace_back("Track", int64_t(t.Track));
    f.emplace_back("Genre", int64_t(t.Genre));
    f.emplace_back("GenreName", std::string(GenreName(t.Genre)));
  }
  return f;
}

std::string NumberText(double d) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, end) : "0";
}

std::string PlainText(const TValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* n = std::get_if<int64_t>(&v)) return std::to_string(*n);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  return NumberText(std::get<double>(v));
}

// A JSON string; bytes that are not UTF-8 (file names may hold any) become U+FFFD.
std::string JsonString(const std::string& s) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
          } else {
            out += char(c);
          }
      }
      ++i;
      continue;
    }
    size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    uint32_t code = len ? c & (0x7F >> len) : 0;
    for (size_t k = 1; len && k < len; ++k) {
      if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
        len = 0;
      } else {
        code = (code << 6) | (p[i + k] & 0x3F);
      }
    }
    const uint32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (len && code >= min && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
      out.append(s, i, len);
      i += len;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
}

std::string JsonValue(const TValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return JsonString(*s);
  return PlainText(v);
}

int CmdInfo(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  const TArgs args = ParseArgs(words, {}, {"--json"});
  if (args.Positional.size() != 1) throw EUsage("info takes one FILE");
  const std::string& file = args.Positional[0];
  TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
  Analyze(mp3, file, true, false);
  const TFacts facts = CollectFacts(mp3);
  if (args.Has("--json")) {
    out << "{";
    for (size_t i = 0; i < facts.size(); ++i) {
      out << (i ? ", " : "") << JsonString(facts[i].first) << ": " << JsonValue(facts[i].second);
    }
    out << "}\n";
  } else {
    for (const auto& [name, value] : facts) out << name << ": " << PlainText(value) << "\n";
  }
  // The facts of a file that is no MP3 are shown too, but the command did not succeed.
  if (!mp3.Info.Valid) {
    err << file << ": " << Messages().Ms_NotMP3 << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

// ---- verify ----

// Prints what the decoder met in one file; false when the file has decode errors or holds no
// stream the decoder can play.
bool PrintStreamCheck(const std::string& file, std::ostream& out, std::ostream& err) {
  const TStreamCheck c = CheckStream(file);
  out << file << "\n";
  if (!c.Decodable) {
    err << file << ": cannot decode: " << c.Error << "\n";
    return false;
  }
  out << "  Frames: " << c.Frames << "\n";
  out << "  DecodedMs: " << c.DecodedMs << "\n";
  out << "  DecodedSamples: " << c.Samples << "\n";
  out << "  DecodeErrors: " << c.DecodeErrors << "\n";
  out << "  ReservoirFrames: " << c.ReservoirFrames << "\n";
  return c.DecodeErrors == 0;
}

int CmdVerify(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  const TArgs args = ParseArgs(words, {}, {});
  if (args.Positional.empty()) throw EUsage("verify takes one FILE or more");
  bool allClean = true;
  for (const std::string& file : args.Positional) {
    allClean = PrintStreamCheck(file, out, err) && allClean;
  }
  return allClean ? kExitOk : kExitFailed;
}

// ---- cut ----

int CmdCut(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  const TArgs args = ParseArgs(words, kTagValueOptions, {"--no-tag", "--vbr-header", "--verify"});
  if (args.Positional.size() != 4) throw EUsage("cut takes FILE START END OUT");
  const std::string& file = args.Positional[0];
  const int64_t startMs = ParseTimeArg(args.Positional[1]);
  const int64_t endMs = ParseTimeArg(args.Positional[2]);
  const std::string& target = args.Positional[3];
  const TTagOptions tagOptions = ParseTagOptions(args);
  if (startMs >= endMs) throw EFailed(Messages().Ms_ClipErr);
  TKorvaMP3 mp3(nullptr);  // the cut needs no exact length
  mp3.VbrHeader = args.Has("--vbr-header");
  Analyze(mp3, file, false);
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);
  if (IsSameFile(mp3.Info.FileName, target)) throw EFailed(Messages().Ms_NotSaveName + target);
  int64_t bytes = 0;
  int64_t durationMs = 0;
  if (!mp3.SaveSegment(startMs, endMs, target, tag, bytes, durationMs)) {
    err << target << ": " << Messages().Ms_NotSave << "\n";
    return kExitFailed;
  }
  out << "Bytes: " << bytes << "\n";
  out << "DurationMs: " << durationMs << "\n";
  if (args.Has("--verify") && !PrintStreamCheck(target, out, err)) return kExitFailed;
  return kExitOk;
}

// ---- split ----

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (size_t pos = text.find(what); pos != std::string::npos;
       pos = text.find(what, pos + with.size())) {
    text.replace(pos, what.size(), with);
  }
  return text;
}

int CmdSplit(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  std::vector<std::string> valueOptions = kTagValueOptions;
  valueOptions.insert(valueOptions.end(), {"--parts", "--every", "--out"});
  const TArgs args = ParseArgs(words, valueOptions, {"--no-tag", "--vbr-header", "--verify"});
  if (args.Positional.size() != 1) throw EUsage("split takes one FILE");
  const std::string* parts = args.Value("--parts");
  const std::string* every = args.Value("--every");
  if (!parts == !every) throw EUsage("split takes either --parts N or --every H:MM:SS");
  TSplitRequest request;
  if (parts) {
    request.SplitType = 0;
    request.SplitInto = ParsePartsArg(*parts);
  } else {
    request.SplitType = 1;
    ParseEveryArg(*every, request);
  }
  const std::string* outOption = args.Value("--out");
  const std::string folder = outOption ? *outOption : std::string();
  const std::string& file = args.Positional[0];
  const TTagOptions tagOptions = ParseTagOptions(args);

  // The split uses the exact length, as the desktop program does.
  TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
  mp3.VbrHeader = args.Has("--vbr-header");
  // The frame index spares every piece the walk from the first frame.
  Analyze(mp3, file, true, true, true);
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);

  // The checks of the split options dialog, in its order.
  const std::string shownFolder = folder.empty() ? "." : folder;
  struct stat st;
  if (stat(shownFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw EFailed(shownFolder + ": " + Messages().Ms_PathNotExist);
  }
  if (faccessat(AT_FDCWD, shownFolder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    throw EFailed(shownFolder + ": " + Messages().Ms_NotWrite);
  }
  request.Duration = mp3.Info.Duration;
  if (request.SplitType == 0 && (request.SplitInto < 2 || request.SplitInto > 200)) {
    throw EFailed(Messages().Ms_OptionErr1);
  }
  if (request.SplitType != 0) {
    const int64_t piece = SplitPieceMs(request);
    if (piece < 1000 || piece >= request.Duration) {
      throw EFailed(ReplaceAll(Messages().Ms_OptionErr2, "%1", FormatTimeCode(request.Duration)));
    }
  }

  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  const int count = BuildSplitRanges(request, starts, ends);
  if (count <= 0) throw EFailed(file + ": the file has no length to split");

  const bool progress = isatty(STDERR_FILENO) == 1;
  bool anyFailed = false;
  std::vector<std::string> written;
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveSegments(
      starts, ends,
      [&](size_t piece) {
        if (progress) err << "\r\x1b[KWriting piece " << piece + 1 << " of " << count << std::flush;
        return names.Next();
      },
      tag, true,
      [&](size_t, const TSegmentResult& result) {
        if (progress) err << "\r\x1b[K" << std::flush;
        if (result.Ok) {
          out << result.Path << std::endl;
          if (args.Has("--verify")) written.push_back(result.Path);
        } else {
          anyFailed = true;
          err << result.Path << ": " << Messages().Ms_NotSave << std::endl;
        }
      });
  bool allClean = true;
  for (const std::string& piece : written) allClean = PrintStreamCheck(piece, out, err) && allClean;
  if (anyFailed) {
    err << Messages().Ms_NotSave << "\n";
    return kExitFailed;
  }
  return allClean ? kExitOk : kExitFailed;
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  for (const std::string& w : words) {
    if (w == "--") break;
    if (w == "--help" || w == "-h") {
      out << kUsage;
      return kExitOk;
    }
  }
  try {
    if (words.empty()) throw EUsage("no command given");
    const std::string command = words.front();
    words.erase(words.begin());
    if (command == "info") return CmdInfo(words, out, err);
    if (command == "cut") return CmdCut(words, out, err);
    if (command == "split") return CmdSplit(words, out, err);
    if (command == "verify") return CmdVerify(words, out, err);
    throw EUsage("unknown command " + command);
  } catch (const EUsage& e) {
    err << "pelcato-cli: " << e.what() << "\n\n" << kUsage;
    return kExitUsage;
  } catch (const EFailed& e) {
    err << e.what() << "\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    err << "pelcato-cli: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace pelcato
