#!/usr/bin/env bash
# Builds the Debian package build/quorvane_<version>_amd64.deb (CPack's DEB generator
# over the project's install rules; Depends from dpkg-shlibdeps), then checks it with
# lintian, desktop-file-validate and appstreamcli. The last line printed is the package's
# path.
#
# The package is built in a folder of its own, build-deb/, with the compiler and linker
# flags dpkg-buildflags gives for Debian's hardening (fortify, stack protector, relro,
# bind now; PIE by default), and only what the package holds is built there.
set -euo pipefail
cd "$(dirname "$0")/.."
# What only packaging needs: manual pages from --help, the checkers, dpkg-buildflags and
# dpkg-shlibdeps.
scripts/install-deps.sh help2man lintian desktop-file-utils appstream dpkg-dev

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -B build-deb -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DQUORVANE_DEBIAN_FLAGS=ON -DQUORVANE_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DHELP2MAN="$(command -v help2man)" > /dev/null
cmake --build build-deb --target quorvane quorvane-cli project_database category_files help_page \
  man_pages changelog
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-deb/CMakeCache.txt)
name=quorvane_${version}_amd64.deb
mkdir -p build
deb=$PWD/build/$name
rm -f "$deb" "build-deb/$name"
(cd build-deb && cpack -G DEB > cpack.log) || { cat build-deb/cpack.log; exit 1; }
mv "build-deb/$name" "$deb"

echo "desktop-file-validate:"
desktop-file-validate data/quorvane.desktop
echo "  passed"
echo "appstreamcli validate --no-net:"
appstreamcli validate --no-net build-deb/metainfo/org.example.quorvane.metainfo.xml
echo "lintian:"
# Warnings are shown and named in the README; an error or a missing hardening flag fails
# the package.
lintian_log=build-deb/lintian.log
lintian --fail-on error --pedantic --display-info "$deb" | tee "$lintian_log" ||
  { echo "lintian reported errors"; exit 1; }
if grep -q "hardening-no-" "$lintian_log"; then echo "lintian: a hardening flag is missing"; exit 1; fi
echo "  no errors, no hardening tag"
echo "$deb"
