#!/usr/bin/env bash
# Line and branch coverage of the library, the server and the platform layer by the
# whole test suite (unit and process tests) of the coverage preset, per folder:
#
#   tools/coverage.sh [--check] [--no-run]
#
# --no-run  reports on the counts the last test run of build/coverage left (the test
#           command builds and runs the preset itself) instead of building and running
# --check   exits 1 when a folder falls below its floor (below)
#
# The floors are 95 % of lines and 85 % of branches, except where docs/testing.md's coverage
# section says which lines and branches no test on Linux reaches, and why; there the
# floor is what the suite reaches, less a point for the few paths that timing decides.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
check=false
run=true
for arg in "$@"; do
    case "$arg" in
        --check) check=true ;;
        --no-run) run=false ;;
        *) echo "usage: tools/coverage.sh [--check] [--no-run]" >&2; exit 2 ;;
    esac
done
command -v gcovr >/dev/null || { echo "coverage.sh: gcovr is needed (apt-get install gcovr)" >&2; exit 1; }
if $run; then
    cmake --preset coverage >/dev/null
    cmake --build --preset coverage
    find build/coverage -name '*.gcda' -delete
    ctest --preset coverage -j2 >/dev/null || { echo "coverage.sh: tests failed" >&2; exit 1; }
fi

# folder, floor of lines, floor of branches (percent)
floors=(
    "app 95 82"
    "support 95 85"
    "visibility 95 85"
    "platform 95 73"
)
status=0
echo "folder     lines    branches   floors"
for entry in "${floors[@]}"; do
    read -r folder line_floor branch_floor <<<"$entry"
    gcovr -r . build/coverage --exclude-throw-branches --exclude-unreachable-branches --filter "$folder/" \
        --json-summary - 2>/dev/null | python3 -c '
import json, sys
s = json.load(sys.stdin)
folder, line_floor, branch_floor = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
low = s["line_percent"] < line_floor or s["branch_percent"] < branch_floor
print("%-10s %5.1f %%  %5.1f %%    %g %% / %g %%%s" % (folder, s["line_percent"], s["branch_percent"], line_floor,
      branch_floor, "   BELOW THE FLOOR" if low else ""))
sys.exit(1 if low else 0)' "$folder" "$line_floor" "$branch_floor" || status=1
done
if $check && [[ $status -ne 0 ]]; then
    echo "coverage.sh: a folder is below its floor" >&2
    exit 1
fi
exit 0
