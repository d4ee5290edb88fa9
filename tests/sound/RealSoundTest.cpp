// The desktop program's player through the real QAudioSink path into a PulseAudio server: a
// null sink whose monitor parec records. scripts/pelcato.sh test starts a private server and
// points PULSE_SERVER at it.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "SoundTestUtil.h"
#include "sound/QtAudioOutput.h"
#include "sound/SoundPlayer.h"

namespace pelcato::test {
namespace {

using Clock = std::chrono::steady_clock;

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

bool ServerReachable() {
  QProcess pactl;
  pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
  return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit &&
         pactl.exitCode() == 0;
}

void WaitMs(int ms) {
  QThread::msleep(ulong(ms));
}

// Skips, or fails under CI=true, when no server is reachable.
#define REQUIRE_SOUND_SERVER()                                                               \
  do {                                                                                       \
    if (!ServerReachable()) {                                                                \
      if (InCi())                                                                            \
        FAIL() << "No PulseAudio server is reachable, yet CI=true: the test command starts " \
                  "one (pulseaudio, pulseaudio-utils)";                                      \
      GTEST_SKIP() << "No PulseAudio server is reachable (pactl info failed); "              \
                      "scripts/pelcato.sh test starts a private one";                        \
    }                                                                                        \
  } while (0)

constexpr int kRate = 44100;  // the null sink's own format: s16le, 2 channels, 44100 Hz

// parec on the monitor of the default sink, into a file. While it records at a low latency
// the null sink plays at that latency too, as a sound card would.
class TMonitorRecorder {
 public:
  TMonitorRecorder() {
    FPath = FDir.filePath(QStringLiteral("monitor.raw"));
    FParec.setStandardOutputFile(FPath);
    FParec.start(QStringLiteral("parec"),
                 {QStringLiteral("-d"), QStringLiteral("@DEFAULT_MONITOR@"),
                  QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                  QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=10"),
                  QStringLiteral("--raw")});
  }
  ~TMonitorRecorder() { Finish(); }

  // True once a fifth of a second (of the silence of an idle sink) has come in.
  bool WaitUntilRecording() {
    if (!FParec.waitForStarted(5000)) return false;
    const auto start = Clock::now();
    while (Frames() < kRate / 5 && Clock::now() - start < std::chrono::seconds(5)) WaitMs(10);
    return Frames() >= kRate / 5;
  }
  int64_t Frames() const { return QFileInfo(FPath).size() / 4; }

