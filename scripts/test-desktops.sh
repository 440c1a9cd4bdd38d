#!/usr/bin/env bash
# The real-desktop tests with every desktop they know: GNOME (also in CI), KDE Plasma and the tray
# icon with a StatusNotifierItem watcher. Installs the packages the CI set leaves out (about 140
# more, 40 MB), builds the tests and runs them; each desktop comes up headless on private buses.
#   scripts/test-desktops.sh [ctest options…]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
extra=(kwin-wayland xdg-desktop-portal-kde qtwayland5 haskell-status-notifier-item-utils)
missing=()
for pkg in "${extra[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_WERROR=ON -DPELORIN_HARDENING=ON >/dev/null
cmake --build build --target desktop_tests
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --test-dir build -R '^(Gnome|KdePlasma|Tray)\.' --output-on-failure "$@"
