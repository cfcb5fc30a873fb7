#!/usr/bin/env bash
# Builds the headless benchmark in Release and runs it; arguments go to the
# benchmark (--help lists them), e.g. scripts/bench.sh --quick --csv bench.csv
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 4)

scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DPLICATROPE_BUILD_GUI=OFF \
  -DPLICATROPE_BUILD_TESTS=OFF -DPLICATROPE_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j"$jobs" --target plicatrope_bench >/dev/null
exec build/bench/bench/plicatrope_bench "$@"
