// What a file's ID3v2 tag holds, for scripts: its version and the ids of its frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelcato {

struct TId3v2Summary {
  std::string Version;              // "2.3"
  std::vector<std::string> Frames;  // the ids as they stand in the tag, in order
  // Empty when TagLib reads the tag to its end; else why not (Frames then holds those before
  // the point where it stopped).
  std::string Problem;
};

// The summary of the tag that starts the bytes; nullopt when they do not start with "ID3".
std::optional<TId3v2Summary> SummarizeId3v2(const uint8_t* data, size_t size);

}  // namespace pelcato
