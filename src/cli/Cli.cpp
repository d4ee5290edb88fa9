#include "cli/Cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "edit/TagText.h"
#include "edit/TimeCode.h"
#include "io/Paths.h"
#include "mp3/KorvaMp3.h"
#include "mp3/Mpg123Player.h"
#include "mp3/StreamCheck.h"
#include "settings/MessageTable.h"
#include "split/CueSheet.h"
#include "split/SilenceSplit.h"
#include "split/SizeSplit.h"
#include "split/SplitOptions.h"
#include "split/SplitPlan.h"
#include "text/Text.h"

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
    "  pelcato-cli split FILE --cue SHEET.cue [--out DIR] [TAG OPTIONS]\n"
    "  pelcato-cli split FILE --silence [--threshold DB] [--min-pause SECONDS] [--dry-run]\n"
    "                         [--out DIR] [TAG OPTIONS]\n"
    "  pelcato-cli split FILE --size SIZE [--out DIR] [TAG OPTIONS]\n"
    "  pelcato-cli verify FILE...\n"
    "  pelcato-cli --help | --version\n"
    "\n"
    "info   prints the stream facts and the ID3v1 tag of FILE (--json: as one JSON object).\n"
    "cut    writes the frames from START to END into OUT. START and END are time codes\n"
    "       such as 000:01:02.500, or whole milliseconds.\n"
    "split  writes FILE as 2 to 200 equal parts, or as pieces of the given duration, into\n"
    "       DIR (default: the current folder; made with its parents when missing), named\n"
    "       NAME-yymmdd-0001.mp3 and so on.\n"
    "       --cue: one piece per track of the sheet, from its INDEX 01 to the next track's,\n"
    "       named \"NN - TITLE.mp3\", with a tag from the sheet (title, performer, album,\n"
    "       track, REM DATE, REM GENRE); the tag options override its fields.\n"
    "       --silence: cuts in the middle of every pause quieter than DB dBFS (RMS over\n"
    "       10 ms windows; default -48) that lasts SECONDS or longer (default 2); pieces\n"
    "       shorter than that join the next. --dry-run lists the pauses and writes nothing.\n"
    "       --size: pieces of whole frames of at most SIZE bytes each, tag included; SIZE\n"
    "       in bytes or with K, M or G (1024, 1024^2, 1024^3).\n"
    "       No piece replaces an existing file; a piece that fails does not stop the others.\n"
    "verify decodes every frame of each FILE and prints its frames, its decoded length, its\n"
    "       decode errors and the frames at its start whose audio data lie in frames before\n"
    "       it (the bit reservoir). Exit status 1 when a file has decode errors.\n"
    "\n"
    "  --vbr-header  a piece whose frames do not all share one bit rate starts with a new\n"
    "                VBR header frame (Xing), so that players show and seek its length right;\n"
    "                not with --size, whose pieces keep to SIZE\n"
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
  if (SameText(text, "none")) return -1;
  if (const int genre = GenreNumber(text); genre >= 0) return genre;
  int64_t n = 0;
  if (ParseDecimal(text, n)) throw EUsage("--genre: a genre number is 0 to 147");
  throw EUsage("--genre: unknown genre " + text);
}

// What the tag options ask for, checked before any file is touched.
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
  if (o.NoTag && o.SetsAField()) {
    throw EUsage("--no-tag cannot go with options that set tag fields");
  }
  return o;
}

