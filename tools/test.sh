#!/usr/bin/env bash
# Builds the library and runs every test.
#   tools/test.sh              optimised build in build/
#   tools/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_deps.sh

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DKALO_SANITIZE=ON)
  export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
fi

cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" --parallel
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
