#include "tags/Id3v2Summary.h"

#include "tags/Id3v2Read.h"

namespace pelcato {

std::optional<TId3v2Summary> SummarizeId3v2(const uint8_t* data, size_t size) {
  tags::TId3v2Reading r = tags::ReadId3v2(data, size);
  if (!r.Present) return std::nullopt;
  TId3v2Summary s;
  if (r.Version > 0) s.Version = "2." + std::to_string(r.Version);
  s.Frames = std::move(r.FrameIds);
  s.Problem = std::move(r.Problem);
  return s;
}

}  // namespace pelcato
