#!/usr/bin/env bash
# Builds tarn in Release, in the build folder the tests and benchmarks use, and compiles the
# example formula (extra arguments go to tarn).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure_deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_WERROR=ON >/dev/null
ninja -C build/release tarn >/dev/null
exec build/release/tarn -in examples/C17.blif.cnf "$@"
