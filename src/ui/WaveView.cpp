#include "ui/WaveView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "wave/WaveTrack.h"

namespace pelcato {

namespace {

constexpr int kScrollHeight = 12;
// Room beside the picture, so that a line at either end shows whole with its flag.
constexpr int kInset = 5;
// How near to a line (in pixels) a press takes that line.
constexpr double kLineReach = 4.0;
// One wheel step zooms by this much.
constexpr double kZoomStep = 1.25;

const QColor kBackground(0xFF, 0xFF, 0xFF);
const QColor kRange(0xE6, 0xEF, 0xF8);
const QColor kAxis(0xC3, 0xD0, 0xDC);
// The decoded peaks and their RMS, and the lighter estimate before the decode reaches a column.
const QColor kPeak(0x6F, 0x9B, 0xC2);
const QColor kRms(0x2C, 0x55, 0x77);
const QColor kEstimatePeak(0xC9, 0xD7, 0xE4);
const QColor kEstimateRms(0x9F, 0xB7, 0xCD);
// The marker pictures' green and red, and the position.
const QColor kStart(0x2E, 0x9E, 0x44);
const QColor kEnd(0xCC, 0x3A, 0x33);
const QColor kPosition(0x17, 0x30, 0x4A);

}  // namespace

TWaveView::TWaveView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A click takes the keyboard from a text edit, so that Space plays again.
  setFocusPolicy(Qt::ClickFocus);
  FScroll = new QScrollBar(Qt::Horizontal, this);
  FScroll->setObjectName(QStringLiteral("ScrollBarWave"));
  FScroll->hide();
  connect(FScroll, &QScrollBar::valueChanged, this, [this](int value) {
    if (FSyncing) return;
    FFromMs = value;
    update();
  });
  FPoll = new QTimer(this);
  FPoll->setInterval(100);
  connect(FPoll, &QTimer::timeout, this, [this] {
    update();
    if (FTrack == nullptr || !FTrack->Decoding()) FPoll->stop();
  });
}

void TWaveView::SetFile(const TWaveTrack* track, int64_t lengthMs, double frameMs) {
  FTrack = track;
  FLengthMs = std::max<int64_t>(lengthMs, 0);
  FFrameMs = frameMs;
  FDrag = TDrag::None;
  FStartMs = 0;
  FEndMs = FLengthMs;
  FPositionMs = 0;
  FFromMs = 0.0;
  FSpanMs = double(FLengthMs);
  SyncScrollBar();
  unsetCursor();
  Refresh();
}

void TWaveView::SetMarkers(int64_t startMs, int64_t endMs) {
  if (startMs == FStartMs && endMs == FEndMs) return;
  FStartMs = startMs;
  FEndMs = endMs;
  update();
}

void TWaveView::SetRangeGain(std::function<double(double ms)> factor) {
  FRangeGain = std::move(factor);
  update();
}

void TWaveView::SetPosition(int64_t ms) {
  if (ms == FPositionMs) return;
  FPositionMs = ms;
  if (Active() && FSpanMs < double(FLengthMs) &&
      (double(ms) < FFromMs || double(ms) > FFromMs + FSpanMs)) {
    // A little of what came before stays in view.
    SetView(double(ms) - FSpanMs / 20.0, FSpanMs);
  }
  update();
}

void TWaveView::Refresh() {
  update();
  if (FTrack != nullptr && FTrack->Decoding() && !FPoll->isActive()) FPoll->start();
}

int TWaveView::PlotWidth() const {
  return std::max(width() - 2 * kInset, 1);
}

int TWaveView::PlotHeight() const {
  return std::max(height() - kScrollHeight, 1);
}

double TWaveView::MsAt(double x) const {
  return FFromMs + (x - kInset) * FSpanMs / double(PlotWidth());
}

double TWaveView::XOf(double ms) const {
  return kInset + (FSpanMs > 0.0 ? (ms - FFromMs) * double(PlotWidth()) / FSpanMs : 0.0);
}

int64_t TWaveView::PointerMs(double x) const {
  return std::clamp<int64_t>(std::llround(MsAt(x)), 0, FLengthMs);
}

void TWaveView::SetView(double fromMs, double spanMs) {
  // The deepest zoom shows one frame a column; a file shorter than that is shown whole.
  const double length = double(FLengthMs);
  const double least = std::min(length, std::max(FFrameMs, 0.001) * double(PlotWidth()));
  FSpanMs = std::clamp(spanMs, least, length);
  FFromMs = std::clamp(fromMs, 0.0, length - FSpanMs);
  SyncScrollBar();
  update();
}

void TWaveView::SyncScrollBar() {
  FSyncing = true;
  FScroll->setGeometry(0, height() - kScrollHeight, width(), kScrollHeight);
  const bool zoomed = Active() && FSpanMs < double(FLengthMs);
  if (zoomed) {
    FScroll->setRange(0, int(std::min<double>(std::llround(double(FLengthMs) - FSpanMs), INT_MAX)));
    FScroll->setPageStep(std::max(1, int(std::min<double>(FSpanMs, INT_MAX))));
    FScroll->setSingleStep(std::max(1, int(FSpanMs / 20.0)));
    FScroll->setValue(int(std::llround(FFromMs)));
  }
  FScroll->setVisible(zoomed);
  FSyncing = false;
}

void TWaveView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (Active()) {
    SetView(FFromMs, FSpanMs);
  } else {
    SyncScrollBar();
  }
}

