#include "wave/Timeline.h"

#include "mp3/Decoder.h"
#include "mp3/MediaPlayer.h"

namespace pelcato {

int64_t PlayerTimelineShift(const std::string& file) {
  try {
    TDecoder decoder;  // the player's setup
    long rate = 0;
    int channels = 0;
    if (!decoder.OpenFile(file) || !decoder.Format(rate, channels)) return 0;
    const int delay = decoder.EncoderDelay();
    return delay >= 0 ? int64_t(delay) + kDecoderDelay : 0;
  } catch (const EPlayerError&) {
    return 0;
  }
}

}  // namespace pelcato
