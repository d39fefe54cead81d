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
expect_file share/man/man1/vantorelle-decode.1.gz
expect_file bin/vantorelle-par2
expect_file share/man/man1/vantorelle-par2.1.gz
expect_file share/doc/vantorelle/copyright
"$prefix/bin/vantorelle-decode" --version | grep -q '^vantorelle-decode ' || fail "installed vantorelle-decode does not run"

# No test program or static library may end up in the installed tree.
unexpected=$(cd "$prefix" && find . -type f ! -path './bin/vantorelle' ! -path './bin/vantorelle-decode' \
  ! -path './bin/vantorelle-par2' \
  ! -path './share/applications/*' ! -path './share/metainfo/*' ! -path './share/mime/packages/*' ! -path './share/icons/hicolor/scalable/apps/*' \
  ! -path './share/man/man1/*' ! -path './share/doc/vantorelle/*')
[ -z "$unexpected" ] || fail "unexpected installed files: $unexpected"

version=$("$prefix/bin/vantorelle-decode" --version | cut -d' ' -f2)
for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | groff -man -ww -z 2>&1) || fail "$page does not format"
  [ -z "$warnings" ] || fail "$page: $warnings"
  zgrep -q "^\.TH .*\"Vantorelle $version\"" "$page" || fail "$page does not name version $version"
done
zcat "$prefix/share/doc/vantorelle/changelog.gz" | head -n 1 | grep -q "^vantorelle ($version) " \
  || fail "the changelog does not start with version $version"

[ "$with_app" = ON ] || { echo "command line installed; no desktop application in this build"; exit 0; }

id=org.vantorelle.Vantorelle cid=org.vantorelle.vantorelle
metainfo=$prefix/share/metainfo/$cid.metainfo.xml
expect_file bin/vantorelle
expect_file share/applications/$id.desktop
expect_file share/metainfo/$cid.metainfo.xml
expect_file share/icons/hicolor/scalable/apps/$id.svg
expect_file share/man/man1/vantorelle.1.gz
"$prefix/bin/vantorelle" --version | grep -q '^vantorelle ' || fail "installed vantorelle does not run"

desktop=$prefix/share/applications/$id.desktop
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
grep -qx 'Exec=vantorelle %F' "$desktop" || fail "the launcher does not pass the dropped files"
grep -qx 'MimeType=text/x-uuencode;message/rfc822;application/mbox;text/x-yenc;' "$desktop" \
  || fail "the launcher does not offer itself for articles"
# Claiming plain text would make every .txt file open with a decode.
! grep -q '^MimeType=.*text/plain' "$desktop" || fail "the launcher claims text/plain"
mime=$prefix/share/mime/packages/$id.xml
expect_file share/mime/packages/$id.xml
xmllint --noout "$mime" || fail "the MIME package is not well-formed"
for glob in '*.yenc' '*.ync'; do
  grep -qF "<glob pattern=\"$glob\"/>" "$mime" || fail "the MIME package does not claim $glob"
done
if command -v update-mime-database > /dev/null; then
  mkdir -p "$scratch/mime/packages" && cp "$mime" "$scratch/mime/packages/"
  update-mime-database "$scratch/mime" || fail "update-mime-database refuses the MIME package"
  grep -qx 'text/x-yenc:\*\.yenc' "$scratch/mime/globs" || fail "the yEnc type has no glob in the MIME database"
fi
for type in text/x-uuencode message/rfc822 application/mbox text/x-yenc; do
  grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "the metainfo does not provide $type"
done
grep -qx "Icon=$id" "$desktop" || fail "the launcher's icon is not the installed one"

report=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
! grep -q '^[EWIP]:' <<<"$report" || fail "appstreamcli validate --pedantic: $report"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's releases do not start with $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
  || fail "the metainfo does not name the installed launcher"

grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is not an SVG picture"
echo "installed tree is complete and valid"
