#!/usr/bin/env bash
# Builds the packages of a build directory with cpack and checks what they hold.
# Linux: the Debian packages qx and qx-dev (files, fields, the service unit, and no
# lintian error where lintian is installed); Windows: the .zip (the three programs, the
# README, the licence and the sample installation) and the installer beside it.
#   package_test.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
zip=$(ls "$work"/*.zip 2>/dev/null | head -1)
if [[ -n "$zip" ]]; then
    python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip" >"$work/list"
    for file in bin/nexolt-demo.exe share/doc/qx/copyright.txt share/doc/qx/examples/installation/vst/pers.172; do
        grep -q "/$file\$" "$work/list" || fail "$(basename "$zip") lacks $file"
    done
    # (what the installer installs: windows_installer_test.py)
    ! command -v makensis >/dev/null || [[ -f "${zip%.zip}.exe" ]] || fail "no installer beside $(basename "$zip")"
else
    runtime=$(ls "$work"/qx_*.deb) dev=$(ls "$work"/qx-dev_*.deb) || { fail "no Debian packages"; exit 1; }
    dpkg-deb -c "$runtime" | awk '{ print $6 }' >"$work/runtime"
    dpkg-deb -c "$dev" | awk '{ print $6 }' >"$work/dev"
    for file in bin/qxtool lib/libqx.so.0 share/man/man1/qxtool.1.gz share/doc/qx/copyright \
                share/doc/qx/examples/installation/vst/pers.172; do
        grep -qx "./usr/$file" "$work/runtime" || fail "qx lacks /usr/$file"
    done
    for file in include/qx/version.h lib/libqx.a lib/pkgconfig/qx.pc share/doc/qx-dev/copyright; do
        grep -qx "./usr/$file" "$work/dev" || fail "qx-dev lacks /usr/$file"
    done
    ! grep -q 'include/' "$work/runtime" || fail "qx holds headers"
    [[ "$(dpkg-deb -f "$runtime" Section)" == net && "$(dpkg-deb -f "$dev" Section)" == libdevel ]] || fail "sections"
    dpkg-deb -f "$runtime" Depends | grep -q 'libstdc++6' || fail "qx does not depend on libstdc++6"
    [[ "$(dpkg-deb -f "$dev" Depends)" == "qx (= $(dpkg-deb -f "$runtime" Version))" ]] || fail "qx-dev depends"
    dpkg-deb --fsys-tarfile "$runtime" | tar -xO ./usr/lib/systemd/system/nexolt-demo.service >"$work/unit"
    for line in ExecStart=/usr/bin/nexolt-demo StandardOutput=journal Restart=on-failure DynamicUser=yes \
                NoNewPrivileges=yes ProtectSystem=strict; do
        grep -qx "$line" "$work/unit" || fail "the unit lacks $line"
    done
    # The maintainer scripts as dpkg runs them, systemd's tools replaced by stubs that log
    # their calls, in a mount namespace of their own: /run/systemd/system, and a journal
    # in the service's state folder (DynamicUser: /var/lib/private, linked).
    dpkg-deb -e "$runtime" "$work/control" && mkdir "$work/stubs"
    for tool in systemctl deb-systemd-invoke deb-systemd-helper; do
        printf '#!/bin/sh\necho "%s $*" >>"${0%%/*}/log"\n[ "$1" != debian-installed ]\n' "$tool" >"$work/stubs/$tool"
    done
    chmod +x "$work/stubs"/*
    run() {
        unshare -m sh -c 'mount -t tmpfs none /run && mkdir -p /run/systemd/system && mount -t tmpfs none /var/lib &&
            mkdir -p /var/lib/private/nexolt-demo && ln -s private/nexolt-demo /var/lib/nexolt-demo &&
            touch /var/lib/nexolt-demo/bookings.jsonl &&
            PATH=$0:$PATH sh "$@" && cat $0/log 2>/dev/null; ls /var/lib/nexolt-demo/ 2>/dev/null' "$work/stubs" "$work/control/$1" "${@:2}" |
            paste -sd ';'
        rm -f "$work/stubs/log"
    }
    if unshare -m true 2>/dev/null; then
        while IFS='|' read -r call expected; do
            [[ $call == \#* ]] && continue
            [[ "$(run $call)" == "$expected" ]] || fail "$call: $(run $call), expected $expected"
        done <"$(dirname "${BASH_SOURCE[0]}")/maintainer_scripts.txt"
    else
        echo "no mount namespace here: the maintainer scripts were not run"
    fi
    # The unit as packaged, in the package's tree (with the system's own units beside it).
    if command -v systemd-analyze >/dev/null; then
        dpkg-deb -x "$runtime" "$work/root" && cp -rn /usr/lib/systemd/system/. "$work/root/usr/lib/systemd/system/"
        verify=$(MANPATH=$work/root/usr/share/man systemd-analyze verify --root="$work/root" nexolt-demo.service 2>&1) &&
            [[ -z "$verify" ]] || fail "systemd-analyze verify: $verify"
        exposure=$(systemd-analyze security --offline=true --root="$work/root" nexolt-demo.service | sed -n 's/.*: \([0-9.]*\) [A-Z].*/\1/p')
        awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' || fail "exposure $exposure, above 2.0"
    else
        echo "no systemd-analyze (Debian package systemd): the unit was not checked"
    fi
    if command -v lintian >/dev/null; then
        lintian --tag-display-limit 0 "$runtime" "$dev" >"$work/lintian" 2>&1
        ! grep -q '^E:' "$work/lintian" || fail "lintian: $(grep '^E:' "$work/lintian")"
    fi
fi
echo "$failures failures"
[[ $failures -eq 0 ]]
