#!/usr/bin/env bash
# The programs' command lines: --version prints "NAME VERSION", --help exits 0 with the
# usage, and a wrong argument prints one line on standard error that ends in the hint to
# --help, nothing on standard output, exit status 2. qxtool's check bookings exits 1 for a
# journal it cannot open or read and a CSV file it cannot make or write.
#   command_line.sh VERSION [LAUNCHER ARGS... --] PROGRAM...
set -u
version=$1
shift
launcher=()
if [[ " $* " == *" -- "* ]]; then
    while [[ $1 != -- ]]; do launcher+=("$1"); shift; done
    shift
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { "${launcher[@]}" "$program" "$@" >"$work/out" 2>"$work/err"; status=$?; tr -d '\r' <"$work/out" >"$work/o"; tr -d '\r' <"$work/err" >"$work/e"; }

for program in "$@"; do
    name=$(basename "$program" .exe)
    run --version
    [[ $status -eq 0 && "$(cat "$work/o")" == "$name $version" ]] || fail "$name --version: exit $status, [$(cat "$work/o")]"
    run --help
    [[ $status -eq 0 ]] && grep -q "^usage: $name" "$work/o" || fail "$name --help: exit $status"
    [[ $name != qxtool ]] || grep -q "^  scan FILE LEN \[FIELD:POS...\]  the records" "$work/o" || fail "qxtool --help: scan's line"
    [[ $name != qxtool ]] || grep -q "^  leap YEAR \{19\}1 if YEAR" "$work/o" || fail "qxtool --help: leap's line"
    for wrong in --bogus nosuch "--port 99999" ""; do  # no arguments: qxtool only (the others run)
        [[ ($name == nexolt-demo && $wrong == "--port 99999") || ($name != qxtool && -z $wrong) ]] && continue
        read -r -a words <<<"$wrong"
        run "${words[@]}"
        [[ $status -eq 2 && ! -s "$work/o" && $(wc -l <"$work/e") -eq 1 ]] && grep -q "^$name: .*; see $name --help\$" "$work/e" ||
            fail "$name $wrong: exit $status, stderr [$(cat "$work/e")]"
    done
    [[ $name == qxtool ]] && : >"$work/j" || continue
    for faulty in "$work/none" "$work" "$work/j --csv $work/none/c" "$work/j --csv /dev/full"; do
        read -r -a words <<<"$faulty"
        run bookings "${words[@]}"
        [[ $status -eq 1 && ! -s "$work/o" ]] || fail "qxtool bookings $faulty: exit $status"
    done
done
echo "$failures failures"
[[ $failures -eq 0 ]]
