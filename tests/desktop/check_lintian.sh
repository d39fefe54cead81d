#!/usr/bin/env bash
# check_lintian.sh - builds the package as shipped and fails on any lintian tag that its overrides do not accept.
#   check_lintian.sh SOURCE_DIR WORK_DIR CXX_COMPILER
# The package comes from a Release build of its own in WORK_DIR/build (the hardening flags are Release's),
# kept from run to run; the package lands in WORK_DIR, where tools/install-check.sh can take it.
set -euo pipefail
source=$1 work=$2 cxx=$3
command -v lintian > /dev/null || { echo "SKIPPED: lintian is not installed (tools/setup.sh installs it)"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$work" && log=$work/build.log

{ cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
    -DVANTORELLE_BUILD_TESTS=OFF -DVANTORELLE_WERROR=ON && cmake --build "$work/build" -j 2; } > "$log" 2>&1 \
  || { tail -n 30 "$log" >&2; fail "the Release build"; }
rm -f "$work"/vantorelle_*.deb
(cd "$work/build" && cpack -G DEB -B "$work") >> "$log" 2>&1 || { tail -n 30 "$log" >&2; fail "cpack -G DEB"; }
deb=$(find "$work" -maxdepth 1 -name 'vantorelle_*.deb')

# Overridden tags are not shown, and an override that no longer matches is an info tag itself:
# so every tag shown fails, info tags included.
tags=$(lintian --display-info --fail-on none "$deb" 2>&1 | grep -v '^running with root privileges' || true)
[ -z "$tags" ] || fail "lintian $(basename "$deb"):"$'\n'"$tags"
# lintian does not look for the stack protector; hardening-check does. Control-flow protection is not asked
# for: Debian 12's C start-up files lack it, so no program linked there can carry it.
if command -v hardening-check > /dev/null; then
  rm -rf "$work/unpacked" && dpkg-deb -x "$deb" "$work/unpacked"
  hardening-check --quiet --nocfprotection "$work"/unpacked/usr/bin/* || fail "hardening-check"
fi
echo "lintian accepts $(basename "$deb")"
