#!/usr/bin/env bash
# test.sh - installs what is needed, checks the layout of app/ against
# .clang-format, builds with warnings as errors, runs every test and the
# .clang-tidy checks over app/, then builds and runs the tests again under
# ASan and UBSan, then the worker threads' tests under TSan at one and two
# threads, then runs every fuzz target for a few seconds, and last installs the Debian package
# into a fresh Debian 12 tree (tools/install-check.sh) where this machine can make one.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

jobs=$(nproc)
run_suite() {  # build-dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DVANTORELLE_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

echo "== layout of app/ (.clang-format)"
find app -name '*.cpp' -o -name '*.hpp' | sort | xargs clang-format-14 --dry-run --Werror
echo "== release build with warnings as errors"
run_suite build/ci -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== lint of app/ (.clang-tidy, on the release build's compile commands)"
find app -name '*.cpp' | sort | xargs -P "$jobs" -n 1 clang-tidy-14 -p build/ci --quiet
echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp" \
  run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVANTORELLE_SANITIZE=ON
echo "== ThreadSanitizer: the decoder's and the PAR2 repair's worker threads"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTORELLE_TSAN=ON -DVANTORELLE_BUILD_QT=OFF \
  -DVANTORELLE_WERROR=ON
cmake --build build/tsan -j "$jobs" --target engine_tests engine_differential_tests par2_tests vantorelle-par2
mkdir -p build/tsan/tmp
for threads in 1 2; do
  export VANTORELLE_THREADS=$threads TSAN_OPTIONS=halt_on_error=1 VANTORELLE_TEST_TMP=$PWD/build/tsan/tmp
  build/tsan/tests/engine/engine_tests --gtest_brief=1
  build/tsan/tests/engine/engine_differential_tests --gtest_brief=1
  VANTORELLE_TEST_DECODE_AHEAD=1 build/tsan/tests/engine/engine_tests --gtest_brief=1 --gtest_filter='Assembly*'
  build/tsan/tests/par2/par2_tests --gtest_brief=1 --gtest_filter='Par2Repair*:*Par2Workers*:*Par2Peer*:*Par2Hostile*'
done
# The worker taking the CRC behind, which the fastest CRC kernel leaves to the decoding thread.
VANTORELLE_PORTABLE=1 VANTORELLE_THREADS=2 TSAN_OPTIONS=halt_on_error=1 VANTORELLE_TEST_TMP=$PWD/build/tsan/tmp \
  build/tsan/tests/engine/engine_tests --gtest_brief=1 --gtest_filter='Assembly*:Cases/*'
unset VANTORELLE_THREADS TSAN_OPTIONS VANTORELLE_TEST_TMP
echo "== fuzz targets, briefly (tools/fuzz.sh all SECONDS runs them longer)"
bash tools/fuzz.sh all 6
echo "== the package in a fresh Debian 12 tree (tools/install-check.sh)"
# The suite's lintian test left the Release package in build/ci; without it the check builds its own.
package=$(find build/ci/tests/desktop/package -maxdepth 1 -name 'vantorelle_*.deb' 2> /dev/null | head -n 1 || true)
status=0
bash tools/install-check.sh ${package:+"$package"} || status=$?
case $status in
  0) ;;
  77) echo "install check skipped: this machine cannot make the tree (the reason is above)" ;;
  *) exit "$status" ;;
esac
