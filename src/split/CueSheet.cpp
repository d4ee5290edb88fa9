#include "split/CueSheet.h"

#include <libcue.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>

#include "edit/TimeCode.h"
#include "mp3/Id3Tags.h"
#include "split/CueSyntax.h"
#include "split/SplitPlan.h"
#include "text/Text.h"

namespace pelcato {
namespace {

struct TCdDeleter {
  void operator()(Cd* cd) const { cd_delete(cd); }
};

std::string Text(const char* s) {
  return s ? std::string(s) : std::string();
}

}  // namespace

int64_t CdFramesToMs(int64_t frames) {
  // 1000 / 75 = 40 / 3; the remainder is a third or two thirds of a millisecond. Counts no
  // file reaches stay beyond every length instead of wrapping.
  constexpr int64_t kMaxFrames = (INT64_MAX - 2) / 40;
  if (frames > kMaxFrames) return (kMaxFrames * 40 + 2) / 3;
  return (frames * 40 + 2) / 3;
}

bool ParseCueSheet(std::string_view text, const TTagCodePage& codePage, TCueSheet& sheet,
                   std::string& error) {
  sheet = TCueSheet();
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.remove_prefix(3);
  if (text.find('\0') != std::string_view::npos) {
    error = "not a cue sheet (it holds zero bytes)";
    return false;
  }
  const std::string utf8 = IsValidUtf8(text) ? std::string(text) : TagTextToUtf8(text, codePage);

  // Checked first, so that libcue never has a complaint to print.
  std::string forParser;
  if (!CheckCueSyntax(utf8, forParser, error)) return false;
  const std::unique_ptr<Cd, TCdDeleter> cd(cue_parse_string(forParser.c_str()));
  if (!cd) {
    error = "the cue sheet does not parse";
    return false;
  }
  const int count = cd_get_ntrack(cd.get());
  if (count <= 0) {
    error = "the cue sheet names no tracks";
    return false;
  }
  const Cdtext* discText = cd_get_cdtext(cd.get());
  sheet.Title = Text(cdtext_get(PTI_TITLE, discText));
  sheet.Performer = Text(cdtext_get(PTI_PERFORMER, discText));
  sheet.Genre = Text(cdtext_get(PTI_GENRE, discText));
  sheet.Date = Text(rem_get(REM_DATE, cd_get_rem(cd.get())));
  std::string fileName;
  for (int i = 1; i <= count; ++i) {
    const Track* track = cd_get_track(cd.get(), i);
    if (!track) {
      error = "the cue sheet does not parse (track " + std::to_string(i) + " is missing)";
      return false;
    }
    const std::string file = Text(track_get_filename(track));
    if (i == 1) {
      fileName = file;
    } else if (file != fileName) {
      // The times of each FILE count from its own start.
      error = "the cue sheet names more than one file; this splits one file only";
      return false;
    }
    const long index1 = track_get_index(track, 1);
    if (index1 < 0) {
      error = "track " + std::to_string(i) + " of the cue sheet has no INDEX 01";
      return false;
    }
    TCueTrack t;
    t.Number = i;
    t.StartMs = CdFramesToMs(index1);
    const Cdtext* trackText = track_get_cdtext(track);
    t.Title = Text(cdtext_get(PTI_TITLE, trackText));
    t.Performer = Text(cdtext_get(PTI_PERFORMER, trackText));
    if (!sheet.Tracks.empty() && t.StartMs <= sheet.Tracks.back().StartMs) {
      error = "track " + std::to_string(i) + " of the cue sheet does not start after track " +
              std::to_string(i - 1);
      return false;
    }
    sheet.Tracks.push_back(std::move(t));
  }
  return true;
}

bool ReadCueSheet(const std::string& path, const TTagCodePage& codePage, TCueSheet& sheet,
                  std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the cue sheet";
    return false;
  }
  // A sheet is a few kilobytes; anything far larger is some other file given by mistake.
  constexpr size_t kMaxSheet = 1 << 20;
  std::string text(kMaxSheet + 1, '\0');
  in.read(text.data(), std::streamsize(text.size()));
  if (in.bad()) {
    error = "cannot read the cue sheet";
    return false;
  }
  text.resize(size_t(in.gcount()));
  if (text.size() > kMaxSheet) {
    error = "too large for a cue sheet (over 1 MiB)";
    return false;
  }
  return ParseCueSheet(text, codePage, sheet, error);
}

bool CueTrackRanges(const TCueSheet& sheet, int64_t durationMs, std::vector<int64_t>& starts,
                    std::vector<int64_t>& ends, std::string& error) {
  starts.clear();
  ends.clear();
  for (size_t i = 0; i < sheet.Tracks.size(); ++i) {
    const TCueTrack& t = sheet.Tracks[i];
    if (t.StartMs >= durationMs) {
      error = "track " + std::to_string(t.Number) + " starts at " + FormatTimeCode(t.StartMs) +
              ", at or after the end of the file (" + FormatTimeCode(durationMs) + ")";
      starts.clear();
      ends.clear();
      return false;
    }
    starts.push_back(t.StartMs);
    ends.push_back(i + 1 < sheet.Tracks.size() ? sheet.Tracks[i + 1].StartMs : kToTheEnd);
  }
  return true;
}

std::string CuePieceName(const TCueTrack& track) {
  std::string number = std::to_string(track.Number);
  // Not number.insert(0, "0"), which GCC 12 at -O3 takes for an overlapping copy (-Wrestrict).
  if (number.size() < 2) number = "0" + number;
  std::string title = track.Title.empty() ? "Track " + number : track.Title;
  // Room for the number, " - " and ".mp3" within 255 bytes, cut at a character start.
  const size_t room = 255 - number.size() - 3 - 4;
  if (title.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
    title.resize(cut);
  }
  for (char& c : title) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F ||
        std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  return number + " - " + title + ".mp3";
}

TTagFields CueTrackFields(const TCueSheet& sheet, const TCueTrack& track,
                          const TTagCodePage& codePage) {
  TTagFields f;
  f.CodePage = codePage;
  f.Include = true;
  f.Title = Utf8ToTagText(track.Title, codePage);
  f.Artist = Utf8ToTagText(track.Performer.empty() ? sheet.Performer : track.Performer, codePage);
  f.Album = Utf8ToTagText(sheet.Title, codePage);
  f.Year = Utf8ToTagText(sheet.Date, codePage);
  f.Track = std::to_string(track.Number);
  f.Genre = sheet.Genre.empty() ? -1 : GenreNumber(sheet.Genre);
  return f;
}

}  // namespace pelcato
