#include <gtest/gtest.h>

#include "edit/MarkerTrack.h"

namespace pelcato {
namespace {

// The track bar of the main window: left 128, 449 pixels wide.
TMarkerPair LaidOut() {
  TMarkerPair pair;
  pair.Layout(128, 449);
  return pair;
}

TEST(MarkerTrack, PixelsAndMillisecondsRoundHalfToEvenAndAgreeBothWays) {
  const TMarkerPair pair = LaidOut();
  ASSERT_EQ(pair.Start.PixelTo - pair.Start.PixelFrom, 424);
  ASSERT_EQ(pair.End.PixelTo - pair.End.PixelFrom, 425);
  TMarkerTrack half = pair.Start;
  half.CurrentLeft = half.PixelFrom + 212;                          // exactly half way
  EXPECT_EQ(MarkerToMs(half, 1001), 500);                           // 500.5 goes to the even 500
  EXPECT_EQ(MarkerToMs(half, 1003), 502);                           // 501.5 goes to the even 502
  EXPECT_EQ(MsToMarker(pair.Start, 1, 848), pair.Start.PixelFrom);  // 0.5 -> 0
  EXPECT_EQ(MsToMarker(pair.Start, 3, 848), pair.Start.PixelFrom + 2);  // 1.5 -> 2
  EXPECT_EQ(MsToMarker(pair.Start, 5, 0), pair.Start.PixelFrom);        // no length, no division

  // Every pixel of both tracks survives the trip to milliseconds and back, for lengths from
  // a second to ten hours; the ends are 0 and the full length.
  for (const int64_t duration : {1000LL, 205041LL, 3600000LL, 36000000LL}) {
    for (const TMarker which : {TMarker::Start, TMarker::End}) {
      TMarkerTrack track = pair.Track(which);
      for (int left = track.PixelFrom; left <= track.PixelTo; ++left) {
        track.CurrentLeft = left;
        const int64_t ms = MarkerToMs(track, duration);
        ASSERT_GE(ms, 0);
        ASSERT_LE(ms, duration);
        ASSERT_EQ(MsToMarker(track, ms, duration), left) << duration << " " << left;
      }
      track.CurrentLeft = track.PixelTo;
      EXPECT_EQ(MarkerToMs(track, duration), duration);
    }
  }
}

TEST(MarkerTrack, DragsStopSevenPixelsFromTheOtherMarkerAndResumeWhereTheyStopped) {
  TMarkerPair pair = LaidOut();
  // Before the start marker first moves, the end picture may come to 6 pixels of it.
  pair.BeginDrag(TMarker::End, {300, 180});
  EXPECT_TRUE(pair.DragTo(TMarker::End, {-1000, 180}));
  EXPECT_EQ(pair.End.CurrentLeft, 135);
  EXPECT_EQ(pair.Start.MaxLeft, 128);
  // Held at the limit: further left does nothing and keeps the last applied point.
  EXPECT_FALSE(pair.DragTo(TMarker::End, {-2000, 180}));
  EXPECT_EQ(pair.End.LastPoint.X, -1000);
  // Coming back, it moves only once the mouse passes where the picture stopped.
  EXPECT_FALSE(pair.DragTo(TMarker::End, {-1000, 100}));
  EXPECT_TRUE(pair.DragTo(TMarker::End, {-990, 100}));
  EXPECT_EQ(pair.End.CurrentLeft, 145);
  EXPECT_TRUE(pair.EndDrag(TMarker::End, {-985, 100}));
  EXPECT_FALSE(pair.End.Dragging);
  EXPECT_FALSE(pair.DragTo(TMarker::End, {0, 0}));  // no drag any more

  // The start picture stops 7 pixels left of the end picture; moving it pushes the end
  // marker's lower limit along.
  pair.BeginDrag(TMarker::Start, {0, 0});
  EXPECT_TRUE(pair.DragTo(TMarker::Start, {500, 0}));
  EXPECT_EQ(pair.Start.CurrentLeft, 143);  // the end picture stands at 150
  pair.Placed(TMarker::End, 400);
  EXPECT_TRUE(pair.DragTo(TMarker::Start, {1000, 0}));
  EXPECT_EQ(pair.Start.CurrentLeft, 393);
  EXPECT_EQ(pair.End.MinLeft, 400);
}

TEST(MarkerTrack, TypedTimeCodesAreRepairedThenClampedLowerBoundFirst) {
  EXPECT_EQ(ClampTypedTimeCode("000:99:99.999", 0, 1LL << 40), 3599999);
  EXPECT_EQ(ClampTypedTimeCode("000:0 :01.000", 0, 100000), 1000);  // a blank reads as 0
  EXPECT_EQ(ClampTypedTimeCode("000:05:00.000", 0, 60000), 60000);
  EXPECT_EQ(ClampTypedTimeCode("000:00:01.000", 5000, 60000), 5000);
  // Bounds that cross (typed values can put the start past the end): the lower one wins.
  EXPECT_EQ(ClampTypedTimeCode("000:00:00.000", 5000, 4000), 5000);
}

}  // namespace
}  // namespace pelcato
