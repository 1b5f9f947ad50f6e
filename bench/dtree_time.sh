#!/usr/bin/env bash
# Times the default dtree (25 tries of recursive bisection) against min-fill (method 4) on corpus
# files, and checks every default dtree with the independent checker. One row per file:
#   file  clauses  cluster_m0  cluster_m4  m0_cpu_s  m0_wall_s  m4_cpu_s  check
# cluster_m0 and cluster_m4 are the largest clusters (cutset + context) of the two dtrees; the
# times are those of the dtree construction alone (bench/dtree_time.cpp, built with the project
# into build/release/bench), without reading the CNF or compiling.
#
# Files: the arguments (paths relative to BENCH_DIR), or else every manifest row whose reader
# column is "ok". Environment: BENCH_DIR (default ../shared/bench beside the repo), TRIES (default
# 25), TIMEOUT seconds per construction (default 1800), ONLY (a grep pattern to select files).
# A last line counts the checks passed and the files where method 0's cluster is at most method 4's.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
BENCH_DIR=${BENCH_DIR:-$repo/../shared/bench}
TRIES=${TRIES:-25}
TIMEOUT=${TIMEOUT:-1800}
ONLY=${ONLY:-.}
checker=$repo/bench/check_dtrees.py

work=$(mktemp -d /tmp/tarn-dtree-time-XXXXXX)
trap 'rm -rf "$work"' EXIT
timer=${TIMER:-$repo/build/release/bench/dtree_time}

files() {
  if [ $# -gt 0 ]; then
    printf '%s\n' "$@"
  else
    awk -F'\t' 'NR > 1 && $8 == "ok" { print $1 }' "$BENCH_DIR/manifest.tsv"
  fi
}

rows=0 valid=0 no_worse=0
printf 'file\tclauses\tcluster_m0\tcluster_m4\tm0_cpu_s\tm0_wall_s\tm4_cpu_s\tcheck\n'
while read -r path; do
  echo "$path" | grep -q -- "$ONLY" || continue
  cnf=$BENCH_DIR/$path
  # vars clauses pins cpu_s wall_s max_cluster
  if ! m0=$(timeout "$TIMEOUT" "$timer" "$cnf" 0 "$TRIES" "$work/m0.dtree"); then
    printf '%s\t-\t-\t-\tFAILED\t-\t-\t-\n' "$path"
    continue
  fi
  m4=$(timeout "$TIMEOUT" "$timer" "$cnf" 4) || m4="- - - - - -"
  read -r _ clauses _ m0_cpu m0_wall m0_cluster <<< "$m0"
  read -r _ _ _ m4_cpu _ m4_cluster <<< "$m4"
  verdict=$(python3 "$checker" "$cnf" "$work/m0.dtree")
  status=${verdict%% *}
  checked=$(echo "$verdict" | sed -n 's/.*max_cluster=\([0-9]*\).*/\1/p')
  [ "$status" = OK ] && [ "$checked" = "$m0_cluster" ] && valid=$((valid + 1))
  [ "$m4_cluster" != - ] && [ "$m0_cluster" -le "$m4_cluster" ] && no_worse=$((no_worse + 1))
  rows=$((rows + 1))
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$path" "$clauses" "$m0_cluster" "$m4_cluster" "$m0_cpu" "$m0_wall" \
    "$m4_cpu" "$status"
  rm -f "$work/m0.dtree"
done < <(files "$@")
echo "files: $rows, valid default dtrees: $valid, default cluster at most min-fill's: $no_worse"
[ "$valid" = "$rows" ]
