#!/usr/bin/env bash
# Takes a picture of the Windows installer's options page under Wine, for
# docs/installing.md: docs/installer-options.png. Uses the win64 build (made if missing),
# its own Xvfb and Wine prefix, and stops all it started; nothing is installed.
#   tools/installer-screenshot.sh [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
output=${1:-docs/installer-options.png}

need=()
command -v xwd > /dev/null || need+=(x11-apps)
command -v xdotool > /dev/null || need+=(xdotool)
[ -x /usr/bin/convert ] || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" > /dev/null
fi
[ -x build/win64/app/nexolt-demo.exe ] || { cmake --preset win64 > /dev/null && cmake --build --preset win64; }

export QX_WINEPREFIX=$root/build/win64/wineprefix-installer-screenshot
export WINEDLLOVERRIDES=winemenubuilder.exe=d  # no menu entries on this machine
display=:$((80 + RANDOM % 10))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
export QX_WINE_DISPLAY=$display DISPLAY=$display
work=$(mktemp -d)
cleanup() {
    WINEPREFIX=$QX_WINEPREFIX wineserver -k > /dev/null 2>&1 || true
    kill "$xvfb" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
cpack -G NSIS --config build/win64/CPackConfig.cmake -B "$work" > /dev/null
installer=$(cmake/wine-run.sh win64 winepath -w "$(ls "$work"/*.exe)" 2> /dev/null | tr -d '\r')

# Wine's own desktop gives the installer a title bar without a window manager.
cmake/wine-run.sh win64 explorer "/desktop=installer,800x600" "$installer" > /dev/null 2>&1 &
capture() { xwd -name "installer - Wine desktop" -silent > "$work/$1.xwd" 2> /dev/null; }
# Waits until the screen shows a window (more than the empty desktop) other than $1.xwd
# and then holds still; keeps that picture as $2.xwd.
next_picture() {
    for _ in $(seq 300); do
        sleep 0.2
        capture current || continue
        [ "$(/usr/bin/convert "$work/current.xwd" -trim -format %w info: 2> /dev/null)" -gt 300 ] || continue
        cmp -s "$work/current.xwd" "$work/$1.xwd" 2> /dev/null || break
    done
    for _ in $(seq 50); do
        mv "$work/current.xwd" "$work/previous.xwd"
        sleep 0.3
        capture current
        cmp -s "$work/previous.xwd" "$work/current.xwd" && break
    done
    cp "$work/current.xwd" "$work/$2.xwd"
}
# The welcome page, the folder page, then the options page (Enter: "Next").
next_picture none welcome
xdotool mousemove 400 300 key Return
next_picture welcome folder
xdotool key Return
next_picture folder options
mkdir -p "$(dirname "$output")"
# The installer's window, cut from the desktop around it.
/usr/bin/convert "$work/options.xwd" -trim +repage "$output"
echo "wrote $output"
