// Which frames a piece exact to the sample keeps, and the gapless fields that make a
// gapless-aware decoder play exactly the wanted samples of the source from them.
//
// The timeline is what such a decoder plays for the source: when the source's LAME extension
// carries delay D and padding P, the decoded stream from sample D + 529 (the decoder's own
// delay) on, up to frames * samples per frame - P + 529 where the stream holds at least the
// frames its header frame counts, and to its end where it holds fewer (libmpg123 and ffmpeg
// both play a header that lies so); else the whole decoded stream. A decoder that reads delay
// D' and padding P' behind a header frame counting F frames plays the decoded samples D' + 529
// up to F * samples per frame - P' + 529 of the frames behind it.
//
// Decoding is causal: a granule's samples depend on its own main data, the granule before it
// (the overlap of the transform) and 480 samples of the synthesis filter's history, so a
// decoder that starts at a frame plays what the whole decode plays from 576 + 480 samples on.
// The first wanted sample gets a granule and the decoder delay (576 + 529) of frames in front
// of it, and nothing behind the last wanted sample's frame is needed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "mp3/MpegFrameHeader.h"

namespace pelcato {

struct TGapless {
  int Delay = 0;
  int Padding = 0;
};

struct TExactSource {
  // Frames of a stream whose end no walk has met yet.
  static constexpr int64_t kUnknownFrames = int64_t(1) << 40;

  int SampleRate = 0;
  int SamplesPerFrame = 0;  // 1152, or 576 for MPEG 2 and 2.5
  int64_t Frames = 0;       // audio frames (a VBR header frame is not one), or kUnknownFrames
  // The source's delay and padding when its LAME extension carries them and they are sound
  // (see TrustedGapless); none for the untrimmed timeline.
  std::optional<TGapless> Gapless;
  int64_t HeaderFrames = 0;  // with Gapless: the frames the header frame counts

  // Samples on the timeline.
  int64_t TimelineSamples() const;
  // Where timeline sample 0 lies in the decoded stream.
  int64_t Shift() const { return Gapless ? int64_t(Gapless->Delay) + kDecoderDelay : 0; }
};

// The source's fields as decoders take them: when delay and padding leave something of the
// frames the header frame counts. Fields that trim more are not believed (untrimmed).
std::optional<TGapless> TrustedGapless(int delay, int padding, int64_t headerFrames,
                                       int samplesPerFrame);

// The sample at ms milliseconds: round(ms * rate / 1000).
int64_t SampleAtMs(int64_t ms, int sampleRate);

struct TExactPiece {
  int64_t FirstFrame = 0;  // the source's audio frames kept, first and last, counted from 0
  int64_t LastFrame = 0;
  // One frame in front of them: the reservoir bytes the first kept frame asks for (see
  // TFillerFrame), or a silent frame where the delay would otherwise fall below zero.
  bool Filler = false;
  int Delay = 0;  // the piece's LAME extension
  int Padding = 0;
  int64_t Frames = 0;       // audio frames of the piece, filler included: the header frame's count
  int64_t FirstSample = 0;  // the range of the timeline the piece plays, end exclusive
  int64_t EndSample = 0;
};

// reachesBack(i): audio frame i takes main data from frames before it. No value for an
// empty range (after clamping to the timeline) or a source without frames.
std::optional<TExactPiece> PlanExact(const TExactSource& source, int64_t firstSample,
                                     int64_t endSample,
                                     const std::function<bool(int64_t)>& reachesBack);

// Moves the piece's end to endSample, as far as the timeline reaches and not before its first
// sample: its last frame, padding and frame count follow.
void SetPieceEnd(const TExactSource& source, TExactPiece& piece, int64_t endSample);

// Pieces between consecutive boundaries (timeline samples, ascending). Each is planned on its
// own, so neighbours share the few frames both need; played one after the other they give the
// source's timeline between the first and last boundary.
std::vector<TExactPiece> PlanExactSplit(const TExactSource& source,
                                        const std::vector<int64_t>& boundaries,
                                        const std::function<bool(int64_t)>& reachesBack);

}  // namespace pelcato
