#!/usr/bin/env bash
# Builds the linux preset and starts the demo program.
#   tools/run-demo.sh [ARGS...]    (ARGS replace the default arguments)

set -euo pipefail

# The program to start, relative to the repository root, and its default arguments.
DEMO_PROGRAM=build/linux/app/nexolt-demo
DEMO_ARGS=()

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2

if [[ $# -gt 0 ]]; then
    DEMO_ARGS=("$@")
fi
exec "$root/$DEMO_PROGRAM" "${DEMO_ARGS[@]}"
