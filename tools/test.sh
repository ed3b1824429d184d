#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   tools/test.sh [build-dir]        QUELTA_SANITIZE=1 for the sanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
dir=${1:-build}
san=OFF
[ "${QUELTA_SANITIZE:-0}" = 1 ] && san=ON
cmake -S . -B "$dir" -G Ninja -DQUELTA_WERROR=ON -DQUELTA_SANITIZE=$san -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
