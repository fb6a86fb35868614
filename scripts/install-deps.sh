#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Corvane need.
set -euo pipefail
# libxlsxwriter-dev is for the tests and the benchmarks only: the programs save with the
# engine's own writer.
packages=(
  cmake g++ ninja-build pkg-config
  libzip-dev libexpat1-dev zlib1g-dev libxlsxwriter-dev
  qt6-base-dev fonts-liberation2 fonts-crosextra-carlito
  libgtest-dev libgmock-dev
  # the fuzzing harnesses (tests/fuzz): clang with libFuzzer and the sanitizers' runtimes
  clang libclang-rt-14-dev
  python3-openpyxl python3-xlrd
  xvfb xauth
  # packaging, and the checks of an installed layout and of the package
  dpkg-dev file man-db bsdextrautils desktop-file-utils appstream lintian librsvg2-bin
  locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The tests run a second time under a German locale (decimal comma): generate it once.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale-gen
fi
