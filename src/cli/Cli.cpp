#include "cli/Cli.h"

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace pelcato {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  pelcato-cli info [--json] FILE\n"
    "  pelcato-cli cut FILE START END OUT [--overwrite] [TAG OPTIONS] [OUTPUT OPTIONS]\n"
    "                  [VOLUME OPTIONS]\n"
    "  pelcato-cli split FILE (--parts N | --every TIME) [--out DIR] [TAG OPTIONS]\n"
    "                    [OUTPUT OPTIONS] [VOLUME OPTIONS]\n"
    "  pelcato-cli split FILE --cue SHEET.cue [--out DIR] [TAG OPTIONS] [OUTPUT OPTIONS]\n"
    "                    [VOLUME OPTIONS]\n"
    "  pelcato-cli split FILE --silence [--threshold DB] [--min-pause SECONDS] [--dry-run]\n"
    "                         [--out DIR] [TAG OPTIONS] [OUTPUT OPTIONS] [VOLUME OPTIONS]\n"
    "  pelcato-cli split FILE --size SIZE [--out DIR] [TAG OPTIONS] [OUTPUT OPTIONS]\n"
    "                    [VOLUME OPTIONS]\n"
    "  pelcato-cli verify FILE...\n"
    "  pelcato-cli peaks FILE [--width N] [--json]\n"
    "  pelcato-cli loudness FILE... [--json]\n"
    "  pelcato-cli --help | --version\n"
    "\n"
    "info   prints the stream facts (with the channel mode, the header frame the file starts\n"
    "       with and, for a VBR file, its average bit rate), the ID3v1 tag and the ID3v2 tag's\n"
    "       version and frame ids of FILE (--json: as one JSON object); for a file that is no\n"
    "       MP3, why not.\n"
    "cut    writes the frames from START to END into OUT. An existing OUT is not replaced\n"
    "       unless --overwrite is given.\n"
    "split  writes FILE as 2 to 200 equal parts, or as pieces of the given duration, into\n"
    "       DIR (default: the current folder; made with its parents when missing), named\n"
    "       NAME-yymmdd-0001.mp3 and so on.\n"
    "       --cue: one piece per track of the sheet, from its INDEX 01 to the next track's,\n"
    "       named \"NN - TITLE.mp3\", with a tag from the sheet (title, performer, album,\n"
    "       track, REM DATE, REM GENRE); the tag options override its fields.\n"
    "       --silence: cuts in the middle of every pause quieter than DB dBFS (RMS over\n"
    "       10 ms windows; default -48) that lasts SECONDS or longer (default 2); pieces\n"
    "       shorter than that join the next. --dry-run lists the pauses and writes nothing.\n"
    "       --size: pieces of whole frames of at most SIZE bytes each, tags and VBR header\n"
    "       frame included; SIZE in bytes or with K, M or G (1024, 1024^2, 1024^3).\n"
    "       No piece replaces an existing file; a piece that fails does not stop the others.\n"
    "verify decodes every frame of each FILE and prints its frames, its decoded length, its\n"
    "       decode errors, the frames at its start whose audio data lie in frames before\n"
    "       it (the bit reservoir), the gapless fields of its LAME extension (delay, padding,\n"
    "       encoder) and what players make of its timeline and length. Exit status 1 when a\n"
    "       file has decode errors.\n"
    "peaks  decodes every frame of FILE and prints its waveform in N columns (default\n"
    "       1000, at most 100000) from the start to the end of what a player plays: per\n"
    "       column its start in ms, the smallest and largest sample (-1 to 1) and the RMS\n"
    "       level in dBFS (-120 for silence); --json: one object with \"width\",\n"
    "       \"ms_per_column\" and the arrays \"min\", \"max\" and \"rms_db\".\n"
    "loudness decodes each FILE and prints its integrated loudness (LUFS), loudness range (LU),\n"
    "       sample peak (dBFS), true peak (dBTP) and ReplayGain 2.0 gain (dB, to -18 LUFS),\n"
    "       per ITU-R BS.1770; for several files also of all of them together (the album).\n"
    "       --json: {\"files\": [...], \"album\": {...}} with the keys integrated_lufs,\n"
    "       loudness_range_lu, sample_peak_dbfs, true_peak_dbtp and replaygain_db.\n"
    "\n"
    "Times (START, END, --every TIME): 1:30, 1:02:03.5, 00:01:00.000, 000:01:02.500, 90.5s,\n"
    "500ms or whole milliseconds such as 90500. Behind a colon, minutes and seconds are 0 to\n"
    "59.\n"
    "\n"
    "Output options (cut and split):\n"
    "  --no-vbr-header  pieces are the source's frames and nothing else. By default a piece\n"
    "                whose frames do not all share one bit rate (or whose size does not tell\n"
    "                its length at the one they share) starts with a new VBR header\n"
    "                frame (Xing) with its frame count, byte count and seek table, so that\n"
    "                players show and seek its length right (--vbr-header says so\n"
    "                explicitly). The source's own header frame (Xing, Info, VBRI) is never\n"
    "                copied: it counts the source's frames, not the piece's\n"
    "  --exact       pieces play exactly the samples from START to END in players that\n"
    "                honour the LAME extension's gapless fields (libmpg123, ffmpeg and\n"
    "                what is built on them): a header frame with those fields first, a few\n"
    "                frames more than the range on either side, so split pieces overlap\n"
    "                and play on without a gap; Layer III only\n"
    "  --verify      runs verify on every file written\n"
    "\n"
    "Tag options (cut and split). Without them a new file gets the ID3v1 tag of FILE when\n"
    "FILE has one; each option sets one field and writes a tag:\n"
    "  --title TEXT  --artist TEXT  --album TEXT  --year TEXT  --comment TEXT\n"
    "  --track N     (1 to 255; anything else: no track number)\n"
    "  --genre G     (a number 0 to 147, a genre name, or none)\n"
    "  --no-tag      write no ID3v1 tag\n"
    "  --id3v2 keep  also start with the source's ID3v2 tag (a new one without it), in its\n"
    "                version: a split piece's TRCK n/N, TLEN its length where there was one\n"
    "  --id3v2 new   also start with a new ID3v2.4 tag in UTF-8 from the source's ID3v2\n"
    "                tag's texts (its ID3v1 tag's without one) and the fields above\n"
    "\n"
    "Volume options (cut and split; Layer III). The global gain of every granule changes in\n"
    "steps of 1.5 dB; nothing is decoded or encoded again, and the source stays as it is:\n"
    "  --gain DB          louder (or with a minus, quieter) by DB, to the nearest step\n"
    "  --normalize        each piece to -18 LUFS (ReplayGain 2.0), measured on the decode,\n"
    "                     within half a step, lowered so no sample passes 0 dBFS\n"
    "  --target LUFS      another loudness for --normalize\n"
    "  --album-gain       one gain for all pieces of a split, from their loudness together\n"
    "  --allow-clip       let --normalize take its whole gain even where samples clip\n"
    "  --fade-in MS       the gain ramps up from 40 dB down over a piece's first MS\n"
    "  --fade-out MS      and down over its last MS (with --exact: its own first and last\n"
    "                     sample)\n"
    "  --replaygain-tags  ReplayGain 2.0 fields in each piece's ID3v2 tag (TXXX\n"
    "                     REPLAYGAIN_TRACK_GAIN and _PEAK, ALBUM with --album-gain); without\n"
    "                     --id3v2 the tag is kept as with --id3v2 keep\n";

}  // namespace

