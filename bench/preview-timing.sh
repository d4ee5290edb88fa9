#!/usr/bin/env bash
# Preview timing of the desktop program on a private PulseAudio server with a null sink: how
# soon the sound starts after a click on Play, and how far the position the window reads lies
# from the sample being heard (see bench/preview_timing.cpp).
#   bash bench/preview-timing.sh [FILE.mp3] [RUNS] [SECONDS]
# It measures twice: with the recorder holding the sink at 10 ms, as a sound card's own timing
# would, and at 50 ms, as another program playing at that latency would. A recorder that asks
# for more (parec's default asks for 2 s) lets the null sink render that much silence ahead of
# any new stream, and every player, pacat as well, is then heard up to that much later.
# Without FILE it makes a 10-minute 192 kbit/s file of noise with sox and lame, whose every
# stretch matches one place of the decode only. Needs: pulseaudio, pulseaudio-utils (parec),
# sox, lame, and a built build/bench/preview_timing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${PELCATO_PREVIEW_TIMING:-$root/build/bench/preview_timing}
work=$(mktemp -d)
source "$root/scripts/null-sink.sh"
start_null_sink "$work"
trap 'kill "$null_sink_pid" 2>/dev/null; wait "$null_sink_pid" 2>/dev/null; rm -rf "$work"' EXIT

src=${1:-}
if [ -z "$src" ]; then
  src=$work/noise.mp3
  sox -n -r 44100 -c 2 -b 16 -t wav - synth 600 whitenoise vol 0.3 2>/dev/null |
    lame --quiet -b 192 - "$src"
fi
for latency in 10 50; do
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$bench" "$src" "${2:-5}" "${3:-5}" "$latency" |
    grep -v '^run '
done