  // Stops recording; the first channel of what was recorded.
  std::vector<double> Finish() {
    if (FParec.state() != QProcess::NotRunning) {
      FParec.terminate();
      FParec.waitForFinished(5000);
    }
    QFile file(FPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray raw = file.readAll();
    std::vector<int16_t> samples(size_t(raw.size()) / 2);
    std::memcpy(samples.data(), raw.constData(), samples.size() * 2);
    return FirstChannel(samples, 2);
  }

 private:
  QTemporaryDir FDir;
  QString FPath;
  QProcess FParec;
};

// The first and one past the last sample louder than silence, from from on.
std::pair<size_t, size_t> SoundSpan(const std::vector<double>& heard, size_t from) {
  size_t first = from;
  while (first < heard.size() && std::abs(heard[first]) < 200) ++first;
  size_t last = heard.size();
  while (last > first && std::abs(heard[last - 1]) < 200) --last;
  return {first, last};
}

int64_t Ms(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

TEST(RealSound, PlaysTheFileFromThePositionThroughTheSoundServer) {
  REQUIRE_SOUND_SERVER();
  constexpr int64_t kFromMs = 1500;
  TMonitorRecorder recorder;
  ASSERT_TRUE(recorder.WaitUntilRecording()) << "parec (pulseaudio-utils) records nothing";

  TSoundPlayer player(std::make_unique<TQtAudioOutput>(std::chrono::seconds(10)));
  player.Open(DataFile("sweep.mp3"));
  player.SetPosition(kFromMs);
  const int64_t recordedAtPlay = recorder.Frames();
  const auto playCalled = Clock::now();
  player.Play();
  const auto playReturned = Clock::now();
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  // A second of sound, however long a loaded machine takes to play it; 1.5 s of the file
  // remain for Close to silence.
  int64_t position = player.Position();
  while (position < kFromMs + 1000 && Clock::now() - playCalled < std::chrono::seconds(20)) {
    WaitMs(10);
    position = player.Position();
  }
  const int64_t elapsed = Ms(Clock::now() - playCalled);
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  player.Close();
  const int64_t recordedAtClose = recorder.Frames();
  WaitMs(1500);
  const std::vector<double> heard = recorder.Finish();

  // The position moves on with the sound and never well ahead of the clock: a position that
  // counted the sound handed to the server, not the sound played, would be its buffer ahead.
  EXPECT_GE(position, kFromMs + 1000) << "no second was played in 20 s";
  EXPECT_LE(position, kFromMs + elapsed + 250);

  const TDecoded whole = DecodeWhole(DataFile("sweep.mp3"));
  ASSERT_EQ(whole.Rate, kRate);
  const std::vector<double> ref = FirstChannel(whole.Samples, whole.Channels);
  const auto [onset, last] =
      SoundSpan(heard, size_t(std::max<int64_t>(0, recordedAtPlay - kRate / 10)));
  ASSERT_LT(onset + kRate, heard.size()) << "the recording is silent";

  // A stretch from a little after the first sound is the file's sound at the position...
  constexpr size_t kWindow = 8192;
  const size_t probe = onset + kRate / 20;
  const int64_t expected = kFromMs * kRate / 1000 + kRate / 20;
  const TMatch match =
      BestMatch(heard, probe, ref, expected - kRate / 10, expected + kRate / 10, kWindow);
  EXPECT_GT(match.Correlation, 0.9);
  EXPECT_LE(std::abs(match.Offset - expected), 1152) << "off by " << match.Offset - expected;
  // ... and neither the start of the file nor the sound a second later.
  EXPECT_LT(Correlation(heard, probe, ref, kRate / 20, kWindow), 0.3);
  EXPECT_LT(Correlation(heard, probe, ref, expected + kRate, kWindow), 0.3);
  // A second was heard, and Close silenced the rest: of the 1.5 s left in the file, far less
  // than a second is heard after it (the recording may lag behind on a loaded machine).
  const double heardMs = double(last - onset) * 1000 / kRate;
  EXPECT_GT(heardMs, 800);
  EXPECT_LT(double(last) - double(recordedAtClose), kRate * 1.0) << "sound after Close";

  std::cout << "Play() took " << Ms(playReturned - playCalled) << " ms; first sound "
            << (int64_t(onset) - recordedAtPlay) * 1000 / kRate
            << " ms after Play() in the recording; correlation " << match.Correlation << " at "
            << match.Offset - expected << " samples from the position; heard " << heardMs
            << " ms; position after " << elapsed << " ms " << position << " ms; sound ended "
            << (int64_t(last) - recordedAtClose) * 1000 / kRate << " ms after Close()\n";
}

TEST(RealSound, ReportsStoppedOnceTheLastSampleIsPlayed) {
  REQUIRE_SOUND_SERVER();
  TMonitorRecorder recorder;
  ASSERT_TRUE(recorder.WaitUntilRecording()) << "parec (pulseaudio-utils) records nothing";
  TSoundPlayer player(std::make_unique<TQtAudioOutput>(std::chrono::seconds(10)));
  player.Open(DataFile("sweep.mp3"));
  const int64_t length = player.Length();
  player.SetPosition(length - 500);
  const int64_t recordedAtPlay = recorder.Frames();
  const auto start = Clock::now();
  player.Play();
  int64_t lastPosition = 0;
  while (player.Mode() == TPlayerMode::Playing && Clock::now() - start < std::chrono::seconds(60)) {
    lastPosition = player.Position();
    WaitMs(5);
  }
  const int64_t stoppedAfter = Ms(Clock::now() - start);
  const int64_t recordedAtStop = recorder.Frames();
  WaitMs(200);
  const std::vector<double> heard = recorder.Finish();
  const auto [onset, last] = SoundSpan(heard, size_t(recordedAtPlay));

  EXPECT_EQ(player.Mode(), TPlayerMode::Stopped) << "still playing a minute after the last "
                                                    "half second began";
  EXPECT_GE(stoppedAfter, 480) << "stopped before half a second of sound was played";
  EXPECT_GE(lastPosition, length - 100);
  EXPECT_EQ(player.Position(), length);
  EXPECT_GE(double(last - onset) * 1000 / kRate, 440) << "the last half second was heard";
  // Stopped is reported once the sound has ended (the recording lags a little behind).
  EXPECT_GE(int64_t(recordedAtStop), int64_t(last) - kRate / 10);
  std::cout << "500 ms before the end: stopped " << stoppedAfter << " ms after Play(); "
            << (int64_t(recordedAtStop) - int64_t(last)) * 1000 / kRate
            << " ms after the recorded sound ended\n";
  player.Close();
}

// Run with PULSE_SERVER pointing nowhere: the machine without sound.
TEST(NoSoundServer, PlayFailsWithAClearText) {
  TSoundPlayer player(std::make_unique<TQtAudioOutput>(std::chrono::seconds(10)));
  player.Open(DataFile("cbr128.mp3"));
  try {
    player.Play();
    FAIL() << "Play succeeded without a sound server";
  } catch (const EPlayerError& e) {
    EXPECT_STREQ(e.what(), "No audio output device is available");
  }
  EXPECT_EQ(player.Mode(), TPlayerMode::Stopped);
  player.Close();
  EXPECT_EQ(player.Mode(), TPlayerMode::NotOpen);
}

}  // namespace
}  // namespace pelcato::test

namespace pelcato::test {
namespace {

// Run in a process of its own: a private server that stops answering (SIGSTOP) in the middle
// of the session. Play gives up after its timeout, Close does not wait for the server, and
// once the server answers again the player works again.
TEST(StalledSoundServer, PlayGivesUpInTimeAndCloseReturnsAtOnce) {
  QTemporaryDir dir;
  QProcess server;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
  env.insert(QStringLiteral("HOME"), dir.path());
  server.setProcessEnvironment(env);
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.start(
      QStringLiteral("pulseaudio"),
      {QStringLiteral("-n"), QStringLiteral("--load=module-null-sink"),
       QStringLiteral("--load=module-native-protocol-unix"), QStringLiteral("--exit-idle-time=-1"),
       QStringLiteral("--daemonize=no"), QStringLiteral("--log-level=error")});
  if (!server.waitForStarted(5000)) {
    if (InCi()) FAIL() << "pulseaudio does not start, yet CI=true";
    GTEST_SKIP() << "pulseaudio is not installed";
  }
  const QString socket = dir.filePath(QStringLiteral("pulse/native"));
  const auto begin = Clock::now();
  while (!QFileInfo::exists(socket) && Clock::now() - begin < std::chrono::seconds(10)) WaitMs(20);
  ASSERT_TRUE(QFileInfo::exists(socket)) << "the private server made no socket";
  qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());

