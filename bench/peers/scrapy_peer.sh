#!/bin/bash
# The crawl beside a Scrapy spider doing the same work at the same total number of
# connections: ten searches (detail on) against the simulator in its own process, the
# crawl with N connections per task, Scrapy with 10 x N concurrent requests.
# Run by hand from the repository root after scripts/build.sh; never in CI.
#
# Uses Debian's /usr/bin/python3, which python3-scrapy installs into.
# Usage: bench/peers/scrapy_peer.sh [delay_ms=50] [companies=200] [N...=1 4]
set -euo pipefail
delay=${1:-50}
companies=${2:-200}
shift $(( $# > 2 ? 2 : $# ))
counts=("${@:-1 4}")
read -ra counts <<< "${counts[*]}"
tasks=10
build=build
here=$(cd "$(dirname "$0")" && pwd)

if ! /usr/bin/python3 -c 'import scrapy' 2>/dev/null; then
    echo "installing python3-scrapy (Debian)"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq python3-scrapy >/dev/null
fi

work=$(mktemp -d)
fifo="$work/site.out"
mkfifo "$fifo"
"$build/quorvane-site" --delay-ms "$delay" --companies "$companies" --threads 200 > "$fifo" &
site=$!
trap 'kill $site 2>/dev/null; wait $site 2>/dev/null; rm -rf "$work"' EXIT
read -r line < "$fifo"
base="http://127.0.0.1:${line##*:}"

urls=()
pairs=()
for ((i = 0; i < tasks; i++)); do
    url=$("$build/quorvane-cli" search-url --host "$base" --keyword "对照$i")
    urls+=("$url")
    pairs+=("t$i=$url")
done

echo "$tasks tasks x $companies companies, detail on, $delay ms per request"
for n in "${counts[@]}"; do
    rm -rf "$work/crawl" "$work/scrapy"; mkdir -p "$work/crawl" "$work/scrapy"
    start=$(date +%s.%N)
    "$build/quorvane-cli" crawl --detail --connections "$n" --out "$work/crawl" "${pairs[@]}" > /dev/null
    end=$(date +%s.%N)
    crawl_rate=$(echo "$tasks * $companies / ($end - $start)" | bc -l)
    scrapy_line=$(/usr/bin/python3 "$here/scrapy_peer.py" $((tasks * n)) "$work/scrapy" "${urls[@]}" 2>/dev/null | tail -1)
    scrapy_rate=$(echo "$scrapy_line" | sed -E 's/.*= ([0-9.]+) companies.*/\1/')
    printf 'N=%d (%d connections): crawl %.1f companies/s, %s; crawl/scrapy %.2f\n' \
        "$n" $((tasks * n)) "$crawl_rate" "$scrapy_line" "$(echo "$crawl_rate / $scrapy_rate" | bc -l)"
done
