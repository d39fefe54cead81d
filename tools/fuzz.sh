#!/usr/bin/env bash
# fuzz.sh - builds the libFuzzer targets with clang and runs one or all of them for a given time.
#   fuzz.sh TARGET|all SECONDS [LIBFUZZER-OPTION...]
# TARGET is one of: scanner uu_decoder yenc_decoder differential decode_run verdict par2_packets par2_repair.
# SECONDS is the time per target. The corpus grows in build/fuzz/corpus/TARGET
# and is kept between runs; inputs that fail land in build/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(scanner uu_decoder yenc_decoder differential decode_run verdict par2_packets par2_repair)
if [ $# -lt 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "Usage: tools/fuzz.sh TARGET|all SECONDS [LIBFUZZER-OPTION...]" >&2
  echo "Targets: ${all_targets[*]}" >&2
  exit 2
fi
which=$1 seconds=$2
shift 2
if [ "$which" = all ]; then
  targets=("${all_targets[@]}")
elif [[ " ${all_targets[*]} " == *" $which "* ]]; then
  targets=("$which")
else
  echo "fuzz.sh: unknown target '$which' (${all_targets[*]})" >&2
  exit 2
fi

bash tools/setup.sh fuzz
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTORELLE_FUZZ=ON -DVANTORELLE_SANITIZE=ON -DVANTORELLE_BUILD_QT=OFF \
  -DVANTORELLE_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target make_seeds "${targets[@]/#/fuzz_}"

seeds=$build/seeds
rm -rf "$seeds"
"$build/fuzz/make_seeds" "$seeds"
mkdir -p "$build/crashes"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mkdir -p "$build/logs"
failed=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus"
  # The PAR2 targets start from sets and packets of their own.
  dict=fuzz/articles.dict target_seeds=$seeds
  if [[ $t == par2_* ]]; then
    dict=fuzz/par2.dict target_seeds=$build/seeds-$t
    rm -rf "$target_seeds"
    "$build/fuzz/make_seeds" "$target_seeds" "$t"
  fi
  echo "== fuzz_$t for ${seconds}s"
  status=0
  TMPDIR=$scratch ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -dict="$dict" \
    -max_len=65536 -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$t-" "$@" "$corpus" "$target_seeds" > "$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    failed+=("$t")
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
  fi
done
if ((${#failed[@]})); then
  echo "fuzz.sh: failures in ${failed[*]} (logs in $build/logs, inputs in $build/crashes)" >&2
  exit 1
fi
