#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each.
# usage: fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?build dir}; secs=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for t in "$build"/fuzz/*_fuzz; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  corpus=$(mktemp -d)
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$corpus/"
  echo "== $name (${secs}s)"
  if ! "$t" -max_total_time="$secs" -print_final_stats=0 "$corpus" >"$corpus.log" 2>&1; then
    tail -n 40 "$corpus.log"; status=1
  fi
  rm -rf "$corpus" "$corpus.log"
done
exit $status
