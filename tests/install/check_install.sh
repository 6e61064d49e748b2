#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds the C example host
# against the installed tree twice, through the CMake package and through
# pkg-config, running each result.
#   check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR C_COMPILER
set -euo pipefail
build=$1 source=$2 work=$3 cc=$4
rm -rf "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# The library is installed with its SONAME link and the program beside it.
libdir=$(dirname "$(find "$prefix" -name 'libkalo_artifacts.so.1' | head -n 1)")
[[ -n "$libdir" && -L "$libdir/libkalo_artifacts.so" ]] || { echo "library or its links missing under $prefix"; exit 1; }
[[ -x "$prefix/bin/kalo" ]] || { echo "kalo not installed"; exit 1; }
[[ -L "$libdir/libkalo_host.so" && -f "$libdir/pkgconfig/kalo_host.pc" ]] || { echo "host library or its files missing"; exit 1; }
"$prefix/bin/kalo" filters >/dev/null # finds the installed library by itself
"$prefix/bin/kalo" demo --write "$work/demo.edf" >/dev/null

example=$source/examples/engine_host.c
host_example=$source/examples/host_analyze.c
cmake -S "$source/tests/install/consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" -DEXAMPLE_SOURCE="$example" -DHOST_EXAMPLE_SOURCE="$host_example" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-build/engine_host"
LD_LIBRARY_PATH=$libdir "$work/cmake-build/host_analyze" "$work/demo.edf" | grep -q "rows; the last at 120.00 s"

export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046 # the flags are meant to split
"$cc" -std=c99 -pedantic-errors -Werror "$example" -o "$work/pkg-config-host" $(pkg-config --cflags --libs kalo_artifacts) -lm
LD_LIBRARY_PATH=$libdir "$work/pkg-config-host"
# shellcheck disable=SC2046
"$cc" -std=c99 -pedantic-errors -Werror "$host_example" -o "$work/pkg-config-host-layer" $(pkg-config --cflags --libs kalo_host)
LD_LIBRARY_PATH=$libdir "$work/pkg-config-host-layer" "$work/demo.edf" fft_window=400 | grep -q "demo.edf: 120.0 s at 250 Hz"
echo "installed tree builds hosts through CMake and pkg-config"
