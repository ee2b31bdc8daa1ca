#!/usr/bin/env bash
# Runs copies of test programs side by side on a few processors, as a busy CI
# machine or laptop does, and reports how many copies of each passed.
#
#   tools/busy/run-side-by-side.sh [-n COPIES] [-c CPUS] [-l LOADERS] [-f FILTER]
#                                  [-t SECONDS] [-o DIR] [-N] PROGRAM...
#
# -n copies of each program at once (6), all pinned to the processors -c (0,1),
# together with -l busy loops pinned there too (2). -f is a gtest filter (the
# ...Child cases, other processes of their tests, are always left out). Each
# copy that runs longer than -t seconds (1200) is stopped and fails. Each
# copy's output goes to DIR (a fresh temporary folder) as NAME.COPY.log. As root,
# each copy runs in a network and mount namespace of its own (-N: not), so that
# copies of the tests that build named namespaces do not meet; the stock TFTP
# servers of tftp_servers_test do not start in one. Each copy also has a /tmp
# of its own: X servers tell displays apart by their abstract sockets, which a
# network namespace hides, so every copy's would take display 0 and the
# others' socket file, or fail on another copy's lock file there. The exit
# status is 1 when any copy failed. Not run by CI: it takes minutes, and its
# point is the load.
set -u
copies=6 cpus=0,1 loaders=2 filter='*' limit=1200 out='' netns=1
while getopts n:c:l:f:t:o:N opt; do
    case $opt in
    n) copies=$OPTARG ;;
    c) cpus=$OPTARG ;;
    l) loaders=$OPTARG ;;
    f) filter=$OPTARG ;;
    t) limit=$OPTARG ;;
    o) out=$OPTARG ;;
    N) netns=0 ;;
    *) sed -n '2,20p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { sed -n '2,20p' "$0"; exit 2; }
[ -n "$out" ] || out=$(mktemp -d "${TMPDIR:-/tmp}/side-by-side.XXXXXX")
mkdir -p "$out"
case $filter in *-*) gfilter="$filter:*Child.*:*.*Child" ;; *) gfilter="$filter-*Child.*:*.*Child" ;; esac
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

loads=()
stop_loads() {
    for p in "${loads[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${loads[@]}"; do wait "$p" 2>/dev/null; done
    loads=()
}
trap stop_loads EXIT

# One copy: its own namespaces when root, else straight on the host's loopback
# (each test program picks loopback addresses of its own from its pid).
run_copy() {
    if [ "$netns" = 1 ] && [ "$(id -u)" = 0 ]; then
        timeout "$limit" taskset -c "$cpus" unshare --net --mount --propagation private sh -c '
            mkdir -p /run/netns && mount -t tmpfs kvbusy /run/netns &&
            mount -t tmpfs -o mode=1777 kvbusytmp /tmp && mkdir -m 1777 /tmp/.X11-unix &&
            ip link set lo up && exec "$@"' sh "$@"
    else
        timeout "$limit" taskset -c "$cpus" "$@"
    fi
}

status=0
printf '%-44s %6s %6s %8s\n' program passed failed seconds
for prog in "$@"; do
    name=$(basename "$prog")
    for ((i = 0; i < loaders; ++i)); do
        taskset -c "$cpus" sh -c 'while :; do :; done' &
        loads+=($!)
    done
    start=$(date +%s.%N)
    pids=()
    for ((i = 1; i <= copies; ++i)); do
        run_copy "$prog" --gtest_filter="$gfilter" >"$out/$name.$i.log" 2>&1 &
        pids+=($!)
    done
    pass=0 fail=0
    for ((i = 0; i < copies; ++i)); do
        if wait "${pids[$i]}"; then pass=$((pass + 1)); else fail=$((fail + 1)); fi
    done
    stop_loads
    secs=$(echo "$(date +%s.%N) - $start" | bc)
    printf '%-44s %6d %6d %8.1f\n' "$name" "$pass" "$fail" "$secs"
    [ "$fail" = 0 ] || status=1
done
echo "logs: $out"
exit $status
