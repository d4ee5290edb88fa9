// The length other programs show for pieces, against what their frames decode to: lame files of
// every header frame layout (CBR "Info" and VBR "Xing", MPEG 1 stereo and mono, MPEG 2 stereo and
// mono), one with Fraunhofer's "VBRI" frame, and a VBR file of a steady tone, whose long
// stretches of one bit rate lame writes without the padding a CBR file has; cut and split with
// the default options, read by ffprobe and mutagen and decoded by ffmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliRun.h"

namespace pelcato {
namespace {

namespace fs = std::filesystem;

bool Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
  }
  return text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The bytes of a lame VBR file with its "Xing" frame replaced by a "VBRI" frame of the same size
// that counts the same frames, as Fraunhofer's encoder writes one (32 bytes behind the header,
// version 1, no seek table).
std::string WithVbriFrame(const std::string& lameVbr) {
  std::string b = ReadAll(lameVbr);
  size_t size = 4;  // the "Xing" frame ends where the next frame header starts
  while (size + 1 < b.size() &&
         (uint8_t(b[size]) != 0xFF || (uint8_t(b[size + 1]) & 0xE0) != 0xE0)) {
    ++size;
  }
  const auto big = [](uint32_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += char(v >> (8 * i));
    return s;
  };
  const size_t count = b.find("Xing") + 8;  // behind the tag and the flags
  uint32_t frames = 0;
  for (size_t i = 0; i < 4; ++i) frames = frames << 8 | uint8_t(b[count + i]);
  std::string frame = b.substr(0, 4) + std::string(size - 4, '\0');
  const std::string vbri = "VBRI" + big(1, 2) + big(0, 2) + big(75, 2) +
                           big(uint32_t(b.size()), 4) + big(frames, 4) + big(0, 2) + big(1, 2) +
                           big(2, 2) + big(1, 2);
  frame.replace(36, vbri.size(), vbri);
  return frame + b.substr(size);
}

class ShownLengthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("pelcato-shown-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(ShownLengthTest, PiecesShowTheLengthTheirFramesDecodeTo) {
  if (!Shell("command -v sox && command -v lame && command -v ffmpeg && command -v ffprobe") ||
      !Shell("/usr/bin/python3 -c 'import mutagen.mp3'")) {
    GTEST_SKIP() << "needs sox, lame, ffmpeg, ffprobe and python3-mutagen";
  }
  // 40 s of a sweep over noise, which a VBR encoder codes at many bit rates.
  const std::string wav = Path("sound.wav");
  ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 2 -b 16 " + Path("sweep.wav") +
                    " synth 40 sine 100-8000 gain -12 && sox -R -n -r 44100 -c 2 -b 16 " +
                    Path("hiss.wav") + " synth 40 pinknoise gain -20 && sox -R -m " +
                    Path("sweep.wav") + " " + Path("hiss.wav") + " " + wav));
  const std::string tone = Path("tone.wav");
  ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 1 -b 16 " + tone + " synth 40 sine 440 gain -6"));
  const struct {
    const char* Name;
    const char* Lame;
    const char* Tag;
    size_t At;
    const std::string& Wav;
  } sources[] = {
      {"cbr", "-b 128", "Info", 36, wav},
      {"cbr-mono", "-b 64 -m m", "Info", 21, wav},
      {"cbr-mpeg2", "-b 64 --resample 22.05", "Info", 21, wav},
      {"vbr", "-V 4", "Xing", 36, wav},
      {"vbr-mono", "-V 4 -m m", "Xing", 21, wav},
      {"vbr-mpeg2-mono", "-V 6 -m m --resample 22.05", "Xing", 13, wav},
      {"vbr-tone", "-V 4 -m m", "Xing", 21, tone},
  };
  std::vector<std::string> files;
  for (const auto& s : sources) {
    const std::string mp3 = Path(std::string(s.Name) + ".mp3");
    ASSERT_TRUE(
        Shell(std::string("lame --quiet --noreplaygain ") + s.Lame + " " + s.Wav + " " + mp3));
    ASSERT_EQ(ReadAll(mp3).substr(s.At, 4), s.Tag) << s.Name;
    files.push_back(mp3);
  }
  std::ofstream(Path("vbri.mp3"), std::ios::binary) << WithVbriFrame(Path("vbr.mp3"));
  files.push_back(Path("vbri.mp3"));

  std::vector<std::string> pieces;
  for (const std::string& file : files) {
    const std::string name = fs::path(file).stem().string();
    const test::TRun cut = test::RunCliWith({"cut", file, "0", "30000", Path(name + "-cut.mp3")});
    ASSERT_EQ(cut.Status, 0) << cut.Err;
    pieces.push_back(Path(name + "-cut.mp3"));
    const std::string out = Path(name + "-parts");
    const test::TRun split = test::RunCliWith({"split", file, "--parts", "3", "--out", out});
    ASSERT_EQ(split.Status, 0) << split.Err;
    std::istringstream lines(split.Out);
    for (std::string line; std::getline(lines, line);) pieces.push_back(line);
  }
  ASSERT_EQ(pieces.size(), 4 * files.size());

  // mutagen's lengths, one line per piece.
  std::string list;
  for (const std::string& p : pieces) list += " '" + p + "'";
  std::istringstream mutagen(
      Output("/usr/bin/python3 -c 'import sys, mutagen.mp3\n"
             "for p in sys.argv[1:]: print(mutagen.mp3.MP3(p).info.length)'" +
             list));
  for (const std::string& piece : pieces) {
    SCOPED_TRACE(piece);
    const std::string facts = Output(
        "ffprobe -v error -show_entries stream=sample_rate -of "
        "csv=p=0 '" +
        piece + "'");
    const double rate = std::atof(facts.c_str());
    ASSERT_GT(rate, 0.0);
    const double frame = (rate < 32000 ? 576 : 1152) / rate;
    const double decoded =
        std::atof(Output("ffmpeg -v error -i '" + piece + "' -ac 1 -f s16le - | wc -c").c_str()) /
        2 / rate;
    const double probed = std::atof(
        Output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + piece + "'")
            .c_str());
    double shown = 0;
    mutagen >> shown;
    EXPECT_GT(decoded, 5.0);
    EXPECT_NEAR(probed, decoded, frame);
    EXPECT_NEAR(shown, decoded, frame);
    // No piece starts with its source's header frame.
    const std::string head = ReadAll(piece).substr(0, 64);
    EXPECT_EQ(head.find("Info"), std::string::npos);
    EXPECT_EQ(head.find("VBRI"), std::string::npos);
  }
}

}  // namespace
}  // namespace pelcato
