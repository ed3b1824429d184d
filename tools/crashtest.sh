#!/usr/bin/env bash
# The crash tests with more trials than CI runs: postp and posta killed at
# random moments (Dovecot and aiosmtpd on 127.0.0.1), run again until done,
# then checked: nothing lost or half-stored, nothing done twice, tables and
# tags in agreement. Prints the figures of each program.
#   tools/crashtest.sh [trials] [build-dir]        defaults: 40 and build
set -euo pipefail
cd "$(dirname "$0")/.."
trials=${1:-40}
dir=${2:-build}
[ -f "$dir/build.ninja" ] ||
  cmake -S . -B "$dir" -G Ninja -DQUELTA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j4 --target retriever_tests posta_tests postp posta mkschema regsvr \
  Quelta wsock32 >/dev/null
export QUELTA_CRASH_TRIALS=$trials QT_QPA_PLATFORM=offscreen
status=0
for run in "retriever_tests Crash.*" "posta_tests *Crash*"; do
  set -- $run
  log=$(mktemp)
  "$dir/bin/$1" --gtest_filter="$2" >"$log" 2>&1 || status=1
  grep -E 'crash test:' "$log" || true
  # Each finding, as the test reports it.
  grep -A3 -E ': Failure$' "$log" | grep -vE ': Failure$|^--$' || true
  rm -f "$log"
done
exit $status
