#!/usr/bin/env bash
# Builds the Debian package build/quorvane_<version>_amd64.deb (CPack's DEB generator
# over the project's install rules; Depends from dpkg-shlibdeps), then checks it with
# lintian, desktop-file-validate and appstreamcli. The last line printed is the package's
# path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# What only packaging needs: manual pages from --help, the checkers, dpkg-shlibdeps.
tools=(help2man lintian desktop-file-utils appstream dpkg-dev)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

scripts/build.sh
# Configured again so that the build finds help2man and makes the manual pages.
cmake -B build -S . -DHELP2MAN="$(command -v help2man)" > /dev/null
cmake --build build
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
deb=$PWD/build/quorvane_${version}_amd64.deb
rm -f "$deb"
(cd build && cpack -G DEB > cpack.log) || { cat build/cpack.log; exit 1; }

echo "desktop-file-validate:"
desktop-file-validate data/quorvane.desktop
echo "  passed"
echo "appstreamcli validate --no-net:"
appstreamcli validate --no-net build/metainfo/org.example.quorvane.metainfo.xml
echo "lintian:"
# Warnings are shown and named in the README; an error fails the package.
lintian --fail-on error --pedantic --display-info "$deb" || { echo "lintian reported errors"; exit 1; }
echo "  no errors"
echo "$deb"
