#!/usr/bin/env bash
# Builds the order-based dtrees (methods 2, 3, 4) of every corpus file that tarn's reader
# accepts, checks that reloading each dtree and saving it again gives the same file byte for
# byte, and checks each dtree with the independent checker. One row per file and method:
#   file  method  build_s  max_rss_kB  round_trip  check  max_cluster
# With MINFILL_TIMES=1, also one "minfill" row per file: vars clauses literals minfill_s
# order2hdtree_s max_cluster (from bench/minfill_time.cpp, built with the project).
#
# Environment: TARN (default build/release/tarn), BENCH_DIR (default ../shared/bench beside the repo),
# TIMEOUT seconds per tarn run (default 600), ONLY (a grep pattern to select files).
# Every dtree is written in a temporary directory; the corpus is never written to.
# Each tarn run stops right after writing its dtree: it is also handed a "-force" file that does
# not exist, which is read after the dtree is saved and before compiling.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
TARN=${TARN:-$repo/build/release/tarn}
minfill_timer=$repo/build/release/bench/minfill_time
BENCH_DIR=${BENCH_DIR:-$repo/../shared/bench}
TIMEOUT=${TIMEOUT:-600}
ONLY=${ONLY:-.}
checker=$repo/bench/check_dtrees.py

work=$(mktemp -d /tmp/tarn-dtree-corpus-XXXXXX)
trap 'rm -rf "$work"' EXIT
stop=$work/no-such-file

failures=0
rows=0
while read -r path; do
  echo "$path" | grep -q -- "$ONLY" || continue
  name=$(basename "$path")
  cp "$BENCH_DIR/$path" "$work/$name"
  cnf=$work/$name
  for method in 2 3 4; do
    rm -f "$cnf.dtree"
    timeout "$TIMEOUT" /usr/bin/time -f "%e %M" -o "$work/time" \
      "$TARN" -in "$cnf" -dt_method "$method" -dt_out -force "$stop" -silent > "$work/out" 2>&1
    if [ ! -s "$cnf.dtree" ]; then
      printf '%s\t%s\tFAILED\t-\t-\t-\t-\n' "$path" "$method"
      failures=$((failures + 1))
      continue
    fi
    read -r seconds rss < <(tail -1 "$work/time")
    mv "$cnf.dtree" "$work/given.dtree"
    round_trip=same
    timeout "$TIMEOUT" "$TARN" -in "$cnf" -dt_in "$work/given.dtree" -dt_out -force "$stop" -silent > "$work/out" 2>&1
    if ! cmp -s "$work/given.dtree" "$cnf.dtree"; then
      round_trip=DIFFERS
      failures=$((failures + 1))
    fi
    verdict=$(timeout "$TIMEOUT" python3 "$checker" "$cnf" "$work/given.dtree")
    cluster=$(echo "$verdict" | sed -n 's/.*max_cluster=\([0-9]*\).*/\1/p')
    status=${verdict%% *}
    [ "$status" = OK ] || { failures=$((failures + 1)); status="FAIL(${verdict})"; }
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$path" "$method" "$seconds" "$rss" "$round_trip" "$status" "${cluster:--}"
    rows=$((rows + 1))
  done
  if [ "${MINFILL_TIMES:-0}" = 1 ]; then
    printf '%s\tminfill\t%s\n' "$path" "$("$minfill_timer" "$cnf")"
  fi
  rm -f "$cnf" "$cnf.dtree" "$work/given.dtree"
done < <(awk -F'\t' 'NR > 1 && $8 == "ok" { print $1 }' "$BENCH_DIR/manifest.tsv")

echo "rows: $rows, failures: $failures"
[ "$failures" = 0 ]
