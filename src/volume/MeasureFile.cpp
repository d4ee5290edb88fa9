#include "volume/MeasureFile.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>

#include "mp3/Decoder.h"
#include "mp3/MediaPlayer.h"

namespace pelcato {
namespace {

// Samples per channel handed to the meters at a time.
constexpr size_t kChunkFrames = 1 << 15;
// Chunks decoded ahead of the meters.
constexpr size_t kChunksAhead = 4;

struct TChunk {
  int64_t At = 0;  // timeline sample of its first frame
  std::vector<float> Samples;
};

// What the meters make of the decoded samples, chunk by chunk in timeline order.
class TMeters {
 public:
  TMeters(const TMeasureRequest& request, long rate, int channels, TMeasured& out)
      : FRequest(request), FRate(rate), FChannels(channels), FOut(out) {
    const size_t count = std::min(request.StartMs.size(), request.EndMs.size());
    // Times beyond any stream (about 31 years; "to the end" is said with the largest) stay far
    // from overflow.
    const auto sample = [&](int64_t ms) {
      return (std::clamp<int64_t>(ms, -(int64_t(1) << 40), int64_t(1) << 40) * rate + 500) / 1000;
    };
    const int64_t margin = sample(request.PeakMarginMs);
    for (size_t i = 0; i < count; ++i) {
      TRange r;
      r.Index = i;
      r.From = sample(request.StartMs[i]);
      r.To = std::max(r.From, sample(request.EndMs[i]));
      r.PeakFrom = r.From - margin;
      r.PeakTo = r.To + margin;
      FRanges.push_back(std::move(r));
    }
    std::sort(FRanges.begin(), FRanges.end(),
              [](const TRange& a, const TRange& b) { return a.PeakFrom < b.PeakFrom; });
    out.Pieces.assign(count, TLoudness{});
    if (count == 0 || request.Together) {
      out.Whole = std::make_unique<TLoudnessMeter>(channels, rate, request.Range,
                                                   count == 0 && request.TruePeak);
    }
    for (const TRange& r : FRanges) {
      FTogetherFrom = std::min(FTogetherFrom, r.From);
      FTogetherTo = std::max(FTogetherTo, r.To);
    }
  }

  void Add(const TChunk& chunk) {
    const int64_t n = int64_t(chunk.Samples.size()) / FChannels;
    const int64_t at = chunk.At;
    const float* s = chunk.Samples.data();
    const auto part = [&](int64_t from, int64_t to, const auto& use) {
      from = std::max(from, at);
      to = std::min(to, at + n);
      if (from < to) use(s + (from - at) * FChannels, size_t(to - from));
    };
    if (FOut.Whole) {
      if (FRanges.empty()) {
        FOut.Whole->Add(s, size_t(n));
      } else {
        part(FTogetherFrom, FTogetherTo, [&](const float* p, size_t k) { FOut.Whole->Add(p, k); });
      }
    }
    for (size_t i = FFirst; i < FRanges.size() && FRanges[i].PeakFrom < at + n; ++i) {
      TRange& r = FRanges[i];
      if (r.Done) continue;
      part(r.From, r.To, [&](const float* p, size_t k) {
        if (!r.Meter)
          r.Meter = std::make_unique<TLoudnessMeter>(FChannels, FRate, FRequest.Range, false);
        r.Meter->Add(p, k);
      });
      part(r.PeakFrom, r.PeakTo, [&](const float* p, size_t k) {
        float peak = 0.0f;
        for (size_t j = 0; j < k * size_t(FChannels); ++j) peak = std::max(peak, std::fabs(p[j]));
        r.Peak = std::max(r.Peak, double(peak));
      });
      if (at + n >= r.PeakTo && at + n >= r.To) Finish(r);
    }
    while (FFirst < FRanges.size() && FRanges[FFirst].Done) ++FFirst;
  }

  void Finish() {
    for (TRange& r : FRanges) {
      if (!r.Done) Finish(r);
    }
  }

 private:
  struct TRange {
    size_t Index = 0;
    int64_t From = 0, To = 0, PeakFrom = 0, PeakTo = 0;
    std::unique_ptr<TLoudnessMeter> Meter;  // made with its first sample, dropped when done
    double Peak = 0.0;
    bool Done = false;
  };

  void Finish(TRange& r) {
    TLoudness l = r.Meter ? r.Meter->Result() : TLoudness{};
    l.SamplePeak = r.Peak;
    FOut.Pieces[r.Index] = l;
    r.Meter.reset();
    r.Done = true;
  }

  const TMeasureRequest& FRequest;
  long FRate;
  int FChannels;
  TMeasured& FOut;
  std::vector<TRange> FRanges;  // by the start of their peak window
  size_t FFirst = 0;            // the ranges before it are done
  int64_t FTogetherFrom = INT64_MAX;
  int64_t FTogetherTo = INT64_MIN;
};

// Runs the meters on a thread of their own, a few chunks behind the decode; on the caller's
// thread where no thread can be had.
class TMeterThread {
 public:
  explicit TMeterThread(TMeters& meters) : FMeters(meters) {
    try {
      FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
    }
  }
  ~TMeterThread() { Join(); }

