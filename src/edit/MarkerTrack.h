// The start and end markers above the track bar: where their pictures may stand, how a
// picture's left edge turns into milliseconds and back, the drag rules, and the clamping of a
// typed time code. Plain arithmetic, so the window only moves pictures and writes texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelcato {

struct TMarkerPoint {
  int X = 0;
  int Y = 0;
};

// What a marker's picture may do while it is dragged, and where it stands. Points and edges
// are in the window's client coordinates.
struct TMarkerTrack {
  bool Dragging = false;
  TMarkerPoint LastPoint;  // the mouse point last applied to the drag
  int MinLeft = 0;
  int MaxLeft = 0;
  int PixelFrom = 0;  // left edge that stands for 0 ms
  int PixelTo = 0;    // left edge that stands for the full length
  int CurrentLeft = 0;
};

enum class TMarker { Start = 0, End = 1 };

// The two markers together, since each one's move limits the other.
class TMarkerPair {
 public:
  // Keeps the pictures 7 pixels apart when dragged.
  static constexpr int kGap = 7;

  TMarkerTrack Start;
  TMarkerTrack End;

  TMarkerTrack& Track(TMarker which) { return which == TMarker::Start ? Start : End; }
  const TMarkerTrack& Track(TMarker which) const { return which == TMarker::Start ? Start : End; }

  // Both pictures back at the ends of a track bar at trackLeft, trackWidth wide; no drag.
  void Layout(int trackLeft, int trackWidth);

  // The picture of which now stands at left: the other marker's drag limit follows it.
  void Placed(TMarker which, int left);

  // A left button press at p starts a drag.
  void BeginDrag(TMarker which, TMarkerPoint p);
  // The mouse moved to p during a drag. True when the picture moved; its new left edge is then
  // Track(which).CurrentLeft. A move beyond a limit holds the picture at the limit and keeps
  // LastPoint, so it moves again only once the mouse comes back to where it stopped. The picture
  // never leaves [PixelFrom, PixelTo], whatever the other marker's limit says.
  bool DragTo(TMarker which, TMarkerPoint p);
  // A button went up at p: one last move, then the drag ends. True when that move moved it.
  bool EndDrag(TMarker which, TMarkerPoint p);

  // The left edges a drag of which may take now: [low, high] within [PixelFrom, PixelTo].
  void Limits(TMarker which, int& low, int& high) const;
  // The time that a drag elsewhere (of the marker's line on the waveform) gives the marker
  // when it asks for ms: ms itself where the picture could be dragged to it, else the time of
  // the limit the picture's drag would stop at. maxMs: the track's full length.
  int64_t AllowedMs(TMarker which, int64_t ms, int64_t maxMs) const;
};

// Milliseconds of a picture's left edge on a track whose full length is maxMs: the share of
// the way from PixelFrom to PixelTo, rounded to the nearest millisecond, a half to even.
int64_t MarkerToMs(const TMarkerTrack& track, int64_t maxMs);

// The left edge that stands for ms on a track of duration ms: rounded to the nearest pixel, a
// half to even. A duration of 0 or less puts the picture at PixelFrom.
int MsToMarker(const TMarkerTrack& track, int64_t ms, int64_t duration);

// A typed time code (blanks for unfilled places) read as milliseconds and held within
// [lower, upper], the lower bound first.
int64_t ClampTypedTimeCode(std::string_view text, int64_t lower, int64_t upper);

}  // namespace pelcato
