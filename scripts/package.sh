#!/usr/bin/env bash
# Builds the Debian package build/quorvane_<version>_amd64.deb (CPack's DEB generator
# over the project's install rules; Depends from dpkg-shlibdeps), then checks it with
# lintian, desktop-file-validate and appstreamcli. The last line printed is the package's
# path.
set -euo pipefail
cd "$(dirname "$0")/.."
# What only packaging needs: manual pages from --help, the checkers, dpkg-shlibdeps.
scripts/install-deps.sh help2man lintian desktop-file-utils appstream dpkg-dev

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
