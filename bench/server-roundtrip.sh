#!/usr/bin/env bash
# Keep-alive and booking round trips per second on one loopback connection: starts
# nexolt-demo (its log to a pipe that is thrown away), runs nexolt-sim's load mode for
# each kind, and stops the server. Port 3950 must be free.
#   bench/server-roundtrip.sh [BUILD_DIR] [REQUESTS]    (default: build/linux 20000)
set -euo pipefail
build=${1:-build/linux}
count=${2:-20000}
sim=$build/tools/nexolt-sim/nexolt-sim
"$build/app/nexolt-demo" > /dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do "$sim" --timeout 100 alive > /dev/null 2>&1 && break; done
for kind in alive book grund termnr; do
    "$sim" load "$kind" "$count"
done
