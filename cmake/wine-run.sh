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
# do not race) as a copy of a template prefix beside it (wineprefix-template-ARCH,
# or qx-wineprefix-template-<uid>-<arch> in the third case), itself made once
# with wineboot; both are marked ready with a stamp file.
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
if [[ "$prefix" == "${TMPDIR:-/tmp}/qx-wineprefix-$(id -u)-$arch" ]]; then
    template=${TMPDIR:-/tmp}/qx-wineprefix-template-$(id -u)-$arch
else
    template=$(dirname "$prefix")/wineprefix-template-$arch
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

# Every command started while a lock is held gets "8>&- 9>&-": a daemon that
# inherited the descriptor would hold the lock for as long as it lives.
quiet() { "$@" </dev/null >/dev/null 2>&1 8>&- 9>&-; }

# The stamp records how a prefix was set up; a prefix made for another arch, by an
# older version of this script or by another Wine version is made anew.
stamp_text="qx-wineprefix 4 arch=$arch $("$wine_bin" --version 2>/dev/null)"
is_ready() { [[ "$(cat "$1/.qx-prefix-ready" 2>/dev/null)" == "$stamp_text" ]]; }

# Makes the template prefix $1 with wineboot (about 20 s for a 32-bit prefix), under
# its own lock. No program ever runs in it, so it stays idle and can be copied.
make_template() {
    local template=$1
    exec 8>"$template.lock" || die "cannot open $template.lock"
    flock -w "${QX_WINE_LOCK_TIMEOUT:-300}" 8 || die "timed out waiting for $template.lock"
    if ! is_ready "$template"; then
        WINEPREFIX=$template quiet "$wineserver_bin" -k || true
        rm -rf "$template"
        # No Mono/Gecko install prompts.
        WINEPREFIX=$template WINEDLLOVERRIDES="mscoree,mshtml=" quiet "$wine_bin" wineboot -i ||
            die "wineboot failed for $template"
        # A crashing program must end with its exception code (0xC0000005 gives
        # exit status 5), as on Windows. Wine's default just-in-time debugger
        # (winedbg --auto) prints a backtrace but then lets the process exit
        # with 0, which would turn a crash into a passing test. Naming a debugger
        # that does not exist makes Wine skip it and terminate the process.
        WINEPREFIX=$template quiet "$wine_bin" reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Debugger /t REG_SZ /d 'qx-no-debugger.exe %ld %ld' /f || die "cannot configure $template"
        WINEPREFIX=$template quiet "$wine_bin" reg add 'HKCU\Software\Wine\WineDbg' \
            /v ShowCrashDialog /t REG_DWORD /d 0 /f || die "cannot configure $template"
        WINEPREFIX=$template "$wineserver_bin" -w 8>&- 9>&-
        printf '%s\n' "$stamp_text" >"$template/.qx-prefix-ready"
    fi
    exec 8>&-
}

# Copies prefix $1 to $2. The system folders, about nine tenths of a prefix (some 530 MB
# of DLLs), are hard links: Wine only ever reads them (a Wine update remakes every prefix,
# see the stamp). Everything else, the registry above all, is a copy of its own.
# But for the file "wineserver": where no /run/user/UID exists, Wine keeps there the name
# of a folder it made under ${TMPDIR:-/tmp}, and finds a prefix's wineserver in that folder by the
# prefix's inode number. Copies sharing the name would share the folder, and a prefix
# made after another was removed can get its inode number: its programs would then meet
# the wineserver of the removed one (another test's, in another network namespace, its X
# display gone). Without the file, Wine makes each copy a folder of its own.
copy_prefix() {
    local system=drive_c/windows/system32 wow=drive_c/windows/syswow64
    rm -rf "$2" && mkdir -p "$2/drive_c/windows" &&
        tar -C "$1" --exclude="./$system" --exclude="./$wow" --exclude=./wineserver -cf - . | tar -C "$2" -xf - &&
        cp -al "$1/$system" "$2/$system" &&
        { [[ ! -d "$1/$wow" ]] || cp -al "$1/$wow" "$2/$wow"; }
}

# Removes the folder Wine made under $TMPDIR for prefix $1's wineserver (see copy_prefix),
# once that wineserver has ended; never a folder another prefix may still name.
forget_server_folder() {
    local name
    name=$(cat "$1/wineserver" 2>/dev/null) || return 0
    [[ "$name" =~ ^wine-[A-Za-z0-9]{6}$ && "$name" != "$(cat "$template/wineserver" 2>/dev/null)" ]] &&
        rm -rf "${TMPDIR:-/tmp}/$name"
    return 0
}

mkdir -p "$(dirname "$prefix")" || die "cannot create $(dirname "$prefix")"
# Serialises prefix creation and server start between parallel ctest jobs.
exec 9>"$prefix.lock" || die "cannot open $prefix.lock"
flock -w "${QX_WINE_LOCK_TIMEOUT:-300}" 9 || die "timed out waiting for $prefix.lock"

# Test programs that change what a prefix holds (its registry above all) or that need a
# wineserver of their own (one in a private network namespace) get a prefix of their own;
# each is a copy of one template beside it, which is far quicker than another wineboot.
if ! is_ready "$prefix"; then
    make_template "$template"
    quiet "$wineserver_bin" -k || true
    forget_server_folder "$prefix"
    rm -rf "$prefix"
    copy_prefix "$template" "$prefix.tmp.$$" && mv "$prefix.tmp.$$" "$prefix" ||
        die "cannot copy $template to $prefix"
fi

# Keep one wineserver alive between program starts (cold start about 1-2 s,
# warm about 0.1 s); if one already runs for this prefix, this exits at once.
quiet "$wineserver_bin" -p"${QX_WINESERVER_PERSIST:-60}" || true
# The first program a fresh wineserver sees starts Wine's background services
# (services.exe, winedevice.exe, ...), which inherit that program's stdio and
# live as long as the server. Start them from a throwaway program with no
# stdio, so that they never hold the caller's pipes open (a caller reading
# the output to EOF would otherwise wait for the server to exit).
quiet "$wine_bin" hostname || true
exec 9>&-

# Run in the foreground and hand back the exit code unchanged.
"$wine_bin" "$@"
exit $?