  constexpr auto kTimeout = std::chrono::seconds(6);
  TSoundPlayer player(std::make_unique<TQtAudioOutput>(kTimeout));
  player.Open(DataFile("sweep.mp3"));
  player.Play();  // connected and playing
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  player.Close();

  ::kill(pid_t(server.processId()), SIGSTOP);
  player.Open(DataFile("sweep.mp3"));
  const auto playCalled = Clock::now();
  EXPECT_THROW(
      {
        try {
          player.Play();
        } catch (const EPlayerError& e) {
          EXPECT_STREQ(e.what(), "The sound server does not answer");
          throw;
        }
      },
      EPlayerError);
  const auto gaveUp = Clock::now();
  player.Close();
  const auto closed = Clock::now();
  // Play waited for its timeout (and returned: a Play that waited for ever never gets here);
  // Close did not wait a timeout for the stalled server, however slow the machine.
  EXPECT_GE(gaveUp - playCalled, kTimeout - std::chrono::milliseconds(50));
  EXPECT_LT(closed - gaveUp, kTimeout / 2);
  EXPECT_EQ(player.Mode(), TPlayerMode::NotOpen);

  // Once the server answers again, so does the player.
  ::kill(pid_t(server.processId()), SIGCONT);
  player.Open(DataFile("sweep.mp3"));
  EXPECT_NO_THROW(player.Play());
  EXPECT_EQ(player.Mode(), TPlayerMode::Playing);
  player.Close();
  server.terminate();
  server.waitForFinished(5000);
}

}  // namespace
}  // namespace pelcato::test
