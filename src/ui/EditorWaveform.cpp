// The "Waveform" page of the main window: the open file's waveform, shown with the file's facts
// from the estimate the open's walk made and replaced by peaks decoded on a thread of its own,
// its marker lines that move the markers by the pictures' rules, the position line, and the
// press that picks the position as the track bar does.
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "edit/TimeCode.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"
#include "ui/WaveView.h"
#include "wave/LevelEstimate.h"
#include "wave/Timeline.h"
#include "wave/WaveTrack.h"

namespace pelcato {

namespace {

// One frame's time: the deepest zoom shows a frame a column.
double FrameMs(const TMp3DataInfo& info) {
  if (info.SampleRate <= 0) return 0.0;
  const int samples = info.Layer == 1 ? 384 : info.Layer == 2 || info.Version == 1.0 ? 1152 : 576;
  return 1000.0 * samples / info.SampleRate;
}

}  // namespace

void TFrmMP3Editor::CreateWavePage() {
  FEstimator = std::make_unique<TLevelEstimator>();
  FWave = std::make_unique<TWaveTrack>();
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  RzPageControl1->addTab(TabSheet3, QStringLiteral("Waveform"));
  auto* layout = new QVBoxLayout(TabSheet3);
  layout->setContentsMargins(6, 6, 6, 4);
  PaintBoxWave = new TWaveView(TabSheet3);
  PaintBoxWave->setObjectName(QStringLiteral("PaintBoxWave"));
  layout->addWidget(PaintBoxWave);
  connect(PaintBoxWave, &TWaveView::MarkerDragged, this, &TFrmMP3Editor::PaintBoxWaveMarkerDragged);
  connect(PaintBoxWave, &TWaveView::PositionPicked, this,
          &TFrmMP3Editor::PaintBoxWavePositionPicked);
  // The sound's position a few times a second, where the position timer moves the track bar
  // once a second.
  TimerWave = new QTimer(this);
  TimerWave->setObjectName(QStringLiteral("TimerWave"));
  TimerWave->setInterval(40);
  connect(TimerWave, &QTimer::timeout, this, &TFrmMP3Editor::TimerWaveTimer);
}

void TFrmMP3Editor::ShowWaveform() {
  if (FCommandState != TCommandState::FileOpen) {
    // No file: nothing to draw, nothing decoded.
    FWave->Clear();
    PaintBoxWave->SetFile(nullptr, 0, 0.0);
    return;
  }
  const TMp3DataInfo& info = FMp3->Info;
  FEstimator->SetTimelineShift(PlayerTimelineShift(info.FileName));
  FWave->SetEstimate(std::move(FEstimator->Summary()));
  FEstimator->Begin(0);
  const size_t blocks = size_t(std::max<int64_t>(info.Duration, 0)) *
                            size_t(std::max(info.SampleRate, 0)) / 1000 /
                            size_t(TWaveSummary::kBlockSamples) +
                        2;
  FWave->StartDecode(info.FileName, blocks);
  PaintBoxWave->SetFile(FWave.get(), info.Duration, FrameMs(info));
  SyncWaveMarkers();
  SyncWaveState();
}

void TFrmMP3Editor::SyncWaveMarkers() {
  if (PaintBoxWave == nullptr) return;
  PaintBoxWave->SetMarkers(FStartMs, FEndMs);
  SyncWaveVolume();
}

void TFrmMP3Editor::SyncWaveState() {
  if (PaintBoxWave == nullptr) return;
  // The lines move as the pictures do, the position as the track bar does.
  PaintBoxWave->SetMarkersMovable(ImageStart->isEnabled());
  PaintBoxWave->SetPositionMovable(TrackBarPos->isEnabled());
  if (FCommandState == TCommandState::Previewing) {
    if (!TimerWave->isActive()) TimerWave->start();
  } else {
    TimerWave->stop();
    PaintBoxWave->SetPosition(TrackBarPos->value());
  }
}

void TFrmMP3Editor::PaintBoxWaveMarkerDragged(TMarker which, int64_t ms, bool) {
  if (!PictureOf(which)->isEnabled()) return;
  // The length the pictures stand for (see MarkerToTime), and the limits their drag keeps.
  const int64_t length = std::min<int64_t>(TrackBarPos->maximum(), FMp3->Info.Duration);
  const int64_t allowed = FMarkers.AllowedMs(which, ms, length);
  TimeToMarker(which, allowed);
  WriteMaskEdit(EditOf(which), QString::fromStdString(FormatTimeCode(allowed)));
}

void TFrmMP3Editor::PaintBoxWavePositionPicked(int64_t ms) {
  // As the track bar's thumb: only while the track bar takes it, and within its range.
  if (!TrackBarPos->isEnabled()) return;
  TrackBarPos->setValue(int(std::clamp<int64_t>(ms, 0, INT_MAX)));
}

void TFrmMP3Editor::TimerWaveTimer() {
  const int64_t position = FMp3->PlayPosition();
  if (position >= 0) PaintBoxWave->SetPosition(position);
}

}  // namespace pelcato
