// The audio output of the desktop program: Qt Multimedia's QAudioSink in pull mode on the
// default output device (PulseAudio, or PipeWire's PulseAudio service).
//
// Every QAudioSink and device query lives on one sound thread of the process, where the sink
// pulls (and so decodes) as the device needs samples. Connecting to the sound server and opening
// a stream can wait on the server without a time limit; this way only the sound thread waits,
// and the caller gives up after the timeout with an error.
#pragma once

#include <chrono>
#include <memory>

#include "mp3/MediaPlayer.h"
#include "sound/AudioOutput.h"

namespace pelcato {

class TQtAudioOutput : public TAudioOutput {
 public:
  // timeout: how long Prepare and Start wait for the sound thread. Needs a QCoreApplication.
  explicit TQtAudioOutput(std::chrono::milliseconds timeout = std::chrono::seconds(3));
  ~TQtAudioOutput() override;

  // The default output device; throws "No audio output device is available" without one.
  TPcmFormat Prepare(const TPcmFormat& wanted) override;
  void Start(const TPcmFormat& format, std::shared_ptr<TPcmSource> source) override;
  // From the sink's processed time, not from what it has pulled.
  int64_t PlayedFrames() override;
  bool Drained() override;
  void Stop() noexcept override;

 private:
  struct TState;
  std::shared_ptr<TState> FState;
  std::chrono::milliseconds FTimeout;
  TPcmFormat FFormat;
};

// The preview player of the desktop program: TSoundPlayer over a TQtAudioOutput.
std::unique_ptr<TMediaPlayer> MakeDesktopPlayer();

}  // namespace pelcato
