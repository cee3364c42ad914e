#!/usr/bin/env bash
# Configures (once) and builds the tree incrementally into build/.
# Usage: scripts/build.sh [TARGET...] [-- NINJA-OPTIONS]; no target builds everything.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/build.ninja ]; then
  launcher=()
  # ccache, where installed, makes rebuilds in fresh clones and work trees cheap.
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -B build -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
fi
targets=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do targets+=(--target "$1"); shift; done
cmake --build build "${targets[@]}" "$@"
