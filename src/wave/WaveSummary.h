// The sound of a file as the waveform shows it: a summary kept in memory of small blocks of
// samples (their extremes and mean square), from which an envelope of any width over any part
// of the file is drawn without decoding again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelcato {

// The samples of one block: the smallest and largest over all channels (-1 to 1) and the mean
// of their squares.
struct TWaveBlock {
  float Min = 0.0f;
  float Max = 0.0f;
  float MeanSquare = 0.0f;
};

// Per pixel column: the smallest and largest sample and the RMS level in dBFS (a full-scale
// sine is -3 dB), over columns of MsPerColumn each from FromMs on.
struct TEnvelope {
  static constexpr float kFloorDb = -120.0f;  // the level of silence and of columns not known
  int Width = 0;
  double FromMs = 0.0;
  double MsPerColumn = 0.0;
  std::vector<float> Min, Max, RmsDb;
  // The columns from the first that start before the summary's end; the others are empty.
  int Covered = 0;
  // The columns from the first drawn from decoded samples; the others are estimated.
  int Measured = 0;
};

class TWaveSummary {
 public:
  // A granule of Layer III, so that a column may narrow down to less than a frame.
  static constexpr int kBlockSamples = 576;
  // Blocks kept at most, whatever the file's length (24 MB): seven hours of a 48 kHz file in
  // granules. A longer file's blocks are joined in pairs whenever there are this many, so that
  // each then stands for twice the samples; only the deepest zoom of such a file shows it.
  static constexpr size_t kMostBlocks = size_t(1) << 21;

  TWaveSummary() = default;
  // blockSamples: the samples each block handed in stands for (kBlockSamples for decoded
  // blocks; an estimate that judges one frame in many makes longer ones). mostBlocks: see
  // kMostBlocks (at least 2).
  explicit TWaveSummary(long sampleRate, int blockSamples = kBlockSamples,
                        size_t mostBlocks = kMostBlocks)
      : FRate(sampleRate),
        FBaseSamples(std::max(blockSamples, 1)),
        FMostBlocks(std::max<size_t>(mostBlocks & ~size_t(1), 2)) {}
  // The samples each kept block stands for: those of a block handed in, times the blocks
  // joined into one.
  int64_t BlockSamples() const { return int64_t(FBaseSamples) * FJoined; }

  long SampleRate() const { return FRate; }
  size_t Blocks() const { return FBlocks.size(); }
  const TWaveBlock& Block(size_t i) const { return FBlocks[i]; }
  // Samples per channel that the blocks hold (the last block may hold fewer than the others).
  int64_t Samples() const { return FSamples; }
  // Where the first block starts on the timeline, in samples: blocks made from the frames
  // before the decoder has trimmed the encoder delay may start before 0 or a little after.
  int64_t FirstSample() const { return FFirst; }
  void SetFirstSample(int64_t sample) { FFirst = sample; }
  // The end of the last block on the timeline.
  double DurationMs() const {
    return FRate > 0 ? double(std::max<int64_t>(FFirst + FSamples, 0)) * 1000.0 / double(FRate)
                     : 0.0;
  }
  size_t MemoryBytes() const { return FBlocks.capacity() * sizeof(TWaveBlock); }

  // Makes room at once, for no more than the blocks kept at most.
  void Reserve(size_t blocks) { FBlocks.reserve(std::min(blocks, FMostBlocks)); }
  // Gives back the room made for blocks that never came.
  void Trim() { FBlocks.shrink_to_fit(); }
  // Whole blocks, then at most one last block of fewer samples.
  void Append(const TWaveBlock* blocks, size_t count);
  void Append(const TWaveBlock& block);
  void AppendLast(const TWaveBlock& block, int samples);

  // The part of the file from fromMs to toMs in width columns. A column narrower than a block
  // shows the block it lies in; the time behind the summary's end stays empty.
  TEnvelope View(double fromMs, double toMs, int width) const;

 private:
  // Starts a new kept block, joining the kept ones in pairs first when there are as many as
  // may be.
  void StartBlock(const TWaveBlock& block);

  long FRate = 0;
  int FBaseSamples = kBlockSamples;
  size_t FMostBlocks = kMostBlocks;
  int64_t FJoined = 1;  // blocks handed in that make one kept block
  int64_t FFirst = 0;
  std::vector<TWaveBlock> FBlocks;
  // The blocks handed in that the last kept block holds while it is not full yet (0: it is),
  // and the sum of their mean squares.
  int64_t FOpen = 0;
  double FOpenSum = 0.0;
  int64_t FSamples = 0;
  bool FClosed = false;  // a shorter last block was added
};

// Cuts a stream of decoded samples into blocks: interleaved, of one to eight channels.
class TBlockMeter {
 public:
  void Feed(const float* samples, size_t frames, int channels, std::vector<TWaveBlock>& out);
  void Feed(const int16_t* samples, size_t frames, int channels, std::vector<TWaveBlock>& out);
  // The samples of an unfinished block, and how many they are (0: none).
  int Pending() const { return FCount; }
  TWaveBlock PendingBlock() const;

 private:
  template <typename T>
  void FeedAny(const T* samples, size_t frames, int channels, std::vector<TWaveBlock>& out);
  int FCount = 0;  // samples per channel in the block under way
  float FMin = 0.0f, FMax = 0.0f;
  double FSum = 0.0;
  int FChannels = 1;
};

}  // namespace pelcato
