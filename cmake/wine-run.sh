#!/usr/bin/env bash
# Runs a Windows program under Wine:   wine-run.sh ARCH PROGRAM [ARGS...]
#                                      wine-run.sh ARCH --check
# (--check: exit 0 if programs of ARCH can run on this machine, else 125)
#
# ARCH is win32 or win64. Used as CMAKE_CROSSCOMPILING_EMULATOR by the mingw
# toolchain files, so ctest runs the Windows test executables through it.
#
# Wine prefix, in order of preference:
#   1. $QX_WINEPREFIX
#   2. <build dir>/wineprefix, the build dir being the nearest directory at or
#      above $PWD (ctest runs tests inside the build tree), or else at or above
#      the program's own directory, that holds CMakeCache.txt
#   3. ${TMPDIR:-/tmp}/qx-wineprefix-<uid>-<arch>
# The prefix is created on first use (under a flock, so parallel ctest jobs
# do not race) and marked ready with a stamp file.
#
# The program's stdout/stderr are passed through untouched and its exit code
# is returned as is. Note that the Windows C runtime itself writes "\r\n" for
# "\n" on text-mode streams: programs whose output is compared byte for byte
# put stdout in binary mode (_setmode(_fileno(stdout), _O_BINARY)).

set -uo pipefail

die() {
    echo "wine-run.sh: $*" >&2
    exit 125
}

[[ $# -ge 2 ]] || die "usage: wine-run.sh win32|win64 PROGRAM [ARGS...] | wine-run.sh win32|win64 --check"
arch=$1
shift
case "$arch" in
    win32 | win64) ;;
    *) die "unknown arch '$arch' (expected win32 or win64)" ;;
esac

find_build_dir() {
    local dir
    dir=$(cd "$1" 2>/dev/null && pwd -P) || return 1
    while [[ -n "$dir" ]]; do
        if [[ -f "$dir/CMakeCache.txt" ]]; then
            printf '%s\n' "$dir"
            return 0
        fi
        [[ "$dir" == "/" ]] && break
        dir=$(dirname "$dir")
    done
    return 1
}

if [[ -n "${QX_WINEPREFIX:-}" ]]; then
    prefix=$QX_WINEPREFIX
elif build_dir=$(find_build_dir "$PWD") || build_dir=$(find_build_dir "$(dirname -- "$1")"); then
    prefix=$build_dir/wineprefix
else
    prefix=${TMPDIR:-/tmp}/qx-wineprefix-$(id -u)-$arch
fi

# Loader. Debian's /usr/bin/wine wrapper always prefers the 32-bit loader
# when wine32 is installed, which cannot start at all on a kernel without
# 32-bit x86 support; so 64-bit programs go to the 64-bit loader directly.
pick_first() {
    local c
    for c in "$@"; do
        if [[ "$c" == */* ]]; then
            [[ -x "$c" ]] && { printf '%s\n' "$c"; return 0; }
        elif command -v "$c" >/dev/null 2>&1; then
            command -v "$c"
            return 0
        fi
    done
    return 1
}
if [[ -n "${QX_WINE:-}" ]]; then
    wine_bin=$QX_WINE
elif [[ "$arch" == win64 ]]; then
    wine_bin=$(pick_first /usr/lib/wine/wine64 wine64 wine) || die "no 64-bit Wine found (run tools/install-deps.sh)"
else
    wine_bin=$(pick_first /usr/lib/wine/wine wine) || die "no 32-bit Wine found (run tools/install-deps.sh)"
fi
# Debian's /usr/lib/wine/wineserver wrapper forces "-p0" (no persistence): call
# the server binary itself.
wineserver_bin=$(pick_first "${QX_WINESERVER:-}" /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32 wineserver) || die "wineserver not found"
export WINELOADER=$wine_bin

# 32-bit Wine is itself a 32-bit Linux program: some kernels are built or
# booted without 32-bit x86 support ("ia32_emulation=off") and cannot start it.
if ! "$wine_bin" --version >/dev/null 2>&1; then
    if [[ "$arch" == win32 ]]; then
        die "cannot start 32-bit Wine ($wine_bin): this kernel does not run 32-bit x86 programs; win32 executables cannot be run here"
    fi
    die "cannot start Wine ($wine_bin)"
fi

if [[ "$1" == --check ]]; then
    exit 0
fi

export WINEPREFIX=$prefix
export WINEARCH=$arch
export WINEDEBUG=${QX_WINEDEBUG:--all}
# Console programs need no display; keep Wine from looking for one. Window programs
# get the X display named by QX_WINE_DISPLAY (an Xvfb of the test run).
unset WAYLAND_DISPLAY
if [[ -n "${QX_WINE_DISPLAY:-}" ]]; then
    export DISPLAY=$QX_WINE_DISPLAY
else
    unset DISPLAY
fi

stamp=$prefix/.qx-prefix-ready
mkdir -p "$(dirname "$prefix")" || die "cannot create $(dirname "$prefix")"
# Serialises prefix creation and server start between parallel ctest jobs.
# Every command started while the lock is held gets "9>&-": a daemon that
# inherited the descriptor would hold the lock for as long as it lives.
exec 9>"$prefix.lock" || die "cannot open $prefix.lock"
flock -w "${QX_WINE_LOCK_TIMEOUT:-300}" 9 || die "timed out waiting for $prefix.lock"

# The stamp records how the prefix was set up; a prefix made for another arch
# or by an older version of this script is made anew.
stamp_text="qx-wineprefix 2 arch=$arch"
if [[ "$(cat "$stamp" 2>/dev/null)" != "$stamp_text" ]]; then
    "$wineserver_bin" -k </dev/null >/dev/null 2>&1 9>&- || true
    rm -rf "$prefix"
    # No Mono/Gecko install prompts.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_bin" wineboot -i </dev/null >/dev/null 2>&1 9>&- ||
        die "wineboot failed for $prefix"
    # A crashing program must end with its exception code (0xC0000005 gives
    # exit status 5), as on Windows. Wine's default just-in-time debugger
    # (winedbg --auto) prints a backtrace but then lets the process exit
    # with 0, which would turn a crash into a passing test. Naming a debugger
    # that does not exist makes Wine skip it and terminate the process.
    "$wine_bin" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d 'qx-no-debugger.exe %ld %ld' /f </dev/null >/dev/null 2>&1 9>&- ||
        die "cannot configure $prefix"
    "$wine_bin" reg add 'HKCU\Software\Wine\WineDbg' \
        /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&- ||
        die "cannot configure $prefix"
    "$wineserver_bin" -w 9>&-
    printf '%s\n' "$stamp_text" >"$stamp"
fi

# Keep one wineserver alive between program starts (cold start about 1-2 s,
# warm about 0.1 s); if one already runs for this prefix, this exits at once.
"$wineserver_bin" -p"${QX_WINESERVER_PERSIST:-60}" </dev/null >/dev/null 2>&1 9>&- || true
# The first program a fresh wineserver sees starts Wine's background services
# (services.exe, winedevice.exe, ...), which inherit that program's stdio and
# live as long as the server. Start them from a throwaway program with no
# stdio, so that they never hold the caller's pipes open (a caller reading
# the output to EOF would otherwise wait for the server to exit).
"$wine_bin" hostname </dev/null >/dev/null 2>&1 9>&- || true
exec 9>&-

# Run in the foreground and hand back the exit code unchanged.
"$wine_bin" "$@"
exit $?
