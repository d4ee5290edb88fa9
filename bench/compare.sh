#!/usr/bin/env bash
# Times pelcato-cli against cp, mp3splt and ffmpeg (stream copy) on one long MP3, side by side
# in one run, and records each tool's peak memory. Yardsticks beside them: cp of the whole
# file, dd copying the third of the file that minutes 20 to 40 take, and coreutils split
# making as many files as the 3,600-piece split.
#   bash bench/compare.sh [FILE.mp3]
# Without FILE it makes a 60-minute 128 kbit/s file with sox and lame (about 57.6 MB); the split
# at silences always runs on a file of its own with a pause every minute.
# Needs: hyperfine, mp3splt, ffmpeg, lame, sox, GNU time (Debian: hyperfine mp3splt ffmpeg lame
# sox time), coreutils, and a built build/src/cli/pelcato-cli (and build/bench/bench_core and
# bench_peaks for the open and the waveform).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${PELCATO_CLI:-$root/build/src/cli/pelcato-cli}
# Removing the files of all runs at the end frees many inodes, which the next run would pay for
# (see below): a run that starts less than six minutes after the last one ended waits first.
stamp=${TMPDIR:-/tmp}/pelcato-compare.last
if [ -f "$stamp" ]; then
  pause=$(($(cat "$stamp" 2>/dev/null || echo 0) + 360 - $(date +%s)))
  if [ "$pause" -gt 0 ]; then
    echo "Waiting $pause s until the files the last run removed no longer slow file creation ..."
    sleep "$pause"
  fi
fi
work=$(mktemp -d)
trap 'rm -rf "$work"; date +%s >"$stamp"' EXIT

src=${1:-}
if [ -z "$src" ]; then
  src=$work/long.mp3
  echo "Making a 60-minute test file ..."
  sox -n -r 44100 -c 2 -b 16 -t wav - synth 3600 sine 440 sine 660 vol 0.5 2>/dev/null |
    lame --quiet -b 128 - "$src"
fi
out=$work/out
runs=${RUNS:-10}
third=$(($(stat -c %s "$src") / 3))

# Every run starts from a new, empty output folder. On ext4 without a journal each file made
# passes over every inode freed nearby in the last one to six minutes (the kernel does not
# reuse them that soon), which would charge each tool per file it makes for files removed
# before its run: 60 files against cp's one, 3,600 against split's 3,600 at up to half a
# second each. So the last run's files are emptied (which frees their data as removing would)
# and moved aside, and all are removed only at the end. sync writes the last run's data out
# before the next run is timed. Removing many files shortly before running this script skews
# it the same way.
old=$work/old
mkdir -p "$old"
bench() {
  local name=$1
  shift
  hyperfine --style basic --warmup 2 --runs "$runs" --export-json "$work/$name.json" \
    --prepare "mkdir -p '$out' && find '$out' -type f -exec truncate -s 0 {} + &&
      mv '$out' '$old/'\$(date +%s%N) && mkdir '$out' && sync" "$@"
}

echo "== cut the whole file"
bench whole -n cp "cp '$src' '$out/whole.mp3'" \
  -n pelcato "'$cli' cut '$src' 0 999999999 '$out/whole.mp3'" \
  -n mp3splt "mp3splt -q -d '$out' -o whole '$src' 0.0 EOF" \
  -n ffmpeg "ffmpeg -v error -y -i '$src' -map 0:a -c copy '$out/whole.mp3'"

echo "== cut minutes 20 to 40"
bench range -n cp "cp '$src' '$out/whole.mp3'" \
  -n dd "dd if='$src' of='$out/third.mp3' bs=1M iflag=skip_bytes,count_bytes skip=$third count=$third status=none" \
  -n pelcato "'$cli' cut '$src' 000:20:00.000 000:40:00.000 '$out/cut.mp3'" \
  -n mp3splt "mp3splt -q -d '$out' -o cut '$src' 20.0 40.0" \
  -n ffmpeg "ffmpeg -v error -y -ss 1200 -to 2400 -i '$src' -map 0:a -c copy '$out/cut.mp3'"

