// Shared helpers of the tag tests: mutagen, ffprobe and ffmpeg as the independent readers, and
// pieces made of a rendered tag in front of a source's audio.
#pragma once

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "Mp3TestUtil.h"
#include "mp3/Id3Tags.h"

namespace pelcato::test {

// What a command prints; the test fails when it does not end well.
inline std::string Output(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0) << command;
  return out;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The system python, which has python3-mutagen.
inline std::string Probe(const std::string& args) {
  return Output(std::string("/usr/bin/python3 ") + PELCATO_TAGS_PROBE + " " + args);
}
inline std::vector<std::string> MutagenDump(const std::string& path) {
  return Lines(Probe("dump '" + path + "'"));
}

// The tags as ffprobe reads them, "TAG:title=..." a line.
inline std::vector<std::string> FfprobeTags(const std::string& path) {
  return Lines(
      Output("ffprobe -v error -show_entries format_tags -of default=nw=1 '" + path + "'"));
}

inline std::string Hex(const std::string& s) {
  std::string h;
  char b[3];
  for (unsigned char c : s) h += (std::snprintf(b, sizeof b, "%02x", c), b);
  return h;
}

// The file's ID3v2 tag and what follows it, by the header's size.
inline size_t TagEnd(const Bytes& file) {
  TId3v2Header h;
  return TId3v2Header::Parse(file.data(), file.size(), h) ? kId3v2HeaderSize + h.Size : 0;
}
inline Bytes TagOf(const Bytes& file) {
  return Bytes(file.begin(), file.begin() + TagEnd(file));
}
inline Bytes AudioOf(const Bytes& file) {
  return Bytes(file.begin() + TagEnd(file), file.end());
}

// All samples libmpg123 decodes from the file (it passes over the ID3v2 tag itself).
inline Bytes DecodedSamples(const std::string& path) {
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  Bytes pcm;
  if (mpg123_open(h, path.c_str()) == MPG123_OK) {
    unsigned char buf[16384];
    size_t got = 0;
    for (int rc = MPG123_OK; rc == MPG123_OK || rc == MPG123_NEW_FORMAT;) {
      rc = mpg123_read(h, buf, sizeof buf, &got);
      pcm.insert(pcm.end(), buf, buf + got);
    }
  }
  mpg123_delete(h);
  return pcm;
}

}  // namespace pelcato::test
