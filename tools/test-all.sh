#!/usr/bin/env bash
# Builds and tests every preset: linux, linux-asan, win32, win64 (the Windows
# ones under Wine). Stops at the first failing step. Ends with a summary per
# preset and one line "N passed, N failed" over all presets.
#
#   tools/test-all.sh [PRESET...]     (default: all four)

set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=(linux linux-asan win32 win64)

total_passed=0
total_failed=0
summary=()
status=0

stop_wine() {
    local p
    for p in "${presets[@]}"; do
        if [[ -d "build/$p/wineprefix" ]]; then
            WINEPREFIX="$root/build/$p/wineprefix" wineserver -k >/dev/null 2>&1 || true
        fi
    done
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

if ! bash tools/install-deps.sh; then
    summary+=("install-deps: FAILED")
    exit 1
fi

for p in "${presets[@]}"; do
    start=$SECONDS
    if ! step cmake --preset "$p" -DQX_WERROR=ON; then
        summary+=("$p: configure FAILED")
        status=1
        break
    fi
    if ! step cmake --build --preset "$p" -j2; then
        summary+=("$p: build FAILED")
        status=1
        break
    fi

    # Windows presets run their tests under Wine. Where the host cannot run
    # that architecture at all (32-bit Wine needs a kernel that runs 32-bit
    # x86 programs), only the checks that need no Wine are run, and the
    # summary says so.
    ctest_args=()
    note=""
    case "$p" in
        win32 | win64)
            if ! reason=$(bash cmake/wine-run.sh "$p" --check 2>&1); then
                ctest_args=(-L build-check)
                note="; Wine tests NOT RUN: ${reason#wine-run.sh: }"
            fi
            ;;
    esac

    log="build/$p/ctest-output.log"
    echo
    echo "==== ctest --preset $p ${ctest_args[*]} ===="
    ctest --preset "$p" "${ctest_args[@]}" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}

    # "100% tests passed, 0 tests failed out of 12"
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
    elapsed=$((SECONDS - start))

    if [[ $rc -ne 0 || $failed -ne 0 ]]; then
        summary+=("$p: tests FAILED (${passed} passed, ${failed} failed, ctest exit ${rc}, ${elapsed}s${note})")
        status=1
        break
    fi
    summary+=("$p: ok (${passed} passed, ${elapsed}s${note})")
done

exit $status
