#!/bin/bash
# A desktop without a notification service: a private session bus on which nothing can be activated
# (so no notification daemon installed on the machine answers either), a virtual display and an XEmbed
# tray. Runs the test program given as the first argument there, with the rest of the arguments.
set -u

program=$1
shift
for tool in dbus-daemon Xvfb trayer; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed (Debian package: dbus, xvfb, trayer)"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Like the usual session bus, without service folders: only what connects to it is on it.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

# Waits, bounded, until the file has a first line; prints it.
first_line() {
    for _ in $(seq 1 100); do
        if [ -s "$1" ] && line=$(head -n 1 "$1") && [ -n "$line" ]; then
            printf '%s\n' "$line"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=1 >"$work/address" 2>"$work/bus.log" &
pids+=($!)
Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
address=$(first_line "$work/address") || { echo "the session bus did not start"; cat "$work/bus.log"; exit 1; }
display=$(first_line "$work/display") || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }

DISPLAY=":$display" trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel \
    --height 28 >"$work/trayer.log" 2>&1 &
pids+=($!)

DBUS_SESSION_BUS_ADDRESS="$address" DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work" \
    "$program" "$@"
