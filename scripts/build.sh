#!/usr/bin/env bash
# Configures (once) and builds the tree incrementally into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/build.ninja ]; then
  cmake -B build -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build "$@"
