#!/usr/bin/env bash
# Builds the program in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 4)

scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPLICATROPE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$jobs" --target plicatrope
exec build/release/plicatrope
