#!/usr/bin/env bash
# Installs what is needed, configures, builds and runs every test:
# first a normal build, then the unit, integration and end-to-end C++ tests
# again under the address and undefined-behaviour sanitizers, then every
# fuzz target for a bounded time (a clang build of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd build-asan && ctest --output-on-failure -j"$jobs" -L 'unit|integration')
# The end-to-end C++ program loads the instrumented driver through the driver
# manager too (isql and pyodbc are not instrumented, so they run only above).
(cd build-asan && ctest --output-on-failure -j"$jobs" -R '^e2e\.[A-Z]')

# Every fuzz target: its kept inputs, then 20 s of fuzzing each.
bash scripts/fuzz.sh
