#!/usr/bin/env bash
# Takes a screenshot of nexolt-demo.exe running under Wine with a few bookings in its
# log, for the README: docs/screenshot.png. Uses the win64 and linux builds (made if
# missing), its own Xvfb and Wine prefix, and stops all it started.
#   tools/screenshot.sh [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
output=${1:-docs/screenshot.png}

need=()
command -v xwd > /dev/null || need+=(x11-apps)
[ -x /usr/bin/convert ] || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" > /dev/null
fi
[ -x build/win64/app/nexolt-demo.exe ] || { cmake --preset win64 > /dev/null && cmake --build --preset win64; }
[ -x build/linux/tools/nexolt-sim/nexolt-sim ] || { cmake --preset linux > /dev/null && cmake --build --preset linux; }

export QX_WINEPREFIX=$root/build/win64/wineprefix-screenshot
display=:$((90 + RANDOM % 10))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
export QX_WINE_DISPLAY=$display
sim=build/linux/tools/nexolt-sim/nexolt-sim
cleanup() {
    WINEPREFIX=$QX_WINEPREFIX wineserver -k > /dev/null 2>&1 || true
    kill "$xvfb" 2> /dev/null || true
    rm -rf "$work"
}
work=$(mktemp -d)
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# Wine's own desktop window gives the program a title bar without a window manager.
program=$(cmake/wine-run.sh win64 winepath -w "$root/build/win64/app/nexolt-demo.exe" 2> /dev/null | tr -d '\r')
cmake/wine-run.sh win64 explorer "/desktop=nexolt,900x720" "$program" > /dev/null 2>&1 &
# The listener is up once a keep-alive is answered; replies come after the log is shown.
for _ in $(seq 600); do "$sim" --timeout 200 alive > /dev/null 2>&1 && break; sleep 0.1; done
"$sim" book 12345 F1 240115 0830 > /dev/null
"$sim" book 20417 F2 240115 1702 > /dev/null
"$sim" termnr 0042 > /dev/null
# Repainting follows the log by a moment: capture until two captures agree.
capture() { DISPLAY=$display xwd -name "nexolt - Wine desktop" -silent > "$work/$1.xwd"; }
capture previous
for _ in $(seq 50); do
    sleep 0.2
    capture current
    cmp -s "$work/previous.xwd" "$work/current.xwd" && break
    mv "$work/current.xwd" "$work/previous.xwd"
done
mkdir -p "$(dirname "$output")"
# The main window stands at 200,200 in the desktop and is 640 by 480.
/usr/bin/convert "$work/current.xwd" -crop 660x500+190+190 +repage "$output"
echo "wrote $output"
