#!/usr/bin/env bash
# The output of qxtool scan, byte for byte, over a generated installation of 5,000
# persons, for a table of restricted users: every filter mode and master file. Each
# output's SHA-256 is compared with the one recorded in scan_golden.sha256, so a change
# that speeds up the record path cannot change what anybody sees.
#   scan_golden.sh DIGESTS PROGRAM [LAUNCHER ARGS...]      check
#   scan_golden.sh --record DIGESTS PROGRAM [...]          write DIGESTS anew
set -u
record=0
if [ "$1" = --record ]; then record=1; shift; fi
digests=$1
shift
program=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/../../tools/make-installation.py" --output "$work/inst" --persons 5000 >/dev/null || exit 1
base=$work/inst
case "${program[-1]}" in *.exe) base="Z:$base" ;; esac
# The home directory: HOME for the Linux program; Wine needs HOME to be a Unix directory
# and hides it from Windows programs, which then take QXHOME.
home=(HOME="$work/inst/home" QXHOME="$base/home")

# One case a line: the variables (or -), then the scan's arguments ($BASE: the
# installation). Every spelling of a file's name gets the digest of its plain spelling.
cases=$(cat <<'CASES'
-	vst/pers.172 1430 afdkod:47 wplekkod:304
QX_AFD=10,20	vst/pers.172 1430 afdkod:47
QX_AFD=10 QX_PEE=W1	vst/pers.172 1430 afdkod:47 wplekkod:304
QX_AFD_PP=20 QX_PEE_PP=W2,W3 QX_SALNUM=S000123	vst/pers.172 1430 salnum:36
QX_AND=1 QX_AFD=10 QX_FUN=PAINTER	vst/pers.172 1430 funktie:211
QX_AND=1 QX_ORGUN=U1,U2 QX_DATP=100101	vst/pers.172 1430 orgunkod:1411 edatp:192
QX_PLIST=7	vst/pers.172 1430
QX_PLIST=7 QX_DATP=150101	vst/pers.172 1430
QX_ORGUN=U2,U1	vst/pers.172 1430 orgunkod:1411
QX_WPLEK=W4 QX_FUN=CLERK QX_TEAM=3	vst/pers.172 1430 teamkod:498
QX_MA=user5,user77 QX_UITZ=1	vst/pers.172 1430 login:343
QX_PERS_TB=TB1 QX_MA_GRP=G2 QX_MA_KREIS=34 QX_ORGBADNUM=6 QX_PERS_BEREICH=PB1 QX_ABRKREIS=A1	vst/pers.172 1430
QX_AND=1 QX_MA_KREIS=31,32 QX_ABRKREIS=A2	vst/pers.172 1430
QX_KLKGROUP=5	vst/klok.166 140 name:6
QX_KLKGROUP=5	vst\klok.166 140 name:6
QX_AFD=10 QX_PEE=W1	vst\pers.172 1430 afdkod:47 wplekkod:304
QX_AFD=10 QX_PEE=W1	vst//pers.172 1430 afdkod:47 wplekkod:304
QX_AFD=10 QX_PEE=W1	./vst/./pers.172 1430 afdkod:47 wplekkod:304
QX_AFD=10 QX_PEE=W1	$BASE/vst/pers.172 1430 afdkod:47 wplekkod:304
QX_KLKGROUP=3	vst/accgrp.bes 80 name:6
QX_WPLEK=W1,W3	vst/shftgrp.161 90 name:6
QX_AFD=10,30 QX_ABRKREIS=A1	vst/afd.166 90 name:16
QX_PEE=W2	vst/wplek.166 50 name:16
QX_TEAM=2,5	vst/team.bes 50 name:16
CASES
)

failures=0
out=()
while IFS=$'\t' read -r variables arguments; do
    [ "$variables" = - ] && variables=""
    # shellcheck disable=SC2086 # variables and arguments are words
    digest=$(env QXBASE="$base" "${home[@]}" $variables "${program[@]}" scan ${arguments//\$BASE/$base} | tr -d '\r' |
        sha256sum | cut -d' ' -f1)
    line="$digest	$variables	$arguments"
    out+=("$line")
    if [ $record = 0 ] && ! grep -qxF "$line" "$digests"; then
        echo "FAIL: scan $arguments with [$variables]: digest $digest is not the recorded one"
        failures=$((failures + 1))
    fi
done <<<"$cases"

if [ $record = 1 ]; then
    printf '%s\n' "${out[@]}" >"$digests"
    echo "recorded ${#out[@]} digests in $digests"
    exit 0
fi
echo "scan golden: ${#out[@]} cases, $failures failed"
[ $failures = 0 ]
