#!/usr/bin/env bash
# End-to-end run: the real program under Xvfb against Dovecot. One account has unread
# mail, one a wrong password; screenshots of the bar, the message list and the tasks
# window go to the output folder. Usage: run.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-98}
messages=2
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The global hot key on this X server, before the program holds it.
"$build/bin/qb_gui_tests" --gtest_filter='HotKey.*' >"$work/hotkey.log" 2>&1 ||
    fail "the hot key test failed"
grep -q "\[       OK \] HotKey\|built without X11" "$work/hotkey.log" ||
    fail "the hot key test did not run"

"$work/quillbar" >"$work/quillbar.log" 2>&1 &
quillbar=$!
pids+=($quillbar)

# The check of both accounts ends within seconds; the wrong password opens the tasks window.
visible "^Quillbar - Current Tasks$" || fail "the tasks window did not open"
sleep 2
import -window root "$out/bar-and-tasks.png"

# The bar's right drop-down button (left of the size grip) opens the message list.
bar=$(bar_window)
[ -n "$bar" ] || fail "the bar is not visible"
eval "$(xdotool getwindowgeometry --shell "$bar")"
xdotool mousemove $((X + WIDTH - 16)) $((Y + HEIGHT / 2)) click 1
visible "^Message List$" || fail "the message list did not open"
sleep 1
import -window root "$out/message-list.png"

# Escape closes the list and the tasks window as a user would.
for name in "^Message List$" "^Quillbar - Current Tasks$"; do
    w=$(find_window --onlyvisible --name "$name")
    [ -n "$w" ] && keys_to "$w" Escape
done
sleep 0.5

workarea_top() { xprop -root _NET_WORKAREA | sed 's/.*= //' | cut -d, -f2 | tr -d ' '; }
bar_y() {
    for _ in $(seq 20); do
        w=$(bar_window)
        [ -n "$w" ] && geometry=$(xdotool getwindowgeometry --shell "$w" 2>/dev/null) && {
            eval "$geometry"
            echo "$Y"
            return
        }
        sleep 0.1
    done
    echo 9999
}
# Ctrl+drag of the move grip to the top keeps the bar floating.
for _ in $(seq 100); do
    before=$(workarea_top)
    [[ "$before" =~ ^[0-9]+$ ]] && break
    sleep 0.1
done
[[ "$before" =~ ^[0-9]+$ ]] || fail "the window manager gives no work area"
drag_to_top() {
    eval "$(xdotool getwindowgeometry --shell "$(bar_window)")"
    xdotool mousemove $((X + 3)) $((Y + HEIGHT / 2)) mousedown 1
    for step in 1 2 3 4 5; do xdotool mousemove $((X + 3 + step * 40)) $((Y + HEIGHT / 2 - step * (Y + HEIGHT / 2 - 1) / 5)); sleep 0.1; done
    xdotool mouseup 1
    sleep 1
}
xdotool keydown ctrl
drag_to_top
xdotool keyup ctrl
[ "$(workarea_top)" = "$before" ] || fail "a Ctrl+drag docked the bar"
# A plain drag to the top docks it across the top: the work area starts below it.
drag_to_top
for _ in $(seq 100); do [ "$(workarea_top)" != "$before" ] && break; sleep 0.1; done
[ "$(workarea_top)" -gt "$before" ] || fail "the work area did not shrink for the docked bar"
for _ in $(seq 50); do [ "$(bar_y)" -eq 0 ] && break; sleep 0.1; done
[ "$(bar_y)" -eq 0 ] || fail "the docked bar is not at the top"
import -window root "$out/bar-docked.png"
# Dragged away from the top it floats again, its top centre under the pointer.
eval "$(xdotool getwindowgeometry --shell "$(bar_window)")"
xdotool mousemove $((X + 3)) $((HEIGHT / 2)) mousedown 1
for step in 1 2 3 4 5; do xdotool mousemove 500 $((step * 60)); sleep 0.1; done
xdotool mouseup 1
sleep 1
for _ in $(seq 50); do [ "$(bar_y)" -eq 300 ] && break; sleep 0.1; done
[ "$(bar_y)" -eq 300 ] || fail "the bar did not float with its top at the pointer"
for _ in $(seq 50); do [ "$(workarea_top)" = "$before" ] && break; sleep 0.1; done
[ "$(workarea_top)" = "$before" ] || fail "the work area stayed reduced for a floating bar"
# Back to the top for the rest of the run.
drag_to_top

# A right click on the first message and "Mark as read": the mark reaches the settings.
eval "$(xdotool getwindowgeometry --shell "$(bar_window)")"
xdotool mousemove 150 $((HEIGHT / 2)) click 3
sleep 0.5
xdotool key m
for _ in $(seq 100); do grep -q "^X0=" "$work/quillbar.ini" && break; sleep 0.1; done
grep -q "^X0=" "$work/quillbar.ini" || fail "Mark as read from the button menu saved no mark"

# The hot key opens the main menu, drawn in the skin's colours; its Exit ends the
# program with the settings saved.
xdotool mousemove 500 400
xdotool key super+t
sleep 1
import -window root "$out/main-menu.png"
xdotool key x
for _ in $(seq 100); do kill -0 "$quillbar" 2>/dev/null || break; sleep 0.1; done
kill -0 "$quillbar" 2>/dev/null && fail "Exit in the main menu did not end the program"
wait "$quillbar" || true
grep -q "^Edge=1" "$work/quillbar.ini" || fail "the docked edge was not saved"

# Auto-hide: the saved edge docks the bar at the start; away from the pointer it slides to
# its strip, and touching the strip brings it back.
sed -i 's/^AutoHide=.*/AutoHide=1/' "$work/quillbar.ini"
grep -q "^AutoHide=1" "$work/quillbar.ini" || fail "no AutoHide key to turn on"
"$work/quillbar" >>"$work/quillbar.log" 2>&1 &
quillbar=$!
pids+=($quillbar)
visible "^Quillbar$" || fail "the bar did not come back"
# New mail keeps the bar in view until the pointer has passed over it once.
sleep 3
xdotool mousemove 500 5
sleep 0.5
xdotool mousemove 500 400
# Slow (sanitized) builds slide in fewer, later frames: wait for the strip itself.
for _ in $(seq 100); do [ "$(bar_y)" -lt -10 ] && break; sleep 0.1; done
[ "$(bar_y)" -lt -10 ] || fail "the auto-hidden bar did not slide away"
sleep 1
import -window root "$out/bar-hidden.png"
xdotool mousemove 500 0
for _ in $(seq 100); do [ "$(bar_y)" -eq 0 ] && break; sleep 0.1; done
[ "$(bar_y)" -eq 0 ] || fail "touching the strip did not bring the bar back"

kill "$quillbar"
wait "$quillbar" || true
cp "$work/quillbar.ini" "$out/quillbar.ini"
echo "screenshots in $out"
