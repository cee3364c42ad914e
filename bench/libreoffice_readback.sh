#!/usr/bin/env bash
# Reads the three export formats back with a spreadsheet program that no one here wrote
# (and checks that no .csv cell a hostile page wrote runs as a formula):
# collects a 200-record task from the simulator, exports it to .xls, .xlsx and .csv with
# quorvane-cli, converts each to CSV with LibreOffice headless and compares every cell with
# the grid. The .xls holds GBK text without a code page, so it is opened under a zh_CN
# locale; the .xlsx and the .csv carry their encoding and are opened under C.UTF-8.
# Installs libreoffice-calc and the zh_CN.UTF-8 locale itself; run by hand, not in CI.
# Usage: bench/libreoffice_readback.sh [records=200]
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-200}

need=()
command -v soffice >/dev/null || need+=(libreoffice-calc)
command -v locale-gen >/dev/null || need+=(locales)
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
if ! locale -a | grep -qi '^zh_CN\.utf-\?8$'; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
scripts/build.sh quorvane-cli quorvane-site >/dev/null

build=$PWD/build
work=$(mktemp -d)
trap 'kill $site 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/quorvane-site" --port 0 --companies "$records" > "$work/site.log" 2>&1 &
site=$!
for _ in $(seq 100); do grep -q 'http://' "$work/site.log" && break; sleep 0.1; done
host=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/site.log" | head -n 1)
url=$("$build/quorvane-cli" search-url --host "$host" --keyword 灯具)
"$build/quorvane-cli" crawl --detail --out "$work" "灯具=$url" > /dev/null
db=$work/灯具.db
# Records of texts a spreadsheet might take for something else: formulas (as a hostile page
# would write them), numbers with leading zeros, separators, quotes, line breaks, a phone
# number in international form.
sqlite3 "$db" "INSERT INTO DataList(CompanyName, Phone, Address, PostCode, Brand, CompanyContext)
  VALUES('=1+1', '+86 0571 8888', '杭州, \"西湖\" 区', '007', '_x000D_', 'line one
line two' || char(13) || char(10) || 'line three');
  INSERT INTO DataList(CompanyName, Phone, Address, Brand, CompanyContext)
  VALUES('=HYPERLINK(\"http://x\",\"点我\")', '+8613955875697', '@SUM(1+1)*cmd|'' /C calc''!A0',
         '-2+3', '=cmd|'' /C calc''!A0')"
echo "collected $(sqlite3 "$db" 'SELECT COUNT(*) FROM DataList;') records (two of them added by hand)"

for ext in xls xlsx csv; do "$build/quorvane-cli" export "$db" "$work/export.$ext"; done

# Every column read as text, so LibreOffice's CSV import keeps long digit strings as written.
text_columns=$(seq -s/ 1 32 | sed 's|\([0-9]*\)|\1/2|g')
convert() {  # locale input output-dir [import filter]
  local lang=$1 input=$2 outdir=$3
  mkdir -p "$outdir"
  local infilter=()
  [ $# -gt 3 ] && infilter=("--infilter=$4")
  LANG=$lang LC_ALL=$lang soffice -env:UserInstallation="file://$work/lo-profile" --headless \
    "${infilter[@]}" --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' \
    --outdir "$outdir" "$input" >/dev/null 2>&1
}
convert zh_CN.UTF-8 "$work/export.xls" "$work/from-xls"
convert C.UTF-8 "$work/export.xlsx" "$work/from-xlsx"
convert C.UTF-8 "$work/export.csv" "$work/from-csv" "CSV:44,34,76,1,$text_columns"
# The .csv as a user opens it: every column of the standard type, formulas evaluated where
# the import can (the twelfth token), so that a cell that could run would.
convert C.UTF-8 "$work/export.csv" "$work/from-csv-standard" "CSV:44,34,76,1,,0,false,true,false,false,false,true"

python3 - "$db" "$work" "$build/quorvane-cli" <<'PY'
import csv, sys, subprocess, json
db, work, cli = sys.argv[1:4]
# The grid as written: our own CSV (its writer is tested byte for byte) read with Python's
# csv module, and checked against the dump of the data file for the deciphered names.
with open(f"{work}/export.csv", encoding="utf-8-sig", newline="") as f:
    grid = list(csv.reader(f))
# Only the .csv guards a formula-like cell with an apostrophe; the other formats hold text
# cells, which never run.
unguarded = [[c[1:] if c[:1] == "'" and c[1:2] in ("=", "+", "-", "@", "\t", "\r") else c for c in r]
             for r in grid]
dump = [json.loads(l) for l in subprocess.run(
    [cli, "dump", db], capture_output=True, text=True,
    check=True).stdout.splitlines()]
assert [r[1] for r in unguarded[1:]] == [d["CompanyName"].strip() for d in dump], "names differ from dump"
cells = sum(len(r) for r in grid)
chinese = sum(1 for r in grid for c in r if any(ord(ch) > 0x7f for ch in c))
# LibreOffice keeps a line break inside a cell as LF, whatever the file holds (the .xls has
# the CR LF bytes): line breaks are compared as LF.
grid = [[c.replace("\r\n", "\n") for c in r] for r in grid]
unguarded = [[c.replace("\r\n", "\n") for c in r] for r in unguarded]
failed = False
for name in ("xls", "xlsx", "csv"):
    expected = grid if name == "csv" else unguarded
    with open(f"{work}/from-{name}/export.csv", encoding="utf-8", newline="") as f:
        back = list(csv.reader(f))
    wrong = [(r, c, expected[r][c], back[r][c] if r < len(back) and c < len(back[r]) else None)
             for r in range(len(expected)) for c in range(len(expected[r]))
             if r >= len(back) or c >= len(back[r]) or back[r][c] != expected[r][c]]
    extra = len(back) != len(expected) or any(len(b) != len(g) for b, g in zip(back, expected))
    print(f"{name:5} {len(back)} rows back, {cells - len(wrong)}/{cells} cells equal "
          f"({chinese} with Chinese){'; shape differs' if extra else ''}")
    for w in wrong[:5]:
        print("   row %d col %d: wrote %r, read %r" % w)
    failed = failed or bool(wrong) or extra

# The formula cases: whatever the import's settings, a hostile cell stays the text written
# (behind the apostrophe that keeps it text) and a phone number stays as written.
hostile = ['=HYPERLINK("http://x","点我")', "@SUM(1+1)*cmd|' /C calc'!A0", "-2+3",
           "=cmd|' /C calc'!A0", "=1+1"]
for name in ("from-csv", "from-csv-standard"):
    with open(f"{work}/{name}/export.csv", encoding="utf-8", newline="") as f:
        back = list(csv.reader(f))
    flat = [c for r in back for c in r]
    for text in hostile:
        ok = text in flat or "'" + text in flat
        print(f"{name}: {text!r} {'read as text' if ok else 'NOT text (evaluated?)'}")
        failed = failed or not ok
    ok = "+8613955875697" in flat
    print(f"{name}: +8613955875697 {'as written' if ok else 'NOT as written'}")
    if name == "from-csv":
        failed = failed or not ok
sys.exit(1 if failed else 0)
PY
