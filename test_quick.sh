#!/usr/bin/env bash
# The quick check while working: builds the Release configuration and runs its test suite only
# (./test.sh adds the sanitizer build and the fuzzing slice).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure_deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_WERROR=ON >/dev/null
ninja -C build/release -j "$(nproc)"
ctest --test-dir build/release -j "$(nproc)" --output-on-failure --timeout 900
