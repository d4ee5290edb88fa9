// Shared helpers of the mp3 tests: files as byte vectors, a scratch folder, a scripted player.
#pragma once

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "io/WriteFaults.h"
#include "mp3/KorvaMp3.h"

namespace pelcato::test {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

inline std::string DataFile(const std::string& name) {
  return std::string(PELCATO_TEST_DATA) + "/" + name;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

inline Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes Slice(const Bytes& b, size_t from, size_t len) {
  return Bytes(b.begin() + from, b.begin() + from + len);
}

// A folder of its own for each test, removed with everything in it.
class TempDir : public TScratchFolder {
 public:
  TempDir() : TScratchFolder("pelcato-mp3") {}
  std::string operator/(const std::string& name) const { return Path(name); }
  // Writes bytes under name and returns the path.
  std::string Put(const std::string& name, const Bytes& b) const {
    WriteFile(Path(name), b);
    return Path(name);
  }
};

// A player that does what the test says: give a length, or fail to open with a message.
class TFakePlayer : public TMediaPlayer {
 public:
  struct TScript {
    int64_t Length = 0;
    std::string OpenError;  // non-empty: Open throws this
    TPlayerMode ModeAfterPlay = TPlayerMode::Playing;
    int64_t Position = 0;
  };
  explicit TFakePlayer(std::shared_ptr<TScript> s) : S(std::move(s)) {}
  void Open(const std::string&) override {
    if (!S->OpenError.empty()) throw EPlayerError(S->OpenError);
    FMode = TPlayerMode::Stopped;
  }
  int64_t Length() override { return S->Length; }
  int64_t Position() override { return S->Position; }
  void SetPosition(int64_t ms) override { S->Position = ms; }
  void Play() override { FMode = S->ModeAfterPlay; }
  TPlayerMode Mode() override { return FMode; }
  void Close() override { FMode = TPlayerMode::NotOpen; }

 private:
  std::shared_ptr<TScript> S;
  TPlayerMode FMode = TPlayerMode::NotOpen;
};

// An analysis without a player: the computed length stands.
inline std::unique_ptr<TKorvaMP3> Analyzed(const std::string& path) {
  auto mp3 = std::make_unique<TKorvaMP3>(nullptr);
  mp3->AnalyzeFile(path);
  return mp3;
}

inline TID3v1Tag MakeTag(const std::string& title, uint8_t track, uint8_t genre) {
  TID3v1Tag t;
  std::memcpy(t.Header, "TAG", 3);
  std::memcpy(t.Title, title.data(), std::min<size_t>(title.size(), 30));
  std::memcpy(t.Comment, "made by the tests", 17);
  t.Track = track;
  t.Genre = genre;
  return t;
}

// A long stream of MPEG 1 Layer III frames at 128 kbit/s and 44100 Hz, numbered in bytes 4
// to 7. Padded as an encoder pads them (417 or 418 bytes, 417.96 on average) or never (417).
inline Bytes CbrStream(int frames, bool padded = true) {
  Bytes f;
  f.reserve(size_t(frames) * 418);
  long rest = 0;
  for (int i = 0; i < frames; ++i) {
    rest += 144L * 128000 % 44100;
    const bool pad = padded && rest >= 44100;
    if (pad) rest -= 44100;
    Bytes frame(pad ? 418 : 417, 0x55);
    std::memcpy(frame.data(), pad ? "\xFF\xFB\x92\x64" : "\xFF\xFB\x90\x64", 4);
    std::memcpy(frame.data() + 4, &i, 4);
    f.insert(f.end(), frame.begin(), frame.end());
  }
  return f;
}

// Decodes a file with libmpg123 to the end: true when it met no error and found audio.
inline bool DecodesCleanly(const std::string& path) {
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  bool ok = mpg123_open(h, path.c_str()) == MPG123_OK;
  unsigned char buf[16384];
  size_t got = 0, total = 0;
  for (int rc = MPG123_OK; ok && rc != MPG123_DONE; total += got) {
    rc = mpg123_read(h, buf, sizeof buf, &got);
    ok = rc == MPG123_OK || rc == MPG123_NEW_FORMAT || rc == MPG123_DONE;
  }
  mpg123_delete(h);
  return ok && total > 0;
}

}  // namespace pelcato::test
