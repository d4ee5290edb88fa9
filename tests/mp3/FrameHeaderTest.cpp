#include <gtest/gtest.h>

#include "mp3/MpegFrameHeader.h"

namespace pelcato {
namespace {

struct TCase {
  uint8_t b[4];
  double version;
  int layer, bitrate, sampleRate, frameSize;
  double frameMs;
  bool mono;
};

TEST(FrameHeader, DecodesKnownHeaders) {
  const TCase cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, 1.0, 3, 128, 44100, 417, 1152000.0 / 44100, false},
      {{0xFF, 0xFB, 0x92, 0x64}, 1.0, 3, 128, 44100, 418, 1152000.0 / 44100, false},
      {{0xFF, 0xFB, 0xE4, 0xC4}, 1.0, 3, 320, 48000, 960, 24.0, true},
      {{0xFF, 0xF3, 0x80, 0x84}, 2.0, 3, 64, 22050, 208, 576000.0 / 22050, false},
      {{0xFF, 0xE3, 0x18, 0xC4}, 2.5, 3, 8, 8000, 72, 72.0, true},
      {{0xFF, 0xFD, 0xA4, 0x04}, 1.0, 2, 192, 48000, 576, 24.0, false},
      // Layer I: the same formula (48 x bit rate / sample rate) and a one-byte padding.
      {{0xFF, 0xFF, 0x42, 0x00}, 1.0, 1, 128, 44100, 140, 384000.0 / 44100, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.b[1]) << " " << int(c.b[2]));
    const auto h = DecodeFrameHeader(c.b);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Version, c.version);
    EXPECT_EQ(h->Layer, c.layer);
    EXPECT_EQ(h->Bitrate, c.bitrate);
    EXPECT_EQ(h->SampleRate, c.sampleRate);
    EXPECT_EQ(h->FrameSize, c.frameSize);
    EXPECT_DOUBLE_EQ(h->FrameMs, c.frameMs);
    EXPECT_EQ(h->Mono, c.mono);
  }
  const uint8_t dual[4] = {0xFF, 0xFB, 0x90, 0x84};
  EXPECT_FALSE(DecodeFrameHeader(dual)->Mono);
  const uint8_t noSync[4] = {0xFE, 0xFB, 0x90, 0x64};
  EXPECT_FALSE(DecodeFrameHeader(noSync));
}

// Every combination of the bits the decoder reads: codes without a table entry are no frame,
// every other header has a positive length, and the bits it does not read change nothing.
TEST(FrameHeader, EveryHeaderIsAFrameOfPositiveLengthOrNone) {
  int frames = 0;
  for (int b1 = 0; b1 < 256; ++b1) {
    for (int b2 = 0; b2 < 256; ++b2) {
      for (int mode = 0; mode < 4; ++mode) {
        const uint8_t b[4] = {0xFF, uint8_t(b1), uint8_t(b2), uint8_t(mode << 6 | 0x2A)};
        const bool reserved = ((b1 >> 3) & 3) == 1 || ((b1 >> 1) & 3) == 0 || (b2 >> 4) == 0 ||
                              (b2 >> 4) == 15 || ((b2 >> 2) & 3) == 3;
        const auto h = DecodeFrameHeader(b);
        ASSERT_EQ(bool(h), !reserved) << b1 << " " << b2;
        if (!h) continue;
        ++frames;
        ASSERT_GT(h->FrameSize, 0);
        ASSERT_GT(h->FrameMs, 0.0);
        ASSERT_EQ(h->Mono, mode == 3);
        // The sync bits of B1, the protection and private bits and the rest of B3 are not read.
        const uint8_t other[4] = {0xFF, uint8_t(b1 ^ 0xE1), uint8_t(b2 ^ 1), uint8_t(mode << 6)};
        const auto g = DecodeFrameHeader(other);
        ASSERT_TRUE(g && g->FrameSize == h->FrameSize && g->Version == h->Version);
      }
    }
  }
  // B1: sync bits, version, layer, protection; B2: bit rate, sample rate, padding, private.
  EXPECT_EQ(frames, (8 * 3 * 3 * 2) * (14 * 3 * 2 * 2) * 4);
}

}  // namespace
}  // namespace pelcato
