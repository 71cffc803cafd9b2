#!/usr/bin/env bash
# demo.sh <build folder>: the built program in a demo folder of its own, with an
# account on a private Dovecot on loopback that holds a demo mailbox. Ending the
# program stops the server; nothing is left running.
set -euo pipefail

build=${1:?usage: demo.sh <build folder>}
demo=${QB_DEMO_DIR:-$HOME/quillbar-demo}
mkdir -p "$demo"
cp "$build/bin/quillbar" "$demo/"
rm -rf "$demo/Skins"
cp -r "$build/bin/Skins" "$demo/"
cp "$build/bin/quillbar.html" "$build/bin/quillbar-demo.png" "$demo/" 2>/dev/null || true

# Dovecot runs only as root; the program runs as the user who asked for the demo.
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
out=$(mktemp)
$sudo "$build/bin/qb-demo-server" "$demo" >"$out" &
server=$!
stop_server() {
    $sudo kill -TERM "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    rm -f "$out"
}
trap stop_server EXIT
for _ in $(seq 100); do
    grep -q '^ready' "$out" && break
    kill -0 "$server" 2>/dev/null || { echo "The demo server did not start." >&2; exit 1; }
    sleep 0.1
done
[ -n "$sudo" ] && $sudo chown "$(id -u):$(id -g)" "$demo/quillbar.ini"
imap=$(cut -d' ' -f3 "$out")
servers="POP3 on 127.0.0.1:$(cut -d' ' -f2 "$out")"
[ "${imap:-0}" != 0 ] && servers="$servers, IMAP on 127.0.0.1:$imap"
echo "Quillbar demo in $demo ($servers). Exit the program to end the demo."
"$demo/quillbar"
