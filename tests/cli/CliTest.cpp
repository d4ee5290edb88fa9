#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "CliRun.h"
#include "cli/Cli.h"
#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "io/WriteFaults.h"
#include "mp3/Id3Tags.h"
#include "mp3/KorvaMp3.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/Mpg123Player.h"
#include "split/SplitPlan.h"

namespace pelcato {
namespace {

namespace fs = std::filesystem;

constexpr int kFrameBytes = 417;  // MPEG 1 Layer III, 128 kbit/s, 44.1 kHz, no padding

using test::TRun;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    dir_ = fs::temp_directory_path() / ("pelcato-cli-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    SetWriteFaultHook(nullptr);
    fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // frames identical frames of silence, then the tag when it is given.
  std::string MakeMp3(const std::string& name, int frames, const TID3v1Tag* tag = nullptr) {
    std::string data;
    for (int i = 0; i < frames; ++i) {
      data += std::string("\xFF\xFB\x90\x64", 4);
      data += std::string(kFrameBytes - 4, '\0');
    }
    if (tag) {
      const auto bytes = EncodeId3v1(*tag);
      data.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::ofstream(Path(name), std::ios::binary) << data;
    return Path(name);
  }

  static TID3v1Tag SourceTag() {
    TID3v1Tag t;
    std::memcpy(t.Header, "TAG", 3);
    std::memcpy(t.Title, "Caf\xE9 \"live\"\\", 13);
    std::memcpy(t.Artist, "Band", 4);
    std::memcpy(t.Year, "1999", 4);
    t.Track = 3;
    t.Genre = 17;
    return t;
  }

  static TRun Run(std::vector<std::string> args) { return test::RunCliWith(std::move(args)); }

  static std::string Tail(const std::string& path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.size() < n ? all : all.substr(all.size() - n);
  }

  fs::path dir_;
};

TEST_F(CliTest, InfoListsTheFactsThenTheTag) {
  const TID3v1Tag tag = SourceTag();
  const std::string file = MakeMp3("a.mp3", 100, &tag);
  const TRun r = Run({"info", file});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> names;
  std::istringstream lines(r.Out);
  for (std::string line; std::getline(lines, line);)
    names.push_back(line.substr(0, line.find(':')));
  EXPECT_EQ(names, (std::vector<std::string>{"FileName",
                                             "FileSize",
                                             "Valid",
                                             "MciOk",
                                             "MciError",
                                             "Bitrate",
                                             "SampleRate",
                                             "FrameSize",
                                             "Version",
                                             "Layer",
                                             "Padding",
                                             "Mono",
                                             "HasXing",
                                             "ID3v1Size",
                                             "ID3v2Size",
                                             "ApeSize",
                                             "ID3v2Padding",
                                             "Duration",
                                             "ComputedDuration",
                                             "ChannelMode",
                                             "HeaderFrame",
                                             "Title",
                                             "Artist",
                                             "Album",
                                             "Year",
                                             "Comment",
                                             "Track",
                                             "Genre",
                                             "GenreName"}));
  for (const char* line :
       {"\nValid: true\n", "\nMciOk: true\n", "\nBitrate: 128\n", "\nVersion: 1\n",
        "\nFrameSize: 417\n", "\nMono: false\n", "\nID3v1Size: 128\n", "\nDuration: 2612\n",
        "\nComputedDuration: 2612\n", "\nChannelMode: joint stereo\n", "\nHeaderFrame: none\n",
        "\nTitle: Caf\xC3\xA9 \"live\"\\\n", "\nTrack: 3\n", "\nGenre: 17\n",
        "\nGenreName: Rock\n"}) {
    EXPECT_NE(r.Out.find(line), std::string::npos) << line;
  }

  const TRun json = Run({"info", "--json", MakeMp3("b.mp3", 10)});
  ASSERT_EQ(json.Status, 0) << json.Err;
  EXPECT_EQ(json.Out.substr(0, 2), "{\"");
  EXPECT_NE(json.Out.find("\"Valid\": true, \"MciOk\": true, \"MciError\": \"\""),
            std::string::npos);
  EXPECT_NE(json.Out.find("\"Version\": 1,"), std::string::npos);
  EXPECT_NE(json.Out.find("\"ComputedDuration\": 261, \"ChannelMode\": \"joint stereo\", "
                          "\"HeaderFrame\": \"none\"}\n"),
            std::string::npos)
      << json.Out;

  const TRun tagged = Run({"info", "--json", file});
  EXPECT_NE(tagged.Out.find("\"Title\": \"Caf\xC3\xA9 \\\"live\\\"\\\\\""), std::string::npos)
      << tagged.Out;
}

TEST_F(CliTest, CutCopiesWholeFramesAndKeepsTheSourceTag) {
  const TID3v1Tag tag = SourceTag();
  const std::string file = MakeMp3("a.mp3", 100, &tag);
  // 39 frames of 26.12 ms are the first to reach one second.
  TRun r = Run({"cut", file, "0", "000:00:01.000", Path("cut.mp3")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Bytes: 16263\nDurationMs: 1018\n");
  EXPECT_EQ(fs::file_size(Path("cut.mp3")), 16263u + 128u);
  EXPECT_EQ(Tail(Path("cut.mp3"), 128), Tail(file, 128));

  r = Run({"cut", file, "1000", "2000", Path("bare.mp3"), "--no-tag"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(fs::file_size(Path("bare.mp3")) % kFrameBytes, 0u);
}

// Audio that reads "TAG" 128 bytes before a piece's end is kept, and the piece's tag (here the
// source's) follows it, in a cut and in every piece of a split.
TEST_F(CliTest, TagBytesInTheAudioStayAudio) {
  const std::string file = PELCATO_TEST_DATA "/regress-tag-bytes-in-audio.mp3";
  std::ifstream in(file, std::ios::binary);
  const std::string src((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto expectPiece = [&](const std::string& path) {
    std::ifstream p(path, std::ios::binary);
    const std::string piece((std::istreambuf_iterator<char>(p)), std::istreambuf_iterator<char>());
    ASSERT_GT(piece.size(), 128u + kFrameBytes) << path;
    const std::string audio = piece.substr(0, piece.size() - 128);
    EXPECT_NE(src.find(audio), std::string::npos) << path << ": not the source's frames";
    size_t pos = 0;  // whole frames up to the tag
    while (pos + 4 <= audio.size()) {
      const auto h = DecodeFrameHeader(reinterpret_cast<const uint8_t*>(audio.data() + pos));
      if (!h) break;
      pos += size_t(h->FrameSize);
    }
    EXPECT_EQ(pos, audio.size()) << path;
    EXPECT_EQ(piece.substr(audio.size()), src.substr(src.size() - 128)) << path;
  };
  TRun r = Run({"cut", file, "0", "100000", Path("cut.mp3")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  expectPiece(Path("cut.mp3"));
  r = Run({"split", file, "--parts", "3", "--out", Path("out")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  size_t pieces = 0;
  for (const auto& entry : fs::directory_iterator(Path("out"))) {
    expectPiece(entry.path().string());
    ++pieces;
  }
  EXPECT_EQ(pieces, 3u);
}

TEST_F(CliTest, CutTagOptionsSetSingleFields) {
  const TID3v1Tag tag = SourceTag();
  const std::string file = MakeMp3("a.mp3", 20, &tag);
  TRun r = Run({"cut", file, "0", "100", Path("t.mp3"), "--artist=J\xC3\xBCrgen", "--genre",
                "hard ROCK", "--comment", std::string(30, 'c')});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::string t = Tail(Path("t.mp3"), 128);
  EXPECT_EQ(t.substr(0, 16), std::string("TAGCaf\xE9 \"live\"\\\0", 16));
  EXPECT_EQ(t.substr(33, 7), std::string("J\xFCrgen\0", 7));
  EXPECT_EQ(t.substr(93, 4), "1999");
  EXPECT_EQ(t.substr(97, 30), std::string(28, 'c') + '\0' + '\3');  // the track stays
  EXPECT_EQ(uint8_t(t[127]), 79);

  // A source without a tag gets one from a single option, other fields empty.
  r = Run({"cut", MakeMp3("plain.mp3", 20), "0", "100", Path("u.mp3"), "--track", "300"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  t = Tail(Path("u.mp3"), 128);
  EXPECT_EQ(t.substr(0, 3), "TAG");
  EXPECT_EQ(t.substr(3, 124), std::string(124, '\0'));
  EXPECT_EQ(uint8_t(t[127]), 255);
}

TEST_F(CliTest, SplitNamesPiecesByDateAndNeverOverwrites) {
  const TID3v1Tag tag = SourceTag();
  const std::string file = MakeMp3("song.mp3", 100, &tag);
  const std::string out = Path("out");
  fs::create_directory(out);
  TRun r = Run({"split", file, "--parts", "3", "--out", out});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string first = MakeSplitFileName(file, out);  // the next free name
  const std::string stem = first.substr(0, first.size() - 8);
  EXPECT_EQ(first, stem + "0004.mp3");
  EXPECT_EQ(r.Out, stem + "0001.mp3\n" + stem + "0002.mp3\n" + stem + "0003.mp3\n");
  uintmax_t audio = 0;
  for (int i = 1; i <= 3; ++i) {
    const std::string piece = stem + FormatPieceNumber(i) + ".mp3";
    EXPECT_EQ(Tail(piece, 128), Tail(file, 128));
    audio += fs::file_size(piece) - 128;
  }
  EXPECT_GE(audio, 100u * kFrameBytes);

  // 2,612 ms in pieces of one second: three more files, numbered on.
  r = Run({"split", file, "--every", "0:00:01", "--out", out, "--no-tag"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, stem + "0004.mp3\n" + stem + "0005.mp3\n" + stem + "0006.mp3\n");
  EXPECT_EQ(fs::file_size(stem + "0006.mp3"), 23u * kFrameBytes);
}

TEST_F(CliTest, SplitRefusesValuesTheOptionsDialogRefuses) {
  const std::string file = MakeMp3("song.mp3", 100);
  TRun r = Run({"split", file, "--parts", "201", "--out", dir_.string()});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Please enter a value between 2 and 200\n");
  r = Run({"split", file, "--every", "0:00:03", "--out", dir_.string()});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Please set time higher than 1 second but less than 000:00:02.612\n");
  r = Run({"split", file, "--every", "0:00:00", "--out", dir_.string()});
  EXPECT_EQ(r.Status, 1);
  // A folder that cannot be made, below a file.
  r = Run({"split", file, "--parts", "2", "--out", file + "/pieces"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, file + "/pieces: The output folder does not exist\n");
}

TEST_F(CliTest, SplitMakesAMissingOutputFolderWithItsParents) {
  const std::string file = MakeMp3("song.mp3", 100);
  const std::string out = Path("new/deeper/pieces");
  const TRun r = Run({"split", file, "--parts", "2", "--out", out});
  ASSERT_EQ(r.Status, 0) << r.Err;
  size_t pieces = 0;
  for (const auto& entry : fs::directory_iterator(out))
    pieces += entry.path().extension() == ".mp3";
  EXPECT_EQ(pieces, 2u);
}

// The waveform of a 4-second sweep at -9 dBFS mixed with quiet hiss by sox, which halves both
// (peaks near 0.2, RMS near -18 dBFS): columns that span what the player plays, each at the
// sweep's level; widths that are no count of columns, and files that are no MP3, are refused.
TEST_F(CliTest, PeaksPrintsTheWaveformAndRefusesBadInput) {
  const std::string file = PELCATO_TEST_DATA "/sweep.mp3";
  TRun r = Run({"peaks", file, "--width", "40", "--json"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const auto numbers = [&](const std::string& name) {
    const size_t at = r.Out.find("\"" + name + "\": [");
    EXPECT_NE(at, std::string::npos) << name;
    std::istringstream in(r.Out.substr(r.Out.find('[', at) + 1));
    std::vector<double> values;
    for (double v = 0; in >> v;) {
      values.push_back(v);
      if (in.peek() == ']') break;
      in.ignore(1);  // the comma
    }
    return values;
  };
  const std::vector<double> rms = numbers("rms_db"), lo = numbers("min"), hi = numbers("max");
  ASSERT_EQ(rms.size(), 40u);
  ASSERT_EQ(lo.size(), 40u);
  for (size_t c = 1; c + 1 < rms.size(); ++c) {
    EXPECT_NEAR(rms[c], -18.0, 1.0) << c;
    EXPECT_NEAR(lo[c], -0.2, 0.03) << c;
    EXPECT_NEAR(hi[c], 0.2, 0.03) << c;
  }
  TMpg123Player player;
  player.Open(file);
  const double length = double(player.Length());
  const size_t at = r.Out.find("\"ms_per_column\": ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(r.Out.substr(at + 17)) * 40, length, 1.0);

  r = Run({"peaks", file});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 1001);
  for (const char* width : {"0", "-3", "12x", "100001", ""}) {
    r = Run({"peaks", file, "--width", width});
    EXPECT_EQ(r.Status, 2) << width;
    EXPECT_NE(r.Err.find("--width needs a whole number from 1 to 100000"), std::string::npos);
  }
  r = Run({"peaks", MakeMp3("silence.mp3", 0)});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("is not a MP3 file"), std::string::npos) << r.Err;
  EXPECT_EQ(Run({"peaks", Path("missing.mp3")}).Status, 1);
}

TEST_F(CliTest, VersionIsTheProjectVersion) {
  const TRun r = Run({"--version"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "pelcato-cli " PELCATO_VERSION "\n");
}

// Progress lines are for a terminal on the process's standard error: a split whose messages go
// elsewhere (here a string) stays free of them even when standard error is a terminal, and
// the terminal gets them when the messages go to standard error.
TEST_F(CliTest, ProgressOnlyOnAStandardErrorThatIsATerminal) {
  const std::string file = MakeMp3("song.mp3", 100);
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  std::cerr.flush();
  const int savedErr = dup(STDERR_FILENO);
  dup2(terminal, STDERR_FILENO);

  const TRun toString = Run({"split", file, "--parts", "3", "--out", Path("a")});
  std::vector<char*> argv;
  std::vector<std::string> args = {"pelcato-cli", "split", file,     "--parts",
                                   "3",           "--out", Path("b")};
  for (std::string& a : args) argv.push_back(a.data());
  std::ostringstream out;
  const int status = RunCli(int(argv.size()), argv.data(), out, std::cerr);
  std::cerr.flush();

  dup2(savedErr, STDERR_FILENO);
  close(savedErr);
  close(terminal);
  // Every side of the terminal is closed now: the master reads what was written, then ends.
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, size_t(n));
  close(master);

  EXPECT_EQ(toString.Status, 0);
  EXPECT_EQ(toString.Err, "");
  EXPECT_EQ(status, 0);
  EXPECT_NE(shown.find("Writing piece 3 of 3"), std::string::npos) << shown;
}

TEST_F(CliTest, SplitGoesOnAfterAFailedPiece) {
  const std::string file = MakeMp3("song.mp3", 100);
  SetWriteFaultHook([] { return false; });
  const TRun r = Run({"split", file, "--parts", "2", "--out", dir_.string()});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  size_t reports = 0;
  for (size_t p = r.Err.find(": Cannot save Mp3 file\n"); p != std::string::npos;
       p = r.Err.find(": Cannot save Mp3 file\n", p + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 2u) << r.Err;
}

TEST_F(CliTest, WrongUsageExitsWithTwoAndOneLine) {
  const std::string file = MakeMp3("a.mp3", 10);
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"play", file},
      {"info"},
      {"info", file, "--bogus"},
      {"cut", file, "0", "100"},
      {"cut", file, "0:00:01,5", "100", Path("x.mp3")},
      {"cut", file, "0", "100", Path("x.mp3"), "--vbr-header", "--no-vbr-header"},
      {"cut", file, "0", "100", Path("x.mp3"), "--genre", "nonsense"},
      {"cut", file, "0", "100", Path("x.mp3"), "--no-tag", "--title", "t"},
      {"cut", file, "0", "100", Path("x.mp3"), "--title"},
      {"split", file},
      {"split", file, "--parts", "2", "--every", "0:00:01"},
      {"split", file, "--parts", "two"},
      {"split", file, "--every", "1:61:00"},
  };
  for (const auto& args : wrong) {
    const TRun r = Run(args);
    EXPECT_EQ(r.Status, 2) << (args.empty() ? "" : args[0]) << " " << args.size();
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_EQ(r.Err.rfind("pelcato-cli: ", 0), 0u) << r.Err;
    EXPECT_NE(r.Err.find("; see pelcato-cli --help\n"), std::string::npos) << r.Err;
  }
  // A time that is refused shows the forms that are not.
  const TRun time = Run({"split", file, "--every", "1,5s"});
  EXPECT_NE(time.Err.find("--every: not a time: \"1,5s\" (write it as 1:30, "), std::string::npos)
      << time.Err;
  EXPECT_FALSE(fs::exists(Path("x.mp3")));
  const TRun help = Run({"cut", "--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.substr(0, 6), "Usage:");
}

TEST_F(CliTest, FilesThatAreNoMp3OrCannotBeReadFail) {
  std::ofstream(Path("text.mp3")) << "just some text, no frames at all";
  TRun r = Run({"cut", Path("text.mp3"), "0", "100", Path("x.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, Path("text.mp3") + ": is not a MP3 file: no MPEG audio frames found\n");
  r = Run({"info", Path("text.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("Valid: false\n"), std::string::npos);
  EXPECT_NE(r.Out.find("InvalidReason: no MPEG audio frames found\n"), std::string::npos);
  // Why not, for what people take for MP3 files.
  std::ofstream(Path("empty.mp3"));
  std::ofstream(Path("wave.mp3")) << std::string("RIFF\x24\0\0\0WAVEfmt ", 16);
  std::ofstream(Path("late.mp3")) << std::string(1000, 'x')
                                  << std::ifstream(MakeMp3("f.mp3", 5)).rdbuf();
  for (const auto& [name, why] : std::vector<std::pair<std::string, std::string>>{
           {"empty.mp3", "empty file"},
           {"wave.mp3", "a WAVE file, not MP3"},
           {"late.mp3",
            "no MPEG audio frame at byte 0, where the audio has to start; frames "
            "start at byte 1000 behind other data"}}) {
    r = Run({"info", "--json", Path(name)});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("\"InvalidReason\": \"" + why + "\""), std::string::npos) << r.Out;
    EXPECT_EQ(r.Err, Path(name) + ": is not a MP3 file: " + why + "\n");
  }

  for (const std::string& unreadable : {Path("missing.mp3"), dir_.string()}) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"info", unreadable},
             {"cut", unreadable, "0", "100", Path("x.mp3")},
             {"split", unreadable, "--parts", "2", "--out", dir_.string()}}) {
      r = Run(args);
      EXPECT_EQ(r.Status, 1) << args[0] << " " << unreadable;
      EXPECT_EQ(r.Err.rfind(unreadable + ": ", 0), 0u) << r.Err;
    }
  }
  EXPECT_FALSE(fs::exists(Path("x.mp3")));

  r = Run({"cut", Path("a.mp3"), "100", "100", Path("x.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Starting or ending point setting error\n");
  const std::string file = MakeMp3("a.mp3", 10);
  r = Run({"cut", file, "0", "100", dir_.string() + "/./a.mp3"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.rfind("Please use other file name.", 0), 0u);
}

// A cut does not replace a file unless told to, and then replaces it whole or not at all.
TEST_F(CliTest, CutReplacesAnExistingFileOnlyWithOverwrite) {
  const std::string file = MakeMp3("a.mp3", 100);
  const std::string target = Path("piece.mp3");
  std::ofstream(target) << "keep me";
  TRun r = Run({"cut", file, "0", "1:00", target});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, target + ": the file exists; it is not replaced (--overwrite replaces it)\n");
  EXPECT_EQ(Tail(target, 100), "keep me");
  SetWriteFaultHook([] { return false; });
  r = Run({"cut", file, "0", "1:00", target, "--overwrite"});
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Tail(target, 100), "keep me");
  r = Run({"cut", file, "1s", "1:00", target, "--overwrite", "--no-tag"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(fs::file_size(target) % kFrameBytes, 0u);
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) entries += e.is_regular_file();
  EXPECT_EQ(entries, 2u) << "no temporary file left behind";
}

}  // namespace
}  // namespace pelcato

namespace pelcato {
namespace {

class CliCheckTest : public CliTest {
 protected:
  static std::string Data(const std::string& name) {
    return std::string(PELCATO_TEST_DATA) + "/" + name;
  }
  static std::string Head(const std::string& path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string head(n, '\0');
    in.read(head.data(), std::streamsize(n));
    return head;
  }
};

TEST_F(CliCheckTest, VerifyReportsEachFileAndFailsOnDecodeErrors) {
  TRun r = Run({"verify", Data("cbr128.mp3"), Data("mpeg25.mp3")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.find(Data("cbr128.mp3") + "\n  Frames: 97\n  DecodedMs: 2533\n"), 0u) << r.Out;
  EXPECT_NE(r.Out.find(Data("mpeg25.mp3") + "\n  Frames: 37\n"), std::string::npos);
  EXPECT_NE(r.Out.find("  DecodeErrors: 0\n  ReservoirFrames: 0\n"), std::string::npos);

  // A frame header overwritten in the middle of the file.
  std::ifstream in(Data("cbr128.mp3"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t mid = bytes.find("\xFF\xFB", bytes.size() / 2);
  bytes.replace(mid, 8, "damaged!");
  std::ofstream(Path("damaged.mp3"), std::ios::binary) << bytes;
  r = Run({"verify", Data("cbr128.mp3"), Path("damaged.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find(Path("damaged.mp3") + "\n  Frames: 96\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("  DecodeErrors: 1\n"), std::string::npos);

  r = Run({"verify", Path("missing.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("cannot decode"), std::string::npos);
  EXPECT_EQ(Run({"verify"}).Status, 2);
}

// The split measures the length beside its analysis: a VBR file whose first frame promises
// 1,140 ms while the player decodes 2,500 is split by the player's length, into the pieces
// the core writes after a measured analysis.
TEST_F(CliCheckTest, SplitsFollowThePlayersLength) {
  const std::string out = Path("pieces");
  fs::create_directory(out);
  const TRun r = Run({"split", Data("vbr.mp3"), "--every", "0:00:01", "--out", out, "--no-tag"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  TKorvaMP3 core(std::make_unique<TMpg123Player>());
  core.VbrHeader = true;  // as pelcato-cli writes pieces by default
  core.AnalyzeFile(Data("vbr.mp3"));
  ASSERT_EQ(core.Info.Duration, 2500);
  std::vector<std::string> expected;
  core.SaveSegments(
      {0, 1000, 2000}, {1000, 2000, 2500},
      [&](size_t i) { return Path("core" + std::to_string(i)); }, {}, true,
      [&](size_t, const TSegmentResult& piece) { expected.push_back(piece.Path); });
  std::vector<std::string> pieces;
  for (const auto& e : fs::directory_iterator(out)) pieces.push_back(e.path().string());
  std::sort(pieces.begin(), pieces.end());
  ASSERT_EQ(pieces.size(), expected.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(Head(pieces[i], 1 << 20), Head(expected[i], 1 << 20)) << pieces[i];
  }
}

TEST_F(CliCheckTest, CutAndSplitWriteVbrHeadersAndVerifyOnRequest) {
  TRun r = Run(
      {"cut", Data("vbr.mp3"), "500", "2200", Path("plain.mp3"), "--verify", "--no-vbr-header"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find(Path("plain.mp3") + "\n  Frames: 66\n"), std::string::npos) << r.Out;
  EXPECT_NE(Head(Path("plain.mp3"), 40).substr(36), "Xing");
  for (const char* given : {"--vbr-header", "--verify"}) {  // the header comes by default
    r = Run({"cut", Data("vbr.mp3"), "500", "2200", Path("headed.mp3"), given, "--overwrite"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Head(Path("headed.mp3"), 40).substr(36), "Xing");
    EXPECT_EQ(fs::file_size(Path("headed.mp3")), fs::file_size(Path("plain.mp3")) + 156);
  }

  const std::string out = Path("pieces");
  fs::create_directory(out);
  r = Run({"split", Data("vbr.mp3"), "--parts", "2", "--out", out, "--verify"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  int pieces = 0;
  for (const auto& e : fs::directory_iterator(out)) {
    ++pieces;
    EXPECT_EQ(Head(e.path().string(), 40).substr(36), "Xing") << e.path();
    EXPECT_NE(r.Out.find(e.path().string() + "\n  Frames: "), std::string::npos);
  }
  EXPECT_EQ(pieces, 2);
}

}  // namespace
}  // namespace pelcato
