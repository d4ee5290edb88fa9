// Cue sheets: what the line check lets through, libcue reads without a word on standard error
// (this test, on one thread, is the only place that looks there), and what it refuses names
// the line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "split/CueSheet.h"

namespace pelcato {
namespace {

// Parses text with standard error sent to a file; returns what was written there.
std::string StderrOfParse(const std::string& text, bool& ok, std::string& error) {
  std::fflush(stderr);
  std::FILE* f = std::tmpfile();
  const int saved = dup(STDERR_FILENO);
  dup2(fileno(f), STDERR_FILENO);
  TCueSheet sheet;
  ok = ParseCueSheet(text, TagCodePageForLocale("en_US.UTF-8"), sheet, error);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::rewind(f);
  std::string said;
  for (int c; (c = std::fgetc(f)) != EOF;) said += char(c);
  std::fclose(f);
  return said;
}

TEST(CueSheet, LibcueHasNothingToSayAboutWhatTheCheckLetsThrough) {
  const std::string head = "FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n";
  const std::vector<std::string> sheets = {
      // Remarks libcue misreads (DATE inside a word, text after a value), and a genre of two
      // words without quotes.
      "REM COMMENT \"UPDATED z\"\nREM DISCID 8F0A\nREM GENRE Hip Hop\n" + head +
          "    REM COMMENT x DATE y\n    INDEX 01 00:00:00\n",
      head + "    TITLE Two Words\n    INDEX 01 00:00:00\n",
      head + "    TITLE \"x\"y\n    INDEX 01 00:00:00\n",
      head + "    TITLE \"not closed\n    INDEX 01 00:00:00\n",
      head + "    INDEX 01 00:00:00\n  TRACK 02 CDG\n    INDEX 01 00:01:00\n",
      head + "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n",  // a track without a command
      "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",         // no FILE
      "FILE \"a.mp3\" MP3\nFILE \"b.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 0\n",
      "INDEX 01 00:00:00\n" + head + "    INDEX 01 0\n",
      head + "    INDEX 01 00:00\n",
      head + "    FLAGS DCP PRE 4CH SCMS\n    ISRC ABC\n    PREGAP 00:02:00\n    INDEX 01 0\n",
      "\xEF\xBB\xBF"
      "CATALOG 123\r\nTITLE 'single quotes'\r\n" +
          head + "    INDEX 01 0:1:2\r\n",
      head + "    garbage\n",
      "",
  };
  int accepted = 0;
  for (const std::string& text : sheets) {
    bool ok = false;
    std::string error;
    const std::string said = StderrOfParse(text, ok, error);
    EXPECT_EQ(said, "") << text;
    accepted += ok;
    if (!ok) {
      EXPECT_EQ(error.rfind("the cue sheet does not parse", 0), 0u) << error;
    }
  }
  EXPECT_EQ(accepted, 4);  // the remarks, two words, the FLAGS and the CATALOG sheet
}

TEST(CueSheet, AnUnquotedTextOfSeveralWordsIsReadWhole) {
  TCueSheet sheet;
  std::string error;
  ASSERT_TRUE(ParseCueSheet(
      "PERFORMER Some  Band\nFILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE My Song\t\r\n"
      "    INDEX 01 00:00:00\n",
      TagCodePageForLocale("en_US.UTF-8"), sheet, error))
      << error;
  ASSERT_EQ(sheet.Tracks.size(), 1u);
  EXPECT_EQ(sheet.Tracks[0].Title, "My Song");
  EXPECT_EQ(sheet.Performer, "Some  Band");
}

TEST(CueSheet, ARefusedLineIsNamed) {
  TCueSheet sheet;
  std::string error;
  const TTagCodePage cp = TagCodePageForLocale("en_US.UTF-8");
  EXPECT_FALSE(
      ParseCueSheet("FILE \"a.mp3\" MP3\n\n  TRACK 01 AUDIO\n    INDX 01 0\n", cp, sheet, error));
  EXPECT_EQ(error, "the cue sheet does not parse (line 4: unknown command INDX)");
  EXPECT_FALSE(ParseCueSheet("FILE \"a.mp3\" MP3\n  TRACK 01 AUDIO\n", cp, sheet, error));
  EXPECT_EQ(error, "the cue sheet does not parse (line 3: the last track has no INDEX)");
}

}  // namespace
}  // namespace pelcato
