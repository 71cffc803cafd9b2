#!/usr/bin/env bash
# End-to-end run: the real program under Xvfb against Dovecot. One account has unread
# mail, one a wrong password; screenshots of the bar, the message list and the tasks
# window go to the output folder. Usage: run.sh <build folder> <output folder>
set -euo pipefail
# Skipped (77) where the tools or the rights for Dovecot are missing.
for tool in Xvfb xdotool xdpyinfo import openbox; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "skipped: Dovecot needs root"; exit 77; }
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-98}
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
Xvfb "$display" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
"$build/bin/qb_e2e_server" "$work" 5 >"$work/server.out" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# On the X server, whatever the test run's platform; a lock of its own, so that other
# copies started by other tests do not make this one a second instance.
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$TMPDIR"
HOME=$work openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
# A window manager that comes up after a window is shown takes it over midway.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
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
# A window that closes while xdotool looks at it makes xdotool fail: look again.
bar=""
for _ in $(seq 50); do
    bar=$(xdotool search --onlyvisible --name "^Quillbar$" 2>/dev/null | head -1) || true
    [ -n "$bar" ] && break
    sleep 0.1
done
[ -n "$bar" ] || fail "the bar is not visible"
eval "$(xdotool getwindowgeometry --shell "$bar")"
xdotool mousemove $((X + WIDTH - 16)) $((Y + HEIGHT / 2)) click 1
visible "^Message List$" || fail "the message list did not open"
sleep 1
import -window root "$out/message-list.png"

kill "$quillbar"
wait "$quillbar" || true
cp "$work/quillbar.ini" "$out/quillbar.ini"
echo "screenshots in $out"
