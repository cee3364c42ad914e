#!/usr/bin/env bash
# By hand, as root: installs the package into a fresh Debian 12 made with debootstrap and
# uses it there as a new user would. As that user: saves a task with add-task and collects
# it with crawl --task against the bundled simulator, lists it with tasks, and starts the
# window under Xvfb with a category of the industry directory opened (a picture of it is
# written to build/fresh-debian-window.png). Last, every file changed outside that user's
# home is listed: there should be none.
# Usage: scripts/check-fresh-debian.sh [PACKAGE.deb]   (default: the newest build/quorvane_*.deb)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${QUORVANE_CHECK_ROOT:-/var/tmp/quorvane-check/root}
deb=${1:-$(ls -t build/quorvane_*_amd64.deb | head -n 1)}
[ "$(id -u)" -eq 0 ] || { echo "run as root (debootstrap and chroot need it)"; exit 1; }
for tool in debootstrap convert; do
  command -v "$tool" >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap imagemagick
done

# The archive this machine's apt already uses for Debian's main packages (deb822 or
# one-line sources); none found: debootstrap's own default.
apt_mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         /(^|\n)Suites:[^\n]*bookworm([ \t\n]|$)/ && /(^|\n)Components:[^\n]*main/ {
           for (i = 1; i <= NF; i++) if ($i ~ /^URIs:/) { split($i, u, /[ \t]+/); print u[2]; exit } }' "$f"
  done
  [ -r /etc/apt/sources.list ] &&
    awk '$1 == "deb" && $3 == "bookworm" { for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit } }' \
      /etc/apt/sources.list
  return 0
}
if [ ! -x "$root/usr/bin/apt-get" ]; then
  mirror=$(apt_mirror | head -n 1)
  echo "== debootstrap bookworm into $root (${mirror:-the default mirror of debootstrap})"
  mkdir -p "$(dirname "$root")"
  debootstrap --variant=minbase bookworm "$root" ${mirror:+"$mirror"} > "$root.debootstrap.log"
fi
mount_points=()
cleanup() {
  for ((i = ${#mount_points[@]} - 1; i >= 0; i--)); do umount -l "${mount_points[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
for m in proc dev dev/pts; do
  mountpoint -q "$root/$m" || {
    if [ "$m" = proc ]; then mount -t proc proc "$root/proc"; else mount --bind "/$m" "$root/$m"; fi
  }
  mount_points+=("$root/$m")
done
in_root() { chroot "$root" env -i PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

echo "== apt-get install ./$(basename "$deb") (and Xvfb with xdotool, to drive the window)"
cp "$deb" "$root/tmp/"
# The simulator is not part of the package; this check brings it along, with its library.
[ -x build/quorvane-site ] || scripts/build.sh quorvane-site
cp build/quorvane-site "$root/usr/local/bin/"
in_root apt-get update -qq
# As a user installs it (Recommends too: the CJK font), then the tools of this check.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$deb")" \
  > "$root/tmp/apt.log" 2>&1 || { tail -n 30 "$root/tmp/apt.log"; exit 1; }
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  xvfb xauth xdotool x11-apps libcpp-httplib0.11 >> "$root/tmp/apt.log" 2>&1 ||
  { tail -n 30 "$root/tmp/apt.log"; exit 1; }
grep -E "^(Setting up quorvane|Unpacking quorvane)" "$root/tmp/apt.log" || true
in_root dpkg -s quorvane | grep -E "^(Version|Depends):"
id -u ann >/dev/null 2>&1 || true
in_root sh -c 'id ann >/dev/null 2>&1 || useradd -m -s /bin/sh ann'
rm -rf "$root/home/ann/.config/quorvane" "$root/home/ann/.local/share/quorvane"
touch "$root/tmp/before"
sleep 1

cat > "$root/tmp/as-ann.sh" <<'USER'
set -eu
cd "$HOME"
quorvane-site --port 0 --companies 40 > /tmp/site.log 2>&1 &
site=$!
trap 'kill $site 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q http:// /tmp/site.log && break; sleep 0.1; done
host=$(grep -o 'http://[0-9.]*:[0-9]*' /tmp/site.log | head -n 1)
echo "\$ id -un; quorvane-cli --version"; id -un; quorvane-cli --version
echo "\$ quorvane-cli tasks            # the first use makes the profile"; quorvane-cli tasks
echo "\$ quorvane-cli setting --file ~/.config/quorvane/config.ini Options SearchHost $host"
quorvane-cli setting --file ~/.config/quorvane/config.ini Options SearchHost "$host"
url=$(quorvane-cli search-url --keyword 灯具)
echo "\$ quorvane-cli add-task 灯具 \"$url\" --remark 周更"
quorvane-cli add-task 灯具 "$url" --remark 周更
echo "\$ quorvane-cli crawl --task 灯具"; quorvane-cli crawl --task 灯具 | tail -n 3
echo "\$ quorvane-cli tasks            # (the url field left out here)"
quorvane-cli tasks | sed 's/"url":"[^"]*",//'
echo "\$ find ~ -type f (the profile)"; find "$HOME" -type f | sort
echo "\$ the profile's modes (folders 700, files 600)"
find "$HOME/.config/quorvane" "$HOME/.local/share/quorvane" -printf '%m %p\n' | sort -k2
USER
echo "== as the user ann"
in_root env HOME=/home/ann USER=ann chroot --userspec=ann:ann / sh /tmp/as-ann.sh

echo "== the window under Xvfb, as ann, the directory page with a category opened"
cat > "$root/tmp/window.sh" <<'USER'
set -eu
quorvane > /tmp/window.log 2>&1 &
app=$!
for _ in $(seq 100); do xdotool search --name Quorvane >/dev/null 2>&1 && break; sleep 0.1; done
sleep 2
# A second start brings the open window forward and ends at once.
quorvane; echo "second start: exit $?"
# Without a window manager the window keeps 800 x 600 at the top left. The directory
# page's tab, then a double click on the first group and on its first category.
xdotool mousemove ${TAB_X:-175} ${TAB_Y:-77} click 1; sleep 1
xdotool mousemove ${GROUP_X:-60} ${GROUP_Y:-123} click --repeat 2 --delay 100 1; sleep 1
xdotool mousemove ${CAT_X:-80} ${CAT_Y:-141} click --repeat 2 --delay 100 1; sleep 3
xwd -root -silent > /tmp/window.xwd
kill $app; wait $app || true
USER
in_root env HOME=/home/ann USER=ann chroot --userspec=ann:ann / \
  xvfb-run -a -s "-screen 0 1280x800x24" sh /tmp/window.sh
convert "xwd:$root/tmp/window.xwd" build/fresh-debian-window.png
echo "picture: build/fresh-debian-window.png"

echo "== files changed outside /home/ann since the install (expect none)"
chroot "$root" find / -xdev -newer /tmp/before -type f \
  -not -path '/home/ann/*' -not -path '/tmp/*' -not -path '/proc/*' -not -path '/dev/*' -not -path '/run/*' |
  sort || true
echo "== done"
