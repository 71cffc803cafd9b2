#!/usr/bin/env bash
# End-to-end reading: the real program under Xvfb against Dovecot. A click on the first
# message button opens the read window; Delete (confirmed) removes the message and the
# window moves on to the next one. Screenshots go to the output folder.
# Usage: read.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-97}
messages=3
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

"$work/quillbar" >"$work/quillbar.log" 2>&1 &
pids+=($!)
visible "^Quillbar$" || fail "the bar did not show"
# The account with the wrong password is checked after the one with mail: its error
# opens the tasks window once the bar holds every message.
visible "^Quillbar - Current Tasks$" || fail "the checks did not end"
sleep 1

# The first message button lies right of the menu, error and arrow buttons.
eval "$(xdotool getwindowgeometry --shell "$(bar_window)")"
xdotool mousemove $((X + 150)) $((Y + HEIGHT / 2)) click 1
visible "^1\. .*(First message)" || fail "a click on the message button opened no read window"
sleep 1
xdotool mousemove 1000 690
import -window root "$out/read-window.png"
ls "$work/cache"/*.dat >/dev/null 2>&1 || fail "the opened message has no cache file"

# Delete, confirmed: the window then shows the message that took the first place.
first=$(find_window --onlyvisible --name "^1\. ")
title=$(xdotool getwindowname "$first")
keys_to "$first" ctrl+Delete
visible "^Delete message$" || fail "Delete asked nothing"
xdotool key alt+y
for _ in $(seq 100); do
    now=$(xdotool getwindowname "$first" 2>/dev/null || true)
    [ -n "$now" ] && [ "$now" != "$title" ] && [ "$now" != "Retrieving message..." ] && break
    sleep 0.1
done
[ "$now" != "$title" ] || fail "the read window did not move on after the removal"
import -window root "$out/read-after-delete.png"
echo "read window: opened, deleted, moved on ($title -> $now)"
