#!/usr/bin/env bash
# Builds the release archive and the Debian package into dist/:
#   dist/Pelorin-<version>-linux-x86_64.tar.gz   one folder Pelorin/ (bin/, libexec/, share/, VERSION)
#   dist/pelorin_<version>_amd64.deb
#   scripts/package.sh [BUILD_DIR]   (default: build; configured and built when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

[[ -f "$build/CMakeCache.txt" ]] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_HARDENING=ON -DPELORIN_BUILD_TESTS=OFF -DPELORIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target pelorin pelorin-screencapture >/dev/null
build=$(cd "$build" && pwd)
version=$("$build/src/pelorin" --version)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p dist

# The archive: the install tree under a folder of its own, with the VERSION file that makes
# it an application folder the updater may replace.
cmake --install "$build" --prefix "$work/Pelorin" --strip >/dev/null
echo "$version" >"$work/Pelorin/VERSION"
archive="dist/Pelorin-$version-linux-x86_64.tar.gz"
tar -C "$work" --owner=0 --group=0 --numeric-owner --sort=name -czf "$archive" Pelorin

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >/dev/null)
mv "$work/deb/pelorin_${version}_amd64.deb" dist/
echo "$archive"
echo "dist/pelorin_${version}_amd64.deb"
