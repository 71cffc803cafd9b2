#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time; a crash fails the run.
# Times and seed folders per target come from targets.conf beside this script.
# Usage: run-all.sh <folder of the targets> [artifact folder, default <folder>/../artifacts]
# A failing target leaves its whole report (<name>.log) and the input that failed
# (<name>/crash-..., leak-..., timeout-..., oom-...) in the artifact folder, and prints both.
set -euo pipefail
dir=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
artifacts=${2:-$dir/../artifacts}
default_seconds=${QB_FUZZ_SECONDS:-20}
mkdir -p "$artifacts"
artifacts=$(cd "$artifacts" && pwd)

# Prints "seconds seeds" of a target from targets.conf, or nothing.
configured() {
    awk -v t="$1" '$1 == t { print $2, $3; exit }' "$here/targets.conf" 2>/dev/null || true
}

# The report of a failed target and every input it saved, as hex and as base64.
show_failure() {
    local name=$1 input
    echo "== $name failed; report: $artifacts/$name.log"
    cat "$artifacts/$name.log"
    for input in "$artifacts/$name"/*; do
        [ -f "$input" ] || continue
        echo "== input $input ($(stat -c %s "$input") bytes), first 4 KiB as hex:"
        head -c 4096 "$input" | od -A x -t x1z -v
        echo "== the same input as base64:"
        base64 "$input"
    done
}

shopt -s nullglob
found=0
failed=()
for target in "$dir"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    found=$((found + 1))
    read -r conf_seconds conf_seeds <<<"$(configured "$name")" || true
    seconds=$default_seconds
    [ -z "${QB_FUZZ_SECONDS:-}" ] && [ -n "${conf_seconds:-}" ] && seconds=$conf_seconds
    corpus=$(mktemp -d)
    [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$corpus/"
    if [ -n "${conf_seeds:-}" ] && [ "$conf_seeds" != "-" ] && [ -d "$root/$conf_seeds" ]; then
        find "$root/$conf_seeds" -maxdepth 1 -type f -exec cp {} "$corpus/" \;
    fi
    echo "-- $name (${seconds}s)"
    rm -rf "${artifacts:?}/$name"
    mkdir -p "$artifacts/$name"
    status=0
    "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=0 \
        -artifact_prefix="$artifacts/$name/" "$corpus" >"$artifacts/$name.log" 2>&1 || status=$?
    rm -rf "$corpus"
    if [ "$status" -ne 0 ]; then
        show_failure "$name"
        failed+=("$name")
    else
        tail -n 3 "$artifacts/$name.log"
    fi
done
# An empty folder means the build put the targets elsewhere: that is a failure, not a pass.
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets found in $dir" >&2
    exit 1
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets failed: ${failed[*]} (reports and inputs in $artifacts)" >&2
    exit 1
fi
