#!/usr/bin/env bash
# The system calls of a booking, with and without the journal: nexolt-demo under
# strace -c takes N bookings from nexolt-sim's load mode (one connection), once without
# a journal and once with QX_BOOKINGS on tmpfs; prints the calls of each kind per
# booking and the difference. The server listens on port 3950, so run it in a network
# namespace of its own:
#
#   tests/e2e/private-net.sh bash bench/journal-syscalls.sh [BUILD_DIR] [N]
set -euo pipefail

build=${1:-build/linux}
count=${2:-20000}
work=$(mktemp -d /dev/shm/qx-syscalls-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Runs the server under strace with the environment given, drives `count` bookings,
# and writes strace's table to $work/$1.
measure() {
    local name=$1
    shift
    # (The shell gives the server its own process id, written down before the exec.)
    env "$@" strace -c -f -o "$work/$name" sh -c 'echo $$ >"$0"; exec "$1"' "$work/$name.pid" \
        "$build/app/nexolt-demo" >"$work/$name.log" 2>&1 &
    local tracer=$!
    until "$build/tools/nexolt-sim/nexolt-sim" --timeout 200 alive >/dev/null 2>&1; do sleep 0.05; done
    "$build/tools/nexolt-sim/nexolt-sim" load book "$count" >/dev/null
    kill -TERM "$(cat "$work/$name.pid")"
    wait "$tracer"
}

measure none
measure journal QX_BOOKINGS="$work/bookings.jsonl"

# The calls of each kind per booking (the keep-alive that found the server costs nothing
# worth counting). The log's writes depend on the rate (a busy server gathers its lines),
# and strace slows both runs, the journaled one more.
per_booking() {
    awk -v n="$count" '$NF == "total" { printf "~total %.2f\n", $4 / n; next }
                       $NF ~ /^[a-z_0-9]+$/ && $4 ~ /^[0-9]+$/ { printf "%s %.2f\n", $NF, $4 / n }' "$work/$1"
}
join -a1 -a2 -e 0 -o 0,1.2,2.2 <(per_booking none | sort) <(per_booking journal | sort) |
    awk 'BEGIN { print "calls per booking: kind, without journal, with journal (tmpfs)" }
         $2 >= 0.01 || $3 >= 0.01 { printf "  %-16s %6.2f %6.2f\n", $1, $2, $3 }'
