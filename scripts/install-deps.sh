#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Quorvane needs.
# Idempotent: packages already present are skipped, and apt is only touched when
# something is missing. Further package names given as arguments are installed as well
# (a script that alone needs a tool names it here).
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git
  libsqlite3-dev sqlite3
  libcurl4-openssl-dev
  libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
  libxlsxwriter-dev zlib1g-dev
  libphonenumber-dev libprotobuf-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-wqy-microhei
  xvfb xauth imagemagick
  libqt6svg6 qt6-translations-l10n
  tinyproxy microsocks
  python3-vobject  # the CLI tests read contact cards back with it
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
# sudo drops the environment, so the setting goes through env behind it.
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
