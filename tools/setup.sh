#!/usr/bin/env bash
# setup.sh - installs what building and testing need (Debian 12, as root or with sudo).
#   setup.sh        everything: the engine, the command line, the Qt application and all tests
#   setup.sh core   only what building the command line needs
#   setup.sh fuzz   only what building the fuzz targets needs (clang and libFuzzer)
set -euo pipefail

core=(cmake g++ ninja-build pkg-config nettle-dev)
full=(
  "${core[@]}" pkg-config libgtest-dev libgmock-dev
  qt6-base-dev qt6-svg-dev libgl-dev
  desktop-file-utils appstream dpkg-dev file groff-base
  lintian devscripts debootstrap
  sharutils python3 python3-sabyenc python3-yenc par2
  libglib2.0-bin
  clang-format-14 clang-tidy-14
)
fuzz=(cmake ninja-build clang libclang-rt-14-dev pkg-config nettle-dev)
case "${1:-}" in
  core) packages=("${core[@]}") ;;
  fuzz) packages=("${fuzz[@]}") ;;
  *) packages=("${full[@]}" clang libclang-rt-14-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
