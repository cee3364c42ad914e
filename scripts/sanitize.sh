#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# (incremental, beside the normal build/) and runs them; any report fails the run.
# Usage: scripts/sanitize.sh [--gui]   (--gui also builds and runs the GUI tests)
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(test_core test_engine test_cli test_sim test_tasks test_export
         markup_fuzz profile_fuzz crawl_pages_fuzz settings_fuzz decipher_fuzz gbk_fuzz)
labels='core|engine|cli|sim|tasks|export|fuzz'
if [ "${1:-}" = --gui ]; then
  targets+=(test_ui)
  labels="$labels|ui"
fi

if [ ! -f build-asan/build.ninja ]; then
  launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -B build-asan -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_SANITIZE=address,undefined -DQUORVANE_BUILD_BENCH=OFF "${launcher[@]}"
fi
cmake --build build-asan --target project_database "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cd build-asan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 -j2 -L "^($labels)\$"