// The tag a new file gets: the source's, as the tag page shows it after opening, with the
// fields given on the command line put in.
TID3v1Tag BuildTag(const TTagOverrides& options, const TMp3DataInfo& info) {
  return BuildTagWithOverrides(info.ID3v1Size > 0 ? &info.Tag : nullptr, options,
                               TagCodePageFromEnvironment());
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
    if (const size_t len = Utf8CharLength(p + i, n - i); len != 0) {
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
  const TTagOverrides tagOptions = ParseTagOptions(args);
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

// The checks of the split options dialog on the output folder, in its order; a missing folder
// is made first, with its parents, as mp3splt does.
void CheckOutputFolder(const std::string& folder) {
  const std::string shownFolder = folder.empty() ? "." : folder;
  std::error_code made;
  if (!folder.empty()) std::filesystem::create_directories(folder, made);
  if (const std::string error = ValidateSplitFolder(shownFolder, Messages()); !error.empty()) {
    throw EFailed(shownFolder + ": " + error);
  }
}

// Progress is for a person watching: only on the process's own standard error, and only when
// that is a terminal.
bool ShowsProgress(const std::ostream& err) {
  return (&err == &std::cerr || &err == &std::clog) && isatty(STDERR_FILENO) == 1;
}

// Shows the pieces as they are written: each path on standard output, each failure on
// standard error, and the count on a terminal. Remembers whether any failed, and with
// --verify checks every piece written once all are.
class TPieceReport {
 public:
  TPieceReport(std::ostream& out, std::ostream& err, bool verify)
      : FOut(out), FErr(err), FProgress(ShowsProgress(err)), FVerify(verify) {}

  std::ostream& Out() { return FOut; }
  std::ostream& Err() { return FErr; }
  bool Progress() const { return FProgress; }
  void Expect(size_t count) { FCount = count; }

  // Called with each piece's path just before it is written.
  const std::string& Starting(size_t piece, const std::string& path) {
    if (FProgress) {
      FErr << "\r\x1b[KWriting piece " << piece + 1 << " of " << FCount << std::flush;
    }
    FPath = path;
    return FPath;
  }
  void Done(const TSegmentResult& result) {
    if (FProgress) FErr << "\r\x1b[K" << std::flush;
    if (result.Ok) {
      FOut << result.Path << std::endl;
      if (FVerify) FWritten.push_back(result.Path);
    } else {
      FAnyFailed = true;
      // A piece never creates its name when it fails, so a name there now was there before.
      if (PathExists(result.Path)) {
        FErr << result.Path << ": the file exists; it is not replaced" << std::endl;
      } else {
        FErr << result.Path << ": " << Messages().Ms_NotSave << std::endl;
      }
    }
  }
  int Finish() {
    bool allClean = true;
    for (const std::string& piece : FWritten) {
      allClean = PrintStreamCheck(piece, FOut, FErr) && allClean;
    }
    if (FAnyFailed) {
      FErr << Messages().Ms_NotSave << "\n";
      return kExitFailed;
    }
    return allClean ? kExitOk : kExitFailed;
  }

 private:
  std::ostream& FOut;
  std::ostream& FErr;
  bool FProgress;
  bool FVerify;
  size_t FCount = 0;
  bool FAnyFailed = false;
  std::string FPath;
  std::vector<std::string> FWritten;
};

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

int SplitByCue(TKorvaMP3& mp3, const std::string& sheetPath, const std::string& folder,
               const TTagOverrides& tagOptions, TPieceReport& report) {
  const TTagCodePage cp = TagCodePageFromEnvironment();
  TCueSheet sheet;
  std::string error;
  if (!ReadCueSheet(sheetPath, cp, sheet, error)) throw EFailed(sheetPath + ": " + error);
  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  if (!CueTrackRanges(sheet, mp3.Info.Duration, starts, ends, error)) {
    throw EFailed(sheetPath + ": " + error);
  }
  CheckOutputFolder(folder);
  report.Expect(starts.size());
  mp3.SaveSegmentsWithTags(
      starts, ends,
      [&](size_t piece) {
        return report.Starting(piece, JoinPath(folder, CuePieceName(sheet.Tracks[piece])));
      },
      [&](size_t piece) {
        // The sheet's fields stand where the source's tag would; the options override them.
        const TID3v1Tag fromSheet =
            BuildTagFromFields(CueTrackFields(sheet, sheet.Tracks[piece], cp));
        return BuildTagWithOverrides(&fromSheet, tagOptions, cp);
      },
      true, [&](size_t, const TSegmentResult& result) { report.Done(result); });
  return report.Finish();
}

int SplitAtSilence(TKorvaMP3& mp3, const TSilenceOptions& options, bool dryRun,
                   const std::string& folder, const TTagOverrides& tagOptions,
                   TPieceReport& report) {
  std::ostream& out = report.Out();
  std::ostream& err = report.Err();
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);
  if (!dryRun) CheckOutputFolder(folder);
  const bool progress = report.Progress();
  int shown = -1;
  std::vector<TPause> pauses;
  std::string error;
  const bool found = FindPauses(
      mp3.Info.FileName, options, mp3.Info.HasXing,
      [&](double done) {
        const int percent = int(done * 100.0);
        if (progress && percent != shown) {
          shown = percent;
          err << "\r\x1b[KFinding pauses: " << percent << "%" << std::flush;
        }
      },
      pauses, error);
  if (progress) err << "\r\x1b[K" << std::flush;
  if (!found) throw EFailed(mp3.Info.FileName + ": " + error);

  const int64_t minPieceMs = std::llround(options.MinPauseSeconds * 1000.0);
  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  BuildSilenceRanges(pauses, mp3.Info.Duration, minPieceMs, starts, ends);
  if (dryRun) {
    for (const TPause& p : pauses) {
      out << "Pause: " << FormatTimeCode(p.StartMs) << " length " << FormatTimeCode(p.LengthMs)
          << (p.AtEdge ? " (at an edge, not cut)" : " cut " + FormatTimeCode(p.CutMs)) << "\n";
    }
    out << "Pauses: " << pauses.size() << "\n";
    out << "Pieces: " << starts.size() << "\n";
    return kExitOk;
  }
  if (starts.empty()) throw EFailed(mp3.Info.FileName + ": the file has no length to split");
  report.Expect(starts.size());
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveSegments(
      starts, ends, [&](size_t piece) { return report.Starting(piece, names.Next()); }, tag, true,
      [&](size_t, const TSegmentResult& result) { report.Done(result); });
  return report.Finish();
}

int SplitBySize(TKorvaMP3& mp3, const std::string& sizeText, int64_t limit,
                const std::string& folder, const TTagOverrides& tagOptions, TPieceReport& report) {
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);
  CheckOutputFolder(folder);
  std::vector<TSizedFrame> frames;
  int64_t audioEnd = -1;
  try {
    audioEnd = mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& f) {
      frames.push_back({f.Pos, f.Bytes});
    });
  } catch (const std::exception& e) {
    throw EFailed(mp3.Info.FileName + ": cannot read the file: " + e.what());
  }
  if (audioEnd < 0 || frames.empty()) {
    throw EFailed(mp3.Info.FileName + ": the file has no frames to split");
  }
  const int64_t tagBytes = tag.IsTag() ? kId3v1Size : 0;
  const TSizePlan plan = PlanSizePieces(frames, audioEnd, limit, tagBytes);
  if (!plan.Fits) {
    throw EUsage("--size " + sizeText + " (" + std::to_string(limit) +
                 " bytes) is smaller than the largest frame (" + std::to_string(plan.LargestFrame) +
                 " bytes)" + (tagBytes ? " plus the tag (128 bytes)" : ""));
  }
  report.Expect(plan.From.size());
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveFrameRanges(
      plan.From, plan.To, [&](size_t piece) { return report.Starting(piece, names.Next()); }, tag,
      true, [&](size_t, const TSegmentResult& result) { report.Done(result); });
  return report.Finish();
}

