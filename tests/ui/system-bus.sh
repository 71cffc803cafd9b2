#!/usr/bin/env bash
# Runs the sleep and network tests of a test program on a private system bus where dbusmock
# plays logind and NetworkManager. Usage: system-bus.sh <test program>
set -euo pipefail
command -v dbus-daemon >/dev/null || { echo "skipped: dbus-daemon is missing"; exit 77; }
# Debian's dbusmock is for the system's Python, which a python3 of another install may not be.
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c "import dbusmock" 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "skipped: python3-dbusmock is missing"; exit 77; }
. "$(dirname "${BASH_SOURCE[0]}")/e2e/workdir.sh"
cat >"$work/system.conf" <<END
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
dbus-daemon --config-file="$work/system.conf" --nofork >/dev/null 2>&1 &
pids+=($!)
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus
for _ in $(seq 50); do [ -S "$work/system_bus" ] && break; sleep 0.1; done
for template in logind networkmanager; do
    "$python" -m dbusmock --system --template "$template" >"$work/$template.log" 2>&1 &
    pids+=($!)
done
for name in org.freedesktop.login1 org.freedesktop.NetworkManager; do
    for _ in $(seq 100); do
        dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:$name 2>/dev/null |
            grep -q "boolean true" && break
        sleep 0.1
    done
done
QB_MOCK_SYSTEM_BUS=1 "$1" --gtest_filter='SleepAndNetwork.*'
