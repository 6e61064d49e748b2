#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs them.
#   tools/fuzz.sh TARGET [--minutes N | --seconds N]   one target (default: 10 minutes)
#   tools/fuzz.sh all [--minutes N | --seconds N]      every target in turn, each for that long
# Targets: coefficient_text filter_by_param detector engine board_text brainvision.
# The growing corpus lives in $BUILD/corpus/TARGET (seeded from fuzz/corpus/TARGET),
# findings in $BUILD/findings/TARGET/. A finding stops the run with a non-zero
# exit: fix the library, then add the input to fuzz/regressions/TARGET/,
# which every test run replays. KALO_FUZZ_BUILD names the build folder
# (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(coefficient_text filter_by_param detector engine board_text brainvision)
usage() { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

[[ $# -ge 1 ]] || usage
target=$1
shift
seconds=600
while [[ $# -gt 0 ]]; do
  case $1 in
    --minutes) seconds=$(( $2 * 60 )); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) usage ;;
  esac
done
if [[ $target == all ]]; then
  selected=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $target "* ]]; then
  selected=("$target")
else
  usage
fi

tools/install_deps.sh --fuzz
build=${KALO_FUZZ_BUILD:-build-fuzz}
# A folder of its own builds only what fuzzing needs; CI points this script
# at its clang build (tools/test.sh --clang), which has the tests as well.
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
         -DKALO_FUZZ=ON -DKALO_WERROR=ON)
[[ -f $build/CMakeCache.txt ]] || options+=(-DKALO_BUILD_TESTS=OFF)
cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" --parallel --target "${selected[@]/#/fuzz_}"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for name in "${selected[@]}"; do
  corpus=$build/corpus/$name findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  echo "fuzzing $name for $seconds s"
  # Every committed input first (the seeds and the regressions), then new ones.
  inputs=("$corpus" fuzz/corpus/$name)
  [[ -d fuzz/regressions/$name ]] && inputs+=(fuzz/regressions/$name)
  log=$build/fuzz_$name.log
  if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=120 -print_final_stats=1 \
      -artifact_prefix="$findings/" "${inputs[@]}" >"$log" 2>&1; then
    grep -v -e '^#' -e '^INFO' "$log" | tail -40
    echo "fuzz_$name found a failure; the input is in $findings/" >&2
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  echo "fuzz_$name: $executions executions in $seconds s, $coverage, no failure"
done
