#!/usr/bin/env bash
# Times the whole "qxtool -" process on a batch of 40,000 mixed commands (start-up,
# reading, answering, writing), three runs, and prints the best wall-clock time.
#   bench/qxtool-batch.sh [QXTOOL]      (default: build/linux/tools/qxtool/qxtool)
set -euo pipefail
qxtool=${1:-build/linux/tools/qxtool/qxtool}
count=40000
input=$(mktemp)
trap 'rm -f "$input"' EXIT
mix=($'leap\t2000' $'day-of-year\t101014' $'add-days\t991231\t400' $'part\t101014\tww'
     $'minutes\t545\t%02d:%02d' $'date\t101014\tdmjl' $'field\t7\tregi,1,2,F1,101014,0930,4711\t,'
     $'copy-field\t1\tabcdef,x\t,\t5' $'trim1\tab   ' $'format\tHello\t%-8u' $'norm\t%s')
for ((i = 0; i < count; i++)); do printf '%s\n' "${mix[i % ${#mix[@]}]}"; done > "$input"

best=""
for run in 1 2 3; do
    start=$(date +%s%N)
    lines=$("$qxtool" - < "$input" | wc -l)
    ns=$(( $(date +%s%N) - start ))
    [ "$lines" -eq "$count" ] || { echo "expected $count result lines, got $lines" >&2; exit 1; }
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
done
printf 'qxtool -: %d commands in %d.%03d s (best of 3 runs)\n' "$count" $((best / 1000000000)) $(((best / 1000000) % 1000))
