// --id3v2 keep|new of cut and split: the source's ID3v2 tag read once, the fields of the
// pieces' ID3v2 tags in UTF-8 and at full length, and the warnings on standard error.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/Arguments.h"
#include "edit/TagText.h"
#include "mp3/KorvaMp3.h"
#include "split/CueSheet.h"
#include "tags/PieceTagFront.h"

namespace pelcato {

class TCliId3v2 {
 public:
  // Reads --id3v2; any value but keep and new is wrong usage.
  TCliId3v2(const TArgs& args, const TTagOverrides& options);
  ~TCliId3v2();

  TId3v2Mode Mode() const { return FMode; }
  // The TXXX frames piece i's tag gets (see TCliVolume::TagFrames); set before Front.
  using TUserTexts = std::function<std::vector<std::pair<std::string, std::string>>(size_t)>;
  void SetUserTexts(TUserTexts texts) { FUserTexts = std::move(texts); }
  // The analysed source: its ID3v2 tag, and the texts of its tags for a new tag.
  void TakeSource(const TKorvaMP3& mp3, std::ostream& err);
  // What the saves write in front of each of count pieces (0: a cut): the texts of the
  // source's tags or, with cue, of the sheet's track, with the tag options over them.
  // Nothing without --id3v2.
  TKorvaMP3::TFrontFor Front(size_t count, const TCueSheet* cue = nullptr);
  // The bytes of the largest tag Front(n) gives for any n up to count, for pieces no longer
  // than lengthMs.
  size_t LargestTag(size_t count, int64_t lengthMs);

 private:
  TId3v2Mode FMode = TId3v2Mode::None;
  TPieceTagFields FOptions;       // the tag options
  TPieceTagFields FSourceFields;  // the texts of the source's tags
  std::unique_ptr<TId3v2PieceTag> FTag;
  std::unique_ptr<TPieceTags> FPieces;
  const TCueSheet* FCue = nullptr;
  TUserTexts FUserTexts;
};

}  // namespace pelcato
