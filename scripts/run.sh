#!/usr/bin/env bash
# Installs what is needed, builds the application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEVO_TESTS=OFF -DKEVO_BENCH=OFF
cmake --build build/release -j "$(nproc)" --target kevoruneset
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
KEVOruneSet is built (build/release/kevoruneset), but there is no display to show it on:
neither DISPLAY nor WAYLAND_DISPLAY is set. Run this script from a desktop session, or
log in with X forwarding (ssh -X) and run it again. To try it against simulated devices
without touching your network: sudo -E scripts/run-simulated.sh
MSG
  exit 1
fi
exec build/release/kevoruneset "$@"
