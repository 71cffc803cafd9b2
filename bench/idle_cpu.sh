#!/usr/bin/env bash
# Benchmark: the real program's CPU use on an X server over 20 s, with 100 unread messages
# scrolling and with none, in percent of one core (goals: under 3 % and under 1 %).
# Usage: idle_cpu.sh <build folder> [seconds]. Needs root (Dovecot) and Xvfb.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-20}
display=:91
ticks=$(getconf CLK_TCK)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 1

cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat"; }

run() { # <messages> <label>
    local work
    work=$(mktemp -d)
    cp "$build/bin/quillbar" "$work/"
    cp -r "$build/bin/Skins" "$work/"
    mkdir -p -m 700 "$work/run" "$work/tmp"
    "$build/bin/qb_e2e_server" "$work" "$1" >"$work/server.out" &
    local server=$!
    for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
    # Scroll quickly so that the measure sees many steps; no check during the measure.
    printf '[Options]\nScroll=1\nScrollDelay=1000\nScrollSpeed=500\nInterval=0\n' >>"$work/quillbar.ini"
    (cd "$work" && XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp ./quillbar >/dev/null 2>&1) &
    sleep 5
    local program
    program=$(pgrep -n -f "$work/quillbar" || pgrep -n quillbar)
    local before after
    before=$(cpu_of "$program")
    sleep "$seconds"
    after=$(cpu_of "$program")
    kill "$program" "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    awk -v t=$((after - before)) -v hz="$ticks" -v s="$seconds" -v l="$2" \
        'BEGIN { printf "%-28s %6.2f %% of one core over %d s\n", l, 100 * t / hz / s, s }'
    rm -rf "$work"
}
run 100 "100 unread, scrolling"
run 0 "no messages"
