#!/usr/bin/env bash
# The day-long stream: builds the soak program (tools/soak.cpp) in
# build-soak/ and runs it; it simulates 24 hours of 250 Hz bipolar EEG in
# well under a minute and prints its counts, resident memory and time.
# Not part of tools/test.sh or CI.
#   tools/soak.sh              24 simulated hours
#   tools/soak.sh --hours H    a shorter or longer day
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_deps.sh
cmake -S . -B build-soak -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALO_BUILD_SOAK=ON \
  -DKALO_BUILD_TESTS=OFF -DKALO_WERROR=ON >/dev/null
cmake --build build-soak --parallel --target kalo_soak
start=$(date +%s%N)
build-soak/kalo_soak "$@"
echo "wall time      $(( ($(date +%s%N) - start) / 1000000 )) ms"
