# Shared by the test scripts: a work folder and the background processes to end with it.
# Source it; it sets work and pids, and ends both on exit.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
