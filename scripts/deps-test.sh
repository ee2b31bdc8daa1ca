#!/usr/bin/env bash
# Installs what the test suite needs on top of scripts/deps.sh: the second
# compiler with its sanitizer runtime, GoogleTest, Google Benchmark, the X server,
# window manager and input tool of the walk tests, the tools the tests check
# against, and a German locale for the number-formatting tests.
# The standard TFTP servers the engine is checked against are unpacked under
# /usr/local/lib/kevo/, never installed as packages: a package would start them
# as services listening on the network. The tests start them on loopback only.
set -euo pipefail
here=$(dirname "$0")
source "$here/lib/packages.sh"
"$here/deps.sh"
kevo_ensure_packages "The KEVOruneSet test suite" \
  clang lld libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils iproute2 \
  locales atftp xvfb openbox xdotool x11-xserver-utils x11-utils imagemagick ffmpeg \
  libwrap0 libpcre2-8-0

if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  kevo_as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  kevo_as_root locale-gen >/dev/null
fi

# unpack PACKAGE BINARY: the package's files under /usr/local/lib/kevo/PACKAGE.
unpack() {
  local pkg=$1 bin=$2 tmp
  [ -x "/usr/local/lib/kevo/$pkg$bin" ] && return 0
  tmp=$(mktemp -d)
  # Lists cleaned since the last install leave nothing to download from: read once more.
  (cd "$tmp" && apt-get download "$pkg" >/dev/null 2>&1) ||
    { kevo_apt_get update -qq && (cd "$tmp" && apt-get download "$pkg" >/dev/null 2>&1); } || {
    echo "deps-test: could not download the package $pkg" >&2
    rm -rf "$tmp"
    return 1
  }
  kevo_as_root mkdir -p "/usr/local/lib/kevo/$pkg"
  kevo_as_root dpkg -x "$tmp"/"$pkg"_*.deb "/usr/local/lib/kevo/$pkg"
  rm -rf "$tmp"
}
unpack tftpd-hpa /usr/sbin/in.tftpd
unpack atftpd /usr/sbin/atftpd
