// A file's Layer III frames read into memory for the tests of the exact-cut blocks: its header
// frame, where each audio frame lies and what its side information says of its main data.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mp3/ExactPlan.h"
#include "mp3/MainData.h"
#include "mp3/XingFrame.h"

namespace pelcato::test {

struct TSourceStream {
  std::vector<uint8_t> File;
  std::optional<TXingFrame> Header;    // the source's VBR header frame, when it has one
  size_t FirstFrameAt = 0;             // where the first frame starts, header frame or not
  std::vector<TMainDataFrame> Frames;  // its audio frames
  TExactSource Model;
};

// Reads a file of Layer III frames behind an optional ID3v2 tag; the walk stops at the first
// bytes that are not a frame (an ID3v1 tag, say).
std::optional<TSourceStream> ReadSourceStream(std::vector<uint8_t> file);

}  // namespace pelcato::test
