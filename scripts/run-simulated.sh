#!/usr/bin/env bash
# Starts KEVOruneSet against three simulated devices in a network of its own
# (namespaces, 198.18.0.0/15 only): devices 1201 and 305 on the application's
# subnet, device 42 on a subnet the application reaches only through wrapped
# requests. Device 305 plays the NSQ format (its play settings open the NSQ
# editor); the others the standard one. The application runs as the user who called sudo, on that user's
# display. Everything is removed when the application ends. Needs root:
#   sudo -E scripts/run-simulated.sh
# KV_SIM_LOG=FILE: the simulated devices' log (each request, by serial) also
# goes to FILE, to read back what reached which device.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "run-simulated: needs root for the network namespaces: sudo -E $0" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-simulated: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); run it from a desktop session with sudo -E" >&2
  exit 1
fi
./scripts/deps.sh
source scripts/lib/packages.sh
kevo_ensure_packages "run-simulated" iproute2
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEVO_TESTS=OFF -DKEVO_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target kevoruneset kvsimdev
work=$(mktemp -d /tmp/kvsim.XXXXXX)
trap 'rm -rf "$work"' EXIT
cat >"$work/devices.txt" <<DEV
add-device serno=1201 addr=198.18.1.11/24 listen=any root=$work/1201
add-device serno=305 addr=198.18.1.12/24 listen=any root=$work/305
add-device serno=42 addr=198.19.7.13/24 listen=any root=$work/42
chan-set serno=305 path=/.cmd/udseqset/sqfm value=2
DEV
[ -z "${KV_SIM_LOG:-}" ] || echo "log-file path=$KV_SIM_LOG" >>"$work/devices.txt"
chmod 755 "$work"
user=${SUDO_USER:-root}
export KV_ROOT="$root" KV_WORK="$work" KV_USER="$user"
tools/netns/kvnetns.sh run sim -- bash -c '
  # Like a machine on a network: the system default interface is the one with the
  # default route (on-link, inside the namespace only).
  ip -n "$KV_NS_APP" route add default dev eth0
  ip netns exec "$KV_NS_DEV" "$KV_ROOT/build/release/tools/simdevice/kvsimdev" \
    --script "$KV_WORK/devices.txt" --stay >"$KV_WORK/sim.log" 2>&1 &
  sim=$!
  # An X client in a new network namespace still reaches the display through its socket file.
  # Only the display variables that are set: an empty WAYLAND_DISPLAY makes Qt
  # look for a wayland plugin and warn.
  pass=()
  for v in DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_RUNTIME_DIR; do
    [ -n "${!v:-}" ] && pass+=("$v=${!v}")
  done
  ip netns exec "$KV_NS_APP" runuser -u "$KV_USER" -- env "${pass[@]}" \
    "$KV_ROOT/build/release/kevoruneset" || true
  kill "$sim" 2>/dev/null || true'
