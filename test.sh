#!/usr/bin/env bash
# Builds tarn and runs the whole test suite twice: a Release build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (any sanitizer report fails the run); then a
# short seeded slice of the reader fuzzers.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure_deps.sh
jobs=$(nproc)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DTARN_WERROR=ON "$@" >/dev/null
  ninja -C "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 900
}

run_suite build/release -DCMAKE_BUILD_TYPE=Release
run_suite build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=ON
bench/fuzz_campaign.sh --ci
echo "All tests passed (Release and sanitizer builds, reader fuzzing slice)."
