#!/usr/bin/env bash
# Replays each fuzz target's corpus, then fuzzes it afresh for a few seconds.
#   bash fuzz/run.sh BUILD_DIR/fuzz [SECONDS]
set -euo pipefail
bin=$1
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "$bin"/fuzz_*; do
  name=$(basename "$target")
  name=${name#fuzz_}
  corpus=$here/corpus/$name
  [ -d "$corpus" ] || continue
  # The MP3 readers share one dictionary; the other targets have their own, or none.
  dict=()
  case $name in
    analyze | cut | picture) dict=(-dict="$here/mp3.dict") ;;
    *) if [ -f "$here/$name.dict" ]; then dict=(-dict="$here/$name.dict"); fi ;;
  esac
  echo "== fuzz $name: replay $(ls "$corpus" | wc -l) inputs"
  "$target" -runs=0 "$corpus" 2>"$work/$name-replay.log" || {
    tail -40 "$work/$name-replay.log"
    exit 1
  }
  mkdir -p "$work/$name"
  cp -r "$corpus"/. "$work/$name"/
  echo "== fuzz $name: ${seconds}s of fresh inputs"
  "$target" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -artifact_prefix="$work/$name-" "$work/$name" 2>"$work/$name.log" || {
    tail -60 "$work/$name.log"
    for f in "$work/$name"-crash-* "$work/$name"-timeout-* "$work/$name"-oom-* "$work/$name"-leak-*; do
      [ -f "$f" ] && echo "finding: $f" && base64 "$f" | head -40
    done
    exit 1
  }
  grep -E '^Done|stat::number_of_executed_units' "$work/$name.log" | tail -1 || true
done
