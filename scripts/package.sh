#!/usr/bin/env bash
# Builds the Debian package corvane_<version>_<arch>.deb in build-package/ (a release build
# for /usr with Debian's hardening flags), checks it with lintian, and prints its path on the
# last line. Install it with: apt install ./build-package/corvane_<version>_<arch>.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-package}
bash "$root/scripts/install-deps.sh" >&2
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
cmake --build "$dir" >&2
rm -f "$dir"/corvane_*.deb
(cd "$dir" && cpack -G DEB >&2)
deb=$(ls "$dir"/corvane_*.deb)
# lintian fails on errors; its warnings and notes are shown.
lintian --info --display-info "$deb" >&2
echo "$deb"
