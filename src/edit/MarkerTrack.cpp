#include "edit/MarkerTrack.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "edit/TimeCode.h"

namespace pelcato {

void TMarkerPair::Layout(int trackLeft, int trackWidth) {
  // The start picture spans [L + 1, L + W - 24], the end picture [L + 7, L + W - 17]: the end
  // marker's picture stands 7 pixels further right for the same time, so the two never cover
  // each other completely.
  Start = TMarkerTrack{};
  Start.PixelFrom = Start.MinLeft = Start.CurrentLeft = trackLeft + 1;
  Start.PixelTo = Start.MaxLeft = trackLeft + trackWidth - 24;
  End = TMarkerTrack{};
  End.PixelFrom = End.MinLeft = trackLeft + kGap;
  End.PixelTo = End.MaxLeft = End.CurrentLeft = trackLeft + trackWidth - 17;
}

void TMarkerPair::Placed(TMarker which, int left) {
  Track(which).CurrentLeft = left;
  if (which == TMarker::Start) {
    End.MinLeft = left + kGap;
  } else {
    Start.MaxLeft = left - kGap;
  }
}

void TMarkerPair::BeginDrag(TMarker which, TMarkerPoint p) {
  TMarkerTrack& track = Track(which);
  track.LastPoint = p;
  track.Dragging = true;
}

void TMarkerPair::Limits(TMarker which, int& low, int& high) const {
  const TMarkerTrack& track = Track(which);
  // The limits, held on the track: with the end picture at its left end the start picture's
  // MaxLeft lies left of its MinLeft and of the picture that stands for 0 ms; the picture then
  // holds still at its least place instead of leaving the track.
  low = std::clamp(track.MinLeft, track.PixelFrom, track.PixelTo);
  high = std::clamp(track.MaxLeft, low, track.PixelTo);
}

int64_t TMarkerPair::AllowedMs(TMarker which, int64_t ms, int64_t maxMs) const {
  int low = 0, high = 0;
  Limits(which, low, high);
  TMarkerTrack at = Track(which);
  at.CurrentLeft = low;
  const int64_t least = MarkerToMs(at, maxMs);
  at.CurrentLeft = high;
  const int64_t most = MarkerToMs(at, maxMs);
  return std::clamp(ms, least, std::max(least, most));
}

bool TMarkerPair::DragTo(TMarker which, TMarkerPoint p) {
  TMarkerTrack& track = Track(which);
  if (!track.Dragging) return false;
  int low = 0, high = 0;
  Limits(which, low, high);
  const int newLeft = std::clamp(track.CurrentLeft + (p.X - track.LastPoint.X), low, high);
  if (newLeft == track.CurrentLeft) return false;
  track.LastPoint = p;
  Placed(which, newLeft);
  return true;
}

bool TMarkerPair::EndDrag(TMarker which, TMarkerPoint p) {
  const bool moved = DragTo(which, p);
  Track(which).Dragging = false;
  return moved;
}

namespace {

// Round to nearest, a half to the even neighbour, whatever rounding mode is in force.
template <class Real>
int64_t RoundHalfEven(Real x) {
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const Real r = std::nearbyint(x);
  std::fesetround(saved);
  return int64_t(r);
}

}  // namespace

int64_t MarkerToMs(const TMarkerTrack& track, int64_t maxMs) {
  const int span = track.PixelTo - track.PixelFrom;
  if (span <= 0) return 0;
  const double ratio = double(track.CurrentLeft - track.PixelFrom) / double(span);
  return RoundHalfEven(double(maxMs) * ratio);
}

int MsToMarker(const TMarkerTrack& track, int64_t ms, int64_t duration) {
  if (duration <= 0) return track.PixelFrom;
  const int64_t product = int64_t(track.PixelTo - track.PixelFrom) * ms;
  const long double offset = (long double)product / (long double)duration;
  return track.PixelFrom + int(RoundHalfEven(offset));
}

int64_t ClampTypedTimeCode(std::string_view text, int64_t lower, int64_t upper) {
  const int64_t ms = ParseTimeCode(NormalizeTimeCode(text));
  if (ms < lower) return lower;
  if (ms > upper) return upper;
  return ms;
}

}  // namespace pelcato
