#!/usr/bin/env bash
# Link launcher: runs the link command given after the log path and keeps
# everything the linker says in the log; on failure the log goes to stderr too,
# so the build still shows why.
set -uo pipefail
log=$1
shift
mkdir -p "$(dirname "$log")"
"$@" >"$log" 2>&1
rc=$?
if [ $rc -ne 0 ]; then
  cat "$log" >&2
else
  # The linker's own warnings are not lost among the section names.
  grep -i 'warning' "$log" >&2 || true
fi
exit $rc
