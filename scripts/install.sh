#!/usr/bin/env bash
# Installs what Pelorin needs on Debian 12, builds it and starts it.
#   scripts/install.sh            install, build, start
#   scripts/install.sh --no-start install and build only
# Without a display it frames the bundled sample screenshot with `pelorin render` instead and
# prints where the result is.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_HARDENING=ON >/dev/null
cmake --build build --target pelorin pelorin-screencapture

[[ "${1:-}" == "--no-start" ]] && exit 0
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  out="$PWD/build/sample-framed.png"
  build/src/pelorin render resources/sample-screenshot.png -o "$out" --padding 64 >/dev/null
  echo "No display: framed the sample screenshot into $out"
  exit 0
fi
exec build/src/pelorin
