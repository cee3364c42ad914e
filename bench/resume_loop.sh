#!/usr/bin/env bash
# Kills `quorvane-cli crawl` with SIGKILL at random moments, continuing the run with
# --resume after each kill, then compares the data file with one uninterrupted crawl of
# the same search: every company once, none lost, in the same order.
# Usage: bench/resume_loop.sh [kills] [companies]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build
kills=${1:-20}
companies=${2:-3000}
work=$(mktemp -d)
site=
trap '[ -n "$site" ] && kill $site 2>/dev/null; rm -rf "$work"' EXIT

"$build/quorvane-site" --port 0 --companies "$companies" --delay-ms 2 > "$work/site.log" 2>&1 &
site=$!
for _ in $(seq 100); do grep -q 'http://' "$work/site.log" && break; sleep 0.1; done
host=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/site.log" | head -n 1)
url=$("$build/quorvane-cli" search-url --host "$host" --keyword 阀门)

"$build/quorvane-cli" crawl --out "$work/ref" "阀门=$url" > /dev/null

runs=0 killed=0
"$build/quorvane-cli" crawl --out "$work/run" "阀门=$url" > /dev/null &
crawl=$!
while :; do
  runs=$((runs + 1))
  sleep "0.$((RANDOM % 4 + 1))"
  if ! kill -0 $crawl 2>/dev/null; then wait $crawl || true; break; fi
  if [ $killed -ge "$kills" ]; then wait $crawl || true; break; fi
  kill -9 $crawl
  wait $crawl 2>/dev/null || true
  killed=$((killed + 1))
  "$build/quorvane-cli" crawl --resume --out "$work/run" "阀门=$url" > /dev/null &
  crawl=$!
done
# Whatever is left, the last continuation must finish it.
"$build/quorvane-cli" crawl --resume --out "$work/run" "阀门=$url" > /dev/null
runs=$((runs + 1))

ids() { "$build/quorvane-cli" dump "$1" | grep -o '"MemberID":"[^"]*"'; }
ids "$work/ref/阀门.db" > "$work/ref.ids"
ids "$work/run/阀门.db" > "$work/run.ids"
rows=$(wc -l < "$work/run.ids")
expected=$(wc -l < "$work/ref.ids")
duplicates=$(sort "$work/run.ids" | uniq -d | wc -l)
lost=$(comm -23 <(sort -u "$work/ref.ids") <(sort -u "$work/run.ids") | wc -l)
same=no
cmp -s <("$build/quorvane-cli" dump "$work/ref/阀门.db") <("$build/quorvane-cli" dump "$work/run/阀门.db") && same=yes
echo "runs=$runs kills=$killed rows=$rows expected=$expected duplicates=$duplicates lost=$lost identical_to_uninterrupted=$same"
[ "$rows" -eq "$expected" ] && [ "$duplicates" -eq 0 ] && [ "$lost" -eq 0 ] && [ $same = yes ]