echo "== split into 60 pieces"
bench split60 -n cp "cp '$src' '$out/whole.mp3'" \
  -n pelcato "'$cli' split '$src' --every 0:01:00 --out '$out'" \
  -n mp3splt "mp3splt -q -d '$out' -t 1.0 '$src'" \
  -n ffmpeg "ffmpeg -v error -i '$src' -map 0:a -c copy -f segment -segment_time 60 '$out/p%04d.mp3'"

echo "== split into 3,600 pieces"
bench split3600 -n cp "cp '$src' '$out/whole.mp3'" \
  -n split "cd '$out' && split -a 4 -n 3600 '$src'" \
  -n pelcato "'$cli' split '$src' --every 0:00:01 --out '$out'" \
  -n mp3splt "mp3splt -q -d '$out' -t 0.1 '$src'" \
  -n ffmpeg "ffmpeg -v error -i '$src' -map 0:a -c copy -f segment -segment_time 1 '$out/p%04d.mp3'"

echo "== exact to the sample against whole frames: cut minutes 20 to 40, the whole file, split into 60"
bench exactrange -n pelcato "'$cli' cut '$src' 000:20:00.000 000:40:00.000 '$out/cut.mp3'" \
  -n pelcato-header "'$cli' cut '$src' 000:20:00.000 000:40:00.000 '$out/cut.mp3' --vbr-header" \
  -n pelcato-exact "'$cli' cut '$src' 000:20:00.000 000:40:00.000 '$out/cut.mp3' --exact"
bench exactwhole -n pelcato "'$cli' cut '$src' 0 999999999 '$out/whole.mp3'" \
  -n pelcato-header "'$cli' cut '$src' 0 999999999 '$out/whole.mp3' --vbr-header" \
  -n pelcato-exact "'$cli' cut '$src' 0 999999999 '$out/whole.mp3' --exact"
bench exactsplit60 -n pelcato "'$cli' split '$src' --every 0:01:00 --out '$out'" \
  -n pelcato-header "'$cli' split '$src' --every 0:01:00 --out '$out' --vbr-header" \
  -n pelcato-exact "'$cli' split '$src' --every 0:01:00 --out '$out' --exact"

echo "== open: analysis with the exact length, against libmpg123's own scan"
bench_core=${PELCATO_BENCH_CORE:-$root/build/bench/bench_core}
if [ -x "$bench_core" ]; then
  PELCATO_BENCH_FILE=$src "$bench_core" --benchmark_filter='Measured|ScanOnly' 2>/dev/null |
    grep -E '^BM_'
  echo "== waveform: the first estimate beside the frame walk it rides on"
  PELCATO_BENCH_FILE=$src "$bench_core" --benchmark_filter='WalkFrames$|EstimateFromSideInfo' \
    2>/dev/null | grep -E '^BM_'
fi

peaks_tool=${PELCATO_BENCH_PEAKS:-$root/build/bench/bench_peaks}
if [ -x "$peaks_tool" ]; then
  echo "== waveform: the open as the window makes it, without and with the first envelope"
  bench envelope -n open "'$peaks_tool' --open '$src'" -n envelope "'$peaks_tool' --estimate '$src'"
  echo "== waveform: the decoded peaks against ffmpeg's decode (both decode every frame once)"
  bench peaks -n ffmpeg "ffmpeg -v error -i '$src' -f null -" -n pelcato "'$peaks_tool' '$src'"
fi
latency_tool=${PELCATO_BENCH_LATENCY:-$root/build/bench/wave_latency}
if [ -x "$latency_tool" ]; then
  echo "== waveform: the window's event loop while the peaks are decoded (offscreen)"
  XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen "$latency_tool" "$src" 3 2>/dev/null
fi

