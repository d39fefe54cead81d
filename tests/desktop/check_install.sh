#!/usr/bin/env bash
# check_install.sh - installs the build into a scratch prefix and checks what desktops and `man` read there.
#   check_install.sh BUILD_DIR SCRATCH_DIR WITH_APP(ON|OFF)
set -euo pipefail
build=$1 scratch=$2 with_app=$3
rm -rf "$scratch" && mkdir -p "$scratch"
prefix=$scratch/usr
cmake --install "$build" --prefix "$prefix" > "$scratch/install.log"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_file() { [ -f "$prefix/$1" ] || fail "not installed: $1"; }

expect_file bin/vantorelle-decode
expect_file share/man/man1/vantorelle-decode.1
expect_file bin/vantorelle-par2
expect_file share/man/man1/vantorelle-par2.1
"$prefix/bin/vantorelle-decode" --version | grep -q '^vantorelle-decode ' || fail "installed vantorelle-decode does not run"

# No test program or static library may end up in the installed tree.
unexpected=$(cd "$prefix" && find . -type f ! -path './bin/vantorelle' ! -path './bin/vantorelle-decode' \
  ! -path './bin/vantorelle-par2' \
  ! -path './share/applications/*' ! -path './share/metainfo/*' ! -path './share/icons/hicolor/scalable/apps/*' \
  ! -path './share/man/man1/*')
[ -z "$unexpected" ] || fail "unexpected installed files: $unexpected"

version=$("$prefix/bin/vantorelle-decode" --version | cut -d' ' -f2)
for page in "$prefix"/share/man/man1/*.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "$page does not format"
  [ -z "$warnings" ] || fail "$page: $warnings"
  grep -q "^\.TH .*\"Vantorelle $version\"" "$page" || fail "$page does not name version $version"
done

[ "$with_app" = ON ] || { echo "command line installed; no desktop application in this build"; exit 0; }

id=org.vantorelle.Vantorelle
expect_file bin/vantorelle
expect_file share/applications/$id.desktop
expect_file share/metainfo/$id.metainfo.xml
expect_file share/icons/hicolor/scalable/apps/$id.svg
expect_file share/man/man1/vantorelle.1
"$prefix/bin/vantorelle" --version | grep -q '^vantorelle ' || fail "installed vantorelle does not run"

desktop=$prefix/share/applications/$id.desktop
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
if grep -q 'error:' <<<"$report"; then fail "desktop-file-validate: $report"; fi
[ -z "$report" ] || echo "desktop-file-validate notes: $report"
grep -qx 'Exec=vantorelle %F' "$desktop" || fail "the launcher does not pass the dropped files"
grep -qx 'MimeType=text/plain;text/x-uuencode;message/news;' "$desktop" || fail "the launcher does not offer itself for articles"
grep -qx "Icon=$id" "$desktop" || fail "the launcher's icon is not the installed one"

appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$prefix/share/metainfo/$id.metainfo.xml" \
  || fail "the metainfo does not name the installed launcher"

grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is not an SVG picture"
echo "installed tree is complete and valid"
