#!/usr/bin/env bash
# Builds tarn in Release and compiles the example formula (extra arguments go to tarn).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure_deps.sh
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_TESTS=OFF >/dev/null
ninja -C build/run tarn >/dev/null
exec build/run/tarn -in examples/C17.blif.cnf "$@"
