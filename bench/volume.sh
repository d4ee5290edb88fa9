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
  -n pelcato "'$cli' cut --overwrite '$src' 0 999999999 '$out/whole.mp3' --gain 3" \
  -n pelcato-exact "'$cli' cut --overwrite '$src' 0 999999999 '$out/whole.mp3' --gain 3 --exact" \
  -n mp3gain "mp3gain -q -c -s s -g 2 '$work/copy.mp3'"

echo "== a gain on each of 60 pieces"
bench split60 -n cp "cp '$src' '$out/whole.mp3'" \
  -n pelcato "'$cli' split '$src' --every 0:01:00 --out '$out'" \
  -n pelcato-gain "'$cli' split '$src' --every 0:01:00 --out '$out' --gain 3"

echo "== normalising: one decode and a copy"
bench normalize -n cp "cp '$src' '$out/whole.mp3'" \
  -n decode "ffmpeg -v error -i '$src' -f null -" \
  -n pelcato "'$cli' cut --overwrite '$src' 0 999999999 '$out/whole.mp3' --normalize" \
  -n pelcato-split60 "'$cli' split '$src' --every 0:01:00 --out '$out' --normalize"
echo "== mp3gain -r (analysis and track gain in place), once"
cp "$src" "$work/copy.mp3" && sync
/usr/bin/time -f "%e s (processor %U s + %S s)" -o "$work/mp3gain-r.time" \
  mp3gain -q -c -s s -r "$work/copy.mp3" >/dev/null 2>&1 || true
cat "$work/mp3gain-r.time"

echo "== measuring: the loudness, its range and the true peak"
bench loudness -n ffmpeg "ffmpeg -v error -i '$src' -af ebur128=peak=true -f null -" \
  -n pelcato "'$cli' loudness '$src'"

echo
echo "== ratios (median wall time)"
# Wall time, and processor time (user + system) beside it: on a machine shared with other work
# the wall time follows the load more than the program.
python3 - "$work" <<'PY'
import json, sys, statistics
work = sys.argv[1]
def load(name):
    return {r["command"]: r for r in json.load(open(f"{work}/{name}.json"))["results"]}
def ratio(res, a, b):
    wall = statistics.median(res[a]["times"]) / statistics.median(res[b]["times"])
    cpu = (res[a]["user"] + res[a]["system"]) / (res[b]["user"] + res[b]["system"])
    return f"{wall:5.2f} (processor {cpu:5.2f})"
g, s, n, l = load("gain"), load("split60"), load("normalize"), load("loudness")
print("gain, whole file    pelcato/cp", ratio(g, "pelcato", "cp"), " exact/cp",
      ratio(g, "pelcato-exact", "cp"), " mp3gain -g/cp", ratio(g, "mp3gain", "cp"),
      " (target at most 1.5)")
print("gain, 60 pieces     with/without", ratio(s, "pelcato-gain", "pelcato"))
floor_wall = statistics.median(n["decode"]["times"]) + statistics.median(n["cp"]["times"])
floor_cpu = sum(n[k]["user"] + n[k]["system"] for k in ("decode", "cp"))
for name in ("pelcato", "pelcato-split60"):
    r = n[name]
    print(f"normalise {name:15} /(decode + cp) {statistics.median(r['times']) / floor_wall:5.2f}"
          f" (processor {(r['user'] + r['system']) / floor_cpu:5.2f})  (target at most 1.0)")
print("loudness            pelcato/ffmpeg ebur128", ratio(l, "pelcato", "ffmpeg"))
PY
