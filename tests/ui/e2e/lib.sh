# Shared by the end-to-end scripts: an X server with openbox, a Dovecot with the test
# accounts, a program folder, and window lookups that survive windows closing meanwhile.
# Source it with: build, out, display, messages (and server, the helper to run) set; it sets
# work and pids.
# Skipped (77) where the tools or the rights for Dovecot are missing.
for tool in Xvfb xdotool xdpyinfo xprop import openbox; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "skipped: Dovecot needs root"; exit 77; }
. "$(dirname "${BASH_SOURCE[0]}")/workdir.sh"
fail() { echo "FAILED: $*"; cp "$work"/*.log "$out/" 2>/dev/null || true; exit 1; }
visible() {
    for _ in $(seq 300); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
# Searches walk every window; one that goes meanwhile fails them, so they are retried.
find_window() {
    for _ in $(seq 20); do
        found=$(xdotool search "$@" 2>/dev/null | head -1) && [ -n "$found" ] && {
            echo "$found"
            return 0
        }
        sleep 0.1
    done
}
# The bar: the widest window of that name (Qt keeps a 1x1 one of the same name).
bar_window() {
    for w in $(xdotool search --name '^Quillbar$' 2>/dev/null || true); do
        eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)" || continue
        [ "$WIDTH" -gt 100 ] && { echo "$w"; return; }
    done
}

cp "$build/bin/quillbar" "$work/"
cp -r "$build/bin/Skins" "$work/"
# An X server of this run's own: where another holds the display (its lock file), or the
# server ends at once, the next free number up is tried; its output lands in the log. It
# must not reset when its last client leaves: a client connecting meanwhile is refused.
start_xvfb() {
    local n=${display#:}
    for _ in 1 2 3; do
        while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
        display=:$n
        Xvfb "$display" -screen 0 1024x700x24 -nolisten tcp -noreset >>"$work/xvfb.log" 2>&1 &
        local xvfb=$!
        # A loaded machine may take seconds to start it.
        for _ in $(seq 300); do
            kill -0 "$xvfb" 2>/dev/null || break
            DISPLAY=$display xdpyinfo >/dev/null 2>&1 && { pids+=("$xvfb"); return 0; }
            sleep 0.1
        done
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
        n=$((n + 1))
    done
    return 1
}
start_xvfb || fail "Xvfb did not start on $display"
# The server reads its commands from a pipe that stays open on descriptor 3.
mkfifo "$work/server.in"
exec 3<>"$work/server.in"
"$build/bin/${server:-qb_e2e_server}" "$work" "$messages" <"$work/server.in" >"$work/server.out" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=$display
# On the X server, whatever the test run's platform; a lock of its own, so that other
# copies started by other tests do not make this one a second instance.
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$TMPDIR"
# A window manager that comes up after a window is shown takes it over midway; one that
# has not published its work area within seconds is started again.
for _ in 1 2 3; do
    HOME=$work openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    pids+=($wm)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW &&
            xprop -root _NET_WORKAREA 2>/dev/null | grep -q "= [0-9]" && break 2
        sleep 0.1
    done
    kill "$wm" 2>/dev/null || true
    wait "$wm" 2>/dev/null || true
done
# Gives window the focus, then sends it keys; a slow start may refuse the focus at first.
keys_to() {
    local window=$1
    shift
    for _ in $(seq 20); do
        xdotool windowactivate --sync "$window" >/dev/null 2>&1 && break
        sleep 0.2
    done
    xdotool key "$@"
}
# How many accounts' header indexes hold a message of that subject: what their bars show.
indexed() { grep -rlF -- "$1" "$work" --include='*.dat' 2>/dev/null | wc -l; }
# Waits up to 15 s until at least count indexes hold it.
wait_indexed() {
    for _ in $(seq 300); do [ "$(indexed "$1")" -ge "$2" ] && return 0; sleep 0.05; done
    return 1
}
