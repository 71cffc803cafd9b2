# A private system bus where dbusmock plays logind and NetworkManager, for the sleep and
# network tests. Source it with work and pids set; it exports DBUS_SYSTEM_BUS_ADDRESS and
# sets python, the interpreter that has dbusmock. Skipped (77) where dbus-daemon or dbusmock
# is missing.
command -v dbus-daemon >/dev/null || { echo "skipped: dbus-daemon is missing"; exit 77; }
# Debian's dbusmock is for the system's Python, which a python3 of another install may not be.
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c "import dbusmock" 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "skipped: python3-dbusmock is missing"; exit 77; }
QB_BUS_TYPE=system . "$(dirname "${BASH_SOURCE[0]}")/private-bus.sh"
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
# What logind sends before a sleep (true) and after the wake (false).
mock_sleep() {
    "$python" - "$1" <<'END'
import sys, dbus
login = dbus.SystemBus().get_object("org.freedesktop.login1", "/org/freedesktop/login1")
login.EmitSignal("org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                 [sys.argv[1] == "true"], dbus_interface="org.freedesktop.DBus.Mock")
END
}
# NetworkManager's state: 20 disconnected, 70 connected with full reach.
mock_network() {
    "$python" - "$1" <<'END'
import sys, dbus
manager = dbus.SystemBus().get_object("org.freedesktop.NetworkManager", "/org/freedesktop")
manager.SetGlobalConnectionState(dbus.UInt32(int(sys.argv[1])),
                                 dbus_interface="org.freedesktop.DBus.Mock")
END
}