// The user messages, in their built-in English wording.
const TMessageTable& Messages() {
  static const TMessageTable messages;
  return messages;
}

void Analyze(TKorvaMP3& mp3, const std::string& file, bool measure, bool requireValid, bool index) {
  try {
    mp3.AnalyzeFile(file, measure, index);
  } catch (const std::exception& e) {
    throw EFailed(file + ": cannot read the file: " + e.what());
  }
  if (requireValid && !mp3.Info.Valid) throw EFailed(file + ": " + NotMp3Text(mp3.Info));
}

std::string NotMp3Text(const TMp3DataInfo& info) {
  const std::string& why = info.InvalidReason;
  return Messages().Ms_NotMP3 + (why.empty() ? "" : ": " + why);
}

bool AskExact(TKorvaMP3& mp3, bool exact, std::ostream& err) {
  mp3.Exact = exact;
  if (!exact) return false;
  std::string refusal;
  try {
    refusal = mp3.ExactRefusal();
  } catch (const std::exception& e) {
    throw EFailed(mp3.Info.FileName + ": cannot read the file: " + e.what());
  }
  if (refusal.empty()) return true;
  WarnNotExact(mp3, refusal, err);
  return false;
}

void WarnNotExact(const TKorvaMP3& mp3, const std::string& reason, std::ostream& err) {
  err << mp3.Info.FileName << ": not exact to the sample: " << reason
      << "; whole frames are written\n";
}

TID3v1Tag BuildTag(const TTagOverrides& options, const TMp3DataInfo& info) {
  return BuildTagWithOverrides(info.ID3v1Size > 0 ? &info.Tag : nullptr, options,
                               TagCodePageFromEnvironment());
}

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
    if (command == "peaks") return CmdPeaks(words, out, err);
    if (command == "loudness") return CmdLoudness(words, out, err);
    throw EUsage("unknown command " + command);
  } catch (const EBadValue& e) {
    err << "pelcato-cli: " << e.what() << "\n";
    return kExitUsage;
  } catch (const EUsage& e) {
    err << "pelcato-cli: " << e.what() << "; see pelcato-cli --help\n";
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
