#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (seconds, default 20)
# on a copy of its seed corpus. A crash fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
for f in build/fuzz/out/fuzz_*; do
  name=$(basename "$f"); seeds=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d /tmp/memlist-fuzz-XXXXXX)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzzing $name for ${secs}s"
  rc=0
  "$f" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$work/" "$work" >"$work.log" 2>&1 || rc=$?
  tail -n 3 "$work.log"
  if [ "$rc" -ne 0 ]; then
    echo "$name failed (exit $rc); last output:"; tail -n 60 "$work.log"
    rm -rf "$work" "$work.log"; exit "$rc"
  fi
  rm -rf "$work" "$work.log"
done
