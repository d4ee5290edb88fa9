// How soon the main window answers while the Waveform page's peaks are decoded: the window
// opens the file (offscreen unless a display is given) with the Waveform page in front, and
// until the decode has ended a precise 5 ms timer notes how late each of its ticks comes, and
// every 50 ms a click posted to the waveform notes how long it waits to be handled.
//   wave_latency FILE.mp3 [RUNS]
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/WaveView.h"
#include "wave/WaveTrack.h"

namespace {

// Notes when each posted click reaches the view.
class TClickClock : public QObject {
 public:
  QElapsedTimer* Clock = nullptr;
  std::vector<qint64> PostedNs;
  std::vector<double> WaitsMs;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && !PostedNs.empty()) {
      WaitsMs.push_back(double(Clock->nsecsElapsed() - PostedNs.front()) / 1e6);
      PostedNs.erase(PostedNs.begin());
    }
    return QObject::eventFilter(watched, event);
  }
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.mp3 [RUNS]\n", argv[0]);
    return 2;
  }
  const QString file = QString::fromLocal8Bit(argv[1]);
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  QTemporaryDir folder;
  pelcato::test::TFakeDialogs dialogs;
  pelcato::TEditorOptions options;
  options.ProgramFolder = folder.path() + QLatin1Char('/');
  pelcato::TFrmMP3Editor window(dialogs, options);
  window.TimerUpgrade->stop();
  window.RzPageControl1->setCurrentWidget(window.TabSheet3);
  window.show();
  pelcato::TWaveView* view = window.PaintBoxWave;
  TClickClock clicks;
  view->installEventFilter(&clicks);

  std::vector<double> late, waits, decodes;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer clock;
    clock.start();
    clicks.Clock = &clock;
    clicks.PostedNs.clear();
    clicks.WaitsMs.clear();
    window.OpenFile(file);
    if (!window.BtnPlayStart->isEnabled()) {
      std::fprintf(stderr, "the window did not open %s\n", argv[1]);
      return 1;
    }
    const double openMs = double(clock.nsecsElapsed()) / 1e6;
    qint64 last = clock.nsecsElapsed();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      late.push_back(std::max(0.0, double(now - last) / 1e6 - 5.0));
      last = now;
    });
    QTimer click;
    click.setInterval(50);
    QObject::connect(&click, &QTimer::timeout, [&] {
      const QPointF at(view->width() * 0.5, view->height() * 0.3);
      clicks.PostedNs.push_back(clock.nsecsElapsed());
      QCoreApplication::postEvent(
          view, new QMouseEvent(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(
          view, new QMouseEvent(QEvent::MouseButtonRelease, at, view->mapToGlobal(at),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    });
    tick.start();
    click.start();
    while (window.Wave().Decoding())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    tick.stop();
    click.stop();
    QCoreApplication::processEvents();
    const double decodeMs = double(clock.nsecsElapsed()) / 1e6 - openMs;
    decodes.push_back(decodeMs);
    waits.insert(waits.end(), clicks.WaitsMs.begin(), clicks.WaitsMs.end());
    std::printf("run %d: open %.0f ms, decode %.0f ms (%s), %zu clicks answered\n", run + 1, openMs,
                decodeMs, window.Wave().Decoded() ? "whole file" : "not finished",
                clicks.WaitsMs.size());
  }
  std::printf("timer ticks late (ms):   median %.2f  p99 %.2f  max %.2f  (%zu ticks)\n",
              Percentile(late, 0.5), Percentile(late, 0.99), Percentile(late, 1.0), late.size());
  std::printf("click waits (ms):        median %.2f  p99 %.2f  max %.2f  (%zu clicks)\n",
              Percentile(waits, 0.5), Percentile(waits, 0.99), Percentile(waits, 1.0),
              waits.size());
  std::printf("event loop latency max:  %.1f ms  (target at most 100)\n",
              std::max(Percentile(late, 1.0), Percentile(waits, 1.0)));
  window.close();
  return 0;
}
