// Preview playback in the main window: the three play modes, the position timer, Stop, the
// track bar as the position picker while nothing plays, and the markers set where the sound is
// while it plays.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "edit/TimeCode.h"
#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/WaveView.h"

namespace pelcato {

namespace {

enum TPlayMode { PlayFromPosition = 0, PlayFromStart = 1, PlayFromEnd = 2 };

}  // namespace

bool TFrmMP3Editor::StartPreview(int64_t fromMs) {
  std::string errorText;
  const bool playing = FMp3->PlayFrom(errorText, fromMs);
  if (!playing && !errorText.empty()) {
    FDialogs.ShowMessage(this, QString::fromStdString(errorText), Msg(FMessages.Ms_Error),
                         TMsgIcon::Error, TMsgButtons::Ok);
  }
  return playing;
}

void TFrmMP3Editor::BtnPlayStartClick() {
  PM_Play->trigger();
}

void TFrmMP3Editor::PM_PlayClick() {
  auto* item = qobject_cast<QAction*>(sender());
  PlayFrom(item != nullptr ? item->property("Tag").toInt() : PlayFromPosition);
}

void TFrmMP3Editor::PlayFrom(int mode) {
  const int64_t from = mode == PlayFromStart ? FStartMs
                       : mode == PlayFromEnd ? FEndMs
                                             : int64_t(TrackBarPos->value());
  // Nothing is left to hear from the very end.
  if (from >= FMp3->Info.Duration) return;
  if (!StartPreview(from)) return;
  ApplyCommandState(TCommandState::Previewing);
  // From a marker the position label jumps there at once.
  if (mode != PlayFromPosition) TrackBarPos->setValue(int(std::clamp<int64_t>(from, 0, INT_MAX)));
  TimerPos->start();
}

void TFrmMP3Editor::TimerPosTimer() {
  if (FMp3->IsStopped()) EndPreview();
  ShowPlayPosition();
}

int64_t TFrmMP3Editor::ShowPlayPosition() {
  const int64_t position = FMp3->PlayPosition();
  if (position >= 0) TrackBarPos->setValue(int(std::min<int64_t>(position, INT_MAX)));
  return position;
}

void TFrmMP3Editor::BtnStopClick() {
  // The position where the sound stops, rather than where the last tick left it up to a
  // second earlier: a marker taken after Stop, and the next preview from the position, start
  // there.
  ShowPlayPosition();
  FMp3->Stop();
  EndPreview();
}

void TFrmMP3Editor::MarkHeardPosition(TMarker which) {
  // The track bar and its label jump to the sound, and the marker's edit takes the position as
  // the pin button would take it after Stop, clamped by the other marker.
  if (ShowPlayPosition() < 0) return;
  (which == TMarker::Start ? RzMaskEdit1 : RzMaskEdit2)->setText(LabelPos->text());
}

void TFrmMP3Editor::EndPreview() {
  // The track bar keeps the last position read, so the next preview from the position
  // resumes near where the sound stopped.
  TimerPos->stop();
  ApplyCommandState(TCommandState::FileOpen);
}

void TFrmMP3Editor::StopPreview() {
  if (FCommandState != TCommandState::Previewing && !TimerPos->isActive()) return;
  FMp3->Stop();
  TimerPos->stop();
}

void TFrmMP3Editor::TrackBarPosChange() {
  LabelPos->setText(QString::fromStdString(FormatTimeCode(TrackBarPos->value())));
  PaintBoxWave->SetPosition(TrackBarPos->value());
}

}  // namespace pelcato
