// The start and end markers of the main window: their pictures dragged along the track bar,
// their masked edits typed into, and the buttons that take the position. The arithmetic is in
// TMarkerPair; here it meets the widgets.
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>

#include "edit/MarkerTrack.h"
#include "edit/TimeCode.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {

QWidget* TFrmMP3Editor::PictureOf(TMarker which) const {
  return which == TMarker::Start ? static_cast<QWidget*>(ImageStart) : ImageEnd;
}

QLineEdit* TFrmMP3Editor::EditOf(TMarker which) const {
  return which == TMarker::Start ? RzMaskEdit1 : RzMaskEdit2;
}

void TFrmMP3Editor::WriteMaskEdit(QLineEdit* edit, const QString& text) {
  // The flag keeps the change handler out of the program's own writes; the caret and the
  // selection stay where the user had them.
  edit->setProperty("Tag", 1);
  const int cursor = edit->cursorPosition();
  const int selectionStart = edit->selectionStart();
  const int selectionLength = edit->selectedText().length();
  edit->setText(text);
  if (selectionLength > 0) {
    if (cursor == selectionStart) {
      edit->setSelection(selectionStart + selectionLength, -selectionLength);
    } else {
      edit->setSelection(selectionStart, selectionLength);
    }
  } else {
    edit->setCursorPosition(cursor);
  }
  edit->setProperty("Tag", 0);
}

void TFrmMP3Editor::MarkerToTime(TMarker which) {
  if (!PictureOf(which)->isEnabled()) return;
  // The track bar's maximum is the length, except for a file without length, whose track
  // bar still needs a maximum of 1.
  const int64_t length = std::min<int64_t>(TrackBarPos->maximum(), FMp3->Info.Duration);
  const int64_t ms = MarkerToMs(FMarkers.Track(which), length);
  (which == TMarker::Start ? FStartMs : FEndMs) = ms;
  WriteMaskEdit(EditOf(which), QString::fromStdString(FormatTimeCode(ms)));
  SyncWaveMarkers();
}

void TFrmMP3Editor::TimeToMarker(TMarker which, int64_t ms) {
  if (!PictureOf(which)->isEnabled()) return;
  (which == TMarker::Start ? FStartMs : FEndMs) = ms;
  const int left = MsToMarker(FMarkers.Track(which), ms, FMp3->Info.Duration);
  QWidget* picture = PictureOf(which);
  picture->move(left, picture->y());
  FMarkers.Placed(which, left);
  SyncWaveMarkers();
}

void TFrmMP3Editor::RzMaskEdit1Change() {
  auto* edit = qobject_cast<QLineEdit*>(sender());
  if (edit == nullptr || edit->property("Tag").toInt() != 0) return;
  const bool start = edit == RzMaskEdit1;
  const int64_t lower = start ? 0 : FStartMs;
  const int64_t upper = start ? FEndMs : FMp3->Info.Duration;
  // Unfilled places show as "_" and read as blanks.
  QString typed = edit->displayText();
  typed.replace(QLatin1Char('_'), QLatin1Char(' '));
  const int64_t ms = ClampTypedTimeCode(typed.toStdString(), lower, upper);
  const QString text = QString::fromStdString(FormatTimeCode(ms));
  if (text != edit->displayText()) WriteMaskEdit(edit, text);
  TimeToMarker(start ? TMarker::Start : TMarker::End, ms);
}

void TFrmMP3Editor::BtnSetStartClick() {
  // Written with the flag down, so the edit's handler clamps it and moves the marker.
  RzMaskEdit1->setText(LabelPos->text());
}

void TFrmMP3Editor::BtnSetEndClick() {
  RzMaskEdit2->setText(LabelPos->text());
}

// ---- Dragging ----------------------------------------------------------------------------

void TFrmMP3Editor::ImageStartMouseDown(QMouseEvent* event) {
  MarkerMouseDown(TMarker::Start, event);
}
void TFrmMP3Editor::ImageStartMouseMove(QMouseEvent* event) {
  MarkerMouseMove(TMarker::Start, event, false);
}
void TFrmMP3Editor::ImageStartMouseUp(QMouseEvent* event) {
  MarkerMouseMove(TMarker::Start, event, true);
}
void TFrmMP3Editor::ImageEndMouseDown(QMouseEvent* event) {
  MarkerMouseDown(TMarker::End, event);
}
void TFrmMP3Editor::ImageEndMouseMove(QMouseEvent* event) {
  MarkerMouseMove(TMarker::End, event, false);
}
void TFrmMP3Editor::ImageEndMouseUp(QMouseEvent* event) {
  MarkerMouseMove(TMarker::End, event, true);
}

namespace {

// The mouse point in the window's client coordinates: the picture moves during the drag, so
// its own coordinates are no fixed frame.
TMarkerPoint WindowPoint(QWidget* picture, QWidget* window, QMouseEvent* event) {
  const QPoint p = picture->mapTo(window, event->position().toPoint());
  return {p.x(), p.y()};
}

}  // namespace

void TFrmMP3Editor::MarkerMouseDown(TMarker which, QMouseEvent* event) {
  QWidget* picture = PictureOf(which);
  if (!picture->isEnabled() || event->button() != Qt::LeftButton) return;
  FMarkers.BeginDrag(which, WindowPoint(picture, this, event));
  picture->raise();
}

void TFrmMP3Editor::MarkerMouseMove(TMarker which, QMouseEvent* event, bool release) {
  QWidget* picture = PictureOf(which);
  if (!picture->isEnabled()) return;
  const TMarkerPoint p = WindowPoint(picture, this, event);
  const bool moved = release ? FMarkers.EndDrag(which, p) : FMarkers.DragTo(which, p);
  if (!moved) return;
  picture->move(FMarkers.Track(which).CurrentLeft, picture->y());
  MarkerToTime(which);
}

}  // namespace pelcato
