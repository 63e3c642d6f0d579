#!/usr/bin/env bash
# Line and branch coverage of the library, the server and the platform layer by the
# whole test suite (unit and process tests) of the coverage preset, per file and per
# folder:   tools/coverage.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
command -v gcovr >/dev/null || { echo "coverage.sh: gcovr is needed (apt-get install gcovr)" >&2; exit 1; }
cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j2 >/dev/null || { echo "coverage.sh: tests failed" >&2; exit 1; }
filters=(--filter 'app/' --filter 'support/' --filter 'visibility/' --filter 'platform/')
options=(-r . build/coverage --exclude-throw-branches --exclude-unreachable-branches "${filters[@]}")
echo "folder     lines    branches"
for folder in app support visibility platform; do
    gcovr -r . build/coverage --exclude-throw-branches --exclude-unreachable-branches --filter "$folder/" \
        --json-summary - 2>/dev/null | python3 -c '
import json, sys
s = json.load(sys.stdin)
print("%-10s %5.1f %%  %5.1f %%" % (sys.argv[1], s["line_percent"], s["branch_percent"]))' "$folder"
done
gcovr "${options[@]}" --print-summary 2>/dev/null | tail -3
