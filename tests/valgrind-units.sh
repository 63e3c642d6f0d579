#!/usr/bin/env bash
# Runs unit-test programs under valgrind's memcheck: any memory error, or any leak of
# memory no longer reachable, fails the run.
#   valgrind-units.sh PROGRAM...
set -uo pipefail
command -v valgrind >/dev/null || { echo "valgrind-units.sh: valgrind is not installed" >&2; exit 1; }
failed=0
for program in "$@"; do
    log=$(mktemp)
    if valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --show-leak-kinds=definite,indirect "$program" --gtest_brief=1 >"$log" 2>&1; then
        echo "$(basename "$program"): no memory errors"
    else
        echo "$(basename "$program"): FAILED under memcheck"
        tail -n 60 "$log"
        failed=$((failed + 1))
    fi
    rm -f "$log"
done
echo "$# programs, $failed failed"
[[ $failed -eq 0 ]]
