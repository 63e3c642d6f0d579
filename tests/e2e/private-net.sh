#!/usr/bin/env bash
# Runs a command in a network namespace of its own, whose only interface is loopback:
#   private-net.sh COMMAND [ARGS...]
#
# The terminal demo server always listens on port 3950, so process tests that start it
# would collide with each other and with a server someone runs on the same machine. In a
# namespace of its own every test has its own port 3950, and such tests run side by side.
#
# Where no namespace can be made (not root and unprivileged user namespaces switched
# off), the command runs in the machine's own namespace while holding a machine-wide
# lock on the port, so these tests still never overlap; that is said on standard error.
# A Windows program under Wine must be served by a wineserver started inside the same
# namespace (the server makes its sockets): give such a test a Wine prefix of its own.

set -uo pipefail

die() {
    echo "private-net.sh: $*" >&2
    exit 125
}

[[ $# -ge 1 ]] || die "usage: private-net.sh COMMAND [ARGS...]"

if [[ "${QX_PRIVATE_NET_INSIDE:-}" == 1 ]]; then
    unset QX_PRIVATE_NET_INSIDE
    # A new namespace has its loopback interface down.
    ip link set lo up || die "cannot bring up loopback in the new network namespace"
    exec "$@"
fi

command -v ip >/dev/null 2>&1 || die "'ip' (iproute2) is needed to bring up loopback (run tools/install-deps.sh)"

self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")
for options in "--net" "--net --map-root-user"; do
    # shellcheck disable=SC2086 # the options are words
    if unshare $options true 2>/dev/null; then
        export QX_PRIVATE_NET_INSIDE=1
        # shellcheck disable=SC2086
        exec unshare $options -- bash "$self" "$@"
    fi
done

lock=${TMPDIR:-/tmp}/qx-tcp-port-3950.lock
echo "private-net.sh: no network namespace can be made here; running on the machine's own" \
    "loopback while holding $lock" >&2
exec flock -w "${QX_PORT_LOCK_TIMEOUT:-900}" "$lock" "$@"
