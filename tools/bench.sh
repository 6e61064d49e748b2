#!/usr/bin/env bash
# Builds the benchmarks in an optimised build of their own (build-bench/) and
# runs every one of them. Extra arguments go to each benchmark, e.g.
#   tools/bench.sh --benchmark_filter=512
# On a busy machine, repeat and read the fastest repetition ("_min"):
#   tools/bench.sh --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_deps.sh --bench

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALO_BUILD_BENCH=ON -DKALO_BUILD_TESTS=OFF
cmake --build build-bench --parallel

shopt -s nullglob
benchmarks=(build-bench/bench/*_bench)
if ((${#benchmarks[@]} == 0)); then
  echo "no benchmark was built" >&2
  exit 1
fi
for benchmark in "${benchmarks[@]}"; do
  echo "== ${benchmark##*/}"
  "$benchmark" "$@"
done
