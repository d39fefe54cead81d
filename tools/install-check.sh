#!/usr/bin/env bash
# install-check.sh - installs the Debian package into a fresh Debian 12 tree, checks it there as a new user meets it, removes it.
#   install-check.sh [--keep] [DEB]
# Without DEB the package is built as the README says (build/release). The tree is made by debootstrap in
# build/install-check/root from the Debian mirror this machine's apt sources name (debootstrap's default when
# they name none); downloaded packages are kept in build/install-check/cache for the next run. Every mount
# made for the tree is undone on the way out, also after a failure; --keep leaves the tree itself for a look.
# Exit status: 0 checked, 1 a check failed, 77 this machine cannot make such a tree (the reason is printed).
set -euo pipefail
cd "$(dirname "$0")/.."

keep=no
if [ "${1:-}" = --keep ]; then keep=yes; shift; fi
deb=${1:-}
work=$PWD/build/install-check
root=$work/root
suite=bookworm

say() { echo "== install-check: $*"; }
skip() { echo "install-check: skipped: $*"; exit 77; }
fail() { echo "install-check: FAIL: $*" >&2; exit 1; }

# --- what this machine must offer -------------------------------------------------------------------------
can_mount() {
  local probe
  probe=$(mktemp -d)
  if mount -t tmpfs probe "$probe" 2> /dev/null; then umount "$probe"; rmdir "$probe"; return 0; fi
  rmdir "$probe"
  return 1
}
[ "$(id -u)" -eq 0 ] || skip "debootstrap and chroot need root"
command -v debootstrap > /dev/null || skip "debootstrap is not installed (tools/setup.sh installs it)"
command -v findmnt > /dev/null || skip "findmnt (util-linux) is not installed"
can_mount || skip "this machine does not allow mounts (a container without CAP_SYS_ADMIN?)"