  // An empty chunk whose samples' memory is kept from one measured before: fresh memory for
  // every chunk would cost a page fault every few thousand samples.
  TChunk Fresh(int64_t at) {
    TChunk chunk{at, {}};
    std::lock_guard<std::mutex> held(FLock);
    if (!FSpare.empty()) {
      chunk.Samples = std::move(FSpare.back());
      FSpare.pop_back();
    }
    return chunk;
  }

  void Push(TChunk chunk) {
    if (!FThread.joinable()) {
      FMeters.Add(chunk);
      Spare(std::move(chunk));
      return;
    }
    std::unique_lock<std::mutex> held(FLock);
    FChanged.wait(held, [&] { return FQueue.size() < kChunksAhead || !FError.empty(); });
    if (!FError.empty()) throw std::runtime_error(FError);
    FQueue.push_back(std::move(chunk));
    FChanged.notify_all();
  }
  // Waits until every chunk is measured. Throws what the meters threw.
  void Stop() {
    Join();
    if (!FError.empty()) {
      std::string error;
      std::swap(error, FError);
      throw std::runtime_error(error);
    }
  }

 private:
  void Join() {
    if (!FThread.joinable()) return;
    {
      std::lock_guard<std::mutex> held(FLock);
      FEnd = true;
    }
    FChanged.notify_all();
    FThread.join();
  }
  void Run() {
    std::unique_lock<std::mutex> held(FLock);
    for (;;) {
      FChanged.wait(held, [&] { return !FQueue.empty() || FEnd; });
      if (FQueue.empty()) return;
      TChunk chunk = std::move(FQueue.front());
      FQueue.pop_front();
      FChanged.notify_all();
      held.unlock();
      try {
        if (FError.empty()) FMeters.Add(chunk);
      } catch (const std::exception& e) {
        held.lock();
        FError = e.what();
        FChanged.notify_all();
        continue;
      }
      Spare(std::move(chunk));
      held.lock();
    }
  }
  void Spare(TChunk chunk) {
    chunk.Samples.clear();
    std::lock_guard<std::mutex> held(FLock);
    if (FSpare.size() <= kChunksAhead) FSpare.push_back(std::move(chunk.Samples));
  }

  TMeters& FMeters;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TChunk> FQueue;
  std::vector<std::vector<float>> FSpare;
  bool FEnd = false;
  std::string FError;
  std::thread FThread;
};

}  // namespace

TMeasured MeasureFile(const std::string& path, const TMeasureRequest& request) {
  TMeasured out;
  TDecoderSetup setup;
  setup.Samples = TSampleType::Float;  // unclipped: a peak above full scale shows as such
  std::unique_ptr<TDecoder> decoder;
  try {
    decoder = std::make_unique<TDecoder>(setup);
  } catch (const EPlayerError&) {
    out.Error = "cannot start the decoder";
    return out;
  }
  if (!decoder->OpenFile(path)) {
    out.Error = "cannot read the file: " + decoder->ErrorText();
    return out;
  }
  const double total = decoder->InputSize() > 0 ? double(decoder->InputSize()) : 1.0;
  std::unique_ptr<TMeters> meters;
  std::unique_ptr<TMeterThread> thread;
  TChunk chunk;
  int chunks = 0;
  try {
    for (;;) {
      TDecodedFrame frame;
      const TDecodeStatus status = decoder->DecodeFrame(frame);
      if (status == TDecodeStatus::NewFormat) {
        long rate = 0;
        int channels = 0;
        decoder->Format(rate, channels);
        if (!meters) {
          // A stream that changes its format later keeps the first one's.
          decoder->KeepFormat(rate, channels);
          out.SampleRate = rate;
          out.Channels = channels;
          meters = std::make_unique<TMeters>(request, rate, channels, out);
          thread = std::make_unique<TMeterThread>(*meters);
        }
        continue;
      }
      if (status == TDecodeStatus::Done) break;
      if (status == TDecodeStatus::Error) {
        if (decoder->OutOfMemory() || decoder->ReadFailed()) {
          out.Error =
              decoder->OutOfMemory() ? "the decoder ran out of memory" : "cannot read the file";
          return out;
        }
        break;  // nothing more the decoder can play
      }
      if (!meters || frame.Samples <= 0) continue;
      const auto* s = static_cast<const float*>(frame.Data);
      chunk.Samples.insert(chunk.Samples.end(), s, s + frame.Samples * out.Channels);
      if (chunk.Samples.size() >= kChunkFrames * size_t(out.Channels)) {
        const int64_t next = chunk.At + int64_t(chunk.Samples.size()) / out.Channels;
        thread->Push(std::move(chunk));
        chunk = thread->Fresh(next);
        if (request.Progress && ++chunks % 8 == 0) {
          request.Progress(double(decoder->InputPos()) / total);
        }
      }
    }
    if (!meters) {
      out.Error = "the decoder found no sound in the file";
      return out;
    }
    thread->Push(std::move(chunk));
    thread->Stop();
    meters->Finish();
  } catch (const std::exception& e) {
    out = TMeasured{};
    out.Error = e.what();
    return out;
  }
  if (request.Progress) request.Progress(1.0);
  if (out.Pieces.empty() && out.Whole) out.Pieces.push_back(out.Whole->Result());
  return out;
}

}  // namespace pelcato
