#!/usr/bin/env bash
# run-examples.sh - builds vantorelle-decode and decodes the bundled examples into a fresh folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh core
cmake -S . -B build/examples -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVANTORELLE_BUILD_QT=OFF -DVANTORELLE_BUILD_TESTS=OFF > /dev/null
cmake --build build/examples -j "$(nproc)" --target vantorelle-decode

mkdir -p out
work=$(mktemp -d "$PWD/out/examples-XXXXXX")
cp -R examples/. "$work/"
status=0
for set in "$work"/*/; do
  echo
  echo "== $(basename "$set")"
  build/examples/app/cli/vantorelle-decode "$set"*.txt || status=$?
done
echo
echo "Decoded into $work:"
(cd "$work" && find . -type f | sort | while read -r f; do
  [ -e "../../examples/$f" ] || ls -l "${f#./}"
done)
exit $status
