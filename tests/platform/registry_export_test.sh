#!/usr/bin/env bash
# A key written in Windows' own registry and exported with Windows' own tools reads on
# Linux as Windows reads it. In a Wine prefix of the test's own: values written with
# `reg add` (REG_SZ, REG_EXPAND_SZ, one over 255 characters, a name written again in
# other letter case, a character of code page 1252 beyond ASCII), the key exported with
# `regedit /E` and with `reg export`, each export read by the Linux program's registry
# reader (qxtool reg) and compared with what `reg query` reads from the registry itself.
#   registry_export_test.sh QXTOOL          (exit 77: no Wine here)
set -u
qxtool=$1
wine=$(command -v wine) || { echo "no Wine: skipped"; exit 77; }
export WINEPREFIX=$(mktemp -d) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
key='HKEY_LOCAL_MACHINE\Software\Velmora'
long=$(printf 'L%.0s' $(seq 300))
reg() { "$wine" reg "$@" >/dev/null 2>&1 || fail "wine reg $*"; }

reg add "$key" /v qxbase /t REG_SZ /d 'C:\qx\base' /f
reg add "$key" /v qxhome /t REG_EXPAND_SZ /d '%SystemRoot%\home\é' /f
reg add "$key" /v Long /t REG_SZ /d "$long" /f
reg add "$key" /v Case /t REG_SZ /d first /f
reg add "$key" /v CASE /t REG_SZ /d second /f  # the same value: names ignore case

# What Windows reads: "name=data" lines from reg query, which writes the console's code
# page (437), turned into the A functions' code page (1252), a backslash written as
# qxtool writes it.
"$wine" reg query "$key" 2>/dev/null | tr -d '\r' | iconv -f CP437 -t CP1252 |
    awk -F '    ' 'NF >= 4 && $2 != "" { print $2 "=" $4 }' | sed 's/\\/\\\\/g' | LC_ALL=C sort >"$WINEPREFIX/windows"
[[ $(wc -l <"$WINEPREFIX/windows") -eq 4 ]] || fail "reg query gave: $(cat "$WINEPREFIX/windows")"

"$wine" regedit /E 'Z:'"$WINEPREFIX"'/regedit.reg' "$key" >/dev/null 2>&1 || fail "regedit /E"
"$wine" reg export "$key" 'Z:'"$WINEPREFIX"'/reg-export.reg' /y >/dev/null 2>&1 || fail "reg export"
for export in regedit.reg reg-export.reg; do
    file=$WINEPREFIX/$export
    [[ -s $file ]] || { fail "$export was not written"; continue; }
    [[ $(head -c 2 "$file" | od -An -tx1 | tr -d ' ') == fffe ]] || fail "$export is not UTF-16LE with a mark"
    VELMORA_REGISTRY=$file "$qxtool" reg 'Software\Velmora' | grep -av ' values$' | LC_ALL=C sort >"$WINEPREFIX/linux"
    diff "$WINEPREFIX/windows" "$WINEPREFIX/linux" >"$WINEPREFIX/diff" ||
        fail "$export read on Linux differs from the registry (< Windows, > Linux): $(cat "$WINEPREFIX/diff")"
done
echo "$failures failures"
[[ $failures -eq 0 ]]
