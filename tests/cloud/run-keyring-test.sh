#!/usr/bin/env bash
# Runs a test program against a real Secret Service: a private D-Bus session bus with
# gnome-keyring's secrets component, its login keyring unlocked by a password on standard
# input (a locked keyring refuses writes). Usage: run-keyring-test.sh PROGRAM [ARGS...]
set -euo pipefail

if [[ "${1:-}" != "--inside" ]]; then
  exec dbus-run-session -- "$0" --inside "$@"
fi
shift

# A home of its own, so the keyring files of this run touch nobody else's.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config"
export XDG_RUNTIME_DIR="$home/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

eval "$(printf 'test-password' | gnome-keyring-daemon --unlock --components=secrets)"
export GNOME_KEYRING_CONTROL
PELORIN_KEYRING_SESSION=1 "$@"
