#!/usr/bin/env bash
# Installs what the build and the tests need, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_WERROR=ON >/dev/null
cmake --build build
# GUI tests need an X server; everything else runs offscreen or without any display.
xvfb-run -a -s "-screen 0 1920x1080x24" ctest --test-dir build --output-on-failure -j2 "$@"
