#!/usr/bin/env bash
# Times the volume options of pelcato-cli against their floors on one long MP3: a fixed gain
# against cp of the file, normalisation against one decode of the file (ffmpeg's, into nothing)
# plus that cp, and `loudness` against ffmpeg's ebur128 filter. mp3gain, which changes the same
# field of the frames in place, runs beside them on a fresh copy each time (the copy is made
# before the timing).
#   bash bench/volume.sh [FILE.mp3]
# Without FILE it makes a 60-minute 128 kbit/s file with sox and lame (about 57.6 MB) of noise
# whose level swells and falls. Needs: hyperfine, ffmpeg, lame, sox, mp3gain and a built
# build/src/cli/pelcato-cli.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${PELCATO_CLI:-$root/build/src/cli/pelcato-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

src=${1:-}
if [ -z "$src" ]; then
  src=$work/long.mp3
  echo "Making a 60-minute test file ..."
  sox -n -r 44100 -c 2 -b 16 -t wav - synth 3600 pinknoise sine 330 tremolo 0.05 60 gain -20 \
    2>/dev/null | lame --quiet -b 128 - "$src"
fi
out=$work/out
mkdir -p "$out"
runs=${RUNS:-10}

bench() {
  local name=$1
  shift
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/$name.json" \
    --prepare "rm -f '$out'/* && cp '$src' '$work/copy.mp3' && sync" "$@"
}

echo "== a fixed gain on the whole file"
bench gain -n cp "cp '$src' '$out/whole.mp3'" \
  -n pelcato "'$cli' cut '$src' 0 999999999 '$out/whole.mp3' --gain 3" \
  -n pelcato-exact "'$cli' cut '$src' 0 999999999 '$out/whole.mp3' --gain 3 --exact" \
  -n mp3gain "mp3gain -q -c -s s -g 2 '$work/copy.mp3'"

echo "== a gain on each of 60 pieces"
bench split60 -n cp "cp '$src' '$out/whole.mp3'" \
  -n pelcato "'$cli' split '$src' --every 0:01:00 --out '$out'" \
  -n pelcato-gain "'$cli' split '$src' --every 0:01:00 --out '$out' --gain 3"

echo "== normalising: one decode and a copy"
bench normalize -n cp "cp '$src' '$out/whole.mp3'" \
  -n decode "ffmpeg -v error -i '$src' -f null -" \
  -n pelcato "'$cli' cut '$src' 0 999999999 '$out/whole.mp3' --normalize" \
  -n pelcato-split60 "'$cli' split '$src' --every 0:01:00 --out '$out' --normalize" \
  -n mp3gain "mp3gain -q -c -s s -r '$work/copy.mp3'"

echo "== measuring: the loudness, its range and the true peak"
bench loudness -n ffmpeg "ffmpeg -v error -i '$src' -af ebur128=peak=true -f null -" \
  -n pelcato "'$cli' loudness '$src'"

echo
echo "== ratios (median wall time)"
python3 - "$work" <<'PY'
import json, sys, statistics
work = sys.argv[1]
def med(name):
    return {r["command"]: statistics.median(r["times"])
            for r in json.load(open(f"{work}/{name}.json"))["results"]}
g, s, n, l = med("gain"), med("split60"), med("normalize"), med("loudness")
print(f"gain, whole file    pelcato/cp {g['pelcato'] / g['cp']:5.2f}  exact/cp "
      f"{g['pelcato-exact'] / g['cp']:5.2f}  (target at most 1.5)   mp3gain/cp {g['mp3gain'] / g['cp']:5.2f}")
print(f"gain, 60 pieces     with/without {s['pelcato-gain'] / s['pelcato']:5.2f}")
floor = n["decode"] + n["cp"]
print(f"normalise           pelcato/(decode+cp) {n['pelcato'] / floor:5.2f}  split 60 "
      f"{n['pelcato-split60'] / floor:5.2f}  (target at most 1.0)   mp3gain -r {n['mp3gain']:6.2f} s")
print(f"loudness            pelcato/ffmpeg ebur128 {l['pelcato'] / l['ffmpeg']:5.2f}")
PY
