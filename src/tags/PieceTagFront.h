// The ID3v2 tags in front of the pieces of one save, as the saves of TKorvaMP3 ask for them.
#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "mp3/KorvaMp3.h"
#include "tags/Id3v2PieceTag.h"

namespace pelcato {

using TPieceFieldsFor = std::function<TPieceTagFields(size_t piece)>;
using TTagWarning = std::function<void(const std::string& warning)>;

class TPieceTags {
 public:
  // Piece i gets tag rendered in mode with the fields fieldsFor(i). warn hears every warning
  // once, the source's among them, when the first tag is made. tag must outlive this.
  TPieceTags(const TId3v2PieceTag& tag, TId3v2Mode mode, TPieceFieldsFor fieldsFor,
             TTagWarning warn);

  // The tag of piece i of a split of count pieces (0: a cut), numbered i+1/count in TRCK. A
  // kept tag that states a length gets the piece's, asked of lengthMs only then.
  std::vector<uint8_t> Render(size_t piece, size_t count, const TKorvaMP3::TLengthOf& lengthMs);
  // Render for the saves, nothing with TId3v2Mode::None. This object must outlive the save.
  TKorvaMP3::TFrontFor Front(size_t count);

 private:
  const TId3v2PieceTag& FTag;
  TId3v2Mode FMode;
  TPieceFieldsFor FFieldsFor;
  TTagWarning FWarn;
  std::set<std::string> FSaid;
};

}  // namespace pelcato
