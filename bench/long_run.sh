#!/usr/bin/env bash
# Benchmark: a week in fast motion. The real program runs on an X server of its own against
# Dovecot on loopback (bench/long_run_server.cpp), with a POP3 account and an IMAP account
# (push), checking every minute, while a script of trouble repeats: mail delivered to both
# every 10 s, messages read and deleted by another client, connections dropped by the
# server, the server stopped for half a minute, logins refused for a minute and more, and the
# wall clock jumping ahead three minutes (libfaketime, which counts as a wake). After each
# trouble it prints how long a message then delivered takes to reach the bar. It prints the
# program's resident memory, descriptors and threads at the start (after the first check)
# and at the end (after the trouble and one more check), and whether every message the
# servers hold unread is on the bar exactly once. Exits 1 when a figure grew beyond its
# bound (memory +20%, descriptors or threads +2) or a message was lost or shown twice.
# Usage: long_run.sh <build folder> [minutes, default 60]. Needs root (Dovecot) and Xvfb.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
minutes=${2:-60}
display=:${QB_LONG_RUN_DISPLAY:-97}
work=$(mktemp -d /tmp/qb-long-run.XXXXXX)
pids=()
server=
cleanup() {
    # The server ends at the end of its input, and then removes Dovecot's folder too.
    exec 3>&- 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "${server:-0}" 2>/dev/null || break; sleep 0.1; done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${QB_LONG_RUN_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
note() { echo "$(date -u +%H:%M:%S) $*"; }

faketime=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -1 || true)
if [ -z "$faketime" ]; then
    apt-get install -y faketime >/dev/null 2>&1 || true
    faketime=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -1 || true)
fi
[ -n "$faketime" ] || note "libfaketime is missing: the clock will not jump"

