// The waveform of the file the window shows: the estimate that the open's frame walk made,
// replaced column by column by true peaks that a thread of its own decodes. Another open or
// the close cancels that decode at once; nothing here ever waits for it to finish.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "wave/PeaksDecoder.h"
#include "wave/WaveSummary.h"

namespace pelcato {

class TWaveTrack {
 public:
  TWaveTrack() = default;
  ~TWaveTrack() { Clear(); }
  TWaveTrack(const TWaveTrack&) = delete;
  TWaveTrack& operator=(const TWaveTrack&) = delete;

  // Forgets the file: a decode under way stops within a frame (or a read) and is joined.
  void Clear();
  // Forgets the file and shows the estimate of the next one.
  void SetEstimate(TWaveSummary estimate);
  // Decodes file on a thread of its own; expectedBlocks (from the length the open measured)
  // makes room at once.
  void StartDecode(const std::string& file, size_t expectedBlocks);

  bool Decoding() const { return FRunning.load(); }
  // Every frame was decoded: the view holds true peaks only.
  bool Decoded() const { return FDone.load(); }
  bool Empty() const;
  // Decodes stopped before their end by Clear or a new decode, in this object's life.
  int Cancelled() const { return FCancelled.load(); }

  // The part of the file from fromMs to toMs in width columns: true peaks where the decode
  // has come (Measured columns from the first), the estimate behind.
  TEnvelope View(double fromMs, double toMs, int width) const;

 private:
  mutable std::mutex FLock;  // guards FDecoded while the decode adds to it
  TWaveSummary FEstimate;
  TWaveSummary FDecoded;
  std::thread FThread;
  std::atomic<bool> FCancel{false};
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FDone{false};
  std::atomic<int> FCancelled{0};
};

}  // namespace pelcato
