#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and the machine lacks, CaDiCaL's
# C++ library included (the preprocessing and bench/enumerate_projected use it).
# With --fuzz, also clang and its libFuzzer runtime, which the fuzz targets (-DTARN_FUZZ=ON) need.
set -euo pipefail
packages=(cmake ninja-build g++ libgmp-dev libgtest-dev zlib1g-dev liblzma-dev libbz2-dev libcadical-dev)
for option in "$@"; do
  case "$option" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "ensure_deps.sh: unknown option $option" >&2; exit 1 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
