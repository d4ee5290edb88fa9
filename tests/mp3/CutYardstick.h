// A yardstick for the cut, written out plainly, and the made-up files the cut tests share.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "Mp3TestUtil.h"
#include "mp3/MpegFrameHeader.h"

namespace pelcato::test {

// The cut written out plainly, as a yardstick: from the first frame, on four-byte steps over
// anything that is not a frame, header frames and ID3v2 tags passed over, frames copied whole.
struct TRefPiece {
  bool Ok = true;
  Bytes Out;
  int64_t Written = 0, Ms = 0;
  std::vector<int64_t> Frames;  // source offsets of the frames copied
};

struct TRefStep {
  int64_t Next, Bytes;
  double Ms;
};

// A Layer III header frame, as libmpg123, ffmpeg and mutagen find one: "Xing" or "Info" behind
// the side information of a frame without CRC (32 or 17 bytes in MPEG 1, 17 or 9 in MPEG 2 and
// 2.5), or "VBRI" 32 bytes behind the header.
inline bool RefHeaderFrame(const Bytes& f, int64_t p) {
  const bool layer3 = (f[p + 1] & 0x06) == 0x02;
  const bool mpeg1 = (f[p + 1] & 0x18) == 0x18;
  const bool mono = (f[p + 3] & 0xC0) == 0xC0;
  const int64_t at = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
  const auto tag = [&](int64_t o, const char* t) {
    return p + o + 4 <= int64_t(f.size()) && std::memcmp(&f[p + o], t, 4) == 0;
  };
  return layer3 && (tag(at, "Xing") || tag(at, "Info") || tag(36, "VBRI"));
}

inline TRefStep RefStep(const Bytes& f, int64_t p) {
  const int64_t n = int64_t(f.size());
  if (p + 4 <= n) {
    if (auto h = DecodeFrameHeader(&f[p])) {
      const bool xing = RefHeaderFrame(f, p);
      return {p + h->FrameSize, xing ? 0 : h->FrameSize, xing ? 0.0 : h->FrameMs};
    }
    if (p + 10 <= n && std::memcmp(&f[p], "ID3", 3) == 0) {
      return {p + 10 + DecodeSyncsafe(&f[p + 6]), 0, 0.0};
    }
  }
  return {p + 4, 0, 0.0};
}

inline TRefPiece RefCut(const Bytes& f, const TMp3DataInfo& info, int64_t startMs, int64_t endMs,
                        const TID3v1Tag& tag) {
  TRefPiece r;
  const int64_t n = int64_t(f.size());
  int64_t p = info.FirstFrameOffset();
  double t = 0;
  while (startMs > 0 && p < n - 4 && double(startMs) > t) {
    const TRefStep s = RefStep(f, p);
    p = s.Next;
    t += s.Ms;
  }
  t = 0;
  int64_t copiedTo = -1;
  while (p < n - info.ID3v1Size - info.ApeSize - 4 && double(endMs - startMs) > t) {
    const TRefStep s = RefStep(f, p);
    if (s.Bytes > 0) {
      if (p + s.Bytes > n) return {false, {}, 0, 0, {}};
      r.Out.insert(r.Out.end(), f.begin() + p, f.begin() + p + s.Bytes);
      r.Frames.push_back(p);
      copiedTo = p + s.Bytes;
    }
    r.Written += s.Bytes;
    t += s.Ms;
    p = s.Next;
  }
  r.Ms = int64_t(t);
  if (tag.IsTag()) {
    const auto enc = EncodeId3v1(tag);
    // Over the source's tag only, where the last frame ran into it up to the end.
    if (info.ID3v1Size > 0 && copiedTo == n) r.Out.resize(r.Out.size() - 128);
    r.Out.insert(r.Out.end(), enc.begin(), enc.end());
  }
  return r;
}

// 200 frames of MPEG 1 Layer III, 128 kbit/s, 44100 Hz, 417 bytes each, numbered at byte 4.
inline Bytes NumberedFrames(int count = 200) {
  Bytes f;
  for (int i = 0; i < count; ++i) {
    Bytes frame(417, 0);
    std::memcpy(frame.data(), "\xFF\xFB\x90\x64", 4);
    frame[4] = uint8_t(i);
    f = Cat(f, frame);
  }
  return f;
}

inline std::vector<int> FrameNumbers(const Bytes& out) {
  std::vector<int> n;
  for (size_t p = 0; p + 417 <= out.size(); p += 417) n.push_back(out[p + 4]);
  return n;
}

// The test files plus one built from them with everything the walk has to pass over: an
// ID3v2 tag in the stream, zeros that keep and that break the four-byte rhythm, junk, a last
// frame cut short and an ID3v1 tag behind it.
inline std::string MessyFile(const TempDir& dir) {
  const Bytes cbr = ReadFile(DataFile("cbr128.mp3"));
  const Bytes id3 = ReadFile(DataFile("id3v2.mp3"));
  const Bytes tag = Slice(id3, 0, DecodeSyncsafe(id3.data() + 6) + 10);
  const std::vector<int64_t> at =
      RefCut(cbr, Analyzed(DataFile("cbr128.mp3"))->Info, 0, 1 << 30, {}).Frames;
  auto frames = [&](int from, int to) { return Slice(cbr, at[from], at[to] - at[from]); };
  Bytes m = Cat(tag, frames(0, 10));
  for (const Bytes& b :
       {Bytes(8, 0), frames(10, 20), tag, frames(20, 30), Bytes(6, 0), frames(30, 40),
        Bytes{'j', 'u', 'n', 'k', 0xFF, 0xFF}, frames(40, 50), Slice(cbr, at[50], 300),
        Slice(ReadFile(DataFile("id3v11.mp3")), 2792 - 128, 128)}) {
    m = Cat(m, b);
  }
  return dir.Put("messy.mp3", m);
}

inline const char* const kFiles[] = {"cbr128.mp3",     "vbr.mp3",       "mpeg2.mp3",
                                     "mpeg25.mp3",     "mono.mp3",      "layer2.mp3",
                                     "id3v2-apic.mp3", "ape-id3v1.mp3", "id3v2.mp3"};

}  // namespace pelcato::test
