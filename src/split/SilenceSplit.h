// A split at the pauses of a recording: the decoded sound is measured in short windows, runs of
// quiet windows long enough make pauses, and the pieces are cut in the middle of each pause.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelcato {

struct TSilenceOptions {
  double ThresholdDb = -48.0;  // dBFS: a window whose RMS level is below this is quiet
  double MinPauseSeconds = 2.0;
};

// The length of the level windows.
constexpr int kLevelWindowMs = 10;

// Finds runs of quiet windows in mono 16-bit samples. A window's level is the RMS of its
// samples in dBFS, where 0 dBFS is the RMS of a full-scale square wave (so a full-scale sine
// reads -3 dBFS). Places and lengths are counted in samples.
class TPauseFinder {
 public:
  struct TRun {
    int64_t Start = 0;
    int64_t Length = 0;
  };
  TPauseFinder(long rate, const TSilenceOptions& options);
  void Feed(const int16_t* samples, size_t count);
  // Closes a pause that lasts to the end.
  void Finish();
  const std::vector<TRun>& Pauses() const { return FPauses; }
  int64_t Samples() const { return FSamples; }

 private:
  void EndWindow();
  int64_t FWindow = 1;       // samples per window
  int64_t FMinLength = 1;    // samples of the shortest pause
  double FQuietSum = 0.0;    // a window's sum of squares below this is quiet
  int64_t FSamples = 0;      // samples fed so far
  int64_t FInWindow = 0;     // samples of the current window
  double FSum = 0.0;         // their sum of squares
  int64_t FQuietStart = -1;  // start of the current quiet run, or -1
  std::vector<TRun> FPauses;
};

// A pause in the timeline of the frame walk (the time cuts count in), and where it is cut.
struct TPause {
  int64_t StartMs = 0;
  int64_t LengthMs = 0;
  int64_t CutMs = 0;    // a time whose cut starts at the frame boundary nearest the middle
  bool AtEdge = false;  // the pause starts the file or lasts to its end: no cut there
};

// Decodes file with libmpg123 to mono 16-bit samples and finds its pauses. skipsFirstFrame
// tells that the frame walk passes over the first frame (a VBR header frame), which the
// decoder is made to decode as a silent frame so that its timeline is the walk's plus that
// frame. progress gets the share of the file read (0..1). False, with the reason in error,
// when the file cannot be decoded.
bool FindPauses(const std::string& file, const TSilenceOptions& options, bool skipsFirstFrame,
                const std::function<void(double done)>& progress, std::vector<TPause>& pauses,
                std::string& error);

// The pieces between the cuts: from 0 to the first cut, between cuts, and from the last cut
// to the end of the audio (kToTheEnd). Pauses at an edge are not cut (the piece would hold only
// silence). A piece shorter than minPieceMs is merged with the next (the last with the one before
// it).
void BuildSilenceRanges(const std::vector<TPause>& pauses, int64_t durationMs, int64_t minPieceMs,
                        std::vector<int64_t>& starts, std::vector<int64_t>& ends);

}  // namespace pelcato
