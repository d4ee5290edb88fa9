// How soon the preview sounds after a click on Play, and how far the position the window reads
// from the player lies from the sample being heard. The main window plays through the real
// QAudioSink into the default sink of the PulseAudio server (a null sink, see
// bench/preview-timing.sh), while parec records that sink's monitor on a thread that notes when
// each piece arrives. Afterwards each reading of the position is matched against the recording:
// the recorded stretch at the moment of the reading is correlated with libmpg123's own decode of
// the file, which gives the sample that was being heard.
//   preview_timing FILE.mp3 [RUNS] [SECONDS] [RECORDER_LATENCY_MS]
#include <fcntl.h>
#include <mpg123.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "FakeDialogs.h"
#include "edit/TimeCode.h"
#include "sound/QtAudioOutput.h"
#include "ui/UnitMP3Editor.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;  // the null sink's format: s16le, 2 channels

double MsSince(Clock::time_point origin, Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t - origin).count();
}

// parec on the default sink's monitor. With -v parec says every 50 ms which moment of its
// stream the sink plays just then ("Time: 1.234 sec"): each such line, stamped when it arrives,
// ties the recording to the clock whatever latency the sink runs at (a sink renders ahead of
// what it plays by up to its latency, so the arrival of the samples alone would not tell).
class TRecorder {
 public:
  explicit TRecorder(int latencyMs) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    FPid = fork();
    if (FPid == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      // 0: parec's own default.
      const std::string flag =
          latencyMs > 0 ? "--latency-msec=" + std::to_string(latencyMs) : "--raw";
      execlp("parec", "parec", "-v", "-d", "@DEFAULT_MONITOR@", "--format=s16le", "--rate=44100",
             "--channels=2", "--raw", flag.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    FOut = out[0];
    FErr = err[0];
    FThread = std::thread([this] { Run(); });
  }
  ~TRecorder() { Finish(); }

  // True once the clock and the recording are tied together.
  bool Ready() {
    std::lock_guard<std::mutex> lock(FMutex);
    return !FTimes.empty() && !FLeft.empty();
  }

  void Finish() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
      FPid = -1;
    }
    if (FThread.joinable()) FThread.join();
    for (int* fd : {&FOut, &FErr}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

  // The recorded sample that the sink played at moment t (after Finish): from the report of
  // the stream's time nearest to t.
  double FrameAt(Clock::time_point t) const {
    const auto& [at, seconds] = Nearest(t);
    return (seconds + MsSince(at, t) / 1000.0) * kRate;
  }
  // The moment the sink played recorded sample frame.
  Clock::time_point TimeOf(int64_t frame) const {
    // Two steps: the report nearest to a first guess, then the moment from that report.
    Clock::time_point t = FTimes.front().first;
    for (int i = 0; i < 2; ++i) {
      const auto& [at, seconds] = Nearest(t);
      const double ms = (double(frame) / kRate - seconds) * 1000.0;
      t = at + std::chrono::duration_cast<Clock::duration>(
                   std::chrono::duration<double, std::milli>(ms));
    }
    return t;
  }
  const std::vector<double>& Left() const { return FLeft; }

 private:
  const std::pair<Clock::time_point, double>& Nearest(Clock::time_point t) const {
    auto it = std::lower_bound(FTimes.begin(), FTimes.end(), t,
                               [](const auto& s, Clock::time_point v) { return s.first < v; });
    if (it == FTimes.end()) return FTimes.back();
    if (it != FTimes.begin() && t - std::prev(it)->first < it->first - t) --it;
    return *it;
  }

  void Run() {
    std::vector<int16_t> buffer(8192);
    size_t carry = 0;  // bytes of an incomplete frame kept at the front
    auto* bytes = reinterpret_cast<char*>(buffer.data());
    std::string text;
    pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    while (fds[0].fd >= 0) {
      if (poll(fds, 2, -1) < 0) continue;
      const auto now = Clock::now();
      if (fds[1].revents) {
        char piece[4096];
        const ssize_t n = read(FErr, piece, sizeof piece);
        if (n <= 0)
          fds[1].fd = -1;
        else
          text.append(piece, size_t(n));
        // "Time: 0.123 sec; Latency: -45 usec." lines, ended by a carriage return.
        for (size_t end; (end = text.find_first_of("\r\n")) != std::string::npos;
             text.erase(0, end + 1)) {
          double seconds = 0;
          // The stream time stays 0 until the sink has played its first sample.
          if (std::sscanf(text.c_str(), "Time: %lf sec", &seconds) == 1 && seconds > 0) {
            std::lock_guard<std::mutex> lock(FMutex);
            FTimes.emplace_back(now, seconds);
          }
        }
      }
      if (fds[0].revents) {
        const ssize_t n = read(FOut, bytes + carry, buffer.size() * 2 - carry);
        if (n <= 0) break;
        const size_t have = carry + size_t(n);
        const size_t frames = have / 4;
        std::lock_guard<std::mutex> lock(FMutex);
        for (size_t i = 0; i < frames; ++i) FLeft.push_back(buffer[i * 2]);
        carry = have - frames * 4;
        std::memmove(bytes, bytes + frames * 4, carry);
      }
    }
  }

  pid_t FPid = -1;
  int FOut = -1;
  int FErr = -1;
  std::thread FThread;
  std::mutex FMutex;
  std::vector<double> FLeft;
  std::vector<std::pair<Clock::time_point, double>> FTimes;  // (arrival, stream time in s)
};

std::vector<double> DecodeLeft(const std::string& path, long& rate) {
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  int channels = 0, encoding = 0;
  std::vector<double> out;
  if (mpg123_open(h, path.c_str()) != MPG123_OK ||
      mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK) {
    mpg123_delete(h);
    return out;
  }
  mpg123_format_none(h);
  mpg123_format(h, rate, channels, MPG123_ENC_SIGNED_16);
  std::vector<unsigned char> buf(65536);
  for (;;) {
    size_t got = 0;
    const int ret = mpg123_read(h, buf.data(), buf.size(), &got);
    const auto* s = reinterpret_cast<const int16_t*>(buf.data());
    for (size_t i = 0; i < got / 2; i += size_t(channels)) out.push_back(s[i]);
    if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT) break;
  }
  mpg123_close(h);
  mpg123_delete(h);
  return out;
}

