#!/usr/bin/env bash
# setup.sh - installs what building, testing and benchmarking need (Debian 12, as root).
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config libgtest-dev libgmock-dev
  qt6-base-dev libgl-dev
  sharutils python3 python3-sabyenc
  xvfb xauth
)

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
