#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of their own, replays every
# regression input, then fuzzes each target from its seed corpus.
#   tools/fuzz.sh [seconds]    fuzz each target for that long (default 60)
#   tools/fuzz.sh --runs N [seconds]  at most N runs per target, for at most
#                              that long (default 20 seconds: CI)
# Environment: QUELTA_FUZZ_JOBS targets at once (default 3), QUELTA_FUZZ_TARGETS
# names to run (default all), QUELTA_FUZZ_BUILD the build folder (build-fuzz),
# QUELTA_BUILD_JOBS compile jobs (default all cores).
# The corpora grow in <build>/work/corpus/<target>; findings land in
# <build>/work/findings/<target>/ and make the script fail: fix the fault, then
# keep the input as fuzz/regressions/<target>/<fault-name>.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=60
runs=-1
if [ "${1:-}" = --runs ]; then
  runs=${2:?--runs needs a number}
  seconds=${3:-20}
elif [ -n "${1:-}" ]; then
  seconds=$1
fi
jobs=${QUELTA_FUZZ_JOBS:-3}
build=${QUELTA_FUZZ_BUILD:-build-fuzz}
work=$root/$build/work

bash tools/bootstrap.sh
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DQUELTA_FUZZ=ON -DQUELTA_TESTS=OFF \
  -DQUELTA_BENCH=OFF -DQUELTA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${QUELTA_BUILD_JOBS:-$(nproc)}" --target fuzzers wsock32

targets=${QUELTA_FUZZ_TARGETS:-$(cd fuzz/corpus && ls)}
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# One target: its regression inputs once each, then fuzzing.
fuzz_one() {
  local t=$1 bin=$root/$build/bin/fuzz_$1 log=$work/logs/$1.log
  local maxlen=4096
  case $t in mime | xbtable) maxlen=16384 ;; esac
  mkdir -p "$work/corpus/$t" "$work/findings/$t" "$work/logs"
  : >"$log"
  if compgen -G "$root/fuzz/regressions/$t/*" >/dev/null; then
    if ! "$bin" "$root"/fuzz/regressions/"$t"/* >>"$log" 2>&1; then
      echo "$t: a regression input fails again (see $log)"
      return 1
    fi
  fi
  if "$bin" -runs="$runs" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -max_len="$maxlen" -print_final_stats=1 -artifact_prefix="$work/findings/$t/" \
    "$work/corpus/$t" "$root/fuzz/corpus/$t" >>"$log" 2>&1; then
    echo "$t: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -1), nothing found"
  else
    echo "$t: FOUND a fault, input in $work/findings/$t/ (see $log)"
    return 1
  fi
}
export -f fuzz_one
export root build work runs seconds

status=0
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'fuzz_one "$@"' _ {} || status=1
exit $status
