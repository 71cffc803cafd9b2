#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time; a crash fails the run.
set -euo pipefail
dir=$1
seconds=${QB_FUZZ_SECONDS:-20}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
shopt -s nullglob
for target in "$dir"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$corpus/"
    echo "-- $name (${seconds}s)"
    "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
    rm -rf "$corpus"
done
