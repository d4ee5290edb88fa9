// The loudness of a Layer III file judged from the side information of its frames alone, as
// the open's walk over the frames meets them: no main data is read and nothing is decoded,
// so the waveform can be shown with the file's facts and replaced by decoded peaks later.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mp3/FrameIndex.h"
#include "mp3/SideInfo.h"
#include "wave/WaveSummary.h"

namespace pelcato {

// The mean square of one granule's samples (full scale 1), averaged over its channels.
//
// Each channel's level in dB is 1.05 * (g - 210) + 20 * log10(m) - 15.5, less 7.5 for short
// blocks, and nothing when it codes no bits: g is the global gain less the subblock gain of
// the loudest short window (210 is the unit step, 4 steps double an amplitude) and m the
// largest quantized value the granule's Huffman tables can hold. The slopes are below the
// quantizer's own (1.5 dB per step and 26.7 dB per decade of m) because encoders give loud,
// noisy spectra coarser steps and scale factors that this estimate cannot see; they were
// fitted against decoded levels of lame, ffmpeg and shine files of tones, noise and silence.
float EstimateMeanSquare(const TLayer3SideInfo& side, int granule);

// Builds a summary of estimated blocks, one per granule, on the player's timeline: a granule
// sounds the decoder's delay after its start, less the shift the player trims. A long file's frames
// are judged every Stride() frames, each judged frame standing for the ones up to the next (its
// blocks are that much longer, so that the summary stays small): the first envelope of an hour
// still gets a dozen judged frames per column, and costs the walk a millisecond or two. The
// blocks of the last judged frame may reach a little past the file's end.
//
// As an observer of the open's frame walk it is told the expected frames and then each frame.
class TLevelEstimator : public TFrameObserver {
 public:
  // Frames judged at most, however long the file.
  static constexpr size_t kJudgedFrames = 8192;
  // expectedFrames: the frames the walk will meet as far as the open can tell (0: unknown, all
  // are judged), which also sizes the summary at once.
  explicit TLevelEstimator(size_t expectedFrames = 0);
  size_t Stride() const { return FStride; }
  // TFrameObserver: Begin starts afresh with the expected frames; Frame is AddFrame.
  void Begin(int64_t expectedFrames) override;
  void Frame(const uint8_t* frame, size_t bytes) override { AddFrame(frame, bytes); }
  // Where the player's sample 0 lies in the untrimmed decoded stream (PlayerTimelineShift):
  // the blocks are placed on the player's timeline by it. At any time, also after the walk.
  void SetTimelineShift(int64_t shift);
  // One whole frame, header first, as the walk meets it (a VBR header frame is none). False
  // when the frame is no Layer III frame: such files get no estimate.
  bool AddFrame(const uint8_t* frame, size_t size);
  const TWaveSummary& Summary() const { return FSummary; }
  TWaveSummary& Summary() { return FSummary; }

 private:
  size_t FExpectedFrames = 0;
  size_t FStride = 1;
  size_t FUntilJudged = 0;  // frames to pass before the next judged one
  bool FStarted = false;
  int64_t FShift = 0;
  int FGranules = 2;  // granules a frame, as the first frame has them
  TWaveSummary FSummary;
};

}  // namespace pelcato
