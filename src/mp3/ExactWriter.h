// Pieces exact to the sample, written from the source's own frames: the frames a piece keeps
// are planned on the source's timeline (ExactPlan.h), found through the frame index, and
// written behind a header frame whose LAME extension trims the decoded frames to the range,
// with a filler frame in front of them when the first one takes main data from frames before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/SourceFile.h"
#include "mp3/ExactPlan.h"
#include "mp3/FrameIndex.h"
#include "mp3/MainData.h"
#include "mp3/XingFrame.h"

namespace pelcato {

class TAtomicOutput;

// What every piece of one save needs to know of its source.
struct TExactStream {
  TExactSource Model;
  int64_t FirstStep = 0;             // the walk's step that is audio frame 0
  std::optional<TXingFrame> Header;  // the source's header frame, when it has one
};

// The stream's facts from its first frame and the index of its frames (a walk from firstFrame,
// the analysis's first frame). No value, with the reason in refusal, for a stream that cannot
// be cut exact to the sample: another layer than III, or a walk that met anything but whole
// frames of one format (junk, a tag inside the stream, free-format frames, a change of sample
// rate). Throws EFileError when the source cannot be read.
std::optional<TExactStream> ExamineExact(TSourceFile& src, int64_t firstFrame, int layer,
                                         const TFrameIndex& index, std::string& refusal);

// What a save of exact pieces works from: the stream's facts and its frame index, the
// analysis's or one made for the save (Own).
struct TExactSave {
  TFrameIndex Own;
  const TFrameIndex* Index = nullptr;
  TExactStream Stream;
};

// Where audio frames lie, found from the index: a walk from the nearest mark, or on from the
// frame asked for last when that is nearer, so frames asked for in order cost a step each.
class TFrameLocator {
 public:
  TFrameLocator(TSourceFile& src, const TFrameIndex& index, int64_t firstStep)
      : FSrc(src), FIndex(index), FFirstStep(firstStep) {}
  // Audio frame k, counted from 0, with the main data geometry of its side information.
  // Throws EFileError when the walk meets no such frame there.
  TMainDataFrame At(int64_t k);

 private:
  TSourceFile& FSrc;
  const TFrameIndex& FIndex;
  int64_t FFirstStep;
  int64_t FStep = -1;  // the step the walk stands on, at FPos
  int64_t FPos = 0;
};

// The piece's own bytes in front of the source's frames.
struct TExactLead {
  TXingFrame Header;            // its fields still to be filled in
  std::vector<uint8_t> Filler;  // empty without a filler frame
  int64_t Bytes() const { return Header.FrameSize() + int64_t(Filler.size()); }
};

struct TExactHeader {
  TXingFrame Frame;
  int64_t At = 0;
};

// Writes the piece's header frame once its tag is written behind it: the frame counts the tag
// in its byte count where ffmpeg would otherwise take the piece for several files joined.
void FinishExact(TAtomicOutput& out, const TExactHeader& header);

class TExactWriter {
 public:
  TExactWriter(TSourceFile& src, const TExactStream& stream, const TFrameIndex& index)
      : FSrc(src), FStream(stream), FFrames(src, index, stream.FirstStep) {}

  // The piece for a range in milliseconds: an end at or past the timeline's last millisecond
  // is the timeline's end, so that the last piece of a split takes every sample. No value for
  // an empty range.
  std::optional<TExactPiece> Plan(int64_t startMs, int64_t endMs);
  // The header frame and filler frame of a piece.
  TExactLead Lead(const TExactPiece& piece);
  // Where the source's audio frame `frame` starts and ends.
  int64_t FrameStart(int64_t frame) { return FFrames.At(frame).Offset; }
  int64_t FrameEnd(int64_t frame);
  // Appends the piece to out, adding its bytes to bytes and its length in ms to written. Its
  // header frame is left blank: FinishExact writes the one returned.
  TExactHeader Write(const TExactPiece& piece, TAtomicOutput& out, int64_t& bytes, double& written);

  const TExactStream& Stream() const { return FStream; }

 private:
  TSourceFile& FSrc;
  const TExactStream& FStream;
  TFrameLocator FFrames;
};

}  // namespace pelcato
