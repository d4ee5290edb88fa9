// The "Waveform" page's picture of the open file: its smallest and largest sample per pixel
// column, the start and end markers as lines in the marker pictures' green and red with the
// range between them shaded, and the position as a line. A marker's line is dragged to move
// the marker, a press elsewhere picks the position, the wheel zooms around the pointer (down
// to one frame a column) and the scroll bar beneath moves a zoomed view. What a drag or a
// press asks for is only asked: the window applies its rules and tells the view the outcome.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "edit/MarkerTrack.h"

class QScrollBar;
class QTimer;

namespace pelcato {

class TWaveTrack;

class TWaveView : public QWidget {
  Q_OBJECT
 public:
  explicit TWaveView(QWidget* parent = nullptr);

  // The file shown and how it is drawn: its length, and one frame's time (a column shows at
  // least that much). Without a track or with a length of 0 the view is empty and inert.
  void SetFile(const TWaveTrack* track, int64_t lengthMs, double frameMs);
  void SetMarkers(int64_t startMs, int64_t endMs);
  // What a save does to the sound between the markers: factor(ms) scales the envelope there
  // (the result of a gain and fades). None: the sound as it is.
  void SetRangeGain(std::function<double(double ms)> factor);
  // The position line. When it leaves a zoomed view, the view moves to show it.
  void SetPosition(int64_t ms);
  // Whether a drag of the lines and a press elsewhere are taken (the window's state says).
  void SetMarkersMovable(bool movable) { FMarkersMovable = movable; }
  void SetPositionMovable(bool movable) { FPositionMovable = movable; }
  // Redraws now, and every tenth of a second while the track's decode runs.
  void Refresh();

  // The part of the file in view, and where it lies in the picture (pixels from its left).
  double ViewFromMs() const { return FFromMs; }
  double ViewSpanMs() const { return FSpanMs; }
  double MsAt(double x) const;
  double XOf(double ms) const;
  int PlotWidth() const;
  int PlotHeight() const;
  QScrollBar* ScrollBar() const { return FScroll; }

 signals:
  // A marker's line was dragged to ms (release: the drag ends there).
  void MarkerDragged(pelcato::TMarker which, int64_t ms, bool release);
  void PositionPicked(int64_t ms);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  bool Active() const { return FTrack != nullptr && FLengthMs > 0; }
  // The marker whose line lies within reach of x, if any.
  bool LineAt(double x, TMarker& which) const;
  void SetView(double fromMs, double spanMs);
  void SyncScrollBar();
  int64_t PointerMs(double x) const;

  const TWaveTrack* FTrack = nullptr;
  int64_t FLengthMs = 0;
  double FFrameMs = 0.0;
  double FFromMs = 0.0;
  double FSpanMs = 0.0;
  int64_t FStartMs = 0;
  int64_t FEndMs = 0;
  int64_t FPositionMs = 0;
  std::function<double(double ms)> FRangeGain;
  bool FMarkersMovable = false;
  bool FPositionMovable = false;
  enum class TDrag { None, Start, End, Position } FDrag = TDrag::None;
  QScrollBar* FScroll = nullptr;
  QTimer* FPoll = nullptr;
  bool FSyncing = false;
};

}  // namespace pelcato
