// Pieces exact to the sample, written from the source's own frames: the frames a piece keeps
// are planned on the source's timeline (ExactPlan.h), found through the frame index or a walk
// from the first frame, and written behind a header frame whose LAME extension trims the
// decoded frames to the range, with a filler frame in front of them when the first one takes
// main data from frames before it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "io/SourceFile.h"
#include "mp3/ExactPlan.h"
#include "mp3/FrameIndex.h"
#include "mp3/MainData.h"
#include "mp3/VolumeFilter.h"
#include "mp3/XingFrame.h"

namespace pelcato {

class TAtomicOutput;

// What every piece of one save needs to know of its source.
struct TExactStream {
  TExactSource Model;
  int64_t FirstFrame = 0;            // where the walk starts: the analysis's first frame
  int64_t AudioLimit = 0;            // where it stops (see TKorvaMP3::WalkFrames)
  int64_t FirstStep = 0;             // the walk's step that is audio frame 0
  uint16_t Format = 0;               // the version, layer and sample-rate bits of the frames
  std::optional<TXingFrame> Header;  // the source's header frame, when it has one
};

// A walk without a frame index met bytes that are no frame, or a frame of another format,
// where a piece needs frames: the piece is written as whole frames instead.
class ENotExact : public std::runtime_error {
 public:
  ENotExact()
      : std::runtime_error(
            "the stream holds more than whole frames of one format (bytes between frames, a tag "
            "inside it, free-format frames or a change of sample rate)") {}
};

// A walk without a frame index met more frames than the header frame counts, whose fields it
// took on trust: such fields do not describe the stream (another file joined to it, say), and
// the piece is made again from a frame index, which counts every frame.
class EMoreFramesThanCounted : public std::runtime_error {
 public:
  EMoreFramesThanCounted() : std::runtime_error("The stream holds more frames than it says") {}
};

// The stream's facts from its first frame and, when there is one, the index of its frames.
// No value, with the reason in refusal, for a stream that cannot be cut exact to the sample:
// another layer than III, or an index that met anything but whole frames of one format.
// Without an index the frame count is unknown until a walk meets the end. Throws EFileError
// when the source cannot be read. The delay and padding are not believed when the stream holds
// more frames than its header frame counts (see ExactPlan.h for fewer).
std::optional<TExactStream> ExamineExact(TSourceFile& src, int64_t firstFrame, int64_t audioLimit,
                                         int layer, const TFrameIndex* index, std::string& refusal);

// What a save of exact pieces works from: the stream's facts and its frame index (the
// analysis's, one made for the save in Own, or none for a single cut, which walks).
struct TExactSave {
  TFrameIndex Own;
  const TFrameIndex* Index = nullptr;
  TExactStream Stream;
};

// Where audio frames lie: from the nearest mark of the index, or without one on from the
// first frame; on from the frame asked for last when that is nearer. The last frames passed
// are kept, so the frames just before one asked for cost nothing more.
class TFrameLocator {
 public:
  TFrameLocator(TSourceFile& src, const TExactStream& stream, const TFrameIndex* index)
      : FSrc(src), FStream(stream), FIndex(index) {}
  // Audio frame k, counted from 0, with the main data geometry of its side information; no
  // value when the stream ends before it. Throws ENotExact (without an index) and EFileError.
  std::optional<TMainDataFrame> Find(int64_t k);
  TMainDataFrame At(int64_t k);  // throws EFileError where Find has no value
  // A place no later than the start of audio frame k, without a walk: the index's mark before
  // it, or the first frame without an index.
  int64_t StartNoLaterThan(int64_t k) const;
  // The stream's audio frames once a walk has met its end; -1 before.
  int64_t FramesAtEnd() const { return FEnd; }

 private:
  static constexpr int64_t kKept = 32;
  void Keep(int64_t k, const TMainDataFrame& f);
  TSourceFile& FSrc;
  const TExactStream& FStream;
  const TFrameIndex* FIndex;
  int64_t FStep = -1;  // the step the walk stands on, at FPos
  int64_t FPos = 0;
  int64_t FEnd = -1;
  std::array<TMainDataFrame, kKept> FKept{};
  int64_t FKeptEnd = 0;  // frames FKeptEnd - FKeptCount up to FKeptEnd are kept
  int64_t FKeptCount = 0;
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
  TExactWriter(TSourceFile& src, const TExactStream& stream, const TFrameIndex* index)
      : FSrc(src), FStream(stream), FFrames(src, FStream, index) {}

  // The piece for a range in milliseconds: an end at or past the timeline's last millisecond
  // is the timeline's end, so that the last piece of a split takes every sample. No value for
  // an empty range.
  std::optional<TExactPiece> Plan(int64_t startMs, int64_t endMs);
  // The piece with its end settled: without a frame count, a look on from its last frame
  // shows whether the stream ends within reach, and so where the timeline ends.
  TExactPiece Settle(TExactPiece piece);
  // The piece's length in ms, as its save reports it.
  double LengthMs(const TExactPiece& piece) const {
    return double(piece.EndSample - piece.FirstSample) * 1000.0 / FStream.Model.SampleRate;
  }
  // The header frame and filler frame of a piece.
  TExactLead Lead(const TExactPiece& piece);
  // Where the source's audio frame `frame` starts and ends.
  int64_t FrameStart(int64_t frame) { return FFrames.At(frame).Offset; }
  int64_t FrameEnd(int64_t frame);
  // Appends the piece Plan gave last to out, adding its bytes to bytes and its length in ms to
  // written. Its header frame is left blank: FinishExact writes the one returned. The source's
  // frames get the volume, whose fades follow the piece's first and last sample (the filler
  // frame sounds nothing and keeps its gain); clamped gets the gains held at a limit.
  TExactHeader Write(const TExactPiece& piece, TAtomicOutput& out, int64_t& bytes, double& written,
                     const TVolume& volume = {}, int64_t* clamped = nullptr);

  // The source's facts as far as the walks have found them.
  const TExactSource& Model() const { return FStream.Model; }

 private:
  // The end of the range asked for last, on the timeline as known now.
  int64_t WantedEnd() const;
  TSourceFile& FSrc;
  TExactStream FStream;
  TFrameLocator FFrames;
  int64_t FEndMs = 0;
};

}  // namespace pelcato
