#!/usr/bin/env bash
# Installs what Pelorin needs on Debian 12, builds it and starts it.
#   scripts/install.sh            install, build, start
#   scripts/install.sh --no-start install and build only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target pelorin

[[ "${1:-}" == "--no-start" ]] && exit 0
exec build/src/pelorin
