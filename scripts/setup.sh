#!/usr/bin/env bash
# One set-up for a fresh Debian 12 machine: installs what is missing, builds,
# then runs the program ("run"), every test ("test"), the demo ("demo"), or nothing
# more ("build").
set -euo pipefail

mode=${1:-build}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QB_BUILD_DIR:-$root/build}

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libqt6multimedia6 qt6-image-formats-plugins
    libssl-dev libpcre2-dev libgtest-dev libgmock-dev libx11-dev libx11-xcb-dev libxcb1-dev
    dovecot-core dovecot-pop3d openssl xvfb xauth xdotool openbox imagemagick x11-utils
    libgmime-3.0-dev python3 procps
)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    # Package scripts must not start system services (Dovecot) on this machine.
    printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
    $sudo chmod +x /usr/sbin/policy-rc.d
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    $sudo rm -f /usr/sbin/policy-rc.d
}

configure_and_build() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$build" -j"$(nproc)"
}

install_missing
case "$mode" in
    build)
        configure_and_build
        ;;
    run)
        configure_and_build
        exec "$build/bin/quillbar"
        ;;
    demo)
        configure_and_build
        exec "$root/scripts/demo.sh" "$build"
        ;;
    test)
        configure_and_build
        cd "$build"
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900
        ;;
    *)
        echo "usage: $0 [build|run|test|demo]" >&2
        exit 2
        ;;
esac
