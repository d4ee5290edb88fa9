// The independent side of the volume tests: pieces decoded to float by libmpg123 and by the
// ffmpeg program, loudness measured by ffmpeg's ebur128 filter, and test files made by sox and
// lame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelcato::test {

enum class TTool { Mpg123, Ffmpeg };
const char* ToolName(TTool tool);

struct TFloatPcm {
  int Channels = 0;
  long SampleRate = 0;
  std::vector<float> Samples;  // interleaved, full scale 1
  bool Ok = false;
  int64_t Frames() const { return Channels ? int64_t(Samples.size()) / Channels : 0; }
};

// As players play it: the gapless fields of a LAME extension honoured.
TFloatPcm DecodeFloat(TTool tool, const std::string& path);

// ffmpeg's ebur128 filter: the integrated loudness (LUFS) and loudness range (LU) of its
// summary. Ok false when ffmpeg failed or printed no summary.
struct TFfmpegLoudness {
  double Integrated = 0.0;
  double Range = 0.0;
  bool Ok = false;
};
TFfmpegLoudness FfmpegLoudness(const std::string& path);

// Runs a shell command; true when it ended with status 0.
bool Shell(const std::string& command);

// seconds of the sox synth effect's signal (its arguments after "synth SECONDS") encoded by
// lame with lameOptions into path.
bool MakeMp3(const std::string& path, double seconds, const std::string& synth,
             const std::string& lameOptions);

// The RMS level in dB of each window of ms milliseconds, over all channels.
std::vector<double> WindowLevels(const TFloatPcm& pcm, int ms);

}  // namespace pelcato::test