while [ -e "/tmp/.X${display#:}-lock" ]; do display=:$((${display#:} + 1)); done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

cp "$build/bin/quillbar" "$work/"
cp -r "$build/bin/Skins" "$work/"
mkdir -p -m 700 "$work/run" "$work/tmp"
# Messages are numbered from 1 in both mailboxes: the first ones, then one a delivery.
first=20
mkfifo "$work/server.in"
exec 3<>"$work/server.in"
"$build/bin/long_run_server" "$work" "$first" <"$work/server.in" >"$work/server.out" 2>&1 3>&- &
server=$!
pids+=("$server")
for _ in $(seq 300); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$work/server.out" || { cat "$work/server.out"; exit 1; }
# Every command waits for the server's "done", so that the steps keep their order.
added=$first
send() {
    local before
    [ "$1" != add ] || added=$((added + 1))
    before=$(grep -c "^done $1\$" "$work/server.out" || true)
    echo "$1" >&3
    for _ in $(seq 600); do
        [ "$(grep -c "^done $1\$" "$work/server.out" || true)" -gt "$before" ] && return
        sleep 0.1
    done
    note "the server did not finish '$1'"
}
printf '[Options]\nScroll=1\nWidth=1200\nIntervalCheck=1\nInterval=1\n' >>"$work/quillbar.ini"

# The clock's lead, in seconds, read by libfaketime from a file it looks at every second;
# the monotonic clock stays true, so a change is a jump.
echo "+0" >"$work/clock"
(
    cd "$work"
    if [ -n "$faketime" ]; then
        export LD_PRELOAD=$faketime FAKETIME_TIMESTAMP_FILE=$work/clock \
            FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME_CACHE_DURATION=1
    fi
    # Without the server's pipe: the server ends when the pipe's last writer closes it.
    HOME=$work XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp exec ./quillbar >"$work/quillbar.log" 2>&1 3>&-
) &
program=$!
pids+=("$program")

figures() { # <label>: resident KiB, descriptors, threads
    local rss fds threads
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$program/status")
    fds=$(ls "/proc/$program/fd" | wc -l)
    threads=$(ls "/proc/$program/task" | wc -l)
    echo "$rss $fds $threads" >"$work/$1"
    for fd in "/proc/$program/fd/"*; do readlink "$fd"; done | sort >"$work/$1.fds" || true
    note "$1: VmRSS $rss KiB, $fds descriptors, $threads threads"
}
alive() { kill -0 "$program" 2>/dev/null || { note "the program ended"; exit 1; }; }

# The first check of both accounts and the IDLE of the IMAP one settle.
sleep 30
alive
figures start

# After trouble ends: the seconds until a message delivered then is on the bar of the first
# account (as a rule the IMAP one, by push) and of both (the POP3 one at its timed check).
recovered() { # <what ended>
    local start subject=$((added + 1)) shown first=""
    start=$(date +%s%N)
    send add
    for _ in $(seq 1500); do
        shown=$( (grep -rlwF -- "Test message $subject" "$work/cache" --include='*.dat' 2>/dev/null ||
            true) | wc -l)
        [ "$shown" -ge 1 ] && [ -z "$first" ] && first=$(($(date +%s%N) - start))
        [ "$shown" -ge 2 ] && break
        sleep 0.1
    done
    note "$1: the bar is right $(awk -v f="${first:-0}" -v n="$(($(date +%s%N) - start))" \
        'BEGIN { printf "%.1f s later for one account, %.1f s for both", f / 1e9, n / 1e9 }')"
}
deliver() { # <seconds>: a message to each account every 10 s
    local i
    for ((i = 0; i < $1; i += 10)); do
        send add
        sleep 10
        alive
    done
}
lead=0
step() {
    [ "$(date +%s)" -lt "$end" ] || return 1
    note "$*"
}
end=$(($(date +%s) + minutes * 60))
cycle=0
while [ "$(date +%s)" -lt "$end" ]; do
    cycle=$((cycle + 1))
    figures "cycle-$cycle"
    deliver 20
    step "another IMAP client reads one message and deletes one, a POP3 client deletes one" || break
    send seen
    send delete
    deliver 20
    step "the server drops every connection" || break
    send kick
    recovered "connections dropped"
    deliver 20
    step "the server stops for 30 s" || break
    send stop
    deliver 30
    send start
    recovered "the server back"
    deliver 20
    step "logins are refused for 70 s" || break
    send refuse
    deliver 70
    send admit
    recovered "logins admitted again"
    deliver 20
    if [ -n "$faketime" ]; then
        step "the clock jumps 3 minutes ahead" || break
        lead=$((lead + 180))
        echo "+$lead" >"$work/clock"
        recovered "the clock jumped"
        deliver 20
    fi
done

note "the trouble ends; one more check settles"
send start # in case the run ended while the server was down
send admit
sleep 90
alive
figures end
send verify
grep -E '^(Pop|Imap): ' "$work/server.out" | tail -2
verdict=$(grep '^announced twice:' "$work/server.out" | tail -1)

read -r rss0 fds0 threads0 <"$work/start"
read -r rss1 fds1 threads1 <"$work/end"
printf '%-18s %10s %10s %7s\n' "" start end ratio
printf '%-18s %10s %10s %7s\n' "VmRSS (KiB)" "$rss0" "$rss1" "$(awk -v a="$rss0" -v b="$rss1" 'BEGIN { printf "%.2f", b / a }')"
printf '%-18s %10s %10s %7s\n' "descriptors" "$fds0" "$fds1" "$(awk -v a="$fds0" -v b="$fds1" 'BEGIN { printf "%.2f", b / a }')"
printf '%-18s %10s %10s %7s\n' "threads" "$threads0" "$threads1" "$(awk -v a="$threads0" -v b="$threads1" 'BEGIN { printf "%.2f", b / a }')"
echo "$verdict"
failed=0
[ "$rss1" -le $((rss0 * 12 / 10)) ] || { echo "FAILED: resident memory grew more than 20%"; failed=1; }
[ "$fds1" -le $((fds0 + 2)) ] || {
    echo "FAILED: descriptors grew; new:" $(comm -13 "$work/start.fds" "$work/end.fds")
    failed=1
}
[ "$threads1" -le $((threads0 + 2)) ] || { echo "FAILED: threads grew"; failed=1; }
[[ "$verdict" == "announced twice: 0, lost: 0, stale: 0" ]] ||
    { echo "FAILED: the bar does not show what the servers hold unread"; failed=1; }
exit $failed
