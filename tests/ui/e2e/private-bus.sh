# Shared by the test scripts: a bus of our own in $work that starts no service on demand (a
# service is there only once the test starts it) and lets dbus-monitor watch every call.
# Source it after workdir.sh: it starts a session bus and exports DBUS_SESSION_BUS_ADDRESS;
# with QB_BUS_TYPE=system set before, a system bus and DBUS_SYSTEM_BUS_ADDRESS instead.
bus_type=${QB_BUS_TYPE:-session}
cat >"$work/$bus_type.conf" <<END
<busconfig>
  <type>$bus_type</type>
  <listen>unix:path=$work/${bus_type}_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
dbus-daemon --config-file="$work/$bus_type.conf" --nofork >/dev/null 2>&1 &
pids+=($!)
if [ "$bus_type" = system ]; then
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus
else
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/session_bus
fi
for _ in $(seq 50); do [ -S "$work/${bus_type}_bus" ] && break; sleep 0.1; done