double Correlation(const std::vector<double>& a, int64_t aFrom, const std::vector<double>& b,
                   int64_t bFrom, int64_t n) {
  if (aFrom < 0 || bFrom < 0 || aFrom + n > int64_t(a.size()) || bFrom + n > int64_t(b.size()))
    return 0;
  double ab = 0, aa = 0, bb = 0;
  for (int64_t i = 0; i < n; ++i) {
    const double x = a[size_t(aFrom + i)], y = b[size_t(bFrom + i)];
    ab += x * y;
    aa += x * x;
    bb += y * y;
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The sample of ref that heard[at..) plays, searched in [from, to]; -1 when nothing matches.
int64_t HeardSample(const std::vector<double>& heard, int64_t at, const std::vector<double>& ref,
                    int64_t from, int64_t to, double* correlation = nullptr) {
  constexpr int64_t kWindow = 4096;
  int64_t best = -1;
  double bestC = 0.8;
  for (int64_t s = from; s <= to; ++s) {
    const double c = Correlation(heard, at, ref, s, kWindow);
    if (c > bestC) {
      bestC = c;
      best = s;
    }
  }
  if (correlation) *correlation = best >= 0 ? bestC : 0;
  return best;
}

struct TReading {
  Clock::time_point At;
  int64_t PositionMs;  // what the window reads from the player (-1: not playing)
  QString Label;
};

struct TRunResult {
  double StartMs = -1;           // click -> first sound
  double ClickMs = -1;           // click -> the click's handler returns (the player has started)
  std::vector<double> ErrorsMs;  // position read - sample heard at that moment
  std::vector<double> LabelStepsMs;  // times between the label's changes
};

TRunResult RunOnce(pelcato::TFrmMP3Editor& window, const std::vector<double>& ref, int64_t fromMs,
                   int seconds, int recorderLatencyMs) {
  TRunResult result;
  window.TrackBarPos->setValue(int(fromMs));
  TRecorder recorder(recorderLatencyMs);
  // Let the idle sink's silence come in first.
  const auto waitStart = Clock::now();
  while (!recorder.Ready() && Clock::now() - waitStart < std::chrono::seconds(5))
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  const auto settle = Clock::now() + std::chrono::milliseconds(500);
  while (Clock::now() < settle) QApplication::processEvents(QEventLoop::AllEvents, 10);

  std::vector<TReading> readings;
  const auto click = Clock::now();
  window.BtnPlayStart->click();
  result.ClickMs = MsSince(click, Clock::now());
  const auto until = click + std::chrono::seconds(seconds);
  QString lastLabel = window.LabelPos->text();
  std::vector<Clock::time_point> labelSteps;
  QElapsedTimer sampleTimer;
  sampleTimer.start();
  while (Clock::now() < until) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (window.LabelPos->text() != lastLabel) {
      lastLabel = window.LabelPos->text();
      labelSteps.push_back(Clock::now());
    }
    if (sampleTimer.elapsed() >= 123) {
      sampleTimer.restart();
      readings.push_back({Clock::now(), window.Mp3()->PlayPosition(), window.LabelPos->text()});
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  window.BtnStop->click();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  recorder.Finish();

  const std::vector<double>& heard = recorder.Left();
  int64_t onset = int64_t(recorder.FrameAt(click)) - kRate / 20;
  onset = std::max<int64_t>(onset, 0);
  while (onset < int64_t(heard.size()) && std::abs(heard[size_t(onset)]) < 200) ++onset;
  if (onset >= int64_t(heard.size())) {
    std::fprintf(stderr, "the recording is silent\n");
    return result;
  }
  result.StartMs = MsSince(click, recorder.TimeOf(onset));
  // The first sound is the sample at the position; from there the recording runs on with the
  // file, which each reading checks near where it should be.
  const int64_t fromSample = fromMs * kRate / 1000;
  const int64_t start =
      HeardSample(heard, onset + kRate / 10, ref, fromSample + kRate / 10 - kRate / 5,
                  fromSample + kRate / 10 + kRate / 5);
  if (start < 0) {
    std::fprintf(stderr, "the first sound matches no place of the file\n");
    return result;
  }
  const int64_t shift = start - (onset + kRate / 10);  // file sample = recorded frame + shift
  for (const TReading& r : readings) {
    if (r.PositionMs < 0) continue;
    const int64_t frame = int64_t(recorder.FrameAt(r.At));
    if (frame < onset + kRate / 10) continue;  // not sounding yet
    const int64_t guess = frame + shift;
    double c = 0;
    const int64_t sample =
        HeardSample(heard, frame, ref, guess - kRate / 20, guess + kRate / 20, &c);
    if (sample < 0) {
      std::fprintf(stderr, "a reading at %.0f ms matches nothing nearby\n", MsSince(click, r.At));
      continue;
    }
    result.ErrorsMs.push_back(double(r.PositionMs) - double(sample) * 1000.0 / kRate);
  }
  for (size_t i = 1; i < labelSteps.size(); ++i)
    result.LabelStepsMs.push_back(MsSince(labelSteps[i - 1], labelSteps[i]));
  return result;
}

void Summary(const char* what, std::vector<double> v) {
  if (v.empty()) {
    std::printf("  %-34s none\n", what);
    return;
  }
  std::sort(v.begin(), v.end());
  const double mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
  std::printf("  %-34s mean %7.1f  median %7.1f  min %7.1f  max %7.1f  (%zu)\n", what, mean,
              v[v.size() / 2], v.front(), v.back(), v.size());
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.mp3 [RUNS] [SECONDS] [RECORDER_LATENCY_MS]\n", argv[0]);
    return 2;
  }
  const std::string file = argv[1];
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 5;
  // What the recorder asks of the sink: a low latency holds the sink to it, as another program
  // that plays at a low latency would; a high one leaves the sink to the preview's own request,
  // as on a desktop where nothing else plays.
  const int recorderLatencyMs = argc > 4 ? std::atoi(argv[4]) : 10;
  long rate = 0;
  const std::vector<double> ref = DecodeLeft(file, rate);
  if (ref.empty() || rate != kRate) {
    std::fprintf(stderr, "needs a 44100 Hz MP3 that libmpg123 decodes\n");
    return 1;
  }

  QTemporaryDir folder;
  pelcato::test::TFakeDialogs dialogs;
  dialogs.OnMessage = [](const pelcato::test::TShownMessage& box) {
    std::fprintf(stderr, "message: %s\n", qPrintable(box.Text));
  };
  pelcato::TEditorOptions options;
  options.ProgramFolder = folder.path() + QLatin1Char('/');
  options.MakePlayer = [] { return pelcato::MakeDesktopPlayer(); };
  pelcato::TFrmMP3Editor window(dialogs, options);
  window.TimerUpgrade->stop();
  window.show();
  window.OpenFile(QString::fromStdString(file));
  if (!window.BtnPlayStart->isEnabled()) {
    std::fprintf(stderr, "the window did not open %s\n", file.c_str());
    return 1;
  }
  const int64_t duration = window.Mp3()->Info.Duration;

  std::vector<double> starts, clicks, errors, steps;
  for (int i = 0; i < runs; ++i) {
    // Places spread over the file, away from its end.
    const int64_t from = (duration - (seconds + 2) * 1000) * (2 * i + 1) / (2 * runs);
    const TRunResult r = RunOnce(window, ref, from, seconds, recorderLatencyMs);
    std::printf("run %d from %s: first sound %.0f ms after the click", i + 1,
                pelcato::FormatTimeCode(from).c_str(), r.StartMs);
    if (!r.ErrorsMs.empty()) {
      const double mean =
          std::accumulate(r.ErrorsMs.begin(), r.ErrorsMs.end(), 0.0) / double(r.ErrorsMs.size());
      std::printf(", position - heard %.0f ms on average", mean);
    }
    std::printf("\n");
    if (r.StartMs >= 0) starts.push_back(r.StartMs);
    clicks.push_back(r.ClickMs);
    errors.insert(errors.end(), r.ErrorsMs.begin(), r.ErrorsMs.end());
    steps.insert(steps.end(), r.LabelStepsMs.begin(), r.LabelStepsMs.end());
  }
  std::printf("%s, %d runs of %d s, recorder latency %d ms:\n", file.c_str(), runs, seconds,
              recorderLatencyMs);
  Summary("click -> handler returns (ms)", clicks);
  Summary("click -> first sound (ms)", starts);
  Summary("position read - sample heard (ms)", errors);
  Summary("between label steps (ms)", steps);
  window.close();
  return 0;
}