echo "== split at silences: 60 minutes of tone with a 5-second pause every minute"
pauses=$work/pauses.mp3
sox -n -r 44100 -c 2 -b 16 -t wav - synth 55 sine 440 sine 660 vol 0.5 pad 0 5 repeat 59 \
  2>/dev/null | lame --quiet -b 128 - "$pauses"
bench silence -n pelcato-dry-run "'$cli' split '$pauses' --silence --dry-run" \
  -n pelcato "'$cli' split '$pauses' --silence --out '$out'" \
  -n mp3splt "mp3splt -q -N -s -p th=-48,min=2 -d '$out' '$pauses'"

echo
echo "== ratios to cp (median wall time)"
python3 - "$work" <<'PY'
import json, sys, statistics
work = sys.argv[1]
med = {}
for name in ("whole", "range", "split60", "split3600"):
    res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(f"{work}/{name}.json"))["results"]}
    med[name] = res
    cp = res["cp"]
    print(f"{name:10}", "  ".join(f"{k} {v / cp:5.2f}" for k, v in res.items() if k != "cp"))
print()
print("== pelcato against its yardsticks (median wall time)")
for name, base, target in (("whole", "cp", 1.2), ("range", "dd", 1.3), ("split60", "cp", 2.0),
                           ("split3600", "split", 0.6)):
    ratio = med[name]["pelcato"] / med[name][base]
    print(f"{name:10} pelcato/{base:5} {ratio:5.2f}  (target at most {target})")
try:
    res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(f"{work}/envelope.json"))["results"]}
    print(f"{'envelope':10} with/without {res['envelope'] / res['open']:5.2f}  (target at most 1.1)")
    res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(f"{work}/peaks.json"))["results"]}
    print(f"{'peaks':10} pelcato/ffmpeg {res['pelcato'] / res['ffmpeg']:5.2f}  (target at most 1.0)")
except FileNotFoundError:
    pass
print()
print("== --exact against whole frames (median wall time)")
for name in ("exactrange", "exactwhole", "exactsplit60"):
    res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(f"{work}/{name}.json"))["results"]}
    # --exact implies a header frame as --vbr-header writes one: the second ratio sets exact
    # pieces against whole frames with that header.
    print(f"{name:12} exact/whole frames {res['pelcato-exact'] / res['pelcato']:5.2f}"
          f"  exact/whole frames with header {res['pelcato-exact'] / res['pelcato-header']:5.2f}"
          "  (target at most 1.1)")
PY

echo
echo "== peak memory (maximum resident set, KiB)"
peak() {
  rm -rf "$out" && mkdir -p "$out"
  /usr/bin/time -f "%M" "$@" 2>&1 >/dev/null | tail -1
}
printf 'pelcato split 3600: %s\n' "$(peak "$cli" split "$src" --every 0:00:01 --out "$out")"
printf 'pelcato split 60:   %s\n' "$(peak "$cli" split "$src" --every 0:01:00 --out "$out")"
printf 'pelcato cut whole:  %s\n' "$(peak "$cli" cut "$src" 0 999999999 "$out/w.mp3")"
printf 'pelcato cut 20-40:  %s\n' "$(peak "$cli" cut "$src" 000:20:00.000 000:40:00.000 "$out/r.mp3")"
printf 'exact cut 20-40:    %s\n' "$(peak "$cli" cut "$src" 000:20:00.000 000:40:00.000 "$out/x.mp3" --exact)"
printf 'exact cut whole:    %s\n' "$(peak "$cli" cut "$src" 0 999999999 "$out/y.mp3" --exact)"
printf 'exact split 3600:   %s\n' "$(peak "$cli" split "$src" --every 0:00:01 --out "$out" --exact)"
printf 'mp3splt 3600:       %s\n' "$(peak mp3splt -q -d "$out" -t 0.1 "$src")"
printf 'ffmpeg 3600:        %s\n' "$(peak ffmpeg -v error -i "$src" -map 0:a -c copy -f segment -segment_time 1 "$out/p%04d.mp3")"
