#include "VolumeCheck.h"

#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace pelcato::test {

const char* ToolName(TTool tool) {
  return tool == TTool::Mpg123 ? "libmpg123" : "ffmpeg";
}

namespace {

TFloatPcm DecodeMpg123(const std::string& path) {
  TFloatPcm pcm;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  if (!h) return pcm;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(h);
  for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
    mpg123_format(h, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
  }
  if (mpg123_open(h, path.c_str()) == MPG123_OK) {
    float buf[8192];
    int rc = MPG123_OK;
    while (rc == MPG123_OK || rc == MPG123_NEW_FORMAT) {
      size_t got = 0;
      rc = mpg123_read(h, reinterpret_cast<unsigned char*>(buf), sizeof buf, &got);
      pcm.Samples.insert(pcm.Samples.end(), buf, buf + got / sizeof(float));
    }
    int encoding = 0;
    mpg123_getformat(h, &pcm.SampleRate, &pcm.Channels, &encoding);
    pcm.Ok = rc == MPG123_DONE;
  }
  mpg123_delete(h);
  return pcm;
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

TFloatPcm DecodeFfmpeg(const std::string& path) {
  TFloatPcm pcm;
  // A WAV file of float samples: its format chunk tells the channels and the rate.
  FILE* p = popen(("ffmpeg -v error -i " + Quoted(path) + " -c:a pcm_f32le -f wav -").c_str(), "r");
  if (!p) return pcm;
  std::vector<uint8_t> wav;
  uint8_t buf[65536];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) wav.insert(wav.end(), buf, buf + n);
  if (pclose(p) != 0) return pcm;
  const auto u32 = [&](size_t at) {
    return uint32_t(wav[at] | wav[at + 1] << 8 | wav[at + 2] << 16 | wav[at + 3] << 24);
  };
  for (size_t at = 12; at + 8 <= wav.size();) {
    const std::string id(wav.begin() + long(at), wav.begin() + long(at) + 4);
    const size_t size = id == "data" ? wav.size() - at - 8 : u32(at + 4);
    if (id == "fmt " && at + 16 <= wav.size()) {
      pcm.Channels = wav[at + 10] | wav[at + 11] << 8;
      pcm.SampleRate = long(u32(at + 12));
    } else if (id == "data") {
      pcm.Samples.resize(size / sizeof(float));
      std::memcpy(pcm.Samples.data(), &wav[at + 8], pcm.Samples.size() * sizeof(float));
      pcm.Ok = pcm.Channels > 0;
      break;
    }
    at += 8 + size + (size & 1);
  }
  return pcm;
}

}  // namespace

TFloatPcm DecodeFloat(TTool tool, const std::string& path) {
  return tool == TTool::Mpg123 ? DecodeMpg123(path) : DecodeFfmpeg(path);
}

TFfmpegLoudness FfmpegLoudness(const std::string& path) {
  TFfmpegLoudness l;
  FILE* p = popen(
      ("ffmpeg -hide_banner -nostats -i " + Quoted(path) + " -af ebur128 -f null - 2>&1").c_str(),
      "r");
  if (!p) return l;
  std::string text;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  if (pclose(p) != 0) return l;
  const size_t summary = text.rfind("Summary:");
  if (summary == std::string::npos) return l;
  std::smatch m;
  const std::string tail = text.substr(summary);
  if (!std::regex_search(tail, m, std::regex(R"(I:\s+(-?[0-9.]+|-inf) LUFS)"))) return l;
  l.Integrated = m[1] == "-inf" ? -HUGE_VAL : std::stod(m[1]);
  if (std::regex_search(tail, m, std::regex(R"(LRA:\s+([0-9.]+) LU)"))) l.Range = std::stod(m[1]);
  l.Ok = true;
  return l;
}

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

bool MakeMp3(const std::string& path, double seconds, const std::string& synth,
             const std::string& lameOptions) {
  const std::string wav = path + ".wav";
  const bool ok =
      Shell("sox -R -n -r 44100 -c 2 -b 16 " + Quoted(wav) + " synth " + std::to_string(seconds) +
            " " + synth + " 2>/dev/null") &&
      Shell("lame --quiet --noreplaygain " + lameOptions + " " + Quoted(wav) + " " + Quoted(path));
  std::remove(wav.c_str());
  return ok;
}

std::vector<double> WindowLevels(const TFloatPcm& pcm, int ms) {
  std::vector<double> levels;
  const int64_t window = pcm.SampleRate * ms / 1000 * pcm.Channels;
  for (int64_t at = 0; window > 0 && at + window <= int64_t(pcm.Samples.size()); at += window) {
    double sum = 0.0;
    for (int64_t i = at; i < at + window; ++i)
      sum += double(pcm.Samples[size_t(i)]) * pcm.Samples[size_t(i)];
    levels.push_back(10.0 * std::log10(sum / double(window) + 1e-30));
  }
  return levels;
}

}  // namespace pelcato::test