void TWaveView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = PlotWidth();
  const int h = PlotHeight();
  p.fillRect(rect(), kBackground);
  const double mid = h / 2.0;
  if (!Active()) {
    p.setPen(kAxis);
    p.drawLine(QPointF(kInset, mid), QPointF(kInset + w, mid));
    return;
  }
  // The range the markers hold.
  const double x0 = std::clamp(XOf(double(FStartMs)), 0.0, double(width()));
  const double x1 = std::clamp(XOf(double(FEndMs)), 0.0, double(width()));
  if (x1 > x0) p.fillRect(QRectF(x0, 0, x1 - x0, h), kRange);

  // The envelope, a column a pixel, drawn from the middle by its extremes and its RMS.
  const TEnvelope env = FTrack->View(FFromMs, FFromMs + FSpanMs, w);
  const double half = mid - 1.0;
  const auto y = [&](double v) { return mid - std::clamp(v, -1.0, 1.0) * half; };
  for (int c = 0; c < env.Covered && c < env.Width; ++c) {
    const size_t i = size_t(c);
    const bool measured = c < env.Measured;
    // Between the markers, the sound as a save with a volume writes it.
    const double ms = FFromMs + (c + 0.5) * FSpanMs / w;
    const double f =
        FRangeGain && ms >= double(FStartMs) && ms < double(FEndMs) ? FRangeGain(ms) : 1.0;
    const double top = y(env.Max[i] * f);
    const double bottom = std::max(y(env.Min[i] * f), top + 1.0);
    const double x = kInset + c;
    p.fillRect(QRectF(x, top, 1.0, bottom - top), measured ? kPeak : kEstimatePeak);
    if (env.RmsDb[i] > TEnvelope::kFloorDb) {
      const double rms = std::pow(10.0, double(env.RmsDb[i]) / 20.0) * f;
      const double rmsTop = std::max(y(rms), top);
      const double rmsBottom = std::min(y(-rms), bottom);
      if (rmsBottom > rmsTop) {
        p.fillRect(QRectF(x, rmsTop, 1.0, rmsBottom - rmsTop), measured ? kRms : kEstimateRms);
      }
    }
  }
  p.setPen(kAxis);
  p.drawLine(QPointF(kInset, mid), QPointF(kInset + w, mid));

  // The lines: the markers two pixels wide with a small flag at the top, the position one.
  const auto line = [&](double ms, const QColor& color, int width, bool flag) {
    const double x = std::round(XOf(ms));
    if (x < kInset - width || x > kInset + w + width) return;
    p.fillRect(QRectF(x - (width - 1) / 2.0 - 0.5, 0, width, h), color);
    if (flag) {
      const QPointF head[] = {{x - 4, 0}, {x + 5, 0}, {x + 0.5, 6}};
      p.setPen(Qt::NoPen);
      p.setBrush(color);
      p.drawPolygon(head, 3);
    }
  };
  line(double(FPositionMs), kPosition, 1, false);
  line(double(FStartMs), kStart, 2, true);
  line(double(FEndMs), kEnd, 2, true);
}

bool TWaveView::LineAt(double x, TMarker& which) const {
  const double start = std::abs(XOf(double(FStartMs)) - x);
  const double end = std::abs(XOf(double(FEndMs)) - x);
  if (std::min(start, end) > kLineReach) return false;
  // Lines on the same place: the one on the pointer's side of them, so that both can part.
  if (start == end) {
    which = x < XOf(double(FStartMs)) ? TMarker::Start : TMarker::End;
  } else {
    which = start < end ? TMarker::Start : TMarker::End;
  }
  return true;
}

void TWaveView::mousePressEvent(QMouseEvent* event) {
  if (!Active() || event->button() != Qt::LeftButton || event->position().y() >= PlotHeight()) {
    return;
  }
  const double x = event->position().x();
  TMarker which;
  if (FMarkersMovable && LineAt(x, which)) {
    FDrag = which == TMarker::Start ? TDrag::Start : TDrag::End;
  } else if (FPositionMovable) {
    FDrag = TDrag::Position;
    emit PositionPicked(PointerMs(x));
  }
}

void TWaveView::mouseMoveEvent(QMouseEvent* event) {
  if (!Active()) return;
  const double x = event->position().x();
  switch (FDrag) {
    case TDrag::Start:
    case TDrag::End:
      emit MarkerDragged(FDrag == TDrag::Start ? TMarker::Start : TMarker::End, PointerMs(x),
                         false);
      return;
    case TDrag::Position:
      if (FPositionMovable) emit PositionPicked(PointerMs(x));
      return;
    case TDrag::None:
      break;
  }
  TMarker which;
  if (FMarkersMovable && LineAt(x, which)) {
    setCursor(Qt::SizeHorCursor);
  } else {
    unsetCursor();
  }
}

void TWaveView::mouseReleaseEvent(QMouseEvent* event) {
  const TDrag drag = FDrag;
  FDrag = TDrag::None;
  if (!Active() || (drag != TDrag::Start && drag != TDrag::End)) return;
  emit MarkerDragged(drag == TDrag::Start ? TMarker::Start : TMarker::End,
                     PointerMs(event->position().x()), true);
}

void TWaveView::wheelEvent(QWheelEvent* event) {
  if (!Active() || event->angleDelta().y() == 0) {
    event->ignore();
    return;
  }
  event->accept();
  // The time under the pointer stays under it.
  const double x = std::clamp(event->position().x() - kInset, 0.0, double(PlotWidth()));
  const double at = MsAt(kInset + x);
  const double steps = event->angleDelta().y() / 120.0;
  double span = FSpanMs * std::pow(kZoomStep, -steps);
  const double least = std::min(double(FLengthMs), std::max(FFrameMs, 0.001) * PlotWidth());
  span = std::clamp(span, least, double(FLengthMs));
  SetView(at - x * span / double(PlotWidth()), span);
}

}  // namespace pelcato
