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
for t in grep cat env mktemp; do ln -s "$(command -v $t)" "$work/bin/$t"; done
cat >"$work/bin/id" <<'STUB'
#!/bin/bash
echo "$FAKE_UID"
STUB
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/bash
for p in $FAKE_INSTALLED; do [ "$p" = "${!#}" ] && { echo -n 'install ok installed'; exit 0; }; done
exit 1
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $* [DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-}]" >>"$FAKE_LOG"
STUB
cat >"$work/sudo" <<'STUB'
#!/bin/bash
echo "sudo $1" >>"$FAKE_LOG"
env -u DEBIAN_FRONTEND "$@"
STUB
chmod +x "$work/bin/"* "$work/sudo"

# case: name | uid | sudo there | installed | the call | exit wanted | log wanted (lines
# joined by ';') | a text stderr must hold
cases=(
  "user, no sudo, all there|1000|no|aa bb|kevo_ensure_packages T aa bb|0||"
  "user, no sudo, one missing|1000|no|aa|kevo_ensure_packages T aa bb|1||apt-get install bb"
  "user with sudo, one missing|1000|yes|aa|kevo_ensure_packages T aa bb|0|sudo apt-get;apt-get update -qq [DEBIAN_FRONTEND=];sudo env;apt-get install -y -qq bb [DEBIAN_FRONTEND=noninteractive]|"
  "root, two missing|0|no||kevo_ensure_packages T aa bb|0|apt-get update -qq [DEBIAN_FRONTEND=];apt-get install -y -qq aa bb [DEBIAN_FRONTEND=noninteractive]|"
  "user, no sudo, a root step|1000|no||kevo_as_root locale-gen|1||  locale-gen"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name uid hassudo installed call want wantlog wanterr <<<"$c"
  : >"$work/log"
  rm -f "$work/bin/sudo"
  [ "$hassudo" = yes ] && ln -s "$work/sudo" "$work/bin/sudo"
  err=$(env -i PATH="$work/bin" FAKE_UID="$uid" FAKE_INSTALLED="$installed" FAKE_LOG="$work/log" \
    /bin/bash -c "source '$lib'; $call" 2>&1 >/dev/null)
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
