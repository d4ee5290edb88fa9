// Where the preview player sends its samples: an audio output pulls signed 16-bit interleaved
// samples from a source at the speed the device plays them and tells how many it has played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pelcato {

// Signed 16-bit interleaved PCM: samples per second and channels per sample frame.
struct TPcmFormat {
  int Rate = 0;
  int Channels = 0;
  friend bool operator==(const TPcmFormat&, const TPcmFormat&) = default;
};

// What an output pulls from. Read may be called on the output's own thread.
class TPcmSource {
 public:
  virtual ~TPcmSource() = default;
  // Fills dst with up to maxFrames sample frames; 0 once the stream has ended.
  virtual size_t Read(int16_t* dst, size_t maxFrames) = 0;
};

class TAudioOutput {
 public:
  virtual ~TAudioOutput() = default;
  // The format nearest to wanted that the device takes; the caller converts to it. Throws
  // EPlayerError when there is no device.
  virtual TPcmFormat Prepare(const TPcmFormat& wanted) = 0;
  // Starts pulling from source in a format Prepare gave; returns once the device plays.
  // Throws EPlayerError when the device cannot be started.
  virtual void Start(const TPcmFormat& format, std::shared_ptr<TPcmSource> source) = 0;
  // Sample frames the device has played since Start.
  virtual int64_t PlayedFrames() = 0;
  // True once the source has ended and the device has played all of it, or the device failed.
  virtual bool Drained() = 0;
  // Silences the device and lets go of the source; returns at once, never throws.
  virtual void Stop() noexcept = 0;
};

}  // namespace pelcato
