// Why a file is no MP3 the analysis can take: said in a few words to the person who gave it.
#pragma once

#include <cstdint>
#include <string>

#include "io/SourceFile.h"

namespace pelcato {

// Why no frame stands at `first`, where the audio has to start (at the start of the file or
// right behind its ID3v2 tag and that tag's zero padding): the file is of another format, its
// frames start further on behind other bytes, or no frames are found at all. Looks at the first
// MiB from `first` at most. Throws EFileError when the file cannot be read.
std::string WhyNoFrameAt(TSourceFile& src, int64_t first);

}  // namespace pelcato
