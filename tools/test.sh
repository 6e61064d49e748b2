#!/usr/bin/env bash
# Builds the library and runs every test.
#   tools/test.sh              optimised build in build/
#   tools/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   tools/test.sh --tsan       ThreadSanitizer build in build-tsan/: builds and runs only the tests
#                              that drive the library from several threads
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_deps.sh

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
targets=()
selection=()
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DKALO_SANITIZE=ON)
  export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
elif [[ "${1:-}" == "--tsan" ]]; then
  # Races only show while several threads run, so only the thread tests are
  # built and run: the rest of the suite would add build time and nothing else.
  build=build-tsan
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALO_TSAN=ON)
  targets=(--target engine_threads_test)
  selection=(-R '^EngineThreads\.' --no-tests=error)
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
fi

cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" --parallel "${targets[@]}"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "${selection[@]}"
