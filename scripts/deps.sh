#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root or with sudo).
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
      libicu-dev qt6-base-dev unicode-data libxml2-utils iproute2 python3 locales tzdata atftp atftpd
      xvfb openbox xdotool x11-xserver-utils x11-utils imagemagick libx11-dev
      fonts-dejavu-core pkg-config libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
# The number-formatting tests run under a German locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
# tftpd-hpa conflicts with atftpd as a package: the engine's tests use its server
# binary unpacked, not installed.
if [ ! -x /usr/local/lib/kevo/tftpd-hpa/usr/sbin/in.tftpd ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get download tftpd-hpa >/dev/null)
  $SUDO mkdir -p /usr/local/lib/kevo/tftpd-hpa
  $SUDO dpkg -x "$tmp"/tftpd-hpa_*.deb /usr/local/lib/kevo/tftpd-hpa
  rm -rf "$tmp"
fi
