#!/usr/bin/env bash
# Sets everything up, builds, and runs the controller against the bundled stand-in server with a demo
# data folder under build/demo. Without a display, it runs on a virtual display with a tray and a
# notification daemon, and keeps a screenshot of that display in build/demo/screen.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh

demo=$root/build/demo
mkdir -p "$demo/data" "$demo/config"
export TOLVANE_PEX=$root/build/bin/tolvane-server
export TOLVANE_HOME=$demo/data
# Preferences and login entries of the demo stay in the demo folder.
export XDG_CONFIG_HOME=$demo/config

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Running the Tolvane controller; its icon is in your system tray. Data folder: $TOLVANE_HOME"
    exec "$root/build/bin/tolvane-controller"
fi

headless=(trayer dunst imagemagick x11-utils)
missing=()
for package in "${headless[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

exec dbus-run-session -- bash -c '
    set -u
    demo=$1
    display=:77
    Xvfb $display -screen 0 1024x640x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
    xvfb=$!
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 >/dev/null 2>&1 &
    tray=$!
    dunst >/dev/null 2>&1 &
    notifications=$!
    sleep 0.5
    "$2" &
    controller=$!
    trap "kill $controller $tray $notifications $xvfb 2>/dev/null" EXIT INT TERM
    echo "No display here: the controller runs on a virtual display ($display)."
    echo "Look at $demo/screen.png, a screenshot taken every 2 seconds. Press Ctrl-C to stop."
    while kill -0 $controller 2>/dev/null; do
        import -window root "$demo/screen.png.tmp.png" 2>/dev/null && mv "$demo/screen.png.tmp.png" "$demo/screen.png"
        sleep 2
    done
' demo "$demo" "$root/build/bin/tolvane-controller"
