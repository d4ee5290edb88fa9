// A split into pieces of at most a given number of bytes: the size argument, the plan of whole
// frames that fills each piece up to the limit, and the plan of pieces exact to the sample.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelcato {

class TKorvaMP3;

// "SIZE" of --size: a whole number of bytes, optionally followed by K, M or G (powers of 1024,
// either case). False for anything else, zero, or a size beyond 2^62 bytes.
bool ParseByteSize(const std::string& text, int64_t& bytes);

// One frame of the source as a cut copies it.
struct TSizedFrame {
  int64_t Pos = 0;
  int64_t Bytes = 0;
  // A piece gets a VBR header frame of HeaderBytes, those of its first frame (0: none), when it
  // holds frames of more than one Rate, or frames of one whose size does not tell their length
  // (SizeTellsLength, with the Average bytes of a frame at that rate).
  uint16_t Rate = 0;
  int32_t HeaderBytes = 0;
  double Average = 0.0;
};

// The pieces of a split by size, as byte places of the source: piece i takes the frames from
// From[i] up to To[i]. Each piece holds as many whole frames, in order, as fit in limit bytes
// together with the tags (tagBytes) and its VBR header frame when it gets one; every frame goes
// into exactly one piece.
struct TSizePlan {
  std::vector<int64_t> From;
  std::vector<int64_t> To;
  std::vector<int64_t> Bytes;   // frame bytes of each piece, the tags not included
  std::vector<int64_t> Header;  // bytes of each piece's VBR header frame, 0 without one
  int64_t LargestFrame = 0;
  bool Fits = false;  // false when a frame and the tag together exceed limit (no pieces then)
};
TSizePlan PlanSizePieces(const std::vector<TSizedFrame>& frames, int64_t audioEnd, int64_t limit,
                         int64_t tagBytes);

// The ranges of a split of mp3's analysed file into exact pieces of at most limit bytes each,
// a tag of tagBytes included: each piece takes as much of the timeline as fits. False when the
// file cannot be cut exact (needed is 0 then), or when a piece cannot hold even a millisecond:
// needed then tells the size of the smallest piece that can. Throws EFileError when the
// file cannot be read.
bool PlanExactSizes(const TKorvaMP3& mp3, int64_t limit, int64_t tagBytes,
                    std::vector<int64_t>& starts, std::vector<int64_t>& ends, int64_t& needed);

}  // namespace pelcato
