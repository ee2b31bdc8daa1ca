#!/usr/bin/env bash
# Installs what is needed, builds the application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEVO_TESTS=OFF -DKEVO_BENCH=OFF
cmake --build build/release -j "$(nproc)" --target kvdevices kvplatform
if [ -x build/release/kevoruneset ]; then
  exec build/release/kevoruneset "$@"
fi
echo "The application itself is not built yet: only its libraries and tests exist so far." >&2
exit 1
