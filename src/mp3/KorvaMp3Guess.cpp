// A long cut without a frame index. The walk from the first frame to the start and on through
// the piece takes a good part of what the copy of the piece takes, so the two run side by
// side: a stream of one bit rate tells where its frames lie to within a byte, the bytes
// between the frames nearest the start and the end (or the end of the audio) are copied on
// the copy thread, and the walk checks that it meets exactly those frames, whole and end to
// end. Only then is the piece named; otherwise it is dropped and written from where the walk
// found the start. The piece is always the one the walk gives.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "mp3/FrameWalk.h"
#include "mp3/KorvaMp3.h"
#include "mp3/XingFrame.h"

namespace pelcato {
namespace {

// Frames that must follow each other end to end before a place counts as a frame start.
constexpr int kChainFrames = 3;

class EWrongGuess : public EFileError {
 public:
  EWrongGuess() : EFileError("The frames are not where the bit rate puts them") {}
};

}  // namespace

int64_t TKorvaMP3::NearestFrame(TSourceFile& src, int64_t ideal,
                                const MpegFrameHeader& like) const {
  THeaderCache headers;
  const auto frameAt = [&](int64_t at) -> const MpegFrameHeader* {
    const uint8_t* b = src.Peek(at, 4);
    const MpegFrameHeader* f = b ? headers.Decode(b) : nullptr;
    const bool same = f && f->Bitrate == like.Bitrate && f->SampleRate == like.SampleRate &&
                      f->Layer == like.Layer;
    return same ? f : nullptr;
  };
  const int64_t reach = 2 * int64_t(like.FrameSize);
  for (int64_t at = std::max(Info.FirstFrameOffset(), ideal - reach); at <= ideal + reach; ++at) {
    const uint8_t* b = src.Peek(at, 4);
    if (!b) return -1;
    if (b[0] != 0xFF) continue;
    int64_t pos = at;
    int links = 0;
    for (const MpegFrameHeader* f = frameAt(pos); f && links < kChainFrames; f = frameAt(pos)) {
      pos += f->FrameSize;
      ++links;
    }
    if (links < kChainFrames) continue;
    // A frame start: on to the one nearest the ideal place.
    pos = at;
    for (const MpegFrameHeader* f = frameAt(pos); f; f = frameAt(pos)) {
      if (pos + f->FrameSize / 2 >= ideal) {
        return std::abs(pos - ideal) <= f->FrameSize / 2 ? pos : -1;
      }
      pos += f->FrameSize;
    }
    return -1;
  }
  return -1;
}

TKorvaMP3::TGuess TKorvaMP3::GuessPiece(TSourceFile& src, int64_t startMs, int64_t spanMs) const {
  // A "Xing" or "VBRI" header frame says the bit rate changes from frame to frame; behind an
  // "Info" one, which has no time, the frames of one bit rate start.
  const THeaderTag header = Info.HeaderTag;
  if (!Info.Valid || (header != THeaderTag::None && header != THeaderTag::Info) || spanMs <= 0) {
    return {};
  }
  const int64_t first = Info.FirstFrameOffset() + (header == THeaderTag::Info ? Info.FrameSize : 0);
  const uint8_t* h = src.Peek(first, 4);
  const std::optional<MpegFrameHeader> hdr = h ? DecodeFrameHeader(h) : std::nullopt;
  if (!hdr || hdr->FrameMs <= 0) return {};
  // Frames of one bit rate are as long as it makes them on average.
  const double average = AverageFrameBytes(*hdr);
  const double before = std::ceil(double(startMs) / hdr->FrameMs);
  const double within = std::ceil(double(spanMs) / hdr->FrameMs);
  const double to = double(first) + (before + within) * average;
  TGuess g;
  g.From = NearestFrame(src, first + int64_t(before * average), *hdr);
  // A piece that reaches the end takes the frames up to the tags at the end.
  const int64_t audioEnd = AudioLimit() + 4;
  g.To = g.From < 0                  ? -1
         : to < double(AudioLimit()) ? NearestFrame(src, int64_t(to), *hdr)
                                     : audioEnd;
  if (g.To <= g.From) return {};
  return g;
}

bool TKorvaMP3::WriteFromGuess(TSourceFile& src, TCursor& cursor, int64_t startMs, int64_t spanMs,
                               const std::string& destination, const TID3v1Tag& tag,
                               const std::vector<uint8_t>& front, bool noReplace,
                               TSegmentResult& result) const {
  // An exact piece is built from its walk first. So is one with a VBR header frame of its own,
  // which a piece of one bit rate, the only one guessed right, does not get; and one whose
  // frames change on their way out is copied by the walk.
  const TGuess g = Exact || VolumeOf(0).Changes() ? TGuess{} : GuessPiece(src, startMs, spanMs);
  if (g.From < 0 || g.To - cursor.Pos < kGuessFromBytes) {
    SkipTo(src, cursor, startMs, nullptr);
    return false;
  }
  // Set only once the walk stands on the real start.
  bool wrong = false;
  const auto copyAndCheck = [&](TAtomicOutput& out, int64_t& bytes, double& written) {
    out.AppendRangeInBackground(src, g.From, g.To - g.From);
    SkipTo(src, cursor, startMs, nullptr);
    // Steps without bytes where the piece starts (a header frame) are passed over by its copy.
    for (TFrameStep s; cursor.Pos < g.From; cursor.Pos = s.Next) {
      s = StepAt(src, cursor.Pos, false);
      if (s.Bytes > 0) break;
    }
    wrong = cursor.Pos != g.From;
    if (wrong) throw EWrongGuess();
    // The walk of the copy, without copying: every step a whole frame right behind the one
    // before, up to the guessed end, and with a VBR header asked for, all of one bit rate and
    // of a size that tells their length (else the piece gets a header).
    THeaderCache headers;
    const int64_t limit = AudioLimit();
    const double span = double(spanMs);
    int64_t pos = cursor.Pos;
    const uint8_t* first = src.Peek(pos, 4);
    const uint16_t rate = first ? RateKey(first) : 0;
    const std::optional<MpegFrameHeader> firstHeader =
        first ? DecodeFrameHeader(first) : std::nullopt;
    int64_t frames = 0;
    while (pos < limit && span > written) {
      const TFrameStep s = StepAt(src, pos, true, headers);
      wrong = s.Bytes == 0 || s.Next != pos + s.Bytes;
      if (!wrong && VbrHeader) {
        const uint8_t* h = src.Peek(pos, 4);
        wrong = !h || RateKey(h) != rate;
      }
      if (wrong) throw EWrongGuess();
      bytes += s.Bytes;
      written += s.Ms;
      ++frames;
      pos = s.Next;
    }
    wrong = pos != g.To;
    if (!wrong && VbrHeader) {
      wrong = !firstHeader || !SizeTellsLength(frames, bytes, AverageFrameBytes(*firstHeader));
    }
    if (wrong) throw EWrongGuess();
  };
  const bool named = WriteOutput(src, destination, tag, front, noReplace, result, copyAndCheck);
  // A failed read or write fails the piece as it fails a plain write; only a wrong guess
  // leaves the piece to the caller.
  return named || !wrong;
}

}  // namespace pelcato
