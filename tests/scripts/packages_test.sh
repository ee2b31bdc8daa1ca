#!/usr/bin/env bash
# The set-up scripts' package step, on a machine made of stubs: which commands
# run as root and how, and what a user without root or sudo is told. Nothing is
# installed: apt-get, sudo, id and dpkg-query are stubs that write what they
# were asked into a log.
set -uo pipefail
lib=$(cd "$(dirname "$0")/../../scripts/lib" && pwd)/packages.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0

# A PATH with the few real tools the library uses, and the stubs.
mkdir -p "$work/bin"
for t in grep cat env mktemp rm sleep; do ln -s "$(command -v $t)" "$work/bin/$t"; done
cat >"$work/bin/id" <<'STUB'
#!/bin/bash
echo "$FAKE_UID"
STUB
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/bash
for p in $FAKE_INSTALLED; do [ "$p" = "${!#}" ] && { echo -n 'install ok installed'; exit 0; }; done
exit 1
STUB
# The first FAKE_LOCKED calls find the lock held by another package run.
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $* [DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-}]" >>"$FAKE_LOG"
calls=$(grep -c '^apt-get' "$FAKE_LOG")
if [ "$calls" -le "${FAKE_LOCKED:-0}" ]; then
  echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 7 (unattended-upgr)" >&2
  exit 100
fi
STUB
cat >"$work/sudo" <<'STUB'
#!/bin/bash
echo "sudo $1" >>"$FAKE_LOG"
env -u DEBIAN_FRONTEND "$@"
STUB
chmod +x "$work/bin/"* "$work/sudo"

# case: name | uid | sudo there | installed | calls that find the lock held | the call |
# exit wanted | log wanted (lines joined by ';') | a text stderr must hold
cases=(
  "user, no sudo, all there|1000|no|aa bb|0|kevo_ensure_packages T aa bb|0||"
  "user, no sudo, one missing|1000|no|aa|0|kevo_ensure_packages T aa bb|1||apt-get install bb"
  "user with sudo, one missing|1000|yes|aa|0|kevo_ensure_packages T aa bb|0|sudo env;apt-get update -qq [DEBIAN_FRONTEND=noninteractive];sudo env;apt-get install -y -qq bb [DEBIAN_FRONTEND=noninteractive]|"
  "root, two missing|0|no||0|kevo_ensure_packages T aa bb|0|apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get install -y -qq aa bb [DEBIAN_FRONTEND=noninteractive]|"
  "user, no sudo, a root step|1000|no||0|kevo_as_root locale-gen|1||  locale-gen"
  "root, the lock held a while|0|no|aa|2|kevo_ensure_packages T aa bb|0|apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get install -y -qq bb [DEBIAN_FRONTEND=noninteractive]|waiting for it to finish"
  "root, the lock held too long|0|no|aa|9|KEVO_APT_LOCK_TRIES=3 kevo_ensure_packages T aa bb|100|apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get update -qq [DEBIAN_FRONTEND=noninteractive]|Could not get lock"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name uid hassudo installed locked call want wantlog wanterr <<<"$c"
  : >"$work/log"
  rm -f "$work/bin/sudo"
  [ "$hassudo" = yes ] && ln -s "$work/sudo" "$work/bin/sudo"
  err=$(env -i PATH="$work/bin" FAKE_UID="$uid" FAKE_INSTALLED="$installed" FAKE_LOG="$work/log" \
    FAKE_LOCKED="$locked" KEVO_APT_LOCK_PAUSE=0 /bin/bash -c "source '$lib'; $call" 2>&1 >/dev/null)
  got=$?
  log=$(paste -sd';' "$work/log" 2>/dev/null || tr '\n' ';' <"$work/log" | sed 's/;$//')
  if [ "$got" != "$want" ]; then
    echo "FAIL $name: exit $got, wanted $want ($err)"; fails=$((fails + 1))
  fi
  if [ "$log" != "$wantlog" ]; then
    echo "FAIL $name: ran '$log', wanted '$wantlog'"; fails=$((fails + 1))
  fi
  if [ -n "$wanterr" ] && [[ "$err" != *"$wanterr"* ]]; then
    echo "FAIL $name: told '$err', wanted it to hold '$wanterr'"; fails=$((fails + 1))
  fi
done
[ "$fails" -eq 0 ] && echo "all ${#cases[@]} cases passed"
exit $((fails > 0))
