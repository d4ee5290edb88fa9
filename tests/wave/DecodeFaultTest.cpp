// The waveform's decode thread where memory runs short. A program of its own: it replaces
// operator new so that large allocations fail on every thread but the test's.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#include "wave/WaveTrack.h"

namespace {

std::atomic<size_t> gRefuseFrom{SIZE_MAX};
std::thread::id gTestThread;

}  // namespace

void* operator new(std::size_t n) {
  if (n >= gRefuseFrom.load(std::memory_order_relaxed) &&
      std::this_thread::get_id() != gTestThread) {
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// Not inlined: where the compiler sees free() after the new of its caller, it warns.
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace pelcato {
namespace {

const char* const kFile = PELCATO_TEST_DATA "/cbr128.mp3";

// Decodes on the track's thread with allocations from refuseFrom bytes failing there, and
// waits for the end.
void DecodeShortOfMemory(TWaveTrack& track, size_t refuseFrom, size_t expectedBlocks) {
  gTestThread = std::this_thread::get_id();
  gRefuseFrom = refuseFrom;
  track.StartDecode(kFile, expectedBlocks);
  const auto start = std::chrono::steady_clock::now();
  while (track.Decoding() && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  gRefuseFrom = SIZE_MAX;
}

TEST(DecodeShortOfMemory, TheEstimateStaysAndTheProgramRunsOn) {
  TWaveSummary estimate(44100, 4 * TWaveSummary::kBlockSamples);
  for (int i = 0; i < 40; ++i) estimate.Append(TWaveBlock{-0.25f, 0.125f * float(i % 3), 0.01f});
  const TEnvelope shown = estimate.View(0, 2000, 30);
  TWaveTrack track;
  track.SetEstimate(estimate);
  DecodeShortOfMemory(track, 1024, 100);
  ASSERT_FALSE(track.Decoding());
  EXPECT_FALSE(track.Decoded());
  const TEnvelope env = track.View(0, 2000, 30);
  EXPECT_EQ(env.Measured, 0);
  EXPECT_EQ(env.Min, shown.Min);
  EXPECT_EQ(env.Max, shown.Max);
  EXPECT_EQ(env.RmsDb, shown.RmsDb);

  // Whatever length the open believed (a header frame may lie), the decode asks for no more
  // room than the summary keeps at most, and completes.
  DecodeShortOfMemory(track, 64 << 20, SIZE_MAX / 64);
  EXPECT_TRUE(track.Decoded());
  EXPECT_EQ(track.View(0, 2000, 30).Measured, 30);
}

}  // namespace
}  // namespace pelcato
