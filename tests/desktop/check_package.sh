#!/usr/bin/env bash
# check_package.sh - builds the Debian package and checks its contents and worked-out dependencies.
#   check_package.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build=$1 scratch=$2
rm -rf "$scratch" && mkdir -p "$scratch"
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" > cpack.log 2>&1) \
  || { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(find "$scratch" -maxdepth 1 -name 'vantorelle_*.deb' | head -n 1)
[ -n "$deb" ] || fail "no package was made"

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/vantorelle ./usr/bin/vantorelle-decode ./usr/bin/vantorelle-par2 \
            ./usr/share/applications/org.vantorelle.Vantorelle.desktop \
            ./usr/share/metainfo/org.vantorelle.vantorelle.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/org.vantorelle.Vantorelle.svg \
            ./usr/share/man/man1/vantorelle-decode.1.gz ./usr/share/man/man1/vantorelle-par2.1.gz \
            ./usr/share/doc/vantorelle/copyright; do
  grep -q " $path\$" <<<"$contents" || fail "package lacks $path"
done

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6svg6 qt6-qpa-plugins; do
  grep -q "\\b$library\\b" <<<"$depends" || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = vantorelle ] || fail "package name"
echo "$(basename "$deb"): Depends: $depends"
