#!/usr/bin/env bash
# Builds the library and runs every test. Every build here treats warnings
# as errors (KALO_WERROR).
#   tools/test.sh              optimised build in build/
#   tools/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   tools/test.sh --tsan       ThreadSanitizer build in build-tsan/: builds and runs only the tests
#                              that drive the library from several threads
#   tools/test.sh --clang      clang build in build-clang/ with the fuzz targets (KALO_FUZZ): every
#                              test under clang's AddressSanitizer + UndefinedBehaviorSanitizer
#   tools/test.sh --valgrind   the C99 host and the tests of the three C interfaces from build/
#                              under valgrind: no leak, no invalid access (builds build/ first)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
deps=()
[[ $mode == --clang ]] && deps=(--fuzz)
tools/install_deps.sh "${deps[@]}"

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
targets=()
selection=()
case $mode in
  "" | --valgrind) ;;
  --sanitize)
    build=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DKALO_SANITIZE=ON)
    export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    ;;
  --tsan)
    # Races only show while several threads run, so only the thread tests are
    # built and run: the rest of the suite would add build time and nothing else.
    build=build-tsan
    options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALO_TSAN=ON)
    targets=(--target engine_threads_test)
    selection=(-R '^EngineThreads\.' --no-tests=error)
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    ;;
  --clang)
    # The second compiler, and the fuzz build in one: everything carries
    # libFuzzer's coverage and clang's sanitizers, so the suite runs under
    # them and tools/fuzz.sh can run the targets from the same folder. Line
    # tables are all the sanitizers' reports need; full debug information
    # made this build a quarter slower.
    build=build-clang
    optimised="-O2 -gline-tables-only -DNDEBUG"
    options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
             "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$optimised" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$optimised" -DKALO_FUZZ=ON)
    export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    ;;
  *)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac

cmake -S . -B "$build" -G Ninja "${options[@]}" -DKALO_WERROR=ON
cmake --build "$build" --parallel "${targets[@]}"

if [[ $mode != --valgrind ]]; then
  ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "${selection[@]}"
  exit 0
fi

# Everything a host can reach, with the engine created, fed, processed, read
# and freed in both modes (the digest and the random call sequences) and
# every refusal; the real-recording tests are left out for time.
checks=(
  "tests/interface/c99_host"
  "tests/engine/engine_c_interface_test --gtest_brief=1 --gtest_filter=EngineCInterface.*:PublishedNumbers.*:PublishedDigest.*"
  "tests/artifacts/artifacts_c_interface_test --gtest_brief=1"
  "tests/filters/filter_c_interface_test --gtest_brief=1"
  "tests/interface/bad_input_test --gtest_brief=1"
)
for check in "${checks[@]}"; do
  echo "valgrind: $check"
  # shellcheck disable=SC2086 # the program and its arguments
  valgrind --leak-check=full --error-exitcode=1 --quiet "$build"/$check
done
echo "valgrind: no leak, no invalid access"
