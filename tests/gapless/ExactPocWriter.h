// A writer of pieces exact to the sample built from the mp3 blocks, for the tests only: the
// source's frames walked, the piece planned, then the header frame with its LAME extension,
// the filler frame and the kept frames. The tests run their decode check through a TCutter,
// so the program's own cut can take this writer's place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
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

std::vector<uint8_t> WriteExactPiece(const TSourceStream& src, const TExactPiece& plan);

// Writes the piece of source from startMs to endMs to piece; false when it cannot.
using TCutter = std::function<bool(const std::string& source, int64_t startMs, int64_t endMs,
                                   const std::string& piece)>;
bool PocCut(const std::string& source, int64_t startMs, int64_t endMs, const std::string& piece);

// Splits source at the boundaries (milliseconds, ascending, the first and last included) and
// returns the paths of the pieces written into folder, in order; empty when it cannot.
using TSplitter = std::function<std::vector<std::string>(const std::string& source,
                                                         const std::vector<int64_t>& boundariesMs,
                                                         const std::string& folder)>;
std::vector<std::string> PocSplit(const std::string& source,
                                  const std::vector<int64_t>& boundariesMs,
                                  const std::string& folder);

}  // namespace pelcato::test
