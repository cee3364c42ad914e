#!/usr/bin/env bash
# Installs what is missing, builds, starts the bundled marketplace simulator and runs a
# demo: three collection tasks through quorvane-cli, then a few of the stored records.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh

build_dir=$PWD/build
log=$(mktemp)
"$build_dir/quorvane-site" --port 0 --companies 60 > "$log" 2>&1 &
site_pid=$!
trap 'kill $site_pid 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do
  grep -q 'http://' "$log" 2>/dev/null && break
  sleep 0.1
done
host=$(grep -o 'http://[0-9.]*:[0-9]*' "$log" | head -n 1)
[ -n "$host" ] || { echo "the simulator did not start:"; cat "$log"; exit 1; }
echo "Marketplace simulator at $host"

out=$build_dir/Data
args=()
for keyword in 灯具 服装 五金; do
  url=$("$build_dir/quorvane-cli" search-url --host "$host" --keyword "$keyword")
  args+=("演示-$keyword=$url")
done
"$build_dir/quorvane-cli" crawl --detail --out "$out" "${args[@]}"

echo
echo "Data files in $out:"
ls -l "$out"/演示-*.db
echo
echo "The first three records of 演示-灯具:"
"$build_dir/quorvane-cli" dump "$out/演示-灯具.db" | head -n 3 || true
