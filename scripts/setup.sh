#!/usr/bin/env bash
# One set-up for a fresh Debian 12 machine: installs what is missing, builds,
# then runs the program ("run"), every test ("test"), the demo ("demo"), builds the
# Debian package ("package"), or nothing more ("build").
set -euo pipefail

mode=${1:-build}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QB_BUILD_DIR:-$root/build}

packages=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config
    dpkg-dev file lintian desktop-file-utils appstream passwd util-linux
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libqt6multimedia6 qt6-image-formats-plugins
    libssl-dev libpcre2-dev libgtest-dev libgmock-dev libx11-dev libx11-xcb-dev libxcb1-dev
    qtkeychain-qt6-dev libsecret-1-0 dbus dunst gnome-keyring python3-dbusmock python3-dbus python3-gi trayer
    dovecot-core dovecot-pop3d dovecot-imapd openssl xvfb xauth xdotool openbox imagemagick x11-utils
    libgmime-3.0-dev python3 procps mailutils-pop3d socat
)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
policy=/usr/sbin/policy-rc.d
policy_backup=""
policy_ours=0

# Puts back the policy-rc.d that was there before (or none); runs on every exit.
restore_policy() {
    [ "$policy_ours" -eq 1 ] || return 0
    if [ -n "$policy_backup" ]; then
        $sudo cp -p "$policy_backup" "$policy"
        $sudo rm -f "$policy_backup"
    else
        $sudo rm -f "$policy"
    fi
    policy_ours=0
}
trap restore_policy EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    # Package scripts must not start system services (Dovecot, pop3d) on this machine.
    if [ -e "$policy" ]; then
        policy_backup=$(mktemp)
        $sudo cp -p "$policy" "$policy_backup"
    fi
    policy_ours=1
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod +x "$policy"
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    restore_policy
}

# Builds the targets named, or all of them (with the tests and benchmarks) when none is.
configure_and_build() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$build" -j"$(nproc)" "${targets[@]}"
}

# Another run of this script may be installing too: one at a time, and the second one
# then finds the packages in place.
lock_dir=/run/lock
[ -w "$lock_dir" ] || lock_dir=${TMPDIR:-/tmp}
lock_file=$lock_dir/quillbar-setup.lock
[ -e "$lock_file" ] || : >"$lock_file"
# Read-only, so that another user's lock file serves as well.
exec 8<"$lock_file"
flock 8
install_missing
exec 8>&-

# Two runs on one build folder would overwrite each other's objects and test files.
mkdir -p "$build"
exec 9>"$build/.setup.lock"
flock 9
case "$mode" in
    build)
        configure_and_build
        ;;
    run)
        # A first look needs only the program, not the tests.
        configure_and_build quillbar
        # The program must not keep the build folder locked.
        exec 9>&-
        exec "$build/bin/quillbar"
        ;;
    demo)
        configure_and_build quillbar qb-demo-server
        exec "$root/scripts/demo.sh" "$build"
        ;;
    package)
        configure_and_build
        (cd "$build" && cpack -G DEB >/dev/null)
        ls "$build"/quillbar_*.deb
        ;;
    test)
        configure_and_build
        cd "$build"
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900
        ;;
    *)
        echo "usage: $0 [build|run|test|demo|package]" >&2
        exit 2
        ;;
esac
