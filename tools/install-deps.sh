#!/usr/bin/env bash
# Installs what building and testing qx needs on Debian 12 (run as root).
# Idempotent: installs only the packages that are missing, and runs
# apt-get update only when something is missing. Prints one summary line.
#   tools/install-deps.sh [--run]   (--run: only what building the Linux programs needs)

set -euo pipefail

run_only=false
[[ "${1:-}" != --run ]] || run_only=true

packages=(
    build-essential cmake ninja-build git pkg-config
    libgtest-dev googletest libgmock-dev libbenchmark-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    wine wine32:i386 wine64
    xvfb xauth
    python3 procps util-linux iproute2
    clang libclang-rt-14-dev valgrind gcovr
    lintian man-db nsis
)

log=${TMPDIR:-/tmp}/qx-install-deps.log

if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
else
    sudo_cmd=()
fi

if $run_only; then
    packages=(build-essential cmake ninja-build)
fi

added_arch=""
if ! $run_only && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    added_arch="added i386 architecture; "
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$p")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: ${added_arch}all ${#packages[@]} packages already installed"
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt_opts=(-y -q -o DPkg::Lock::Timeout=900 -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
: >"$log"
if ! "${sudo_cmd[@]}" apt-get "${apt_opts[@]}" update >>"$log" 2>&1 ||
    ! "${sudo_cmd[@]}" apt-get "${apt_opts[@]}" install "${missing[@]}" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "install-deps: ${added_arch}FAILED to install: ${missing[*]} (log: $log)" >&2
    exit 1
fi
echo "install-deps: ${added_arch}installed ${#missing[@]} missing package(s): ${missing[*]}"
