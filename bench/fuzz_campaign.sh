#!/usr/bin/env bash
# Reader-fuzzing campaign: builds the libFuzzer targets of tests/fuzz (a plain build with
# libFuzzer alone, fast, and one with AddressSanitizer and UndefinedBehaviorSanitizer), runs every
# target from a scratch copy of its seed corpus tests/fuzz/corpus/<target>/ with a fixed seed, one
# fuzzing process at a time and at low priority, and prints per target the executions, the
# coverage (libFuzzer's final cov: and ft:), the executions per second and the findings (crash,
# leak, timeout and out-of-memory files). Exits with status 1 on any finding.
#
#   bench/fuzz_campaign.sh [options]
#     --builds LIST     plain, asan or both (default "plain asan")
#     --runs N          executions per target in the plain build (default 1000000)
#     --cnf-runs N      executions of the CNF reader in the plain build (default 10000000)
#     --asan-runs N     executions per target in the sanitizer build (default 200000)
#     --seconds S       run each target S seconds instead of a number of executions
#     --seed N          libFuzzer's seed (default 1)
#     --targets LIST    targets without the fuzz_ prefix (default: every tests/fuzz/fuzz_*.cpp)
#     --out DIR         scratch folder for corpora, findings and logs (default build/fuzz_campaign)
#     --ci              the short seeded slice for CI: the sanitizer build, 5 s per target, seed 1,
#                       installing clang and libFuzzer first when missing
#
# Findings stay in OUT/<build>/<target>/findings/; reproduce one with
#   build/fuzz_<build>/tests/fuzz/fuzz_<target> FILE
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

builds="plain asan"
runs=1000000
cnf_runs=10000000
asan_runs=200000
seconds=""
seed=1
targets=""
out="$root/build/fuzz_campaign"
ci=false

while [ $# -gt 0 ]; do
  case "$1" in
    --builds) builds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cnf-runs) cnf_runs=$2; shift 2 ;;
    --asan-runs) asan_runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --targets) targets=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --ci) ci=true; builds=asan; seconds=5; seed=1; shift ;;
    *) echo "unknown option $1 (see the header of $0)" >&2; exit 2 ;;
  esac
done

if [ -z "$targets" ]; then
  targets=$(ls tests/fuzz/fuzz_*.cpp | sed 's|.*/fuzz_||; s|\.cpp$||' | tr '\n' ' ')
fi

$ci && scripts/ensure_deps.sh --fuzz

# Configures and builds one flavour; only the fuzz targets, at low priority on the shared cores.
build() {
  local flavour=$1 dir=build/fuzz_$1 sanitize=OFF
  [ "$flavour" = asan ] && sanitize=ON
  cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARN_FUZZ=ON -DTARN_FUZZ_SANITIZE=$sanitize -DTARN_TESTS=OFF -DTARN_WERROR=ON >/dev/null
  local names=()
  for t in $targets; do names+=("fuzz_$t"); done
  nice -n 10 ninja -C "$dir" "${names[@]}" >/dev/null
}

# The libFuzzer flags that bound one run: seconds, or executions by build and target.
limit_flags() {
  local flavour=$1 target=$2
  if [ -n "$seconds" ]; then
    echo "-max_total_time=$seconds"
  elif [ "$flavour" = asan ]; then
    echo "-runs=$asan_runs"
  elif [ "$target" = cnf_reader ]; then
    echo "-runs=$cnf_runs"
  else
    echo "-runs=$runs"
  fi
}

# The number in the last match of the pattern in the log; empty when a run stopped before it.
last_value() {
  { grep -o "$1" "$2" || true; } | tail -1 | grep -o '[0-9]*$' || true
}

# Runs one target and appends its row to the summary. The seed corpus is copied so that the
# inputs the fuzzer adds stay out of the repository.
fuzz_one() {
  local flavour=$1 target=$2
  local work="$out/$flavour/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp tests/fuzz/corpus/"$target"/* "$work/corpus/"
  local status=0
  # One process (no -jobs/-workers); -max_len fixed so that a rerun with the same seed repeats.
  nice -n 10 "build/fuzz_$flavour/tests/fuzz/fuzz_$target" $(limit_flags "$flavour" "$target") \
    -seed="$seed" -max_len=4096 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" >"$work/log" 2>&1 || status=$?
  local execs cov ft speed findings
  execs=$(last_value 'stat::number_of_executed_units: *[0-9]*' "$work/log")
  speed=$(last_value 'stat::average_exec_per_sec: *[0-9]*' "$work/log")
  cov=$(last_value 'cov: [0-9]*' "$work/log")
  ft=$(last_value 'ft: [0-9]*' "$work/log")
  findings=$(find "$work/findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  # A run that stopped without leaving a file (a failed start) counts as a finding too.
  if [ "$status" -ne 0 ] && [ "$findings" -eq 0 ]; then findings=1; fi
  printf '%-8s %-16s %12s %7s %7s %9s %9s\n' "$flavour" "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
    "${speed:-?}" "$findings" | tee -a "$out/summary"
  [ "$findings" -eq 0 ]
}

mkdir -p "$out"
: >"$out/summary"
for flavour in $builds; do build "$flavour"; done
printf '%-8s %-16s %12s %7s %7s %9s %9s\n' build target executions cov ft exec/s findings
passed=0
failed=0
for flavour in $builds; do
  for target in $targets; do
    if fuzz_one "$flavour" "$target"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  done
done
for flavour in $builds; do
  for target in $targets; do
    for f in "$out/$flavour/$target"/findings/*; do
      [ -e "$f" ] && echo "finding: $f (log: $out/$flavour/$target/log)"
    done
  done
done
echo "fuzzing: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
