#!/usr/bin/env bash
# End-to-end desktop notifications: the real program under Xvfb against Dovecot's IMAP, on a
# private session bus watched by dbus-monitor. Without a notification service, and without
# any session bus, new mail shows nothing and the program runs on. With dunst: the messages of
# the first check come as one notification whose markup stays text, and its click opens the
# message list; one message later names its sender decoded and replaces it, its click opens
# the message, "Mark as read" in dunst's menu sets \Seen on the server and "Delete" removes
# the message after the usual question; a notification is taken down when another client
# reads its message and when the program ends.
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

# The number of the notification last shown, and the numbers the program took down.
last_id() { notify_calls | awk '$1 == "id" { id = $2 } END { print id }'; }
closed_ids() { awk '/^method call .*member=CloseNotification$/ { getline; print $2 }' "$work/monitor.log"; }
# Waits for the count-th notification the program sent.
notified() {
    wait_for "[ \"\$(notify_calls | grep -c '^id')\" -ge $1 ]" || fail "no notification $1"
}
# The UIDs the server holds without \Seen, asked as another client would ask it.
unseen() {
    local before
    before=$(grep -c '^unseen:' "$work/server.out" || true)
    echo unseen >&3
    wait_for "[ \"\$(grep -c '^unseen:' \"$work/server.out\")\" -gt $before ]"
    grep '^unseen:' "$work/server.out" | tail -1
}

# The first check brings three messages: one notification, whose click opens the list.
echo 'add <b>Big</b> & "sale" <a href="x">now</a>' >&3
start_program
wait_for 'shown 1' || fail "no notification of the unread mail"
grep -qF 'string "3 new messages in Home"' "$work/monitor.log" ||
    fail "the messages of one check are not one notification"
grep -qF '&lt;b&gt;Big&lt;/b&gt; &amp; &quot;sale&quot;' "$work/monitor.log" ||
    fail "the subject's markup was not made text"
dunstctl action 0
visible "^Message List$" || fail "a click on the notification did not open the message list"
wait_for 'shown 0' || fail "the notification stayed up after its click"

# One message, from a name in encoded words: the name decoded, and its own actions.
echo 'from =?UTF-8?Q?Zo=C3=AB_=C3=98rsted?= <zoe@example.dk>' >&3
echo "add Second check" >&3
notified 2
wait_for 'shown 1' || fail "the notification of one message is not shown"
grep -qF 'string "Zoë Ørsted"' "$work/monitor.log" || fail "the sender's name is not decoded"
grep -qF 'string "mark-read"' "$work/monitor.log" || fail "the notification has no Mark as read"
sleep 0.5
import -window root "$out/notify-dunst.png"

# A later check replaces the notification it shows.
second_id=$(last_id)
echo "add Third check" >&3
notified 3
[ "$(notify_calls | awk '$1 == "replaces" { r = $2 } END { print r }')" = "$second_id" ] ||
    fail "the third notification did not replace the second: $(notify_calls)"
sleep 0.5
shown 1 || fail "the third notification was added beside the second"
dunstctl action 0
visible "^[0-9]+\. Third check" || fail "a click on the notification did not open its message"

# "Mark as read" in dunst's menu sets \Seen on the server (the sixth message).
echo "add Fourth check" >&3
notified 4
echo "mark as read" >"$work/choice"
dunstctl context
for _ in $(seq 50); do
    left=$(unseen)
    [[ " $left " == *" 6 "* ]] || break
    sleep 0.2
done
[[ " $left " == *" 6 "* ]] && fail "Mark as read did not reach the server: $left"
echo "after Mark as read on message 6, the server's $left"

# Read by another client: the program takes its notification down.
echo "add Fifth check" >&3
notified 5
fifth_id=$(last_id)
echo "seen 7" >&3
wait_for 'closed_ids | grep -qx "$fifth_id"' ||
    fail "the notification stayed up after another client read its message"
wait_for 'shown 0' || fail "dunst still shows the notification of a message read elsewhere"

# "Delete" in dunst's menu asks, then removes that message (the eighth) from the server.
echo "add Doomed" >&3
notified 6
echo delete >"$work/choice"
dunstctl context
box=$(find_window --onlyvisible --name "^Delete message$")
[ -n "$box" ] || fail "Delete did not ask before removing the message"
keys_to "$box" alt+y
for _ in $(seq 50); do
    echo count >&3
    sleep 0.2
    [ "$(grep '^count:' "$work/server.out" | tail -1)" = "count: 7" ] && break
done
[ "$(grep '^count:' "$work/server.out" | tail -1)" = "count: 7" ] ||
    fail "Delete did not remove the message: $(grep '^count:' "$work/server.out" | tail -1)"
echo "after Delete on message 8, the server's $(grep '^count:' "$work/server.out" | tail -1)"

# Up at the end: taken down as the program ends.
echo "add Sixth check" >&3
notified 7
wait_for 'shown 1' || fail "no notification of the sixth message"
sixth_id=$(last_id)
stop_program
closed_ids | grep -qx "$sixth_id" || fail "the notification stayed up after the program ended"
wait_for 'shown 0' || fail "dunst still shows a notification of the ended program"
cp "$work/monitor.log" "$out/notify-monitor.log"
echo "notifications: none without a service or a bus; one for several, list, sender's name," \
    "replacement, open, mark as read, delete, taken down when read elsewhere and at exit"
