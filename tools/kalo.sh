#!/usr/bin/env bash
# Builds the kalo program (installing missing Debian packages first) and runs
# it with the given arguments, e.g.
#   tools/kalo.sh demo
#   tools/kalo.sh analyze recording.edf --left O1 --right O2
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install_deps.sh" >&2
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target kalo >/dev/null
exec "$root/build/cli/kalo" "$@"
