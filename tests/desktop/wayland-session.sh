#!/usr/bin/env bash
# One Wayland session for the desktop tests, run as an ordinary user (the compositor refuses root) inside
# a D-Bus session of its own: a headless compositor (sway), the controller on Qt's native Wayland
# platform, and a StatusNotifierItem bar (waybar) started a few seconds after the controller, then
# restarted. After each start of the bar the controller's item must be registered with the bar's
# StatusNotifierWatcher; a screenshot (grim) shows the bar.
#
# Usage: wayland-session.sh CONTROLLER WORK_FOLDER
# The work folder belongs to the user running this and holds tolvane.pex (the server stand-in) and the
# preferences in config/. Logs and screenshots are written there. Prints one line per check ("ok: ..." or "FAIL: ...").
# Exit status: 0 when every check passed, 1 otherwise.
set -uo pipefail

CONTROLLER=$1
WORK=$2
FAILED=0
SWAY_PID=
BAR_PID=
CONTROLLER_PID=

say() { printf '%s %s\n' "$(date +%T.%3N)" "$*"; }
ok() { say "ok: $*"; }
bad() {
    say "FAIL: $*"
    FAILED=1
}

wait_for() {
    local limit=$1
    shift
    local end=$(($(date +%s) + limit))
    while ! "$@"; do
        (($(date +%s) < end)) || return 1
        sleep 0.2
    done
}

stop_pid() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null
}

cleanup() {
    stop_pid "$CONTROLLER_PID"
    stop_pid "$BAR_PID"
    stop_pid "$SWAY_PID"
}
trap cleanup EXIT

export HOME=$WORK XDG_RUNTIME_DIR=$WORK/runtime XDG_CONFIG_HOME=$WORK/config XDG_CACHE_HOME=$WORK/cache
export XDG_DATA_HOME=$WORK/share TOLVANE_HOME=$WORK/data TOLVANE_PEX=$WORK/tolvane.pex
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Tolvane" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$TOLVANE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
# No accessibility bus: nothing here uses it, and what it starts would outlive the session.
export NO_AT_BRIDGE=1
unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION QT_QPA_PLATFORMTHEME

cat >"$WORK/sway.conf" <<CONF
output HEADLESS-1 resolution 800x600
CONF
# The bar shows nothing but its tray.
cat >"$WORK/waybar.json" <<CONF
{ "layer": "top", "position": "top", "height": 28, "modules-left": [], "modules-center": [],
  "modules-right": ["tray"], "tray": { "icon-size": 20, "spacing": 4 } }
CONF

WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$WORK/sway.conf" \
    >"$WORK/sway.log" 2>&1 &
SWAY_PID=$!
socket() {
    local path
    for path in "$XDG_RUNTIME_DIR"/wayland-[0-9]*; do
        case $path in *.lock) continue ;; esac
        [ -S "$path" ] && basename "$path" && return 0
    done
    return 1
}
if ! wait_for 15 socket; then
    bad "the compositor to open its Wayland socket (see sway.log)"
    exit 1
fi
WAYLAND_DISPLAY=$(socket)
export WAYLAND_DISPLAY
ok "sway runs on $WAYLAND_DISPLAY"

QT_QPA_PLATFORM=wayland "$CONTROLLER" >"$WORK/controller.log" 2>&1 &
CONTROLLER_PID=$!
say "controller started (process $CONTROLLER_PID)"

bus() { gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus --method "$@" 2>/dev/null; }
# The watcher lists each item by the bus name of the connection that offers it (and its path): the
# controller's item is one whose connection belongs to the controller's process.
ITEM=
registered() {
    local items name
    items=$(gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>/dev/null) || return 1
    for name in $(grep -o "'[^'/]*/" <<<"$items" | tr -d "'/"); do
        if bus org.freedesktop.DBus.GetConnectionUnixProcessID "$name" | grep -qw "$CONTROLLER_PID"; then
            ITEM=$name
            return 0
        fi
    done
    return 1
}
watcher_gone() {
    ! gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher 2>/dev/null | grep -q true
}
show_registrations() {
    say "the watcher lists: $(gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path \
        /StatusNotifierWatcher --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>&1)"
    say "the bus has: $(bus org.freedesktop.DBus.ListNames)"
}
start_bar() {
    waybar -c "$WORK/waybar.json" >>"$WORK/waybar.log" 2>&1 &
    BAR_PID=$!
    say "waybar started (process $BAR_PID)"
}
shot() { command -v grim >/dev/null 2>&1 && grim "$WORK/$1.png" 2>/dev/null && say "screenshot $1.png"; }

# The bar comes a few seconds after the controller, as it may at login.
sleep 4
if ! kill -0 "$CONTROLLER_PID" 2>/dev/null; then
    bad "the controller to run on Wayland (see wayland-controller.log; is qt6-wayland installed?)"
    exit 1
fi
start_bar
if wait_for 20 registered; then
    ok "the item ($ITEM) is registered with the bar that came after the controller"
else
    bad "the item to be registered with the bar that came after the controller"
    show_registrations
fi
sleep 1
shot wayland-late-bar

stop_pid "$BAR_PID"
BAR_PID=
wait_for 10 watcher_gone || bad "the watcher to go with the bar"
start_bar
if wait_for 20 registered; then
    ok "the item ($ITEM) is registered again with the restarted bar"
else
    bad "the item to be registered again with the restarted bar"
    show_registrations
fi
sleep 1
shot wayland-restarted-bar

# By now more than ten seconds have passed since launch, with a tray host for most of them.
if grep -qF "No system tray was found" "$WORK/controller.log"; then
    bad "no stand-in window: a tray host came within ten seconds"
else
    ok "the Preferences window did not stand in for the tray"
fi
if kill -0 "$CONTROLLER_PID" 2>/dev/null; then
    ok "the controller still runs"
else
    bad "the controller to keep running"
fi
exit "$FAILED"