# --- the mirror: the first enabled 'deb' source for the suite, one-line or deb822 form ----------------------
one_line_mirror() {  # files...
  awk -v suite="$suite" '
    $1 == "deb" {
      i = 2
      if ($i ~ /^\[/) { while ($i !~ /\]$/ && i < NF) i++; i++ }
      if ($(i + 1) == suite) { print $i; exit }
    }' "$@" 2> /dev/null
}
deb822_mirror() {  # files...
  awk -v suite="$suite" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && tolower(enabled) != "no" && uris != "") {
        split(uris, u, " "); print u[1]; found = 1; exit
      }
      types = suites = uris = enabled = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
    /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
    /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
    /^Enabled:/ { sub(/^Enabled:[ \t]*/, ""); enabled = $0 }
    END { if (!found) flush() }' "$@" 2> /dev/null
}
apt_mirror() {
  local lists=() sources=() found=""
  [ -f /etc/apt/sources.list ] && lists+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.list; do [ -f "$f" ] && lists+=("$f"); done
  for f in /etc/apt/sources.list.d/*.sources; do [ -f "$f" ] && sources+=("$f"); done
  ((${#lists[@]})) && found=$(one_line_mirror "${lists[@]}")
  [ -z "$found" ] && ((${#sources[@]})) && found=$(deb822_mirror "${sources[@]}")
  echo "$found"
}

# --- mounts, always undone ----------------------------------------------------------------------------------
mounts_under_root() { findmnt -rn -o TARGET | awk -v r="$root" 'index($0, r "/") == 1 || $0 == r' | sort -r; }
undo_mounts() {
  local m
  for m in $(mounts_under_root); do umount -R "$m" 2> /dev/null || umount -l "$m" 2> /dev/null || true; done
  [ -z "$(mounts_under_root)" ] || { echo "install-check: still mounted under $root: $(mounts_under_root)" >&2; return 1; }
}
remove_tree() {
  undo_mounts || return 1
  # --one-file-system: even a mount that survived the check above is never emptied.
  rm -rf --one-file-system "$root"
}
finish() {
  local status=$?
  if [ -d "$root" ]; then
    if [ "$keep" = yes ]; then undo_mounts || status=1; else remove_tree || status=1; fi
  fi
  say "done in ${SECONDS} s (exit status $status)"
  exit $status
}
trap finish EXIT
trap 'exit 130' INT TERM

in_tree() {  # command... : run inside the tree with a plain environment
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# --- the package --------------------------------------------------------------------------------------------
if [ -z "$deb" ]; then
  say "building the package in build/release"
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTORELLE_BUILD_TESTS=OFF > /dev/null
  cmake --build build/release -j "$(nproc)" > /dev/null
  (cd build/release && cpack -G DEB > /dev/null)
  deb=$(find build/release -maxdepth 1 -name 'vantorelle_*.deb' | sort | tail -n 1)
fi
[ -f "$deb" ] || fail "no package: ${deb:-none was made}"
deb=$(realpath "$deb")

# --- the tree -----------------------------------------------------------------------------------------------
mkdir -p "$work/cache"
[ -d "$root" ] && { remove_tree || fail "cannot remove the tree of an earlier run"; }
mirror=$(apt_mirror)
say "debootstrap $suite from ${mirror:-the default mirror of debootstrap}"
# shellcheck disable=SC2086 # an empty mirror is left out on purpose
debootstrap --variant=minbase --cache-dir="$work/cache" "$suite" "$root" $mirror > "$work/debootstrap.log" 2>&1 \
  || { tail -n 20 "$work/debootstrap.log" >&2; fail "debootstrap (log: $work/debootstrap.log)"; }
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"  # so that undoing it never reaches the machine's own /dev

say "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_tree apt-get update -q > "$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log" >&2; fail "apt-get update"; }
# man-db, desktop-file-utils and shared-mime-info stand for what a desktop brings; they are not dependencies.
in_tree apt-get install -y -q "/tmp/$(basename "$deb")" man-db desktop-file-utils shared-mime-info \
  >> "$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log" >&2; fail "apt-get install (log: $work/apt.log)"; }

# --- what a user meets --------------------------------------------------------------------------------------
version=$(dpkg-deb -f "$deb" Version)
in_tree vantorelle --version | grep -qx "vantorelle $version" || fail "vantorelle --version does not say $version"
in_tree vantorelle-decode --version | grep -qx "vantorelle-decode $version" || fail "vantorelle-decode --version"

examples=/usr/share/doc/vantorelle/examples
in_tree sh -c "rm -rf /tmp/examples && cp -R $examples /tmp/examples" || fail "the package holds no $examples"
check_decode() {  # set, expected output names...
  local set=$1; shift
  local expected="" out
  for name in "$@"; do expected+="/tmp/examples/$set/$name"$'\n'; done
  out=$(in_tree sh -c "vantorelle-decode /tmp/examples/$set/*.txt 2> /tmp/decode.err") \
    || fail "vantorelle-decode on the $set example: $(in_tree cat /tmp/decode.err)"
  [ "$out"$'\n' = "$expected" ] || fail "vantorelle-decode on the $set example listed: $out"
  [ -z "$(in_tree cat /tmp/decode.err)" ] || fail "vantorelle-decode on the $set example said: $(in_tree cat /tmp/decode.err)"
}
check_decode one-file readme.txt small.ppm
check_decode uu-multipart tone.wav
check_decode yenc-multipart sunset.ppm
# The application itself, on the Qt libraries the package brought: launched with files, it decodes them and ends.
in_tree sh -c 'cd /tmp/examples/yenc-multipart && rm sunset.ppm && QT_QPA_PLATFORM=offscreen timeout 60 vantorelle *.txt' \
  > /dev/null 2>&1 || fail "the application did not decode the yEnc example and end"
in_tree test -s /tmp/examples/yenc-multipart/sunset.ppm || fail "the application wrote no sunset.ppm"

for page in vantorelle-decode vantorelle; do
  in_tree man -w "$page" | grep -q "/man1/$page.1.gz$" || fail "man finds no compressed page for $page"
  text=$(in_tree env MANWIDTH=80 man -P cat "$page" 2> "$work/man.err") || fail "man $page: $(cat "$work/man.err")"
  [ -s "$work/man.err" ] && fail "man $page warns: $(cat "$work/man.err")"
  grep -q "^NAME" <<< "$text" || fail "man $page shows no NAME section"
done

id=org.vantorelle.Vantorelle
launchers_of() { in_tree sh -c "grep -h '^$1=' /usr/share/applications/mimeinfo.cache 2> /dev/null" || true; }
for type in $(in_tree sed -n 's/^MimeType=//p' "/usr/share/applications/$id.desktop" | tr ';' ' '); do
  launchers_of "$type" | grep -q "$id.desktop" || fail "the desktop database does not offer the launcher for $type"
done
in_tree grep -qx 'text/x-yenc:\*\.yenc' /usr/share/mime/globs || fail "the MIME database has no glob for yEnc articles"
in_tree desktop-file-validate "/usr/share/applications/$id.desktop" || fail "desktop-file-validate in the tree"

# --- and away again -----------------------------------------------------------------------------------------
say "apt-get purge vantorelle"
in_tree apt-get purge -y -q vantorelle >> "$work/apt.log" 2>&1 || fail "apt-get purge vantorelle"
for path in /usr/bin/vantorelle /usr/bin/vantorelle-decode /usr/share/doc/vantorelle \
            "/usr/share/applications/$id.desktop" /usr/share/man/man1/vantorelle-decode.1.gz; do
  in_tree test ! -e "$path" || fail "$path is left after the purge"
done
! launchers_of text/x-yenc | grep -q "$id.desktop" || fail "the desktop database still offers the removed launcher"
in_tree grep -q 'text/x-yenc' /usr/share/mime/globs && fail "the MIME database still knows yEnc articles"
say "the package installs, runs, shows its manuals and file types, and goes again"