// The player's length of a file for a split, measured on a thread of its own from the start,
// beside the analysis and its frame index, or only once the index has shown that the file's
// header frame cannot tell it; Take hands it to the analysis as AnalyzeFile would.
class TLengthScan {
 public:
  TLengthScan(const std::string& file, bool deferred) : FFile(file), FDeferred(deferred) {
    if (FDeferred) return;
    try {
      FThread = std::thread([this] { Run(true); });
    } catch (const std::system_error&) {
      FDeferred = true;  // no second thread: measured in Take
    }
  }
  ~TLengthScan() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
  }
  TLengthScan(const TLengthScan&) = delete;
  TLengthScan& operator=(const TLengthScan&) = delete;
  void Take(TKorvaMP3& mp3) {
    if (mp3.HeaderCountsEveryFrame()) {
      // The player would count exactly the frames the header counts: a scan under way is
      // stopped, and the player tells the length from the header (opened afresh, so that a
      // scan stopped in the middle of opening cannot matter).
      FStop = true;
      if (FThread.joinable()) FThread.join();
      if (!FMeasured) {
        FStop = false;
        FError.clear();
        FFault = TPlayerFault::Other;
        Run(false);
      }
    } else {
      if (FThread.joinable()) FThread.join();
      if (FDeferred) Run(true);
    }
    mp3.TakeLength(FMeasured, FLength, FError, FFault);
  }

 private:
  void Run(bool scan) {
    try {
      TMpg123Player player;
      player.SetLengthOnly(true);  // counting the frames needs no more than their headers
      player.SetStop(&FStop);
      player.Open(FFile);
      FLength = scan ? player.Length() : player.LengthWithoutScan();
      FMeasured = true;
    } catch (const EPlayerError& e) {
      FError = e.what();
      FFault = e.Fault();
    } catch (const std::exception& e) {
      FError = e.what();
    }
  }

  const std::string FFile;
  bool FDeferred;
  std::atomic<bool> FStop{false};
  bool FMeasured = false;
  int64_t FLength = 0;
  std::string FError;
  TPlayerFault FFault = TPlayerFault::Other;
  std::thread FThread;
};

