#!/usr/bin/env bash
# Runs the keyring tests of a test program on a private session bus that starts no service
# on demand, with gnome-keyring's Secret Service unlocked by an empty password; the tests
# stop the keyring themselves (QB_KEYRING_PID). Usage: keyring.sh <test program>
set -euo pipefail
for tool in dbus-daemon dbus-send gnome-keyring-daemon; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cat >"$work/bus.conf" <<END
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
dbus-daemon --config-file="$work/bus.conf" --nofork >/dev/null 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
export HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
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
