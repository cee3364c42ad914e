#!/usr/bin/env bash
# Installs what is missing, builds, starts the bundled marketplace simulator and the
# program pointed at it. Without a display it runs the same demo headless: three
# collection tasks through quorvane-cli, then a few of the stored records, one task as a
# spreadsheet and the three merged into one.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh

build_dir=$PWD/build
cli=$build_dir/quorvane-cli
log=$(mktemp)
# A small delay per page lets the rows of a task arrive visibly, as from a real site.
"$build_dir/quorvane-site" --port 0 --companies 60 --delay-ms 25 > "$log" 2>&1 &
site_pid=$!
trap 'kill $site_pid 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do
  grep -q 'http://' "$log" 2>/dev/null && break
  sleep 0.1
done
host=$(grep -o 'http://[0-9.]*:[0-9]*' "$log" | head -n 1)
[ -n "$host" ] || { echo "the simulator did not start:"; cat "$log"; exit 1; }
echo "Marketplace simulator at $host"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # The host is only set when the user has none, or has the one an earlier run set.
  settings=$build_dir/config.ini
  marker=$build_dir/.demo-search-host
  current=$("$cli" setting --file "$settings" Options SearchHost)
  if [ -z "$current" ] || { [ -f "$marker" ] && [ "$current" = "$(cat "$marker")" ]; }; then
    "$cli" setting --file "$settings" Options SearchHost "$host"
    echo "$host" > "$marker"
  else
    echo "config.ini names the marketplace host $current; the simulator is not used."
  fi
  echo "Sample category files for the 阿里巴巴注册会员黄页库 page: $build_dir/category"
  echo "Starting Quorvane: 添加任务, then 开始抓取."
  "$build_dir/quorvane"
  exit 0
fi

echo "No display: running the demo headless with quorvane-cli."
echo "(The industry directory's sample category files are in $build_dir/category.)"
out=$build_dir/Data
args=()
for keyword in 灯具 服装 五金; do
  url=$("$cli" search-url --host "$host" --keyword "$keyword")
  args+=("演示-$keyword=$url")
done
"$cli" crawl --detail --out "$out" "${args[@]}"

echo
echo "Data files in $out:"
ls -l "$out"/演示-*.db
echo
echo "The first three records of 演示-灯具:"
"$cli" dump "$out/演示-灯具.db" | head -n 3 || true
echo
"$cli" export "$out/演示-灯具.db" "$out/演示-灯具.xlsx"
echo "演示-灯具 as a spreadsheet: $out/演示-灯具.xlsx"
"$cli" merge "$out/演示-合并.xlsx" "$out/演示-灯具.db" "$out/演示-服装.db" "$out/演示-五金.db"
echo "The three tasks as one list, each company once: $out/演示-合并.xlsx"
