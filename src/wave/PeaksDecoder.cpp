#include "wave/PeaksDecoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace pelcato {
namespace {

struct THandleDeleter {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};

struct TFdCloser {
  int Fd;
  ~TFdCloser() {
    if (Fd >= 0) ::close(Fd);
  }
};

// Blocks go to the shared summary in batches, each under the caller's lock.
constexpr size_t kBatchBlocks = 512;
constexpr size_t kReadBytes = 256 * 1024;

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
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  int err = MPG123_OK;
  std::unique_ptr<mpg123_handle, THandleDeleter> mh(mpg123_new(nullptr, &err));
  if (!mh) {
    result.Error = "cannot start the decoder";
    return result;
  }
  // The frame walk's timeline: no gapless trimming. Float samples at the stream's own rate and
  // channels are what the decoder's synthesis makes anyway: nothing is converted.
  mpg123_param(mh.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0.0);
  mpg123_format_none(mh.get());
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i) {
    mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
  }
  if (mpg123_open_feed(mh.get()) != MPG123_OK) {
    result.Error = "cannot start the decoder";
    return result;
  }
  const TFdCloser fd{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st;
  if (fd.Fd < 0 || fstat(fd.Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result.Error = "cannot read the file";
    return result;
  }
  const double total = st.st_size > 0 ? double(st.st_size) : 1.0;

  TBlockMeter meter;
  bool started = false;
  int channels = 0;
  int64_t read = 0;
  std::vector<unsigned char> buf(kReadBytes);
  for (bool eof = false; !eof;) {
    if (cancelled()) {
      publish.Flush();
      result.Cancelled = true;
      return result;
    }
    ssize_t n;
    do n = ::read(fd.Fd, buf.data(), buf.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) {
      result.Error = "cannot read the file";
      return result;
    }
    eof = n == 0;
    if (n > 0) {
      read += n;
      if (mpg123_feed(mh.get(), buf.data(), size_t(n)) != MPG123_OK) {
        result.Error = "the decoder failed";
        return result;
      }
    }
    for (;;) {
      off_t frameNumber = 0;
      unsigned char* audio = nullptr;
      size_t bytes = 0;
      const int r = mpg123_decode_frame(mh.get(), &frameNumber, &audio, &bytes);
      if (r == MPG123_NEW_FORMAT) {
        long rate = 0;
        int encoding = 0;
        mpg123_getformat(mh.get(), &rate, &channels, &encoding);
        // The first format sets the timeline; a stream that changes it later is rare and
        // keeps the first one's block time.
        if (!started) publish.Start(rate);
        started = true;
        continue;
      }
      if (r == MPG123_NEED_MORE || r == MPG123_DONE) break;
      if (r != MPG123_OK) {
        // A damaged frame is passed over, as a player would.
        if (r == MPG123_ERR && mpg123_errcode(mh.get()) == MPG123_OUT_OF_MEM) {
          result.Error = "the decoder ran out of memory";
          return result;
        }
        continue;
      }
      if (started && bytes > 0 && channels > 0) {
        meter.Feed(reinterpret_cast<const float*>(audio),
                   bytes / (sizeof(float) * size_t(channels)), channels, publish.Batch());
      }
      if (publish.Batch().size() >= kBatchBlocks) {
        publish.Flush();
        if (control.Progress) control.Progress(double(read) / total);
      }
      if (cancelled()) {
        publish.Flush();
        result.Cancelled = true;
        return result;
      }
    }
  }
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
