// Saves of pieces exact to the sample: what a save works from, and one piece written through the
// same output and tag steps as whole frames.
#include <algorithm>

#include "io/AtomicOutput.h"
#include "mp3/ExactWriter.h"
#include "mp3/KorvaMp3.h"

namespace pelcato {

std::unique_ptr<TExactSave> TKorvaMP3::PrepareExact(TSourceFile& src, std::string* refusal,
                                                    bool walk) const {
  auto save = std::make_unique<TExactSave>();
  save->Index = UsableIndex();
  if (!save->Index && !walk) {
    save->Own.Build(src, Info.FirstFrameOffset(), AudioLimit());
    save->Index = &save->Own;
  }
  std::string why;
  std::optional<TExactStream> stream =
      ExamineExact(src, Info.FirstFrameOffset(), AudioLimit(), Info.Layer, save->Index, why);
  if (refusal) *refusal = why;
  if (!stream) return nullptr;
  save->Stream = *stream;
  return save;
}

std::string TKorvaMP3::ExactRefusal() const {
  if (!Info.Valid) return "the file is no MP3 file";
  TSourceFile src(Info.FileName);
  std::string refusal;
  PrepareExact(src, &refusal);
  return refusal;
}

std::optional<TExactHeader> TKorvaMP3::CopyExact(TSourceFile& src, const TExactSave& exact,
                                                 size_t piece, int64_t startMs, int64_t endMs,
                                                 const TFrontFor& front, TAtomicOutput& out,
                                                 int64_t& bytes, double& written,
                                                 int64_t* clamped) const {
  TExactWriter writer(src, exact.Stream, exact.Index);
  std::optional<TExactPiece> planned = writer.Plan(startMs, endMs);
  const TVolume volume = VolumeOf(piece);
  // A fade-out follows the piece's last sample, which a piece at the end of a stream of
  // unknown length knows once it is settled.
  if (planned && volume.FadeOutMs > 0) planned = writer.Settle(*planned);
  if (front) {
    const std::vector<uint8_t> bytesInFront = front(piece, [&]() -> int64_t {
      if (!planned) return 0;
      planned = writer.Settle(*planned);
      return int64_t(writer.LengthMs(*planned));
    });
    out.Append(bytesInFront.data(), bytesInFront.size());
  }
  // A range past the end of the timeline gives an empty piece, as whole frames do.
  if (!planned) return std::nullopt;
  return writer.Write(*planned, out, bytes, written, volume, clamped);
}

int64_t TKorvaMP3::ExactLength(TSourceFile& src, const TExactSave& exact, int64_t startMs,
                               int64_t endMs) const {
  TExactWriter writer(src, exact.Stream, exact.Index);
  const std::optional<TExactPiece> planned = writer.Plan(startMs, endMs);
  return planned ? int64_t(writer.LengthMs(writer.Settle(*planned))) : 0;
}

void TKorvaMP3::EndExact(TAtomicOutput& out, const std::optional<TExactHeader>& header,
                         const TID3v1Tag& tag) const {
  if (tag.IsTag()) WriteTag(out, tag, SourceTagEnd());
  if (header) FinishExact(out, *header);
}

bool TKorvaMP3::WriteRange(TSourceFile& src, TSkipWalk& walk, const TExactSave* exact, size_t piece,
                           int64_t startMs, int64_t endMs, const std::string& destination,
                           const TID3v1Tag& tag, const TFrontFor& front, bool noReplace,
                           TSegmentResult& result, const TFrameIndex* index,
                           std::string* notExact) const {
  if (exact) {
    bool followed = true;
    bool recount = false;
    const auto copy = [&](TAtomicOutput& out, int64_t& bytes, double& ms) {
      try {
        // The tag goes in here, before the header frame may count it.
        EndExact(
            out,
            CopyExact(src, *exact, piece, startMs, endMs, front, out, bytes, ms, &result.Clamped),
            tag);
      } catch (const ENotExact& e) {
        followed = false;
        if (notExact) *notExact = e.what();
        throw;
      } catch (const EMoreFramesThanCounted&) {
        recount = true;
        throw;
      }
    };
    const bool written = WriteOutput(src, destination, TID3v1Tag{}, {}, noReplace, result, copy);
    if (recount) {
      const std::unique_ptr<TExactSave> counted = PrepareExact(src, notExact);
      return WriteRange(src, walk, counted.get(), piece, startMs, endMs, destination, tag, front,
                        noReplace, result, index, notExact);
    }
    // A walk that could not follow the frames leaves the piece to whole frames.
    if (followed) return written;
  }
  const TCursor cursor = SkipFor(src, walk, startMs, index);
  const int64_t span = endMs - startMs;
  const std::vector<uint8_t> frontBytes =
      front ? front(piece, [&] { return PieceLength(src, cursor.Pos, span, index); })
            : std::vector<uint8_t>();
  return WritePiece(src, cursor.Pos, span, destination, tag, frontBytes, noReplace, result, index,
                    VolumeOf(piece));
}

}  // namespace pelcato
