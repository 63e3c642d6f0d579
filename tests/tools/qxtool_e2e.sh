#!/usr/bin/env bash
# Runs the real qxtool binary (under Wine for Windows builds: the command line given is
# the program and any launcher in front of it) against a table of cases, and checks its
# exit statuses and usage errors.
#   qxtool_e2e.sh CASES_FILE PROGRAM [LAUNCHER ARGS...] 
# CASES_FILE lines: the command and its arguments separated by TAB (escaped as qxtool
# reads them), then TAB "=>" TAB and the expected result line. '#' lines are comments.
set -u
cases=$1
shift
program=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Results come back with CR LF line ends from Windows programs; a raw CR is never part
# of a result (it is written as \r), so dropping it is safe.
run() { "${program[@]}" "$@" 2>"$work/stderr" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

grep -v '^#' "$cases" | grep -v '^$' > "$work/cases"
awk -F '\t=>\t' '{ print $1 }' "$work/cases" > "$work/input"
awk -F '\t=>\t' '{ print $2 }' "$work/cases" > "$work/expected"
run - < "$work/input" > "$work/actual"
status=$?
[ "$status" -eq 0 ] || fail "batch exit status $status, expected 0: $(head -3 "$work/stderr")"
if ! diff "$work/expected" "$work/actual" > "$work/diff"; then
    fail "batch results differ (expected <, actual >):"
    cat "$work/diff"
fi
echo "batch: $(wc -l < "$work/input") cases"

# One-shot commands: result on stdout, exit 0.
out=$(run field 2 'a, b ,c' ,); [ "$out" = " b " ] || fail "field one-shot gave [$out]"
out=$(run minutes -75 '%+05d:%02d'); [ "$out" = "-  01:15" ] || fail "minutes one-shot gave [$out]"
out=$(run trim1 $'ab\t  '); [ "$out" = 'ab\t ' ] || fail "trim1 one-shot gave [$out]"

# Records of the sample installation (a Windows program sees it through drive Z:).
base=$(cd "$(dirname "$cases")/../../examples/installation" && pwd)
case "${program[-1]}" in *.exe) base="Z:$base" ;; esac
check() { out=$(QXBASE=$base "${@:2}" | tr -d '\r'); [ "$out" = "$1" ] || fail "${*:2} gave [$out], expected [$1]"; }
check '0 00002\0CC0002\0   Paint shop\0                   991231\0       ' run read vst/sample.166 2 60
check '-4' run read vst/sample.166 4 60  # (the other codes: RecordTest, on both platforms)
check '-1' run read vst/none.166 1 60
check "$base/vst/sample.166 (opened)" run find vst/sample.166
check "$base/vst/none.166 (no); not found" run find vst/none.166
check 'donderdag ' run date 101014 ddl
check 'Thursday ' env QX_LANGUAGE=eng "${program[@]}" date 101014 ddl
check 'okt' run date 101014 mm
check 'tab/xyz.deu j' env QX_LANGUAGE=deu "${program[@]}" lang tab/xyz.tab
check 'o' env QX_YES=Oui "${program[@]}" yes
check '6 Card not known' env QX_LANGUAGE=eng "${program[@]}" msg tab/hulp.tab 2
check '3   Msgfile dta/gen.msg; error in message. Msgnr = 200.' run msg dta/gen.msg 200
# A name of a folder opens nothing, whatever the system would make of it; a folder is
# never taken for a file, wherever the search meets it first.
for folder in 'vst/sample.166/' 'vst/sample.166/.' 'vst/sample.166//' 'vst/sample.166/./'; do
    check '-1' run read "$folder" 2 60
    check 'no candidate' run find "$folder"
done
check "3   Can't open dta/gen.msg/., msgnr = 105 " run msg 'dta/gen.msg/.' 105
out=$(QXBASE=$base run find dta); [[ "$out" == *"; not found" ]] || fail "find dta took a folder: [$out]"

