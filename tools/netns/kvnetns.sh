#!/usr/bin/env bash
# A small network of namespaces for device-facing tests that broadcast, and
# for trying the application against simulated devices by hand. Needs root.
#
#   kvnetns.sh run [TAG] -- COMMAND...   build the network, run COMMAND (in the host's
#                                         namespace, with KV_NS_APP / KV_NS_DEV / KV_NS_BR
#                                         set), remove everything when it ends
#   kvnetns.sh exec NS COMMAND...         run COMMAND inside namespace NS; refuses the
#                                         host's namespace
#   kvnetns.sh clean                      remove namespaces left by dead runs
#
# Network: <base>-br holds bridge br0; <base>-app has 198.18.1.2/24; <base>-dev has
# 198.18.1.11/24, 198.18.1.12/24 and 198.19.7.13/24 (a subnet the application is not
# connected to: reached wrapped only). <base> is kvt<pid>-<tag>, so parallel runs
# do not collide. Only 198.18.0.0/15 is used, and only inside these namespaces.
#
# Example:
#   tools/netns/kvnetns.sh run poll -- sh -c '
#     ip netns exec $KV_NS_DEV build/dev/tools/simdevice/kvsimdev --script devices.txt --stay &
#     sleep 1; tools/netns/kvnetns.sh exec $KV_NS_APP my-test'
set -euo pipefail

die() { echo "kvnetns: $*" >&2; exit 2; }

in_host_netns() {
  # The link /proc/1/ns/net may be unreadable; then compare the inodes of net/dev.
  local a b
  if a=$(stat -L -c %i /proc/1/ns/net 2>/dev/null) && b=$(stat -L -c %i /proc/self/ns/net 2>/dev/null); then
    [ "$a" = "$b" ]; return
  fi
  a=$(stat -L -c %i /proc/1/net/dev 2>/dev/null) || return 0
  b=$(stat -L -c %i /proc/self/net/dev 2>/dev/null) || return 0
  [ "$a" = "$b" ]
}

clean_stale() {
  local ns pid
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
    if [[ $ns =~ ^kvt([0-9]+)- ]]; then
      pid=${BASH_REMATCH[1]}
      kill -0 "$pid" 2>/dev/null || ip netns del "$ns" 2>/dev/null || true
    fi
  done
}

BASE=""
teardown() {
  [ -n "$BASE" ] || return 0
  local ns pid
  for ns in "$BASE-app" "$BASE-dev" "$BASE-br"; do
    # Whatever still runs inside goes first, then the namespace.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
  done
  sleep 0.2
  for ns in "$BASE-app" "$BASE-dev" "$BASE-br"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    ip netns del "$ns" 2>/dev/null || true
  done
  BASE=""
}

setup() {
  local tag=$1 br app dev p
  BASE="kvt$$-$tag"
  br="$BASE-br"; app="$BASE-app"; dev="$BASE-dev"
  ip netns add "$br"; ip netns add "$app"; ip netns add "$dev"
  ip -n "$br" link add br0 type bridge
  ip -n "$br" link set br0 up
  ip -n "$app" link add eth0 type veth peer name vapp netns "$br"
  ip -n "$dev" link add eth0 type veth peer name vdev netns "$br"
  for p in vapp vdev; do
    ip -n "$br" link set "$p" master br0
    ip -n "$br" link set "$p" up
  done
  ip -n "$app" addr add 198.18.1.2/24 dev eth0
  ip -n "$app" link set eth0 up
  ip -n "$app" link set lo up
  ip -n "$dev" addr add 198.18.1.11/24 dev eth0
  ip -n "$dev" addr add 198.18.1.12/24 dev eth0
  ip -n "$dev" addr add 198.19.7.13/24 dev eth0
  ip -n "$dev" link set eth0 up
  ip -n "$dev" link set lo up
  # Without a route the limited broadcast fails with ENETUNREACH.
  ip -n "$app" route add 255.255.255.255 dev eth0
  ip -n "$dev" route add 255.255.255.255 dev eth0
}

[ $# -ge 1 ] || die "usage: kvnetns.sh run [TAG] -- COMMAND... | exec NS COMMAND... | clean"
[ "$(id -u)" -eq 0 ] || die "needs root"

case "$1" in
  run)
    shift
    tag=net
    if [ $# -gt 0 ] && [ "$1" != "--" ]; then tag=$1; shift; fi
    [[ $tag =~ ^[A-Za-z0-9]+$ ]] || die "TAG: letters and digits only"
    [ "${1:-}" = "--" ] || die "usage: kvnetns.sh run [TAG] -- COMMAND..."
    shift
    [ $# -gt 0 ] || die "no command"
    clean_stale
    trap teardown EXIT
    trap 'exit 130' INT TERM
    setup "$tag"
    export KV_NS_APP="$BASE-app" KV_NS_DEV="$BASE-dev" KV_NS_BR="$BASE-br"
    set +e
    "$@"
    rc=$?
    set -e
    exit $rc
    ;;
  exec)
    shift
    [ $# -ge 2 ] || die "usage: kvnetns.sh exec NS COMMAND..."
    ns=$1; shift
    ip netns list | awk '{print $1}' | grep -qx -- "$ns" || die "no namespace $ns"
    # Check from inside, then run: a broadcast must never leave the host's namespace.
    exec ip netns exec "$ns" bash -c "$(declare -f in_host_netns)"'
      if in_host_netns; then echo "kvnetns: refusing to run in the host namespace" >&2; exit 2; fi
      exec "$@"' kvnetns "$@"
    ;;
  clean)
    clean_stale
    ;;
  *)
    die "unknown command $1"
    ;;
esac
