#!/usr/bin/env bash
# Benchmark: how often the real program wakes up while it has nothing to do, on an X server:
# a POP3 account whose four unread messages all fit on the bar (no scrolling, tasks window
# hidden, the next timed check minutes away), and an IMAP account waiting in IDLE. A thread
# wakes once for every time it went to sleep, so the wake-ups are the context switches of
# all its threads (/proc/<pid>/task/*/status) over the measure, given per minute for each
# thread name (threads of one name added up, the main thread apart). Goal: under 10 a
# minute in all.
# Usage: idle_wakeups.sh <build folder> [seconds, default 60]. Needs root (Dovecot) and Xvfb.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-60}
display=:92
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 1

# "<thread name> <context switches>" for every thread of the process.
switches() {
    local task name count
    for task in /proc/"$1"/task/*; do
        name=$(cat "$task/comm" 2>/dev/null) || continue
        count=$(awk '/ctxt_switches/ { n += $2 } END { print n }' "$task/status" 2>/dev/null) ||
            continue
        echo "${task##*/} ${name// /_} $count"
    done
}

run() { # <server program> <messages> <label>
    local work
    work=$(mktemp -d)
    cp "$build/bin/quillbar" "$work/"
    cp -r "$build/bin/Skins" "$work/"
    mkdir -p -m 700 "$work/run" "$work/tmp"
    # The IMAP helper ends at the end of its input: it gets a pipe held open meanwhile.
    mkfifo "$work/input"
    exec 3<>"$work/input"
    "$build/bin/$1" "$work" "$2" <&3 >"$work/server.out" &
    local server=$!
    pids+=("$server")
    for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
    # Only the account that works: a failing one would show the tasks window.
    awk '/^\[Account=Broken\]/ { skip = 1; next } /^\[/ { skip = 0 } !skip' \
        "$work/quillbar.ini" >"$work/ini" && mv "$work/ini" "$work/quillbar.ini"
    # A bar wide enough for every button; the timed check stays on, minutes away.
    printf '[Options]\nScroll=1\nWidth=1200\nIntervalCheck=1\nInterval=5\n' >>"$work/quillbar.ini"
    (cd "$work" && XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp exec ./quillbar >/dev/null 2>&1) &
    local program=$!
    pids+=("$program")
    sleep 5
    switches "$program" >"$work/before"
    sleep "$seconds"
    switches "$program" >"$work/after"
    kill -0 "$program" 2>/dev/null || { echo "$3: the program ended during the measure" >&2; exit 1; }
    kill "$program" 2>/dev/null || true
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    exec 3>&-
    printf '%s: wake-ups per minute over %d s\n' "$3" "$seconds"
    # Threads that came or went during the measure count from 0.
    awk -v s="$seconds" -v pid="$program" 'NR == FNR { was[$1] = $3; next }
        { d = $3 - was[$1]; by[$1 == pid ? "main thread" : $2] += d; all += d }
        END { for (n in by) if (by[n] > 0) printf "  %-20s %8.1f\n", n, by[n] * 60 / s
              printf "  %-20s %8.1f\n", "all threads", all * 60 / s }' \
        "$work/before" "$work/after"
    rm -rf "$work"
}
run qb_e2e_server 0 "POP3, 4 unread on the bar, idle"
run qb_e2e_imap_server 3 "IMAP in IDLE, 3 unread on the bar"
