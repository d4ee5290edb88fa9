#include "tags/PieceTagFront.h"

#include <utility>

namespace pelcato {

TPieceTags::TPieceTags(const TId3v2PieceTag& tag, TId3v2Mode mode, TPieceFieldsFor fieldsFor,
                       TTagWarning warn)
    : FTag(tag), FMode(mode), FFieldsFor(std::move(fieldsFor)), FWarn(std::move(warn)) {}

std::vector<uint8_t> TPieceTags::Render(size_t piece, size_t count,
                                        const TKorvaMP3::TLengthOf& lengthMs) {
  TPieceTagFields fields = FFieldsFor ? FFieldsFor(piece) : TPieceTagFields();
  if (count > 0) {
    fields.Track = int(piece + 1);
    fields.TrackCount = int(count);
  }
  if (FMode == TId3v2Mode::Keep && FTag.StatesLength()) fields.LengthMs = lengthMs();
  TPieceTag rendered = FTag.Render(FMode, fields);
  if (!rendered.Warning.empty() && FSaid.insert(rendered.Warning).second && FWarn) {
    FWarn(rendered.Warning);
  }
  return std::move(rendered.Bytes);
}

TKorvaMP3::TFrontFor TPieceTags::Front(size_t count) {
  if (FMode == TId3v2Mode::None) return {};
  return [this, count](size_t piece, const TKorvaMP3::TLengthOf& lengthMs) {
    return Render(piece, count, lengthMs);
  };
}

}  // namespace pelcato
