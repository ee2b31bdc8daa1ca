#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each, as many at a
# time as there are processors.
# usage: fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?build dir}; secs=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

one() {  # TARGET: runs it on a copy of its seed corpus; its log stays on failure
  local t=$1 name corpus
  name=$(basename "$t")
  corpus=$(mktemp -d)
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$corpus/"
  if "$t" -max_total_time="$secs" -print_final_stats=0 "$corpus" >"$out/$name.log" 2>&1; then
    rm -f "$out/$name.log"
  fi
  rm -rf "$corpus"
}

pids=()
for t in "$build"/fuzz/*_fuzz; do
  [ -x "$t" ] || continue
  echo "== $(basename "$t") (${secs}s)"
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  one "$t" &
  pids+=($!)
done
wait
status=0
for log in "$out"/*.log; do
  [ -e "$log" ] || continue
  echo "== $(basename "$log" .log) FAILED"
  tail -n 40 "$log"
  status=1
done
exit $status
