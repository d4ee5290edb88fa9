#include "cli/Id3v2Pieces.h"

#include <string>

#include "cli/Commands.h"
#include "edit/TimeCode.h"

namespace pelcato {
namespace {

// What over sets goes over base.
void Overlay(TPieceTagFields& base, const TPieceTagFields& over) {
  for (auto field : {&TPieceTagFields::Title, &TPieceTagFields::Artist, &TPieceTagFields::Album,
                     &TPieceTagFields::Year, &TPieceTagFields::Comment, &TPieceTagFields::Genre}) {
    if (over.*field) base.*field = over.*field;
  }
  if (over.Track) base.Track = over.Track;
}

std::string GenreText(int genre) {
  return genre < 0 ? std::string() : std::string(GenreName(genre));
}

// A track number as TRCK takes it: 0 (none) unless a whole number from 1.
int TrackNumber(const std::string& text) {
  int64_t n = 0;
  return ParseDecimal(text, n) && n >= 1 && n <= INT32_MAX ? int(n) : 0;
}

TPieceTagFields OptionFields(const TTagOverrides& o) {
  TPieceTagFields f;
  f.Title = o.Title;
  f.Artist = o.Artist;
  f.Album = o.Album;
  f.Year = o.Year;
  f.Comment = o.Comment;
  if (o.Track) f.Track = TrackNumber(*o.Track);
  if (o.Genre) f.Genre = GenreText(*o.Genre);
  return f;
}

// The texts of an ID3v1 tag in UTF-8, without the blanks some writers fill the fields with.
TPieceTagFields SourceV1Fields(const TMp3DataInfo& info) {
  TPieceTagFields f;
  if (info.ID3v1Size <= 0) return f;
  const TTagCodePage cp = TagCodePageFromEnvironment();
  const TTagFields v1 = FieldsFromTag(info.Tag, cp);
  const auto text = [&](const std::string& bytes) {
    std::string s = TagTextToUtf8(bytes, cp);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  };
  f.Title = text(v1.Title);
  f.Artist = text(v1.Artist);
  f.Album = text(v1.Album);
  f.Year = text(v1.Year);
  f.Comment = text(v1.Comment);
  f.Track = TrackNumber(v1.Track);
  f.Genre = GenreText(v1.Genre);
  return f;
}

// A track's fields as the sheet gives them, in its own UTF-8: the fields it does not give
// are left to the source's tag.
TPieceTagFields CueFields(const TCueSheet& sheet, const TCueTrack& track) {
  TPieceTagFields f;
  const auto set = [](std::optional<std::string>& field, const std::string& text) {
    if (!text.empty()) field = text;
  };
  set(f.Title, track.Title);
  set(f.Artist, track.Performer.empty() ? sheet.Performer : track.Performer);
  set(f.Album, sheet.Title);
  set(f.Year, sheet.Date);
  // A genre the ID3v1 list knows by number or name goes by its name; any other text as it is.
  const int genre = GenreNumber(sheet.Genre);
  set(f.Genre, genre >= 0 ? GenreText(genre) : sheet.Genre);
  return f;
}

}  // namespace

TCliId3v2::TCliId3v2(const TArgs& args, const TTagOverrides& options)
    : FOptions(OptionFields(options)) {
  const std::string* mode = args.Value("--id3v2");
  // ReplayGain fields need a tag to stand in: the source's, or a new one without it.
  if (!mode && args.Has("--replaygain-tags")) FMode = TId3v2Mode::Keep;
  if (!mode) return;
  if (*mode == "keep") {
    FMode = TId3v2Mode::Keep;
  } else if (*mode == "new") {
    FMode = TId3v2Mode::New;
  } else {
    throw EUsage("--id3v2 takes keep or new: " + *mode);
  }
}

TCliId3v2::~TCliId3v2() = default;

void TCliId3v2::TakeSource(const TKorvaMP3& mp3, std::ostream& err) {
  if (FMode == TId3v2Mode::None) return;
  try {
    FTag = std::make_unique<TId3v2PieceTag>(mp3.ReadID3v2Tag());
  } catch (const std::exception& e) {
    throw EFailed(mp3.Info.FileName + ": cannot read the file: " + e.what());
  }
  // A new tag takes the texts of the source's ID3v2 tag, at full length, and what its ID3v1
  // tag gives beyond them; so does a kept one for a source without an ID3v2 tag.
  if (FMode == TId3v2Mode::New || FTag->SourceVersion() == 0) {
    FSourceFields = SourceV1Fields(mp3.Info);
    Overlay(FSourceFields, FTag->SourceFields());
  }
  const std::string file = mp3.Info.FileName;
  FPieces = std::make_unique<TPieceTags>(
      *FTag, FMode,
      [this](size_t piece) {
        TPieceTagFields f = FCue ? CueFields(*FCue, FCue->Tracks[piece]) : FSourceFields;
        Overlay(f, FOptions);
        if (FUserTexts) f.UserTexts = FUserTexts(piece);
        return f;
      },
      [&err, file](const std::string& warning) { err << file << ": " << warning << "\n"; });
}

TKorvaMP3::TFrontFor TCliId3v2::Front(size_t count, const TCueSheet* cue) {
  FCue = cue;
  return FPieces ? FPieces->Front(count) : TKorvaMP3::TFrontFor();
}

size_t TCliId3v2::LargestTag(size_t count, int64_t lengthMs) {
  if (!FPieces || count == 0) return 0;
  // TagLib's padding keeps a tag at its source's size until its frames outgrow it, so the
  // longest texts give the largest tag: the last piece's number and a length of one more digit.
  return FPieces->Render(count - 1, count, [&] { return lengthMs * 10 + 9; }).size();
}

}  // namespace pelcato
