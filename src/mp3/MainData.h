// Where the main data of Layer III frames lie. A frame's main data begin main_data_begin bytes
// before its own main data area, in the main data areas of the frames before it (the bit
// reservoir); headers and side information are not counted. A piece that starts at such a
// frame must carry those bytes, and a file whose first frames point before its start plays a
// glitch there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pelcato {

struct TMainDataFrame {
  int64_t Offset = 0;         // of the frame header in the file
  int32_t Size = 0;           // of the whole frame
  int32_t MainDataAt = 0;     // where its main data area starts, counted from the header
  int32_t MainDataBegin = 0;  // bytes of its main data that lie before that area

  int32_t MainDataSize() const { return Size - MainDataAt; }
  // frame: the whole frame, header first. No value for other layers or a frame too short for
  // its side information.
  static std::optional<TMainDataFrame> Of(const uint8_t* frame, size_t size, int64_t offset);
};

struct TByteRange {
  int64_t Offset = 0;
  int32_t Size = 0;
};

// The bytes that the main data of `first` take from frames before it, as ranges of the file in
// stream order (their sizes add up to first.MainDataBegin); none when it takes none. before:
// the frames just before it, in stream order (the last one adjoins it); no value when their
// main data areas hold fewer bytes than it asks for.
std::optional<std::vector<TByteRange>> ReservoirOf(const TMainDataFrame& first,
                                                   std::span<const TMainDataFrame> before);

// Counts the frames of a stream, fed in order, whose main data begin before the main data of
// the frames fed so far: before the stream's first frame. A VBR header frame is not fed.
class TReservoirWatch {
 public:
  // True when this frame reaches outside.
  bool Add(int32_t mainDataBegin, int32_t mainDataSize);
  int64_t Outside() const { return FOutside; }

 private:
  int64_t FAvailable = 0;  // main data bytes of the frames so far, capped
  int64_t FOutside = 0;
};

}  // namespace pelcato
