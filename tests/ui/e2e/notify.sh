#!/usr/bin/env bash
# End-to-end desktop notifications: the real program under Xvfb against Dovecot's IMAP, on a
# private session bus watched by dbus-monitor. Without a notification service, and without
# any session bus, new mail shows nothing and the program runs on. With dunst, the unread
# mail comes as one notification whose markup stays text; a later check replaces it; "Open"
# and "Mark all read", chosen in dunst's own menu, reach the program.
# Usage: notify.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-91}
messages=2
server=qb_e2e_imap_server
for tool in dbus-daemon dbus-monitor dunst dunstctl; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

printf '[Options]\nNotify=1\n' >>"$work/quillbar.ini"
. "$(dirname "${BASH_SOURCE[0]}")/private-bus.sh"
dbus-monitor >"$work/monitor.log" 2>&1 &
pids+=($!)
sleep 0.5

# Each Notify call as "replaces <id>", each answer to one as "id <id>", in bus order.
notify_calls() {
    awk '/^method call .*member=Notify$/ {
             match($0, / serial=[0-9]+/); serial[substr($0, RSTART + 8, RLENGTH - 8)] = 1
             getline; getline; print "replaces", $2 }
         /^method return .*reply_serial=/ {
             match($0, /reply_serial=[0-9]+/); s = substr($0, RSTART + 13, RLENGTH - 13)
             if (s in serial) { getline; print "id", $2 } }' "$work/monitor.log"
}
wait_for() {
    for _ in $(seq 150); do eval "$1" && return 0; sleep 0.1; done
    return 1
}
start_program() {
    "$work/quillbar" >>"$work/quillbar.log" 2>&1 &
    program=$!
    visible "^Quillbar$" || fail "the bar did not show"
}
stop_program() {
    kill -0 "$program" 2>/dev/null || fail "the program ended by itself"
    kill -TERM "$program"
    wait "$program" || fail "the program did not end cleanly"
}

# No service: the program asks, hears that there is none, and runs on.
start_program
wait_for 'grep -q "ServiceUnknown" "$work/monitor.log"' || fail "the program never asked for the service"
sleep 1
stop_program
[ -z "$(notify_calls)" ] || fail "a notification was sent without a service"
# No session bus at all.
DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus start_program
sleep 3
stop_program
grep -i "dbus" "$work/quillbar.log" && fail "the program complained of the missing bus"

# dunst, whose menu chooses the action named in the file choice.
printf '#!/bin/sh\ngrep -i -m1 -F "$(cat %s/choice)"\n' "$work" >"$work/pick"
chmod +x "$work/pick"
cat >"$work/dunstrc" <<EOF
[global]
    dmenu = $work/pick
    font = DejaVu Sans 10
    width = 420
    origin = top-right
    offset = 10x40
[urgency_normal]
    timeout = 0
EOF
HOME=$work dunst -config "$work/dunstrc" >"$work/dunst.log" 2>&1 &
pids+=($!)
wait_for 'dunstctl count displayed >/dev/null 2>&1' || fail "dunst did not start"
shown() { [ "$(dunstctl count displayed)" = "$1" ]; }

echo 'add <b>Big</b> & "sale" <a href="x">now</a>' >&3
start_program
wait_for 'shown 1' || fail "no notification of the unread mail"
grep -qF 'string "3 unread messages"' "$work/monitor.log" || fail "the count is not in the notification"
grep -qF '&lt;b&gt;Big&lt;/b&gt; &amp; &quot;sale&quot;' "$work/monitor.log" ||
    fail "the subject's markup was not made text"
sleep 0.5
import -window root "$out/notify-dunst.png"

# A later check replaces the notification it shows.
echo "add Second check" >&3
wait_for '[ "$(notify_calls | grep -c replaces)" -ge 2 ]' || fail "no notification after the second check"
calls=$(notify_calls)
first_id=$(echo "$calls" | awk '$1 == "id" { print $2; exit }')
[ "$(echo "$calls" | awk '$1 == "replaces" { print $2 }' | head -2 | tr '\n' ' ')" = "0 $first_id " ] ||
    fail "the second notification did not replace the first: $calls"
sleep 0.5
shown 1 || fail "the second notification was added beside the first"
grep -qF 'string "4 unread messages"' "$work/monitor.log" || fail "the count did not follow"

echo open >"$work/choice"
dunstctl context
visible "^[0-9]+\. Second check" || fail "Open did not show the newest message"

echo "add Third check" >&3
wait_for '[ "$(notify_calls | grep -c "^id")" -ge 3 ]' || fail "no notification of the third message"
echo mark >"$work/choice"
dunstctl context
for _ in $(seq 50); do
    echo unseen >&3
    sleep 0.2
    [ "$(grep '^unseen:' "$work/server.out" | tail -1)" = "unseen:" ] && break
done
[ "$(grep '^unseen:' "$work/server.out" | tail -1)" = "unseen:" ] ||
    fail "Mark all read did not reach the server: $(grep '^unseen:' "$work/server.out" | tail -1)"
stop_program
cp "$work/monitor.log" "$out/notify-monitor.log"
echo "notifications: none without a service or a bus; count, text, replacement, Open, Mark all read"
