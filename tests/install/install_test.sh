#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the programs
# run from it and know their version, the manual pages render without a warning and name
# every qxtool command, and a project outside this one builds against the library twice
# (CMake's find_package, shared and static; pkg-config) and gets the right results.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
for program in qxtool nexolt-sim nexolt-demo; do
    [[ "$("$prefix/bin/$program" --version)" == "$program $(cat "$build/generated/qx/version.h" | sed -n 's/.*kVersion\[\] = "\(.*\)";/\1/p')" ]] ||
        fail "$program --version from the prefix"
    page=$prefix/share/man/man1/$program.1.gz
    [[ -f "$page" ]] || { fail "no manual page for $program"; continue; }
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z "$warnings" ]] || fail "man $program: $warnings"
done
for command in $("$prefix/bin/qxtool" --help | sed -n '/^Commands:/,$p' | awk 'NR > 1 { print $1 }'); do
    gzip -dc "$prefix/share/man/man1/qxtool.1.gz" | sed 's/\\-/-/g' | grep -q "^\.B $command\b" || fail "qxtool.1 does not describe $command"
done

export QXBASE=$source/examples/installation HOME=$source/examples/installation/home VELMORA_REGISTRY=/nonexistent
# find_package(qx): qx::qx (shared) and qx::qx_static
if cmake -S "$source/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=Release >"$work/consumer.log" 2>&1 &&
    cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1; then
    [[ "$(LD_LIBRARY_PATH=$prefix/lib "$work/consumer/consumer")" == ok ]] || fail "consumer (shared) gave a wrong result"
    [[ "$("$work/consumer/consumer_static")" == ok ]] || fail "consumer (static) gave a wrong result"
    readelf -d "$work/consumer/consumer" | grep -q 'NEEDED.*libqx\.so\.0' || fail "consumer does not load libqx.so.0"
else
    fail "the CMake consumer did not build:"; tail -20 "$work/consumer.log"
fi
# pkg-config
if flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs qx) &&
    c++ "$source/tests/install/consumer/main.cpp" $flags -o "$work/pc-consumer" 2>"$work/pc.log"; then
    [[ "$(LD_LIBRARY_PATH=$prefix/lib "$work/pc-consumer")" == ok ]] || fail "pkg-config consumer gave a wrong result"
else
    fail "the pkg-config consumer did not build:"; cat "$work/pc.log"
fi
echo "$failures failures"
[[ $failures -eq 0 ]]
