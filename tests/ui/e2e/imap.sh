#!/usr/bin/env bash
# End-to-end IMAP: the real program under Xvfb against Dovecot's IMAP, with no timed check.
# The bar shows the unseen messages; Mark as read in the read window sets \Seen on the
# server; a message delivered meanwhile reaches the bar by push, and one that another client
# marks read leaves it. Usage: imap.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-95}
messages=2
server=qb_e2e_imap_server
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# What the server holds without \Seen, asked as another client would ask it.
unseen() {
    local before
    before=$(grep -c '^unseen:' "$work/server.out" || true)
    echo unseen >&3
    for _ in $(seq 100); do
        if [ "$(grep -c '^unseen:' "$work/server.out" || true)" -gt "$before" ]; then
            grep '^unseen:' "$work/server.out" | tail -1
            return
        fi
        sleep 0.1
    done
}
# Clicks the first message button of the bar.
open_first() {
    eval "$(xdotool getwindowgeometry --shell "$(bar_window)")"
    xdotool mousemove $((X + 150)) $((Y + HEIGHT / 2)) click 1
}

"$work/quillbar" >"$work/quillbar.log" 2>&1 &
pids+=($!)
visible "^Quillbar$" || fail "the bar did not show"
sleep 3
import -window root "$out/imap-bar.png"

open_first
visible "^1\. Test message 1" || fail "the first button did not open message 1"
read=$(find_window --onlyvisible --name "^1\. Test message")
keys_to "$read" ctrl+m
for _ in $(seq 50); do [ "$(unseen)" = "unseen: 2" ] && break; sleep 0.2; done
[ "$(unseen)" = "unseen: 2" ] || fail "Mark as read did not set \\Seen on the server ($(unseen))"
keys_to "$read" Escape

# Another client: a new message arrives, and message 2 is read elsewhere.
echo add >&3
echo "seen 2" >&3
# Checks the push connection asks for come at most every few seconds.
sleep 6
import -window root "$out/imap-bar-after-push.png"
open_first
visible "^1\. Test message 3" ||
    fail "the bar did not follow the server: $(xdotool search --onlyvisible --name '^1\. ' getwindowname 2>/dev/null || true)"
echo "IMAP: read mark on the server, new mail by push, a message read elsewhere gone"