int CmdSplit(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  std::vector<std::string> valueOptions = kTagValueOptions;
  valueOptions.insert(valueOptions.end(), {"--parts", "--every", "--out", "--cue", "--size",
                                           "--threshold", "--min-pause"});
  const TArgs args = ParseArgs(words, valueOptions,
                               {"--no-tag", "--silence", "--dry-run", "--vbr-header", "--verify"});
  if (args.Positional.size() != 1) throw EUsage("split takes one FILE");
  const std::string* parts = args.Value("--parts");
  const std::string* every = args.Value("--every");
  const std::string* cue = args.Value("--cue");
  const std::string* size = args.Value("--size");
  const bool silence = args.Has("--silence");
  if (int(!!parts) + int(!!every) + int(!!cue) + int(!!size) + int(silence) != 1) {
    throw EUsage(
        "split takes one of --parts N, --every H:MM:SS, --cue SHEET, --silence and --size SIZE");
  }
  if (!silence &&
      (args.Value("--threshold") || args.Value("--min-pause") || args.Has("--dry-run"))) {
    throw EUsage("--threshold, --min-pause and --dry-run go with --silence");
  }
  TSplitRequest request;
  TSilenceOptions silenceOptions;
  int64_t sizeLimit = 0;
  if (parts) {
    request.SplitType = TSplitType::IntoParts;
    request.SplitInto = ParsePartsArg(*parts);
  } else if (every) {
    request.SplitType = TSplitType::ByDuration;
    ParseEveryArg(*every, request);
  } else if (silence) {
    if (const std::string* t = args.Value("--threshold")) {
      silenceOptions.ThresholdDb = ParseNumberArg("--threshold", *t, -150.0, 0.0);
    }
    if (const std::string* m = args.Value("--min-pause")) {
      silenceOptions.MinPauseSeconds = ParseNumberArg("--min-pause", *m, 0.05, 86400.0);
    }
  } else if (size && !ParseByteSize(*size, sizeLimit)) {
    throw EUsage("--size needs a number of bytes, optionally with K, M or G: " + *size);
  }
  const std::string* outOption = args.Value("--out");
  const std::string folder = outOption ? *outOption : std::string();
  const std::string& file = args.Positional[0];
  const TTagOverrides tagOptions = ParseTagOptions(args);

  // The split uses the exact length, as the desktop program does. A file whose first frame
  // counts the frames (lame and ffmpeg write one) usually tells it without the player's scan,
  // which then waits until the walk of the frame index has shown whether it is needed. Any
  // other file is scanned from the start on a thread of its own while this one analyses the
  // file and walks its frames; started before this thread gets busy, the scan is not left
  // queued behind it on the same processor. The frame index spares every piece the walk from
  // the first frame; the size split walks the frames itself.
  TKorvaMP3 mp3(nullptr);
  mp3.VbrHeader = args.Has("--vbr-header");
  Analyze(mp3, file, false);  // the tags and the first frame only: a moment
  TLengthScan scan(file, !size && mp3.HeaderFrameCount() >= 0);
  Analyze(mp3, file, false, true, !size);
  scan.Take(mp3);
  TPieceReport report(out, err, args.Has("--verify"));
  if (cue) return SplitByCue(mp3, *cue, folder, tagOptions, report);
  if (silence) {
    return SplitAtSilence(mp3, silenceOptions, args.Has("--dry-run"), folder, tagOptions, report);
  }
  if (size) return SplitBySize(mp3, *size, sizeLimit, folder, tagOptions, report);
  const TID3v1Tag tag = BuildTag(tagOptions, mp3.Info);

  // The checks of the split options dialog, in its order.
  CheckOutputFolder(folder);
  request.Duration = mp3.Info.Duration;
  if (const std::string error = ValidateSplitValues(request, Messages()); !error.empty()) {
    throw EFailed(error);
  }

  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  const int count = BuildSplitRanges(request, starts, ends);
  if (count <= 0) throw EFailed(file + ": the file has no length to split");

  report.Expect(size_t(count));
  TSplitNamer names(mp3.Info.FileName, folder);
  mp3.SaveSegments(
      starts, ends, [&](size_t piece) { return report.Starting(piece, names.Next()); }, tag, true,
      [&](size_t, const TSegmentResult& result) { report.Done(result); });
  return report.Finish();
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
    if (w == "--version") {
      out << "pelcato-cli " << PELCATO_VERSION << "\n";
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
