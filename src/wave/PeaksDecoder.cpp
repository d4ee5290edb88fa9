#include "wave/PeaksDecoder.h"

#include <memory>
#include <vector>

#include "mp3/Decoder.h"
#include "mp3/MediaPlayer.h"

namespace pelcato {
namespace {

// Blocks go to the shared summary in batches, each under the caller's lock.
constexpr size_t kBatchBlocks = 512;

class TPublisher {
 public:
  TPublisher(TWaveSummary& summary, const TPeaksControl& control)
      : FSummary(summary), FControl(control) {
    FBatch.reserve(kBatchBlocks + 16);
  }
  std::vector<TWaveBlock>& Batch() { return FBatch; }
  template <typename F>
  void Locked(F&& f) {
    if (FControl.Lock) {
      std::lock_guard<std::mutex> hold(*FControl.Lock);
      f();
    } else {
      f();
    }
  }
  void Start(long rate) {
    Locked([&] {
      FSummary = TWaveSummary(rate);
      if (rate > 0) FSummary.Reserve(FControl.ExpectedBlocks);
    });
  }
  void Flush() {
    if (FBatch.empty()) return;
    Locked([&] { FSummary.Append(FBatch.data(), FBatch.size()); });
    FBatch.clear();
  }
  void Finish(const TBlockMeter& meter) {
    Flush();
    Locked([&] {
      if (meter.Pending() > 0) FSummary.AppendLast(meter.PendingBlock(), meter.Pending());
      FSummary.Trim();
    });
  }

 private:
  TWaveSummary& FSummary;
  const TPeaksControl& FControl;
  std::vector<TWaveBlock> FBatch;
};

}  // namespace

TPeaksResult DecodePeaks(const std::string& file, TWaveSummary& summary,
                         const TPeaksControl& control) {
  TPeaksResult result;
  TPublisher publish(summary, control);
  publish.Start(0);  // whatever comes of it, the summary holds nothing of an earlier file
  const auto cancelled = [&] {
    return control.Cancel && control.Cancel->load(std::memory_order_relaxed);
  };
  const auto stop = [&] {
    publish.Flush();
    result.Cancelled = true;
    return result;
  };
  if (cancelled()) return stop();

  // The player's own setup: its timeline, gapless trimming included. Float samples at the
  // stream's own rate and channels are what the decoder's synthesis makes anyway: nothing is
  // converted.
  TDecoderSetup setup;
  setup.Samples = TSampleType::Float;
  std::unique_ptr<TDecoder> decoder;
  try {
    decoder = std::make_unique<TDecoder>(setup);
  } catch (const EPlayerError&) {
    result.Error = "cannot start the decoder";
    return result;
  }
  TFileReading reading;
  reading.Stop = control.Cancel;  // a cancel also ends a read under way
  if (!decoder->OpenFile(file, reading)) {
    if (cancelled()) return stop();
    result.Error = "cannot read the file";
    return result;
  }
  const double total = decoder->InputSize() > 0 ? double(decoder->InputSize()) : 1.0;

  TBlockMeter meter;
  bool started = false;
  int channels = 0;
  for (;;) {
    if (cancelled()) return stop();
    TDecodedFrame frame;
    const TDecodeStatus status = decoder->DecodeFrame(frame);
    if (status == TDecodeStatus::NewFormat) {
      long rate = 0;
      decoder->Format(rate, channels);
      // The first format sets the timeline; a stream that changes it later is rare and
      // keeps the first one's block time.
      if (!started) publish.Start(rate);
      started = true;
      continue;
    }
    if (status == TDecodeStatus::Done) break;
    if (status == TDecodeStatus::Error) {
      if (cancelled()) return stop();
      if (decoder->OutOfMemory()) {
        result.Error = "the decoder ran out of memory";
        return result;
      }
      if (decoder->ReadFailed()) {
        result.Error = "cannot read the file";
        return result;
      }
      // The decoder cannot go on (no frame found at all, or a fault it cannot pass over): a
      // damaged frame inside the stream is passed over by the decoder itself.
      break;
    }
    if (started && frame.Samples > 0 && channels > 0) {
      meter.Feed(static_cast<const float*>(frame.Data), size_t(frame.Samples), channels,
                 publish.Batch());
    }
    if (publish.Batch().size() >= kBatchBlocks) {
      publish.Flush();
      if (control.Progress) control.Progress(double(decoder->InputPos()) / total);
    }
  }
  // A cancel that made a read fail may look like the end of the stream.
  if (cancelled()) return stop();
  if (!started) {
    result.Error = "the decoder found no sound in the file";
    return result;
  }
  publish.Finish(meter);
  if (control.Progress) control.Progress(1.0);
  result.Done = true;
  return result;
}

}  // namespace pelcato
