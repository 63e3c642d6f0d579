#!/usr/bin/env bash
# Checks that dependencies run one way: platform -> support -> visibility -> app and
# tools. Each folder's sources include only their own layer and the layers below it,
# nothing outside platform/ includes an operating system's header or asks which system
# it is built for, and the libraries link only downwards (from the dependency graph of a
# configuration of the sources in a temporary folder). Prints each breach; exit 1 if
# there is one.
#   tools/check-layers.sh
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
breaches=0
breach() { echo "layers: $*"; breaches=$((breaches + 1)); }

# The folders each layer may include from (the program entry points, which call the
# application's main, are the platform layer's one way up).
declare -A allowed=(
    [platform]="platform"
    [support]="platform support"
    [visibility]="platform support visibility"
    [app]="platform support visibility app"
    [tools]="platform support visibility tools"
)
for layer in "${!allowed[@]}"; do
    while IFS=: read -r file _ include; do
        folder=${include%%/*}
        [[ " ${allowed[$layer]} " == *" $folder "* ]] && continue
        [[ $file == platform/*/entry.cpp && $include == app/main_window.h ]] && continue
        breach "$file includes $include, a layer above or beside $layer"
    done < <(grep -rnoE '^#include "[^"]+"' "$layer" --include='*.cpp' --include='*.h' | sed 's/#include "\(.*\)"/\1/')
done

# The operating system stays in platform/.
system_headers='windows\.h|winsock2?\.h|ws2tcpip\.h|io\.h|unistd\.h|fcntl\.h|poll\.h|signal\.h|sys/[a-z_]+\.h|netinet/[a-z_]+\.h|arpa/inet\.h'
grep -rnE "^#include <($system_headers)>" app support visibility tools && breach "an operating system header outside platform/"
grep -rnE '^#\s*if.*(_WIN32|__linux__|__unix__)' app support visibility tools && breach "a test of the system outside platform/"

# The libraries link downwards only.
graph=$(mktemp -d)
trap 'rm -rf "$graph"' EXIT
if cmake -S . -B "$graph/build" -DQX_TESTS=OFF -DQX_LTO=OFF --graphviz="$graph/deps.dot" >/dev/null 2>&1; then
    for pair in "qx_platform:qx_support" "qx_platform:qx_visibility" "qx_support:qx_visibility" \
                "qx_platform:qx_app" "qx_support:qx_app" "qx_visibility:qx_app"; do
        lower=${pair%%:*}
        higher=${pair##*:}
        [[ -f "$graph/deps.dot.$lower" ]] || { breach "no dependency graph of $lower"; continue; }
        grep -q "label = \"$higher\"" "$graph/deps.dot.$lower" && breach "$lower links $higher"
    done
else
    breach "the sources could not be configured for the dependency graph"
fi

[[ $breaches -eq 0 ]] && echo "layers: dependencies run one way"
[[ $breaches -eq 0 ]]
