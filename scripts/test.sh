#!/usr/bin/env bash
# Builds everything and runs every test: the core, GUI and end-to-end tests,
# then the core tests and the window tests that replace models once more
# under AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on
# any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 4)

scripts/install-deps.sh

echo "== build"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$jobs"

echo "== tests"
(cd build/test && ctest --output-on-failure -j"$jobs" -LE gui --timeout 900)

echo "== window and end-to-end tests under Xvfb"
(cd build/test && xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --output-on-failure -j"$jobs" -L gui --timeout 900)

echo "== core tests and the window tests that replace models under AddressSanitizer and UndefinedBehaviorSanitizer"
san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPLICATROPE_BUILD_GUI=ON \
  -DPLICATROPE_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$san" -DCMAKE_C_FLAGS="$san" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build/sanitize -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/sanitize && ctest --output-on-failure -j"$jobs" -L core --timeout 1800)
# The window tests whose commands replace the working model or follow the
# pick lists into it, and those of the dialog answerer they rely on. The
# toolkit and the X libraries keep caches to the end of the process, so
# leaks are not looked for there.
(cd build/sanitize && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1 \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --output-on-failure -j"$jobs" -L gui -R '^(FileCommands|Drivers|Picking|Tools|DialogAnswering)[.]' --timeout 900)

echo "== fuzzing the OBJ reader and the pipeline behind it"
scripts/fuzz.sh 120

echo "== all tests passed"
