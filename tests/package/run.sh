#!/usr/bin/env bash
# The Debian package as a user meets it: built, checked by the validators and lintian,
# installed, run as an ordinary user under Xvfb with a fresh home, then removed again.
# Screenshots go to the output folder. Usage: run.sh <build folder> <output folder>
# Skipped (77) without root, without the tools, or where a quillbar package is installed.
set -euo pipefail
# The first display from QB_PKG_DISPLAY down that no other X server holds.
for n in $(seq "${QB_PKG_DISPLAY:-93}" -1 60); do
    [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
user=qb-pkgtest

skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli Xvfb \
    xdotool xdpyinfo import setpriv useradd; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
done
dpkg-query -W -f='${Status}' quillbar 2>/dev/null | grep -q "install ok installed" &&
    skip "a quillbar package is installed here; the test would replace it"
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-package-out}" && cd "${2:-package-out}" && pwd)

work=$(mktemp -d)
chmod 755 "$work"
pids=()
installed=0
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ "$installed" -eq 1 ] && dpkg_retry -r quillbar >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    cp "$work"/*.log "$out/" 2>/dev/null || true
    exit 1
}
# Other runs on this machine may hold the dpkg lock for a while.
dpkg_retry() {
    for _ in $(seq 60); do
        dpkg "$@" >"$work/dpkg.log" 2>&1 && return 0
        grep -q "lock" "$work/dpkg.log" || { cat "$work/dpkg.log"; return 1; }
        sleep 2
    done
    return 1
}

# Built from this build folder, as scripts/setup.sh package does, into a folder of its own.
(cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1 || fail "cpack failed"
deb=$(find "$work/deb" -maxdepth 1 -name "quillbar_*.deb" | head -1)
[ -n "$deb" ] || fail "no package was built"
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || fail "no dependencies from the binary"

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/quillbar.desktop" ||
    fail "the desktop file is not valid"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml ||
    fail "the metainfo is not valid"
for icon in scalable/apps/quillbar.svg 48x48/apps/quillbar.png 256x256/apps/quillbar.png; do
    [ -s "$work/root/usr/share/icons/hicolor/$icon" ] || fail "the icon $icon is missing"
done
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
grep -q "^E: " "$work/lintian.log" && fail "lintian reports errors"

dpkg_retry -i "$deb" || fail "the package did not install"
installed=1
[ -x /usr/bin/quillbar ] || fail "/usr/bin/quillbar is missing"

id "$user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
home=$work/home
mkdir -m 700 "$home" "$work/run"
chown "$user:" "$home" "$work/run"

# Without -noreset the server resets when the probe below leaves, and refuses the program
# if it connects meanwhile.
Xvfb "$display" -screen 0 1024x600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
# A loaded machine may take seconds to start it; without it nothing below can pass.
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $display"
visible() {
    for _ in $(seq 300); do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}

# From a folder the user may not write, with nothing of the caller's environment; setpriv
# runs the program in its own place, so that signals reach it directly.
(cd / && exec setpriv --reuid="$user" --regid="$user" --init-groups -- env -i HOME="$home" \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run" PATH=/usr/bin:/bin \
    /usr/bin/quillbar) >"$work/quillbar.log" 2>&1 &
quillbar=$!
pids+=("$quillbar")
visible "^Quillbar$" >/dev/null || fail "the bar did not appear"
sleep 1
import -window root "$out/package-bar.png"

# The hot key opens the main menu; "Check for update..." only tells where updates come from.
xdotool key super+t
sleep 1
xdotool key u
box=$(visible "^Check for update...$") || fail "Check for update showed no box"
sleep 0.5
import -window root "$out/package-update.png"
xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
xdotool key Return
sleep 0.5
kill -0 "$quillbar" 2>/dev/null || fail "Check for update ended the program"

kill -TERM "$quillbar"
wait "$quillbar" || fail "the program did not end cleanly"
config=$home/.config/quillbar
[ -f "$config/quillbar.ini" ] || fail "no settings under ~/.config/quillbar"
[ "$(stat -c %U "$config/quillbar.ini")" = "$user" ] || fail "the settings are not the user's"
[ -d "$home/.cache/quillbar" ] || fail "no cache folder under ~/.cache/quillbar"
for folder in "$config" "$home/.cache/quillbar"; do
    [ "$(stat -c %a "$folder")" = 700 ] || fail "$folder is not private to the user"
done
# Whatever the program wrote is its user's; other installs on the machine may change /usr.
written=$(find /usr/bin /usr/share/quillbar -user "$user" 2>/dev/null)
if [ -n "$written" ] || [ -e /usr/bin/quillbar.ini ] || [ -e /usr/bin/cache ]; then
    fail "the program wrote beside its installed files: $written"
fi

dpkg_retry -r quillbar || fail "the package did not remove"
installed=0
[ ! -e /usr/bin/quillbar ] || fail "/usr/bin/quillbar is still there after removal"
echo "screenshots in $out"
