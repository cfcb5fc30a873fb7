#!/usr/bin/env bash
# Fuzzes the OBJ reader and everything a loaded file reaches (Develop, idle
# steps, the crease pattern, DXF export) for a bounded time.
#   scripts/fuzz.sh [seconds, default 120] [parallel workers, default 1]
# First runs every input of tests/fuzz_regressions once. Fuzzes a copy of
# tests/fuzz_corpus in build/fuzz/corpus (new inputs are kept there, never in
# tests/). Exits non-zero on any crash, leak, timeout or sanitizer report;
# the input that caused it is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
workers=${2:-1}
build=build/fuzz

scripts/install-deps.sh

echo "== build the fuzzer (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLICATROPE_BUILD_FUZZER=ON -DPLICATROPE_BUILD_GUI=OFF -DPLICATROPE_BUILD_TESTS=OFF \
  -DPLICATROPE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 4)" --target obj_fuzzer
fuzzer=$build/fuzz/obj_fuzzer

# Every run writes its input and two drawings; memory is faster than a disk.
# Workers that the fuzzer ends leave their files behind: all go with this one.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$shm/plicatrope-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/corpus" "$build/artifacts"
options=(-timeout=10 -rss_limit_mb=4096 -max_len=16384 -dict=fuzz/obj.dict -artifact_prefix="$build/artifacts/")

shopt -s nullglob
regressions=(tests/fuzz_regressions/*)
if [ ${#regressions[@]} -gt 0 ]; then
  echo "== ${#regressions[@]} regression inputs"
  "$fuzzer" "${options[@]}" "${regressions[@]}" 2>"$build/regressions.log" || {
    cat "$build/regressions.log"
    echo "a regression input fails again" >&2
    exit 1
  }
fi

echo "== fuzzing for ${seconds}s with $workers worker(s)"
cp -n tests/fuzz_corpus/* tests/fuzz_regressions/* "$build/corpus/"
parallel=()
[ "$workers" -gt 1 ] && parallel=(-fork="$workers")
"$fuzzer" "${options[@]}" "${parallel[@]}" -max_total_time="$seconds" -print_final_stats=1 \
  "$build/corpus" 2>"$build/fuzz.log" || {
  tail -n 80 "$build/fuzz.log"
  echo "the fuzzer found a fault; its input is in $build/artifacts/" >&2
  exit 1
}
# The last progress line counts the runs (in fork mode the only count there is).
grep -E '^#[0-9]+' "$build/fuzz.log" | tail -n 1 || true
echo "== fuzzing found nothing"
