#!/usr/bin/env bash
# Builds the Linux programs (without the tests, into build/run) and starts the demo
# program. Installs only what that needs: the test command installs the rest.
#   tools/run-demo.sh [ARGS...]    (ARGS replace the default arguments)

set -euo pipefail

# The program to start, relative to the repository root, and its default arguments.
DEMO_PROGRAM=build/run/app/nexolt-demo
DEMO_ARGS=()

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash tools/install-deps.sh --run
cmake --preset linux -B build/run -DQX_TESTS=OFF >/dev/null
cmake --build build/run -j2 --target nexolt-demo nexolt-sim qxtool

if [[ $# -gt 0 ]]; then
    DEMO_ARGS=("$@")
fi
exec "$root/$DEMO_PROGRAM" "${DEMO_ARGS[@]}"
