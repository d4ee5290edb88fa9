// pelcato-cli cut and split with --id3v2, read back by mutagen, ffprobe and libmpg123 on
// sources tagged by mutagen and by ffmpeg, and on a source whose tag is broken.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "../cli/CliRun.h"
#include "TagsTestUtil.h"

namespace pelcato::test {
namespace {

// The files of a folder in name order.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// The line of the dump that starts with prefix, or "".
std::string LineStarting(const std::vector<std::string>& dump, const std::string& prefix) {
  for (const std::string& line : dump)
    if (line.rfind(prefix, 0) == 0) return line;
  return "";
}

// What libmpg123 decodes from the file, in whole ms.
int64_t DecodedMs(const std::string& path) {
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  long rate = 0;
  int channels = 0, encoding = 0;
  int64_t ms = -1;
  if (mpg123_open(h, path.c_str()) == MPG123_OK &&
      mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK) {
    const size_t bytes = DecodedSamples(path).size();
    ms = int64_t(bytes / 2 / size_t(channels)) * 1000 / rate;
  }
  mpg123_delete(h);
  return ms;
}

// Four seconds of sweep without lame's Info frame (which a decoder takes for no audio while the
// cut counts it as a frame), and a picture.
struct TSources {
  TempDir Dir;
  std::string Audio = Dir / "audio.mp3";
  std::string Cover;
  TSources() {
    Output("ffmpeg -v error -i '" + DataFile("sweep.mp3") +
           "' -c copy -write_xing 0 -id3v2_version 0 '" + Audio + "'");
    Cover = Mutagen(4, "") + ".png";
  }
  std::string Mutagen(int version, const std::string& options) const {
    const std::string path = Dir / ("mutagen" + std::to_string(version) + options + ".mp3");
    Probe("make '" + Audio + "' '" + path + "' " + std::to_string(version) + " " + options);
    return path;
  }
  // ffmpeg's own tag: ID3v2.3 with Latin-1 texts, the picture, an ID3v1 tag, no length.
  std::string Ffmpeg() const {
    const std::string path = Dir / "ffmpeg.mp3";
    Output("ffmpeg -v error -i '" + Audio + "' -i '" + Cover +
           "' -map 0 -map 1 -c copy -id3v2_version 3 -write_id3v1 1 -metadata "
           "'title=A title far longer than thirty characters' -metadata artist=Someone '" +
           path + "'");
    return path;
  }
};

// keep: every frame of the source in every piece, in its version, the picture byte for byte,
// TRCK n/N, TLEN the piece's decoded length only where the source had one; the audio is what
// the pieces without --id3v2 hold, and info --json lists what mutagen reads.
TEST(PiecesWithId3v2, KeepTheSourceTagInEveryPiece) {
  TSources s;
  for (const std::string& src :
       {s.Mutagen(3, "unsync"), s.Mutagen(4, "nolength"), s.Mutagen(4, ""), s.Ffmpeg()}) {
    SCOPED_TRACE(src);
    const std::string kept = s.Dir / "kept", plain = s.Dir / "plain";
    fs::remove_all(kept);
    fs::remove_all(plain);
    ASSERT_EQ(RunCliWith({"split", src, "--parts", "3", "--out", kept, "--id3v2", "keep"}).Status,
              0);
    ASSERT_EQ(RunCliWith({"split", src, "--parts", "3", "--out", plain}).Status, 0);
    const auto pieces = FilesIn(kept), plainPieces = FilesIn(plain);
    ASSERT_EQ(pieces.size(), 3u);
    ASSERT_EQ(plainPieces.size(), 3u);
    const auto before = MutagenDump(src);
    const bool statesLength = !LineStarting(before, "text TLEN").empty();
    for (size_t i = 0; i < 3; ++i) {
      const auto after = MutagenDump(pieces[i]);
      EXPECT_EQ(after[0], before[0]);  // the version
      // The same frames, and TRCK where ffmpeg wrote none.
      EXPECT_EQ(after.size(), before.size() + LineStarting(before, "text TRCK").empty());
      for (const std::string& line : before) {
        if (line.rfind("ids", 0) && line.rfind("text TRCK", 0) && line.rfind("text TLEN", 0)) {
          EXPECT_TRUE(Has(after, line)) << line;
        }
      }
      EXPECT_NE(LineStarting(after, "text TRCK " + Hex(std::to_string(i + 1) + "/3") + " "), "");
      const std::string length = LineStarting(after, "text TLEN ");
      EXPECT_EQ(!length.empty(), statesLength);
      if (statesLength) {
        const int64_t decoded = DecodedMs(pieces[i]);
        EXPECT_TRUE(length.rfind("text TLEN " + Hex(std::to_string(decoded)), 0) == 0 ||
                    length.rfind("text TLEN " + Hex(std::to_string(decoded + 1)), 0) == 0)
            << length << " decoded " << decoded;
      }
      const Bytes piece = ReadFile(pieces[i]), plainPiece = ReadFile(plainPieces[i]);
      EXPECT_EQ(AudioOf(piece), plainPiece);
      EXPECT_EQ(TagEnd(plainPiece), 0u);
      EXPECT_EQ(DecodedSamples(pieces[i]), DecodedSamples(plainPieces[i]));
      const TRun info = RunCliWith({"info", "--json", pieces[i]});
      std::string ids = after[1].substr(4), listed = "\"ID3v2Frames\": [\"";
      for (char c : ids) listed += c == ' ' ? std::string("\", \"") : std::string(1, c);
      EXPECT_NE(
          info.Out.find("\"ID3v2Version\": \"" + after[0].substr(8) + "\", " + listed + "\"]"),
          std::string::npos)
          << info.Out;
    }
    // ffmpeg also finds the picture whole in the last piece.
    Output("ffmpeg -v error -y -i '" + pieces[2] + "' -map 0:v -c copy -f image2 '" +
           s.Dir / "c.png" + "'");
    EXPECT_EQ(ReadFile(s.Dir / "c.png"), ReadFile(s.Cover));
  }
  EXPECT_EQ(RunCliWith({"info", "--json", s.Audio}).Out.find("ID3v2Version"), std::string::npos);
}

// Cue track titles of 80 characters, in Cyrillic and in Japanese, read back exactly from a new
// tag and from a kept one, while the ID3v1 tag has them in the legacy code page; --no-tag drops
// only the ID3v1 tag.
TEST(PiecesWithId3v2, CueTitlesReadBackExactly) {
  TSources s;
  std::string eighty;
  for (int i = 0; i < 80; ++i) eighty += i % 10 == 9 ? std::string(" ") : std::string("ж");
  const std::string titles[] = {eighty, "Песня о далёкой родине", "夜に駆ける"};
  const std::string sheet = s.Dir / "sheet.cue";
  std::string text = "PERFORMER \"Исполнитель\"\nTITLE \"アルバム\"\nFILE \"a.mp3\" MP3\n";
  for (int t = 0; t < 3; ++t) {
    text += "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n    TITLE \"" + titles[t] +
            "\"\n    INDEX 01 00:0" + std::to_string(t) + ":00\n";
  }
  WriteFile(sheet, Bytes(text.begin(), text.end()));
  const char* locale = std::getenv("LC_ALL");
  const std::string saved = locale ? locale : "";
  setenv("LC_ALL", "ru_RU.UTF-8", 1);  // windows-1251 for the ID3v1 tag
  const std::string src = s.Mutagen(3, "");
  for (const auto& [mode, source, version] :
       {std::tuple{"new", s.Audio, "2.4"}, std::tuple{"keep", src, "2.3"}}) {
    SCOPED_TRACE(mode);
    const std::string out = s.Dir / mode;
    const TRun run =
        RunCliWith({"split", source, "--cue", sheet, "--out", out, "--id3v2", mode, "--no-tag"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto pieces = FilesIn(out);
    ASSERT_EQ(pieces.size(), 3u);
    for (size_t t = 0; t < 3; ++t) {
      const auto dump = MutagenDump(pieces[t]);
      EXPECT_EQ(dump[0], "version " + std::string(version));
      EXPECT_NE(LineStarting(dump, "text TIT2 " + Hex(titles[t]) + " encoding"), "");
      EXPECT_NE(LineStarting(dump, "text TALB " + Hex("アルバム") + " encoding"), "");
      EXPECT_NE(LineStarting(dump, "text TRCK " + Hex(std::to_string(t + 1) + "/3") + " "), "");
      EXPECT_TRUE(Has(FfprobeTags(pieces[t]), "TAG:title=" + titles[t]));
      EXPECT_EQ(Has(dump, LineStarting(MutagenDump(src), "picture")), std::string(mode) == "keep");
      const Bytes piece = ReadFile(pieces[t]);
      EXPECT_NE(std::string(piece.end() - 128, piece.end() - 125), "TAG");
    }
  }
  // The ID3v1 tag as before: the title cut to 30 bytes of the code page.
  const std::string v1 = s.Dir / "v1";
  ASSERT_EQ(RunCliWith({"split", s.Audio, "--cue", sheet, "--out", v1, "--id3v2", "new"}).Status,
            0);
  const Bytes second = ReadFile(FilesIn(v1)[1]), third = ReadFile(FilesIn(v1)[2]);
  EXPECT_EQ(std::string(second.end() - 125, second.end() - 119), "\xcf\xe5\xf1\xed\xff ");
  EXPECT_EQ(std::string(third.end() - 125, third.end() - 120), "?????");
  if (locale)
    setenv("LC_ALL", saved.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

// new: the texts of the source's ID3v2 tag at full length and in any script (not its ID3v1
// tag's 30 bytes), no other frame, the tag options over them.
TEST(PiecesWithId3v2, NewTagTakesTheTextsOfTheSourcesTag) {
  TSources s;
  for (const auto& [src, title, album] :
       {std::tuple{s.Mutagen(3, ""), "Título", "Альбом"},
        std::tuple{s.Ffmpeg(), "A title far longer than thirty characters", ""}}) {
    SCOPED_TRACE(src);
    const std::string piece = s.Dir / "new.mp3";
    const TRun run = RunCliWith(
        {"cut", src, "500", "2500", piece, "--id3v2", "new", "--artist", "Над", "--overwrite"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto dump = MutagenDump(piece);
    EXPECT_EQ(dump[0], "version 2.4");
    EXPECT_NE(LineStarting(dump, "text TIT2 " + Hex(title) + " "), "");
    EXPECT_EQ(LineStarting(dump, "text TALB ").empty(), std::string(album).empty());
    if (*album) {
      EXPECT_NE(LineStarting(dump, "text TALB " + Hex(album) + " "), "");
    }
    EXPECT_NE(LineStarting(dump, "text TPE1 " + Hex("Над") + " "), "");
    EXPECT_EQ(LineStarting(dump, "picture"), "");
  }
}

// A source whose ID3v2 tag TagLib cannot read: the pieces are those without --id3v2 and a
// warning says why; a new tag is still made. The size split keeps to SIZE with the tags.
TEST(PiecesWithId3v2, BrokenSourceTagGivesThePiecesWithoutIt) {
  TSources s;
  Bytes tag = TagOf(ReadFile(s.Mutagen(4, "")));
  const auto at = std::search(tag.begin(), tag.end(), "USLT", "USLT" + 4) - tag.begin();
  std::fill_n(tag.begin() + at + 4, 4, 0x7F);  // a frame running past the tag
  const std::string broken = s.Dir.Put("broken.mp3", Cat(tag, ReadFile(s.Audio)));
  const std::string cut = s.Dir / "cut.mp3", plain = s.Dir / "plain.mp3";
  const TRun run = RunCliWith({"cut", broken, "500", "2500", cut, "--id3v2", "keep"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Err.find("broken.mp3: the source's ID3v2 tag is left out: "), std::string::npos);
  ASSERT_EQ(RunCliWith({"cut", broken, "500", "2500", plain}).Status, 0);
  EXPECT_EQ(ReadFile(cut), ReadFile(plain));
  const std::string fresh = s.Dir / "fresh.mp3";
  ASSERT_EQ(
      RunCliWith({"cut", broken, "500", "2500", fresh, "--id3v2", "new", "--title", "T"}).Status,
      0);
  EXPECT_EQ(MutagenDump(fresh)[1], "ids TIT2");

  const std::string sized = s.Dir / "sized";
  const TRun split = RunCliWith({"split", s.Mutagen(3, ""), "--size", "20K", "--out", sized,
                                 "--id3v2", "keep", "--title", "Sized"});
  ASSERT_EQ(split.Status, 0) << split.Err;
  const auto pieces = FilesIn(sized);
  ASSERT_GT(pieces.size(), 3u);
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_LE(fs::file_size(pieces[i]), 20480u);
    const auto dump = MutagenDump(pieces[i]);
    EXPECT_NE(LineStarting(dump, "text TIT2 " + Hex("Sized")), "");
    EXPECT_NE(LineStarting(dump, "text TRCK " + Hex(std::to_string(i + 1) + "/" +
                                                    std::to_string(pieces.size()))),
              "");
  }
}

}  // namespace
}  // namespace pelcato::test
