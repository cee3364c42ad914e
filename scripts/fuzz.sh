#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz/ with clang as libFuzzer programs (with
# AddressSanitizer and UndefinedBehaviorSanitizer) into build-fuzz/ and runs each in turn.
# Usage: scripts/fuzz.sh [seconds-per-target=60] [target...]   (targets: markup_fuzz, ...)
# New inputs collect in build-fuzz/corpus/<name>/, findings in build-fuzz/findings/<name>/;
# copy a finding into tests/fuzz/corpus/<name>/ once it is fixed, so every test run
# replays it. Exit status 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

# clang and libFuzzer are needed here only; the normal build uses gcc and the replay driver.
packages=(clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -f build-fuzz/build.ninja ]; then
  launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  CXX=clang++-14 cmake -B build-fuzz -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_FUZZ=ON "${launcher[@]}"
fi
cmake --build build-fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=()
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  mkdir -p "build-fuzz/corpus/$name" "build-fuzz/findings/$name"
  echo "== $target: ${seconds}s"
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -dict=tests/fuzz/markers.dict -artifact_prefix="build-fuzz/findings/$name/" \
      "build-fuzz/corpus/$name" "tests/fuzz/corpus/$name" 2> "build-fuzz/$name.log"; then
    failed+=("$target")
    tail -n 40 "build-fuzz/$name.log"
  fi
  grep -E '^stat::number_of_executed_units|^Done' "build-fuzz/$name.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (see build-fuzz/findings/)"
  exit 1
fi
echo "no findings: ${#targets[@]} targets, ${seconds}s each"
