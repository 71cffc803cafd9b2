#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time; a crash fails the run.
# Times and seed folders per target come from targets.conf beside this script.
set -euo pipefail
dir=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
default_seconds=${QB_FUZZ_SECONDS:-20}

# Prints "seconds seeds" of a target from targets.conf, or nothing.
configured() {
    awk -v t="$1" '$1 == t { print $2, $3; exit }' "$here/targets.conf" 2>/dev/null || true
}

shopt -s nullglob
found=0
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
    "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
    rm -rf "$corpus"
done
# An empty folder means the build put the targets elsewhere: that is a failure, not a pass.
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets found in $dir" >&2
    exit 1
fi
