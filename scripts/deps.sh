#!/usr/bin/env bash
# Installs what building and running the application need on Debian 12, and
# nothing else: no test tool and no server (scripts/deps-test.sh adds those).
set -euo pipefail
source "$(dirname "$0")/lib/packages.sh"
kevo_ensure_packages "Building KEVOruneSet" \
  cmake ninja-build g++ pkg-config python3 unicode-data libicu-dev qt6-base-dev libx11-dev \
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev tzdata fonts-dejavu-core
