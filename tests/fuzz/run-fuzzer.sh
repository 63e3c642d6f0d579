#!/usr/bin/env bash
# Fuzzes one target for a while, starting from its committed corpus:
#   run-fuzzer.sh PROGRAM CORPUS SECONDS
# New inputs go to a fresh directory of the run's own (never into the source tree). An
# input that fails is kept, its path printed, and the status is non-zero: minimise it
# (PROGRAM -minimize_crash=1 INPUT) and commit it to the corpus as a regression input.
set -uo pipefail
program=$1
corpus=$2
seconds=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-fuzz.XXXXXX")
mkdir -p "$work/new"
"$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/new" "$corpus" >"$work/log" 2>&1
status=$?
grep -E "^stat::number_of_executed_units|ERROR|SUMMARY|artifact" "$work/log"
if [[ $status -ne 0 ]]; then
    tail -n 40 "$work/log"
    echo "run-fuzzer.sh: $(basename "$program") failed; the input and the log are in $work"
    exit "$status"
fi
rm -rf "$work"
