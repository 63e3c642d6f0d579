#!/usr/bin/env bash
# The output of qxtool scan, byte for byte, over a generated installation of 5,000
# persons, for a table of restricted users: every filter mode and master file, and every
# spelling of a file's name with the digest of its plain spelling. DIGESTS holds a case a
# line, "SHA-256 TAB VARIABLES TAB SCAN ARGUMENTS" ($BASE: the installation), so a change
# that speeds up the record path cannot change what anybody sees.
#   scan_golden.sh [--record] DIGESTS PROGRAM [LAUNCHER ARGS...]   (--record: digests anew)
set -u
record=0
if [ "$1" = --record ]; then record=1; shift; fi
digests=$1
shift
program=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$(dirname "${BASH_SOURCE[0]}")/../../tools/make-installation.py" --output "$work/inst" --persons 5000 >/dev/null || exit 1
base=$work/inst
case "${program[-1]}" in *.exe) base="Z:$base" ;; esac
# The home directory: HOME for the Linux program; Wine needs HOME to be a Unix directory
# and hides it from Windows programs, which then take QXHOME.
home=(HOME="$work/inst/home" QXHOME="$base/home")

failures=0
while IFS= read -r line; do
    recorded=${line%%$'\t'*} rest=${line#*$'\t'}
    variables=${rest%%$'\t'*} arguments=${rest#*$'\t'}
    # shellcheck disable=SC2086 # variables and arguments are words
    digest=$(env QXBASE="$base" "${home[@]}" $variables "${program[@]}" scan ${arguments//\$BASE/$base} | tr -d '\r' |
        sha256sum | cut -d' ' -f1)
    printf '%s\t%s\t%s\n' "$digest" "$variables" "$arguments" >>"$work/digests"
    [ "$digest" = "$recorded" ] || [ $record = 1 ] || { echo "FAIL: scan $arguments with [$variables]"; failures=$((failures + 1)); }
done <"$digests"
[ $record = 0 ] || cp "$work/digests" "$digests"
echo "scan golden: $(wc -l <"$work/digests") cases, $failures failed"
[ $failures = 0 ]
