#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang into build-fuzz/ and runs each
# from its committed seed corpus for the given time:
#   fuzz/run.sh [seconds per harness, default 60] [harness ...]
# The harnesses run one after another unless KELVANE_FUZZ_PARALLEL=1.
# Any crash, sanitizer report, leak, input slower than 1 s or above 512 MiB
# fails the run; the input that did it is kept in build-fuzz/findings/<harness>/
# for adding to fuzz/regressions/<harness>/. New coverage-increasing inputs go
# to the scratch folder build-fuzz/findings/<harness>/new/ (the committed corpus is
# never written).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --fuzz

seconds=${1:-60}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then harnesses=(mdl7_reader legacy_readers split convert); fi
build=${KELVANE_FUZZ_BUILD:-build-fuzz}
findings=${KELVANE_FUZZ_FINDINGS:-$build/findings}

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELVANE_SANITIZE=ON -DKELVANE_FUZZ=ON -DKELVANE_BUILD_TESTS=OFF -DKELVANE_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
  local harness=$1 scratch="$findings/$1"
  mkdir -p "$scratch/new"
  echo "== fuzz $harness for ${seconds}s"
  # The conversion harness also starts from the real legacy model files.
  local corpora=("fuzz/corpus/$harness")
  if [ "$harness" = convert ]; then corpora+=(tests/data/legacy/idpo tests/data/legacy/idp2); fi
  if "$build/fuzz/fuzz_$harness" "$scratch/new" "${corpora[@]}" \
      -max_total_time="$seconds" -timeout=1 -rss_limit_mb=512 -malloc_limit_mb=512 \
      -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$scratch/" \
      >"$scratch/log.txt" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$scratch/log.txt" | sed "s/^/$harness: /"
    return 0
  fi
  echo "FAILED: $harness (log $scratch/log.txt)"
  grep -E 'ERROR|SUMMARY|Test unit written|broken promise' "$scratch/log.txt" | head -20
  return 1
}

status=0
if [ "${KELVANE_FUZZ_PARALLEL:-0}" = 1 ]; then
  pids=()
  for harness in "${harnesses[@]}"; do run_one "$harness" & pids+=($!); done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
else
  for harness in "${harnesses[@]}"; do run_one "$harness" || status=1; done
fi
exit $status
