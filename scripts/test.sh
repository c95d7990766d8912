#!/usr/bin/env bash
# Installs what is needed, checks the sources' formatting, configures, builds
# and runs every test:
# first a normal build with every test (the memcheck sessions under valgrind
# among them), then the unit, integration and end-to-end C++ tests again
# under the address and undefined-behaviour sanitizers, then the thread tests
# under ThreadSanitizer, then every fuzz target for a bounded time (a clang
# build of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

# The committed .clang-format is the style of every C and C++ source.
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror

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

# Only the thread tests need ThreadSanitizer, so only they and the driver are
# built: threads on their own and on one shared connection through the driver
# manager, and the query client's threads sharing one token. The first race
# ends the test with exit status 66.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=thread
cmake --build build-tsan -j"$jobs" --target vornodbc e2e_odbc_tests client_integration_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1"
(cd build-tsan && ctest --output-on-failure -j"$jobs" --no-tests=error -R '^e2e\.Thread')
(cd build-tsan && ctest --output-on-failure -j"$jobs" --no-tests=error -R '^client\.ClientThreads')

# Every fuzz target: its kept inputs, then 20 s of fuzzing each.
bash scripts/fuzz.sh
