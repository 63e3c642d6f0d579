#!/usr/bin/env bash
# What only a whole qxtool process shows (under Wine for Windows builds: the command line
# given is the program and any launcher in front of it): one-shot commands, a batch read
# as bytes, scan progress on a terminal, head numbers of any sign. (The operations
# themselves: qxtool_cases.tsv; usage errors: command_line.sh.)
#   qxtool_e2e.sh PROGRAM [LAUNCHER ARGS...]
set -u
program=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Results come back with CR LF line ends from Windows programs; a raw CR is never part
# of a result (it is written as \r), so dropping it is safe.
run() { "${program[@]}" "$@" 2>"$work/stderr" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

out=$(run field 2 'a, b ,c' ,); [ "$out" = " b " ] || fail "field one-shot gave [$out]"
out=$(run trim1 $'ab\t  '); [ "$out" = 'ab\t ' ] || fail "trim1 one-shot gave [$out]"
# The batch is read as bytes: a Ctrl-Z is part of its line, and the lines after it run.
printf 'leap\t0\x1a\nleap\t2000\r\n' > "$work/ctrl-z"
out=$(run - < "$work/ctrl-z"); status=$?
[ "$status" -eq 2 ] && [ "$(sed -n 2p <<< "$out")" = 1 ] || fail "batch with a Ctrl-Z exited $status: [$out]"

# A record hidden from the user is told from an empty one by its head number, whatever
# its sign: clock 2 (group 6, hidden) numbered -2, clock 3 numbered +0 (empty), clock 4
# blank for the 79 characters the number is read from, then +5 (empty).
cp -r "$(dirname "${BASH_SOURCE[0]}")/../../examples/installation" "$work/signed"
printf -- '-0002' | dd of="$work/signed/vst/klok.166" bs=1 seek=140 conv=notrunc status=none
printf -- '+0000' | dd of="$work/signed/vst/klok.166" bs=1 seek=280 conv=notrunc status=none
printf -- '%79s+5' '' | dd of="$work/signed/vst/klok.166" bs=1 seek=420 conv=notrunc status=none
base=$work/signed
case "${program[-1]}" in *.exe) base="Z:$base" ;; esac
got=$(QXBASE=$base QX_KLKGROUP=5 "${program[@]}" scan vst/klok.166 140 | tr -d '\r' | tail -1)
[ "$got" = "2 visible, 4 hidden, 2 empty" ] || fail "scan of signed clock numbers gave [$got]"
# A scan shows its progress on standard error only when that is a terminal.
QXBASE=$base "${program[@]}" scan vst/pers.172 1430 >/dev/null 2>"$work/progress"
[ ! -s "$work/progress" ] || fail "scan wrote [$(cat "$work/progress")] on standard error that is a file"
if [[ "${program[-1]}" != *.exe ]] && command -v script >/dev/null; then
    QXBASE=$base script -qec "${program[*]} scan vst/pers.172 1430 >/dev/null" /dev/null | tr '\r' '\n' >"$work/progress"
    grep -q "^scan: 300 records, 100 %, [1-9][0-9]* records/s" "$work/progress" ||
        fail "scan on a terminal showed [$(cat "$work/progress")]"
fi
if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "qxtool: all checks passed"
