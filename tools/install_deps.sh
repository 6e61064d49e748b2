#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# the machine lacks. Pass --bench to add what the benchmarks need, --fuzz
# what the fuzz targets need (clang with libFuzzer and the sanitizer runtimes).
set -euo pipefail

packages=()
need() { dpkg -s "$1" >/dev/null 2>&1 || packages+=("$1"); }

need cmake
need ninja-build
need g++
need gcc
need binutils
need libgtest-dev
need python3
need pkg-config
# The kalo command-line program: arguments, formatting, JSON, EDF/BDF files.
need libcli11-dev
need libfmt-dev
need nlohmann-json3-dev
need libedf-dev
# Resampling of recordings (--resample).
need libsoxr-dev
# The Python package (python/kalo) and its tests, run by Debian's /usr/bin/python3:
# numpy and matplotlib are required; pandas, MNE (EDF files) and dask.distributed
# are optional for users and exercised by the tests.
need python3-numpy
need python3-matplotlib
need python3-pytest
need python3-pandas
need python3-mne
need python3-distributed
# kalo live: HTTP/WebSocket (Boost.Beast, header-only), the dashboard's
# charting library, and the browser test's chromium and node (playwright-core
# comes from npm through tools/install_playwright.sh).
need libboost-dev
need libjs-chart.js
need chromium
need nodejs
# The second compiler of the CI build, and valgrind for its memory checks.
need clang-14
need valgrind
if [[ "${1:-}" == "--fuzz" ]]; then
  need libclang-rt-14-dev
fi
if [[ "${1:-}" == "--bench" ]]; then
  need libbenchmark-dev
  need libfftw3-dev
fi

if ((${#packages[@]})); then
  echo "installing: ${packages[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${packages[@]}"
fi
# playwright-core for the browser test of the live dashboard, when npm is there.
if command -v npm >/dev/null 2>&1; then
  "$(dirname "$0")/install_playwright.sh" || echo "playwright-core could not be installed: the browser test will be skipped"
fi
