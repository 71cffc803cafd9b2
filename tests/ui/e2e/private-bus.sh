# Shared by the test scripts: a session bus of our own in $work that starts no service on
# demand (a service is there only once the test starts it) and lets dbus-monitor watch every
# call. Source it after workdir.sh; it exports DBUS_SESSION_BUS_ADDRESS.
cat >"$work/bus.conf" <<END
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
dbus-daemon --config-file="$work/bus.conf" --nofork >/dev/null 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
