#!/usr/bin/env bash
# Builds and tests every preset: linux, linux-asan, win32, win64 (the Windows ones
# under Wine), fuzz (the libFuzzer targets: their corpora, then new fuzzing) and
# coverage (the suite once more with gcov, then each folder's coverage against its
# floor, tools/coverage.sh, counted as one more test). A failing step ends only its own preset: the others still run, so one
# failure never hides another. Ends with a summary line per preset and one line
# "N passed, N failed" over all presets (a preset that failed to configure or build
# counts as one failed test); the exit status is 1 if anything failed.
#
# Tests run in random order (ctest --schedule-random) with the presets' parallelism, so
# a test that leans on the order or on another test's leftovers shows up over runs.
#
#   tools/test-all.sh [--repeat N] [PRESET...]     (default: all six presets)
#
# --repeat N   runs every test up to N times and stops a test at its first failure
#              (ctest --repeat until-fail:N): a check for order and timing luck.

set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

repeat_args=()
if [[ "${1:-}" == --repeat ]]; then
    [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "test-all.sh: --repeat needs a count" >&2; exit 2; }
    repeat_args=(--repeat "until-fail:$2")
    shift 2
fi
presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=(linux linux-asan win32 win64 fuzz coverage)

total_passed=0
total_failed=0
summary=()
status=0

stop_wine() {
    local p prefix
    for p in "${presets[@]}"; do
        for prefix in "build/$p"/wineprefix*; do
            [[ -d "$prefix" ]] && WINEPREFIX="$root/$prefix" wineserver -k >/dev/null 2>&1
        done
    done
    return 0
}

finish() {
    stop_wine
    echo
    echo "==== summary ===="
    local line
    for line in "${summary[@]}"; do
        echo "$line"
    done
    echo "${total_passed} passed, ${total_failed} failed"
}
trap finish EXIT

step() {
    echo
    echo "==== $* ===="
    "$@"
}

# A step that fails ends its preset: one failed test in the totals.
preset_failed() {
    summary+=("$1: $2 FAILED after $(($SECONDS - start))s")
    total_failed=$((total_failed + 1))
    status=1
}

# ctest's own count: "100% tests passed, 0 tests failed out of 12".
run_tests() {
    local p=$1 note=$2
    shift 2
    local log="build/$p/ctest-output.log" rc counts failed all passed
    echo
    echo "==== ctest --preset $p $* ===="
    ctest --preset "$p" --schedule-random "${repeat_args[@]}" "$@" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -n 1)
    if [[ -n "$counts" ]]; then
        read -r failed all <<<"$counts"
        passed=$((all - failed))
    else
        passed=0
        failed=1
    fi
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    if [[ $rc -ne 0 || $failed -ne 0 ]]; then
        summary+=("$p: tests FAILED (${passed} passed, ${failed} failed, ctest exit ${rc}, $((SECONDS - start))s${note})")
        local line
        while IFS= read -r line; do
            summary+=("    $line")
        done < <(sed -n 's/^[[:space:]]*[0-9][0-9]* - \(.*\)$/\1/p' "$log")
        status=1
    else
        local verdict=ok
        [[ -z "$note" ]] || verdict="build checks ok, Wine tests NOT RUN"
        summary+=("$p: ${verdict} (${passed} passed, $((SECONDS - start))s${note})")
    fi
}

if ! bash tools/install-deps.sh; then
    summary+=("install-deps: FAILED")
    total_failed=$((total_failed + 1))
    exit 1
fi

for p in "${presets[@]}"; do
    start=$SECONDS
    step cmake --preset "$p" -DQX_WERROR=ON || { preset_failed "$p" configure; continue; }
    step cmake --build --preset "$p" -j2 || { preset_failed "$p" build; continue; }

    # Windows presets run their tests under Wine. Where the host cannot run that
    # architecture at all (32-bit Wine needs a kernel that runs 32-bit x86 programs),
    # only the checks that need no Wine are run, and the summary says so.
    ctest_args=()
    note=""
    case "$p" in
        win32 | win64)
            if ! reason=$(bash cmake/wine-run.sh "$p" --check 2>&1); then
                ctest_args=(-L build-check)
                note="; why: ${reason#wine-run.sh: }"
            fi
            ;;
    esac
    [[ "$p" != coverage ]] || find build/coverage -name '*.gcda' -delete  # counts of this run only
    run_tests "$p" "$note" "${ctest_args[@]}"
    if [[ "$p" == coverage ]]; then
        if step bash tools/coverage.sh --check --no-run; then
            total_passed=$((total_passed + 1))
            summary+=("coverage floors: ok")
        else
            total_failed=$((total_failed + 1))
            summary+=("coverage floors: FAILED (a folder below its floor)")
            status=1
        fi
    fi
done

exit $status
