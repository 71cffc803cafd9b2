#!/usr/bin/env bash
# End-to-end sleep, wake and network: the real program under Xvfb against Dovecot's IMAP,
# with logind and NetworkManager played by dbusmock on a private system bus, and no timed
# check. Before a sleep the push connection logs out; mail delivered while asleep shows
# within 5 s of the wake. While the network is gone nothing connects and the program stays
# quiet; mail delivered meanwhile shows within 5 s of its return. The times are printed.
# Usage: wake.sh <build folder> <output folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-e2e-out}" && cd "${2:-e2e-out}" && pwd)
display=:${QB_E2E_DISPLAY:-93}
messages=2
server=qb_e2e_imap_server
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
. "$(dirname "${BASH_SOURCE[0]}")/mock-system-bus.sh"
read -r _ _ dovecot_log < <(grep '^ready' "$work/server.out")
[ -n "${dovecot_log:-}" ] || fail "Dovecot did not start: $(cat "$work/server.out")"

logins() { grep -c "Login: user=" "$dovecot_log" || true; }
logouts() { grep -c "Logged out" "$dovecot_log" || true; }
# Context switches of all the program's threads: each is a wake-up.
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Milliseconds from start until the bar holds the subject.
shown_after() {
    local start=$1 subject=$2
    wait_indexed "$subject" 1 || { echo never; return; }
    echo $(($(now_ms) - start))
}

"$work/quillbar" >"$work/quillbar.log" 2>&1 &
quillbar=$!
pids+=($quillbar)
visible "^Quillbar$" || fail "the bar did not show"
wait_indexed "Test message 2" 1 || fail "the first check showed nothing"
# The push connection is up once a second login followed the check's.
for _ in $(seq 100); do [ "$(logins)" -ge 2 ] && break; sleep 0.1; done
sleep 1

# Sleep: the push connection says goodbye; mail that comes meanwhile waits for the wake.
out_before=$(logouts)
mock_sleep true
for _ in $(seq 50); do [ "$(logouts)" -gt "$out_before" ] && break; sleep 0.1; done
[ "$(logouts)" -gt "$out_before" ] || fail "the push connection stayed up through the sleep"
echo add >&3
sleep 3
[ "$(indexed "Test message 3")" -eq 0 ] || fail "a sleeping program fetched mail"
start=$(now_ms)
mock_sleep false
woke=$(shown_after "$start" "Test message 3")
[ "$woke" != never ] && [ "$woke" -le 5000 ] || fail "mail delivered while asleep showed after ${woke} ms"

# The network goes: nothing connects, nothing runs; it comes back: the mail shows.
sleep 2
mock_network 20
sleep 1
echo add >&3
tried=$(logins)
before=$(switches "$quillbar")
sleep 10
wakeups=$(($(switches "$quillbar") - before))
[ "$(logins)" -eq "$tried" ] || fail "$(($(logins) - tried)) logins while the network was gone"
[ "$(indexed "Test message 4")" -eq 0 ] || fail "mail fetched while the network was gone"
start=$(now_ms)
mock_network 70
back=$(shown_after "$start" "Test message 4")
[ "$back" != never ] && [ "$back" -le 5000 ] || fail "mail delivered while offline showed after ${back} ms"
sleep 1
import -window root "$out/wake-bar.png"
echo "mail shown ${woke} ms after the wake, ${back} ms after the network came back;" \
    "$wakeups wake-ups in 10 s offline"
[ "$wakeups" -le 100 ] || fail "the program kept busy while the network was gone"
