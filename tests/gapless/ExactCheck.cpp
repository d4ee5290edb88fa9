#include "ExactCheck.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace pelcato::test {

const char* DecoderName(TDecoder d) {
  return d == TDecoder::Mpg123 ? "libmpg123" : "ffmpeg";
}

namespace {

TPcm DecodeMpg123(const std::string& path, bool untrimmed) {
  TPcm pcm;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  if (!h) return pcm;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if (untrimmed) mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  // 16-bit output only, so the format is the file's rate and channels as signed 16 bit.
  mpg123_format_none(h);
  for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
    mpg123_format(h, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  if (mpg123_open(h, path.c_str()) == MPG123_OK) {
    unsigned char buf[16384];
    int rc = MPG123_OK;
    while (rc == MPG123_OK || rc == MPG123_NEW_FORMAT) {
      size_t got = 0;
      rc = mpg123_read(h, buf, sizeof buf, &got);
      const auto* s = reinterpret_cast<const int16_t*>(buf);
      pcm.Samples.insert(pcm.Samples.end(), s, s + got / 2);
    }
    int encoding = 0;
    mpg123_getformat(h, &pcm.SampleRate, &pcm.Channels, &encoding);
    pcm.Ok = rc == MPG123_DONE;
    mpg123_frameinfo info{};
    mpg123_info(h, &info);
    pcm.SamplesPerFrame = info.version == MPG123_1_0 ? 1152 : 576;
    long delay = -1;
    mpg123_getstate(h, MPG123_ENC_DELAY, &delay, nullptr);
    pcm.Shift = delay >= 0 ? delay + 529 : 0;
  }
  mpg123_delete(h);
  return pcm;
}

TPcm DecodeFfmpeg(const std::string& path) {
  TPcm pcm;
  // The channel count from the stream itself, then the samples as the program plays them.
  const std::string probe =
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=channels,sample_rate -of csv=p=0 '" +
      path + "'";
  FILE* p = popen(probe.c_str(), "r");
  if (!p) return pcm;
  long rate = 0;
  int channels = 0;
  const bool got = fscanf(p, "%ld,%d", &rate, &channels) == 2;
  if (pclose(p) != 0 || !got) return pcm;
  pcm.SampleRate = rate;
  pcm.Channels = channels;
  const std::string cmd = "ffmpeg -v error -i '" + path + "' -f s16le -";
  p = popen(cmd.c_str(), "r");
  if (!p) return pcm;
  int16_t buf[8192];
  size_t n = 0;
  while ((n = fread(buf, sizeof(int16_t), 8192, p)) > 0) {
    pcm.Samples.insert(pcm.Samples.end(), buf, buf + n);
  }
  pcm.Ok = pclose(p) == 0;
  return pcm;
}

}  // namespace

TPcm Decode(TDecoder decoder, const std::string& path, bool untrimmed) {
  return decoder == TDecoder::Mpg123 ? DecodeMpg123(path, untrimmed) : DecodeFfmpeg(path);
}

TRangeCompare CompareRange(const TPcm& whole, const TPcm& piece, int64_t first, int64_t end) {
  TRangeCompare c;
  c.Expected = end - first;
  c.Got = piece.Frames();
  if (whole.Channels != piece.Channels || whole.Channels == 0 || first < 0 ||
      end > whole.Frames()) {
    return c;
  }
  const int64_t head = whole.SampleRate * 50 / 1000;
  const int64_t n = std::min(c.Expected, c.Got);
  c.MaxDiff = c.MaxDiffHead = 0;
  for (int64_t i = 0; i < n * whole.Channels; ++i) {
    const int d = std::abs(int(piece.Samples[size_t(i)]) -
                           int(whole.Samples[size_t(first * whole.Channels + i)]));
    c.MaxDiff = std::max(c.MaxDiff, d);
    if (i < head * whole.Channels) c.MaxDiffHead = std::max(c.MaxDiffHead, d);
  }
  return c;
}

}  // namespace pelcato::test
