#!/usr/bin/env bash
# Kills a running `quorvane-cli crawl` with SIGKILL and checks that its data file still
# opens, passes SQLite's integrity check and holds the rows stored before the kill.
# Usage: bench/kill9_check.sh [seconds-before-kill]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build
wait_s=${1:-3}
work=$(mktemp -d)
trap 'kill $site 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/quorvane-site" --port 0 --companies 2000 --delay-ms 2 > "$work/site.log" 2>&1 &
site=$!
for _ in $(seq 100); do grep -q 'http://' "$work/site.log" && break; sleep 0.1; done
host=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/site.log" | head -n 1)

url=$("$build/quorvane-cli" search-url --host "$host" --keyword 阀门)
"$build/quorvane-cli" crawl --detail --out "$work/out" "阀门=$url" > "$work/crawl.log" &
crawl=$!
sleep "$wait_s"
kill -9 $crawl
wait $crawl 2>/dev/null || true
stored_lines=$(grep -c . "$work/crawl.log" || true)

file="$work/out/阀门.db"
check=$(sqlite3 "$file" 'PRAGMA integrity_check;')
rows=$(sqlite3 "$file" 'SELECT COUNT(*) FROM DataList;')
dumped=$("$build/quorvane-cli" dump "$file" | wc -l)
echo "killed after ${wait_s}s: integrity_check=$check rows=$rows dumped=$dumped messages=$stored_lines"
[ "$check" = ok ] && [ "$rows" -gt 0 ] && [ "$rows" -eq "$dumped" ]
