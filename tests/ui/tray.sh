#!/usr/bin/env bash
# Runs the status icon tests of a test program on an X server of its own without a window
# manager, on a private session bus where sni_watcher.py is the StatusNotifierWatcher.
# Usage: tray.sh <test program>
set -euo pipefail
for tool in dbus-daemon dbus-send xvfb-run; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
# Debian's dbus and gi modules are for the system's Python, which a python3 of another
# install may not be.
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c "import dbus, gi" 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "skipped: python3-dbus or python3-gi is missing"; exit 77; }
. "$(dirname "${BASH_SOURCE[0]}")/e2e/workdir.sh"
. "$(dirname "${BASH_SOURCE[0]}")/e2e/private-bus.sh"
"$python" "$(dirname "${BASH_SOURCE[0]}")/sni_watcher.py" >"$work/watcher.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null |
        grep -q "boolean true" && break
    sleep 0.1
done
QT_QPA_PLATFORM=xcb QB_SNI_WATCHER=1 xvfb-run -a -s '-screen 0 1024x768x24' \
    "$1" --gtest_filter='TrayIcon.*' || { cat "$work/watcher.log"; exit 1; }