# Scans as a restricted user sees the files (summary lines). HOME stays as it is: Wine
# itself needs it, and these restrictions read no oumfil.bes.
summary() { QXBASE=$base "$@" | tr -d '\r' | tail -1; }
# (What each restriction shows is scan_golden's; here the spellings.) No spelling of a protected file's name escapes its rules.
for name in vst/pers.172 'vst\pers.172' 'vst//pers.172' './vst/./pers.172' "$base/vst/pers.172"; do
    got=$(summary env QX_AFD=10 QX_PEE=W1 "${program[@]}" scan "$name" 1430)
    [ "$got" = "24 visible, 270 hidden, 6 empty" ] || fail "scan of $name with QX_AFD=10 QX_PEE=W1 gave [$got]"
done
[ "$(summary env QX_KLKGROUP=5 "${program[@]}" scan 'vst\klok.166' 140)" = "2 visible, 6 hidden, 0 empty" ] ||
    fail "scan of vst\klok.166 with QX_KLKGROUP=5"
# A record hidden from the user is told from an empty one by its head number, whatever
# its sign: clock 2 (group 6, hidden) numbered -2, clock 3 numbered +0 (empty), clock 4
# blank for the 79 characters the number is read from, then +5 (empty).
cp -r "$(dirname "$cases")/../../examples/installation" "$work/signed"
printf -- '-0002' | dd of="$work/signed/vst/klok.166" bs=1 seek=140 conv=notrunc status=none
printf -- '+0000' | dd of="$work/signed/vst/klok.166" bs=1 seek=280 conv=notrunc status=none
printf -- '%79s+5' '' | dd of="$work/signed/vst/klok.166" bs=1 seek=420 conv=notrunc status=none
signed=$work/signed
case "${program[-1]}" in *.exe) signed="Z:$signed" ;; esac
got=$(QXBASE=$signed QX_KLKGROUP=5 "${program[@]}" scan vst/klok.166 140 | tr -d '\r' | tail -1)
[ "$got" = "2 visible, 4 hidden, 2 empty" ] || fail "scan of signed clock numbers gave [$got]"
# A scan shows its progress on standard error only when that is a terminal.
QXBASE=$base "${program[@]}" scan vst/pers.172 1430 >/dev/null 2>"$work/progress"
[ ! -s "$work/progress" ] || fail "scan wrote [$(cat "$work/progress")] on standard error that is a file"
if [[ "${program[-1]}" != *.exe ]] && command -v script >/dev/null; then
    QXBASE=$base script -qec "${program[*]} scan vst/pers.172 1430 >/dev/null" /dev/null | tr '\r' '\n' >"$work/progress"
    grep -q "^scan: 300 records, 100 %, [1-9][0-9]* records/s" "$work/progress" ||
        fail "scan on a terminal showed [$(cat "$work/progress")]"
fi

# Usage errors: a message on stderr, nothing on stdout, exit 2, never a crash.
for bad in "" "nosuch" "leap" "leap 1 2" "leap x" "leap 99999999999" "field 40000 a ," \
           "field 1 a ,," "add-days 1" "lead abc 1e3" "read vst/x 1 2000000" "dirs x" "scan vst/x 10 bad" "scan vst/x 10 f:10" "scan vst/x"; do
    read -r -a words <<< "$bad"
    out=$(run "${words[@]}")
    status=$?
    [ "$status" -eq 2 ] || fail "'$bad' exited $status, expected 2"
    [ -z "$out" ] || fail "'$bad' printed [$out] on stdout"
    [ -s "$work/stderr" ] || fail "'$bad' printed no message on stderr"
done

# A failed line in a batch (what its lines say: qxtool_test): the others still answered, exit 2.
printf 'leap\t2000\nleap\tx\nleap\t1900\n' > "$work/mixed"
out=$(run - < "$work/mixed"); status=$?
[ "$status" -eq 2 ] && [ "$(sed -n 3p <<< "$out")" = 0 ] || fail "mixed batch exited $status: [$out]"
# The batch is read as bytes: a Ctrl-Z is part of its line, and the lines after it run.
printf 'leap\t0\x1a\nleap\t2000\r\n' > "$work/ctrl-z"
out=$(run - < "$work/ctrl-z"); status=$?
[ "$status" -eq 2 ] && [ "$(sed -n 2p <<< "$out")" = 1 ] || fail "batch with a Ctrl-Z exited $status: [$out]"

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "qxtool: all checks passed"
