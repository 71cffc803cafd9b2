#!/usr/bin/env bash
# End-to-end reading: the real program under Xvfb against Dovecot. A click on the first
# message button opens the read window; Delete (confirmed) removes the message and the
# window moves on to the next one. Screenshots go to the output folder.
# Usage: read.sh <build folder> <output folder>
set -euo pipefail
for tool in Xvfb xdotool xdpyinfo import openbox; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "skipped: Dovecot needs root"; exit 77; }
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-97}
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; cp "$work"/*.log "$out/" 2>/dev/null || true; exit 1; }
visible() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

cp "$build/bin/quillbar" "$work/"
cp -r "$build/bin/Skins" "$work/"
Xvfb "$display" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
"$build/bin/qb_e2e_server" "$work" 3 >"$work/server.out" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$TMPDIR"
HOME=$work openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
"$work/quillbar" >"$work/quillbar.log" 2>&1 &
pids+=($!)
visible "^Quillbar$" || fail "the bar did not show"
sleep 3

# The first message button lies right of the menu, error and arrow buttons.
for w in $(xdotool search --name '^Quillbar$'); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -gt 100 ] && break
done
xdotool mousemove $((X + 150)) $((Y + HEIGHT / 2)) click 1
visible "^1\. .*(First message)" || fail "a click on the message button opened no read window"
sleep 1
xdotool mousemove 1000 690
import -window root "$out/read-window.png"
ls "$work/cache"/*.dat >/dev/null 2>&1 || fail "the opened message has no cache file"

# Delete, confirmed: the window then shows the message that took the first place.
first=$(xdotool search --onlyvisible --name "^1\. " | head -1)
title=$(xdotool getwindowname "$first")
xdotool windowactivate --sync "$first" key ctrl+Delete
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
