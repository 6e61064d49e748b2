#!/usr/bin/env bash
# Installs playwright-core from npm into tools/.node (ignored by git), for
# the browser test of the live dashboard. It drives Debian's chromium and
# downloads no browser of its own.
set -euo pipefail
cd "$(dirname "$0")"
if [[ -d .node/node_modules/playwright-core ]]; then
  exit 0
fi
mkdir -p .node
npm install --prefix .node --no-audit --no-fund --silent playwright-core@1.47.2
