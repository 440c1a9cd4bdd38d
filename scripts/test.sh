#!/usr/bin/env bash
# Installs what the build and the tests need, builds everything and runs every test; then
# the tests that need no OpenGL once more under AddressSanitizer and UndefinedBehaviorSanitizer,
# and each fuzz target briefly on its corpus.
#
#   scripts/test.sh [ctest options…]      PELORIN_SKIP_SANITIZERS=1 leaves out the last two.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_WERROR=ON -DPELORIN_HARDENING=ON >/dev/null
cmake --build build
# GUI tests need an X server; everything else runs offscreen or without any display.
# -noreset: an X server that resets whenever its last client leaves refuses the next one
# for a moment, which failed random GUI tests started at that instant.
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --test-dir build --output-on-failure -j2 "$@"

# The release files: the archive and the Debian package, their desktop entry and metadata
# validated, and the packaged program run without a display.
scripts/package.sh build >/dev/null
version=$(build/src/pelorin --version)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg -x "dist/pelorin_${version}_amd64.deb" "$unpacked/deb"
desktop-file-validate "$unpacked/deb/usr/share/applications/app.pelorin.Pelorin.desktop"
appstreamcli validate --no-net "$unpacked/deb/usr/share/metainfo/app.pelorin.Pelorin.metainfo.xml" >/dev/null
grep -q "<release version=\"$version\"" "$unpacked/deb/usr/share/metainfo/app.pelorin.Pelorin.metainfo.xml"
test ! -e "$unpacked/deb/usr/VERSION"
# Debian's own checks: no errors, no warnings (the changelog's version is the package's).
lintian --fail-on error,warning "dist/pelorin_${version}_amd64.deb"
zcat "$unpacked/deb/usr/share/doc/pelorin/changelog.gz" | head -1 | grep -q "^pelorin ($version)"
zcat "$unpacked/deb/usr/share/man/man1/pelorin.1.gz" | grep -q -- '--capture-window'
test -f "$unpacked/deb/usr/share/bash-completion/completions/pelorin"
test -f "$unpacked/deb/usr/share/zsh/vendor-completions/_pelorin"
tar -xzf "dist/Pelorin-${version}-linux-x86_64.tar.gz" -C "$unpacked"
test "$(cat "$unpacked/Pelorin/VERSION")" = "$version"
# Both trees: bin/pelorin is the launcher, free of Qt, and hands other commands to the
# program beside the capture tool in libexec/pelorin/.
for prefix in "$unpacked/deb/usr" "$unpacked/Pelorin"; do
  test -x "$prefix/libexec/pelorin/pelorin-app"
  test -x "$prefix/libexec/pelorin/pelorin-render"
  # render starts light: none of the app's heavy libraries are loaded for it.
  if ldd "$prefix/libexec/pelorin/pelorin-render" | grep -E 'libtesseract|libopencv|libQt6Widgets|libQt6Network|libqt6keychain'; then
    echo "$prefix/libexec/pelorin/pelorin-render loads libraries it does not use" >&2; exit 1
  fi
  test -x "$prefix/libexec/pelorin/pelorin-screencapture"
  test ! -e "$prefix/bin/pelorin-screencapture"
  if ldd "$prefix/bin/pelorin" | grep libQt6; then echo "$prefix/bin/pelorin loads Qt" >&2; exit 1; fi
  test "$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/pelorin" --version)" = "$version"
  grep -q "^Usage: pelorin render" <<<"$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/pelorin" render --help)"
done
echo "Release files in dist/ checked"

if [ -n "${PELORIN_SKIP_SANITIZERS:-}" ]; then
    exit 0
fi

# Mesa's llvmpipe is not built for the sanitizers, so only the programs without OpenGL run
# here: the core, platform, upload and cloud layers (the launcher the completions test calls
# is not built here either).
sanitized_tests=(core_tests platform_tests upload_tests cloud_tests)
start=$SECONDS
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_SANITIZE=ON \
    -DPELORIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --target "${sanitized_tests[@]}"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j2 -E '_NOT_BUILT$|^completions$'
echo "sanitizer build and tests: $((SECONDS - start)) s"

start=$SECONDS
scripts/fuzz.sh "${PELORIN_FUZZ_SECONDS:-20}"
echo "fuzzing: $((SECONDS - start)) s"
