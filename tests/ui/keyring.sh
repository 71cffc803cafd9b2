#!/usr/bin/env bash
# Runs the keyring tests of a test program on a private session bus that starts no service
# on demand, with gnome-keyring's Secret Service unlocked by an empty password; the tests
# stop the keyring themselves (QB_KEYRING_PID). Usage: keyring.sh <test program>
set -euo pipefail
for tool in dbus-daemon dbus-send gnome-keyring-daemon; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
. "$(dirname "${BASH_SOURCE[0]}")/e2e/workdir.sh"
. "$(dirname "${BASH_SOURCE[0]}")/e2e/private-bus.sh"
export HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# An empty line unlocks, and at first creates, the login keyring without asking anyone.
echo | gnome-keyring-daemon --foreground --unlock --components=secrets >"$work/keyring.log" 2>&1 &
keyring=$!
pids+=($keyring)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q "boolean true" && break
    sleep 0.1
done
QB_KEYRING_PID=$keyring "$1" --gtest_filter='Keyring.*'
