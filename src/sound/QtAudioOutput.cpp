#include "sound/QtAudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "sound/SoundPlayer.h"

namespace pelcato {
namespace {

constexpr char kNoDevice[] = "No audio output device is available";
// How often the sound thread reads what the sink has played.
constexpr int64_t kPollUs = 20000;

// The sound thread: started on first use, ended when the application object goes away.
std::mutex gThreadMutex;
QThread* gThread = nullptr;
QObject* gContext = nullptr;  // lives in gThread; every sink is its child

void EndSoundThread() {
  QThread* thread;
  {
    std::lock_guard<std::mutex> lock(gThreadMutex);
    if (!gThread) return;
    thread = gThread;
    QObject* context = gContext;
    gThread = nullptr;
    gContext = nullptr;
    QMetaObject::invokeMethod(
        context,
        [context] {
          delete context;
          QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
  }
  // A sound server that does not answer keeps the thread; then it is left behind.
  if (thread->wait(QDeadlineTimer(2000))) delete thread;
}

// Runs fn on the sound thread later, given the object that owns the sinks there; false when
// there is no application to run it.
bool Post(std::function<void(QObject* context)> fn) {
  std::lock_guard<std::mutex> lock(gThreadMutex);
  if (!gThread) {
    if (!QCoreApplication::instance()) return false;
    gThread = new QThread;
    gThread->setObjectName(QStringLiteral("pelcato-sound"));
    gContext = new QObject;
    gContext->moveToThread(gThread);
    gThread->start();
    qAddPostRoutine(EndSoundThread);
  }
  QObject* context = gContext;
  QMetaObject::invokeMethod(
      context, [context, fn = std::move(fn)] { fn(context); }, Qt::QueuedConnection);
  return true;
}

// Runs fn on the sound thread and waits for it up to timeout. An EPlayerError thrown by fn
// comes back here; so does the end of the wait.
void Call(std::function<void(QObject* context)> fn, std::chrono::milliseconds timeout) {
  struct TWait {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    std::string Error;
  };
  auto wait = std::make_shared<TWait>();
  const bool posted = Post([wait, fn = std::move(fn)](QObject* context) {
    std::string error;
    try {
      fn(context);
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "The sound output failed";
    }
    std::lock_guard<std::mutex> lock(wait->Mutex);
    wait->Error = error;
    wait->Finished = true;
    wait->Done.notify_all();
  });
  if (!posted) throw EPlayerError(kNoDevice);
  std::unique_lock<std::mutex> lock(wait->Mutex);
  if (!wait->Done.wait_for(lock, timeout, [&] { return wait->Finished; }))
    throw EPlayerError("The sound server does not answer");
  if (!wait->Error.empty()) throw EPlayerError(wait->Error);
}

// What one playback shares between the sound thread and the player.
struct TPlayback {
  int Rate = 0;
  int Channels = 0;
  // The sink's processed time as the sound thread last read it, and when: between two reads
  // the player adds the time gone by, as long as the sink was found advancing.
  std::mutex ClockMutex;
  int64_t ProcessedUs = 0;
  std::chrono::steady_clock::time_point ReadAt;
  bool Advancing = false;
  std::atomic<int64_t> WrittenFrames{0};
  std::atomic<bool> SourceEnded{false};
  std::atomic<bool> Drained{false};
  std::atomic<bool> Cancelled{false};
  QPointer<QObject> Session;  // sound thread only
};

// What the sink pulls: decodes as it reads.
class TPullDevice : public QIODevice {
 public:
  TPullDevice(std::shared_ptr<TPcmSource> source, std::shared_ptr<TPlayback> playback,
              QObject* parent)
      : QIODevice(parent), FSource(std::move(source)), FPlayback(std::move(playback)) {}

  bool isSequential() const override { return true; }
  bool atEnd() const override { return FPlayback->SourceEnded; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const size_t frameBytes = sizeof(int16_t) * size_t(FPlayback->Channels);
    const size_t frames = size_t(maxSize) / frameBytes;
    if (frames == 0 || FPlayback->SourceEnded) return 0;
    FBuffer.resize(frames * size_t(FPlayback->Channels));
    const size_t got = FSource->Read(FBuffer.data(), frames);
    if (got == 0) {
      FPlayback->SourceEnded = true;
      return 0;
    }
    std::memcpy(data, FBuffer.data(), got * frameBytes);
    FPlayback->WrittenFrames += int64_t(got);
    return qint64(got * frameBytes);
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  std::shared_ptr<TPcmSource> FSource;
  std::shared_ptr<TPlayback> FPlayback;
  std::vector<int16_t> FBuffer;
};

std::string SinkErrorText(QAudio::Error error) {
  switch (error) {
    case QAudio::OpenError:
      return "The audio output device cannot be opened";
    case QAudio::IOError:
      return "The audio output device failed";
    case QAudio::FatalError:
      return "The sound server is not available";
    default:
      return "The audio output device did not start";
  }
}

// One QAudioSink on the sound thread. It follows what the sink has played, and when the stream
// has ended, waits for the device to play out what it holds: the sink turns idle as soon as the
// source gives nothing more, while the server still plays its buffer.
class TSinkSession : public QObject {
 public:
  TSinkSession(QObject* context, const QAudioDevice& device, std::shared_ptr<TPcmSource> source,
               std::shared_ptr<TPlayback> playback)
      : QObject(context), FPlayback(std::move(playback)) {
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(FPlayback->Rate);
    format.setChannelCount(FPlayback->Channels);
    FSink = new QAudioSink(device, format, this);
    // A tenth of a second in the server: the server sets the device's latency from it when
    // nothing else plays, so the first sample is heard soon after the click, and silence comes
    // soon after Stop. The sound thread refills it every 20 ms.
    FSink->setBufferSize(qsizetype(format.bytesForDuration(100000)));
    FDevice = new TPullDevice(std::move(source), FPlayback, this);
    FDevice->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    connect(&FPoll, &QTimer::timeout, this, [this] { Update(); });
  }

  ~TSinkSession() override {
    FPoll.stop();
    FSink->stop();
  }

  void Start() {
    FSink->start(FDevice);
    if (FSink->state() == QAudio::StoppedState || FSink->error() == QAudio::OpenError ||
        FSink->error() == QAudio::FatalError || FSink->error() == QAudio::IOError)
      throw EPlayerError(SinkErrorText(FSink->error()));
    FPoll.start(int(kPollUs / 1000));
  }

 private:
  void Update() {
    const int64_t processed = FSink->processedUSecs();
    {
      std::lock_guard<std::mutex> lock(FPlayback->ClockMutex);
      FPlayback->Advancing = processed > FPlayback->ProcessedUs;
      FPlayback->ProcessedUs = processed;
      FPlayback->ReadAt = std::chrono::steady_clock::now();
    }
    if (FSink->state() == QAudio::StoppedState && FSink->error() != QAudio::NoError) {
      Finish(processed);  // the server went away: the preview is over
      return;
    }
    if (!FPlayback->SourceEnded) return;
    const int64_t written = FPlayback->WrittenFrames * 1000000 / FPlayback->Rate;
    if (FEndDeadline.isForever())
      FEndDeadline.setRemainingTime((written - processed) / 1000 + 1000);
    if (processed >= written - 1000 || FEndDeadline.hasExpired()) Finish(written);
  }

  void Finish(int64_t processedUs) {
    FPoll.stop();
    {
      std::lock_guard<std::mutex> lock(FPlayback->ClockMutex);
      FPlayback->ProcessedUs = processedUs;
      FPlayback->Advancing = false;
    }
    FPlayback->Drained = true;
  }

  std::shared_ptr<TPlayback> FPlayback;
  QAudioSink* FSink;
  TPullDevice* FDevice;
  QTimer FPoll;
  QDeadlineTimer FEndDeadline{QDeadlineTimer::Forever};
};

}  // namespace

struct TQtAudioOutput::TState {
  QAudioDevice Device;                  // sound thread only
  std::shared_ptr<TPlayback> Playback;  // the player's side only
};

TQtAudioOutput::TQtAudioOutput(std::chrono::milliseconds timeout)
    : FState(std::make_shared<TState>()), FTimeout(timeout) {
  // Connect to the sound server now, so that the first Play does not wait for it.
  Post([](QObject*) { QMediaDevices::audioOutputs(); });
}

TQtAudioOutput::~TQtAudioOutput() {
  Stop();
}

TPcmFormat TQtAudioOutput::Prepare(const TPcmFormat& wanted) {
  auto result = std::make_shared<TPcmFormat>();
  Call(
      [state = FState, result, wanted](QObject*) {
        const QList<QAudioDevice> devices = QMediaDevices::audioOutputs();
        if (devices.isEmpty()) throw EPlayerError(kNoDevice);
        QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) device = devices.first();
        const QAudioFormat preferred = device.preferredFormat();
        const TPcmFormat candidates[] = {
            wanted,
            {preferred.sampleRate(), wanted.Channels},
            {wanted.Rate, preferred.channelCount()},
            {preferred.sampleRate(), preferred.channelCount()},
            {48000, 2},
            {44100, 2},
        };
        for (const TPcmFormat& c : candidates) {
          if (c.Rate <= 0 || c.Channels <= 0) continue;
          QAudioFormat format;
          format.setSampleFormat(QAudioFormat::Int16);
          format.setSampleRate(c.Rate);
          format.setChannelCount(c.Channels);
          if (device.isFormatSupported(format)) {
            state->Device = device;
            *result = c;
            return;
          }
        }
        throw EPlayerError("The audio output device takes no 16-bit sound");
      },
      FTimeout);
  return *result;
}

void TQtAudioOutput::Start(const TPcmFormat& format, std::shared_ptr<TPcmSource> source) {
  Stop();
  auto playback = std::make_shared<TPlayback>();
  playback->Rate = format.Rate;
  playback->Channels = format.Channels;
  FFormat = format;
  FState->Playback = playback;
  try {
    Call(
        [state = FState, playback, source = std::move(source)](QObject* context) {
          if (playback->Cancelled) return;
          auto* session = new TSinkSession(context, state->Device, source, playback);
          try {
            session->Start();
          } catch (...) {
            delete session;
            throw;
          }
          // Given up on while the server kept us waiting: silence it again at once.
          if (playback->Cancelled)
            delete session;
          else
            playback->Session = session;
        },
        FTimeout);
  } catch (...) {
    Stop();
    throw;
  }
}

int64_t TQtAudioOutput::PlayedFrames() {
  const auto& playback = FState->Playback;
  if (!playback) return 0;
  int64_t us;
  {
    std::lock_guard<std::mutex> lock(playback->ClockMutex);
    us = playback->ProcessedUs;
    if (playback->Advancing) {
      // At most two reads' worth: a sink that stalls must not seem to play on.
      const auto since = std::chrono::steady_clock::now() - playback->ReadAt;
      us += std::min<int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count(),
                              2 * kPollUs);
    }
  }
  // Never more than what the sink was given.
  us = std::min(us, playback->WrittenFrames * 1000000 / playback->Rate);
  return us * playback->Rate / 1000000;
}

bool TQtAudioOutput::Drained() {
  return FState->Playback && FState->Playback->Drained;
}

void TQtAudioOutput::Stop() noexcept {
  const auto playback = FState->Playback;
  if (!playback || playback->Cancelled) return;
  playback->Cancelled = true;
  try {
    Post([playback](QObject*) { delete playback->Session.data(); });
  } catch (...) {
    // Nothing to silence without an application.
  }
}

std::unique_ptr<TMediaPlayer> MakeDesktopPlayer() {
  return std::make_unique<TSoundPlayer>(std::make_unique<TQtAudioOutput>());
}

}  // namespace pelcato
