#include "mp3/FillerFrame.h"

#include <algorithm>
#include <optional>

#include "mp3/MpegFrameHeader.h"
#include "mp3/SideInfo.h"

namespace pelcato {

std::vector<uint8_t> TFillerFrame::Render(const uint8_t* audioHeader,
                                          std::span<const uint8_t> bytes) {
  const std::optional<MpegFrameHeader> audio = DecodeFrameHeader(audioHeader);
  if (!audio || audio->Layer != 3) return {};
  uint8_t header[4] = {0xFF, uint8_t(audioHeader[1] | 1), 0,
                       // Keep the channel mode, copyright, original and emphasis; a mode
                       // extension means nothing for a frame without audio.
                       uint8_t(audioHeader[3] & 0xCF)};
  const size_t sideEnd =
      size_t(TLayer3SideInfo::OffsetFor(header)) + size_t(TLayer3SideInfo::SizeFor(header));
  for (int index = audioHeader[2] >> 4; index <= 14; ++index) {
    // The sample-rate index stays; no padding, no private bit.
    header[2] = uint8_t(index << 4 | (audioHeader[2] & 0x0C));
    const std::optional<MpegFrameHeader> h = DecodeFrameHeader(header);
    if (!h || size_t(h->FrameSize) < sideEnd || size_t(h->FrameSize) - sideEnd < bytes.size()) {
      continue;
    }
    std::vector<uint8_t> frame(size_t(h->FrameSize), 0);
    std::copy(header, header + 4, frame.begin());
    std::copy(bytes.begin(), bytes.end(), frame.end() - std::ptrdiff_t(bytes.size()));
    return frame;
  }
  return {};
}

}  // namespace pelcato
