#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages (libtts1, libspeech-service1, tts-say,
# libtts-dev) in a build tree of their own, configured for /usr with
# Debian's build flags, and leaves the .deb files in it.
#   build-debs.sh [BUILD_DIR]     (default build-deb)
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$src/build-deb}
for tool in dpkg-buildflags dpkg-shlibdeps dpkg-deb cpack; do
  command -v "$tool" >/dev/null 2>&1 || { echo "build-debs: $tool is needed (dpkg-dev, cmake)" >&2; exit 1; }
done

# Hardening and optimisation as Debian builds its packages.
DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_BUILD_MAINT_OPTIONS
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

mkdir -p "$out"
cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DTTS_DEBIAN_PACKAGE=ON -DTTS_BUILD_TESTS=OFF -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" > "$out/configure.log" 2>&1 ||
  { cat "$out/configure.log" >&2; exit 1; }
cmake --build "$out" -j "${JOBS:-2}"
rm -f "$out"/*.deb
(cd "$out" && cpack -G DEB > cpack.log 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
# CPack gives library packages maintainer scripts that call ldconfig; ours
# carry the ldconfig trigger instead, so the scripts are taken out.
for deb in "$out"/libtts1_*.deb "$out"/libspeech-service1_*.deb; do
  tmp=$(mktemp -d)
  dpkg-deb -R "$deb" "$tmp/pkg"
  rm -f "$tmp/pkg/DEBIAN/postinst" "$tmp/pkg/DEBIAN/postrm"
  dpkg-deb --root-owner-group -Zxz -b "$tmp/pkg" "$deb" > /dev/null
  rm -rf "$tmp"
done
ls "$out"/*.deb
