#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 20) over its corpus in
# tests/fuzz/corpus/<target>. New inputs go to a scratch folder, so the
# repository's corpus only changes by hand.
#   tests/fuzz/run_fuzz.sh BUILD_DIR [SECONDS] [extra libFuzzer flags...]
set -euo pipefail
build=$1
seconds=${2:-20}
shift $(($# > 1 ? 2 : 1))
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in profile_read_fuzz profile_write_fuzz command_line_fuzz message_text_fuzz; do
    scratch=$(mktemp -d)
    echo "== $target for ${seconds}s"
    if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/$target-" "$@" "$scratch" "$here/corpus/$target" \
        >"$build/$target.log" 2>&1; then
        echo "FAILED: $target (see $build/$target.log)"
        tail -n 30 "$build/$target.log"
        status=1
    fi
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$target.log" | tail -n 2 || true
    rm -rf "$scratch"
done
exit $status
