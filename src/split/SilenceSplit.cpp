#include "split/SilenceSplit.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>

#include "split/SplitPlan.h"

namespace pelcato {
namespace {

struct THandleDeleter {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

}  // namespace

TPauseFinder::TPauseFinder(long rate, const TSilenceOptions& options) {
  FWindow = std::max<int64_t>(1, rate * kLevelWindowMs / 1000);
  FMinLength = std::max<int64_t>(1, std::llround(options.MinPauseSeconds * double(rate)));
  const double level = 32768.0 * std::pow(10.0, options.ThresholdDb / 20.0);
  FQuietSum = level * level * double(FWindow);
}

void TPauseFinder::EndWindow() {
  const int64_t start = FSamples - FInWindow;
  // A window cut short at the end is measured against its own length.
  const bool quiet = FSum < FQuietSum * double(FInWindow) / double(FWindow);
  if (quiet && FQuietStart < 0) FQuietStart = start;
  if (!quiet && FQuietStart >= 0) {
    if (start - FQuietStart >= FMinLength) FPauses.push_back({FQuietStart, start - FQuietStart});
    FQuietStart = -1;
  }
  FInWindow = 0;
  FSum = 0.0;
}

void TPauseFinder::Feed(const int16_t* samples, size_t count) {
  size_t i = 0;
  while (i < count) {
    const size_t take = size_t(std::min<int64_t>(FWindow - FInWindow, int64_t(count - i)));
    int64_t sum = 0;  // at most 2^30 per sample, and a window of well under 2^33 samples
    for (size_t k = 0; k < take; ++k) {
      const int64_t s = samples[i + k];
      sum += s * s;
    }
    FSum += double(sum);
    FInWindow += int64_t(take);
    FSamples += int64_t(take);
    i += take;
    if (FInWindow == FWindow) EndWindow();
  }
}

void TPauseFinder::Finish() {
  if (FInWindow > 0) EndWindow();
  if (FQuietStart >= 0 && FSamples - FQuietStart >= FMinLength) {
    FPauses.push_back({FQuietStart, FSamples - FQuietStart});
  }
  FQuietStart = -1;
}

bool FindPauses(const std::string& file, const TSilenceOptions& options, bool skipsFirstFrame,
                const std::function<void(double done)>& progress, std::vector<TPause>& pauses,
                std::string& error) {
  pauses.clear();
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  int err = MPG123_OK;
  std::unique_ptr<mpg123_handle, THandleDeleter> mh(mpg123_new(nullptr, &err));
  if (!mh) {
    error = "cannot start the decoder";
    return false;
  }
  // The decoder's timeline must be the frame walk's: no gapless trimming, and the VBR header
  // frame decoded as a frame like any other.
  mpg123_param(mh.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME | MPG123_QUIET | MPG123_MONO_MIX,
               0.0);
  // Mono 16-bit at every rate: the mix-down halves the synthesis work of a stereo file.
  mpg123_format_none(mh.get());
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i) {
    mpg123_format(mh.get(), rates[i], MPG123_MONO, MPG123_ENC_SIGNED_16);
  }
  if (mpg123_open_feed(mh.get()) != MPG123_OK) {
    error = "cannot start the decoder";
    return false;
  }
  TFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (fd.Get() < 0 || fstat(fd.Get(), &st) != 0) {
    error = "cannot read the file";
    return false;
  }
  const double total = st.st_size > 0 ? double(st.st_size) : 1.0;

  std::unique_ptr<TPauseFinder> finder;
  long rate = 0;
  int64_t samplesPerFrame = 0;
  int64_t read = 0;
  std::vector<unsigned char> buf(256 * 1024);
  bool eof = false;
  while (!eof) {
    ssize_t n;
    do n = ::read(fd.Get(), buf.data(), buf.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) {
      error = "cannot read the file";
      return false;
    }
    eof = n == 0;
    if (n > 0) {
      read += n;
      if (mpg123_feed(mh.get(), buf.data(), size_t(n)) != MPG123_OK) {
        error = "the decoder failed";
        return false;
      }
    }
    for (;;) {
      off_t frameNumber = 0;
      unsigned char* audio = nullptr;
      size_t bytes = 0;
      const int r = mpg123_decode_frame(mh.get(), &frameNumber, &audio, &bytes);
      if (r == MPG123_NEW_FORMAT) {
        long newRate = 0;
        int channels = 0, encoding = 0;
        mpg123_getformat(mh.get(), &newRate, &channels, &encoding);
        if (!finder) {
          rate = newRate;
          samplesPerFrame = mpg123_spf(mh.get());
          finder = std::make_unique<TPauseFinder>(rate, options);
        }
        continue;
      }
      if (r == MPG123_NEED_MORE || r == MPG123_DONE) break;
      if (r != MPG123_OK) {
        // A damaged frame is passed over, as a player would.
        if (r == MPG123_ERR && mpg123_errcode(mh.get()) == MPG123_OUT_OF_MEM) {
          error = "the decoder ran out of memory";
          return false;
        }
        continue;
      }
      if (finder && bytes > 0) {
        finder->Feed(reinterpret_cast<const int16_t*>(audio), bytes / sizeof(int16_t));
      }
    }
    if (progress) progress(double(read) / total);
  }
  if (!finder || rate <= 0 || samplesPerFrame <= 0) {
    error = "the decoder found no sound in the file";
    return false;
  }
  finder->Finish();

  const int64_t offset = skipsFirstFrame ? samplesPerFrame : 0;
  const double frameMs = double(samplesPerFrame) * 1000.0 / double(rate);
  for (const TPauseFinder::TRun& run : finder->Pauses()) {
    TPause p;
    const int64_t start = std::max<int64_t>(0, run.Start - offset);
    const int64_t end = std::max<int64_t>(0, run.Start + run.Length - offset);
    p.StartMs = start * 1000 / rate;
    p.LengthMs = (end - start) * 1000 / rate;
    // The frame boundary nearest the middle; a time half a millisecond or more before it,
    // and well after the boundary before, makes the cut start exactly there.
    const int64_t frame = (start + end + samplesPerFrame) / (2 * samplesPerFrame);
    p.CutMs = frame > 0 ? int64_t(std::floor(double(frame) * frameMs - 0.5)) : 0;
    p.AtEdge = run.Start <= offset || run.Start + run.Length >= finder->Samples();
    pauses.push_back(p);
  }
  return true;
}

void BuildSilenceRanges(const std::vector<TPause>& pauses, int64_t durationMs, int64_t minPieceMs,
                        std::vector<int64_t>& starts, std::vector<int64_t>& ends) {
  starts.clear();
  ends.clear();
  if (durationMs <= 0) return;
  std::vector<int64_t> bounds = {0};
  for (const TPause& p : pauses) {
    if (p.AtEdge || p.CutMs <= bounds.back() || p.CutMs >= durationMs) continue;
    // A piece too short before this cut goes on into the next piece.
    if (p.CutMs - bounds.back() < minPieceMs) continue;
    bounds.push_back(p.CutMs);
  }
  if (bounds.size() > 1 && durationMs - bounds.back() < minPieceMs) bounds.pop_back();
  for (size_t i = 0; i < bounds.size(); ++i) {
    starts.push_back(bounds[i]);
    ends.push_back(i + 1 < bounds.size() ? bounds[i + 1] : kToTheEnd);
  }
}

}  // namespace pelcato
