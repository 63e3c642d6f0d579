#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes one target for longer than the test run does:
#   tools/fuzz.sh TARGET [SECONDS]      (default 600; targets: tests/fuzz/fuzz_*.cpp)
# Prints the executions reached. A failing input is kept and its path printed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
[[ $# -ge 1 ]] || { echo "usage: tools/fuzz.sh TARGET [SECONDS]" >&2; exit 2; }
target=$1
seconds=${2:-600}
[[ -f "tests/fuzz/$target.cpp" ]] || { echo "fuzz.sh: no target $target in tests/fuzz" >&2; exit 2; }
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
exec bash tests/fuzz/run-fuzzer.sh "build/fuzz/tests/fuzz/$target" "tests/fuzz/corpus/$target" "$seconds"
