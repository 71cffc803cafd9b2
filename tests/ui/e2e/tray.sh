#!/usr/bin/env bash
# End-to-end status icon: the real program under Xvfb against Dovecot, with openbox and the
# XEmbed tray of trayer. Where openbox keeps the docked bar's strip the icon stays away unless
# chosen; chosen, it docks in the tray with the unread count drawn on it, a right click opens
# the bar's main menu and a click the message list. Usage: tray.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-90}
messages=3
command -v trayer >/dev/null || { echo "skipped: trayer is missing"; exit 77; }
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

trayer --edge bottom --align right --widthtype request --height 32 --tint 0x808080 \
    --transparent true --alpha 0 >"$work/trayer.log" 2>&1 &
pids+=($!)
tray=""
for _ in $(seq 100); do
    tray=$(xdotool search --onlyvisible --class trayer 2>/dev/null | head -1) && [ -n "$tray" ] && break
    sleep 0.1
done
[ -n "$tray" ] || fail "trayer did not show"
# The program's window docked in the tray, if any.
icon() { xwininfo -tree -id "$tray" 2>/dev/null | awk '/"Quillbar": \("quillbar"/ { print $1; exit }'; }

start_program() {
    "$work/quillbar" >>"$work/quillbar.log" 2>&1 &
    program=$!
    visible "^Quillbar$" || fail "the bar did not show"
}
stop_program() {
    kill -TERM "$program"
    wait "$program" || fail "the program did not end cleanly"
}

# Unchosen, with a window manager that keeps the docked bar's strip: no icon.
start_program
sleep 3
[ -z "$(icon)" ] || fail "an icon docked though the bar can dock"
stop_program
grep -q "^TrayIcon=" "$work/quillbar.ini" && fail "the exit wrote a choice the user did not make"

sed -i 's/^\[Options\]$/&\nTrayIcon=1/' "$work/quillbar.ini"
start_program
for _ in $(seq 100); do [ -n "$(icon)" ] && break; sleep 0.1; done
[ -n "$(icon)" ] || fail "the chosen icon did not dock in the tray"
sleep 2
import -window root "$out/tray-icon.png"
eval "$(xdotool getwindowgeometry --shell "$(icon)")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
sleep 1
import -window root "$out/tray-menu.png"
xdotool key Escape
sleep 0.5
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
visible "^Message List$" || fail "a click on the icon did not open the message list"
stop_program
echo "status icon: none unchosen beside a docking bar; docked when chosen; menu; message list"
