// The decoder on lame's files: every way in gives the same samples, float agrees with 16-bit,
// a seek after the scan lands on the sample, and without gapless trimming, with the VBR header
// frame decoded too, the stream is every frame there is, whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "Mp3TestUtil.h"
#include "mp3/Decoder.h"

namespace pelcato::test {
namespace {

template <typename T>
std::vector<T> ReadAll(TDecoder& d) {
  std::vector<T> all;
  std::vector<T> buf(4096);
  for (;;) {
    size_t got = 0;
    const TDecodeStatus s = d.Read(buf.data(), buf.size() * sizeof(T), got);
    all.insert(all.end(), buf.begin(), buf.begin() + long(got / sizeof(T)));
    if (s == TDecodeStatus::Done || s == TDecodeStatus::Error) break;
  }
  return all;
}

TEST(Decoder, FileDescriptorAndMemoryGiveTheFilesSamples) {
  const std::string path = DataFile("vbr.mp3");
  TDecoder d;
  ASSERT_TRUE(d.OpenFile(path));
  long rate = 0;
  int channels = 0;
  ASSERT_TRUE(d.Format(rate, channels));
  EXPECT_EQ(rate, 44100);
  EXPECT_EQ(channels, 2);
  const std::vector<int16_t> fromFile = ReadAll<int16_t>(d);
  ASSERT_GT(fromFile.size(), 44100u * 2);

  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(d.OpenFd(fd));
  close(fd);  // the decoder reads through its own copy
  EXPECT_EQ(ReadAll<int16_t>(d), fromFile);

  const Bytes bytes = ReadFile(path);
  ASSERT_TRUE(d.OpenMemory(bytes.data(), bytes.size()));
  EXPECT_EQ(ReadAll<int16_t>(d), fromFile);

  TDecoderSetup asFloat;
  asFloat.Samples = TSampleType::Float;
  TDecoder f(asFloat);
  ASSERT_TRUE(f.OpenMemory(bytes.data(), bytes.size()));
  const std::vector<float> floats = ReadAll<float>(f);
  ASSERT_EQ(floats.size(), fromFile.size());
  for (size_t i = 0; i < floats.size(); i += 97) {
    ASSERT_NEAR(floats[i] * 32768.0f, float(fromFile[i]), 1.01f) << i;
  }

  EXPECT_FALSE(d.OpenFile(DataFile("no-such.mp3")));
  EXPECT_FALSE(d.ErrorText().empty());
}

TEST(Decoder, SeeksToTheSampleOnceScanned) {
  TDecoder d;
  ASSERT_TRUE(d.OpenFile(DataFile("sweep.mp3")));
  const std::vector<int16_t> all = ReadAll<int16_t>(d);
  ASSERT_TRUE(d.Scan());
  EXPECT_EQ(d.Length() * 2, int64_t(all.size()));
  for (const int64_t sample : {int64_t(0), int64_t(12345), int64_t(100000)}) {
    ASSERT_TRUE(d.Seek(sample));
    std::vector<int16_t> some(2000);
    size_t got = 0;
    d.Read(some.data(), some.size() * sizeof(int16_t), got);
    ASSERT_EQ(got, some.size() * sizeof(int16_t));
    EXPECT_TRUE(std::equal(some.begin(), some.end(), all.begin() + sample * 2)) << sample;
  }
}

TEST(Decoder, WithoutGaplessEveryFrameDecodesWhole) {
  for (const char* name : {"cbr128.mp3", "vbr.mp3", "mpeg2.mp3"}) {
    const std::string path = DataFile(name);
    const std::unique_ptr<TKorvaMP3> mp3 = Analyzed(path);
    int64_t frames = 0;
    mp3->WalkFrames([&](const TKorvaMP3::TFrameSpan&) { ++frames; });
    TDecoderSetup whole;
    whole.Gapless = false;
    whole.DecodeInfoFrame = true;
    // The walk passes over the header frame, which the decoder is told to decode here.
    if (mp3->Info.HasXing) ++frames;
    TDecoder d(whole), trimmed;
    ASSERT_TRUE(d.OpenFile(path) && trimmed.OpenFile(path)) << name;
    ASSERT_TRUE(d.Scan() && trimmed.Scan()) << name;
    EXPECT_EQ(d.Length(), frames * d.SamplesPerFrame()) << name;
    EXPECT_LT(trimmed.Length(), d.Length()) << name;
  }
}

}  // namespace
}  // namespace pelcato::test
