#!/usr/bin/env bash
# The desktop tests: the real controller on a virtual display (Xvfb) with an XEmbed tray (trayer), a
# notification daemon (dunst) and a recording of every notification call (dbus-monitor), all inside a
# D-Bus session of their own, driven with xdotool the way a user drives it: clicks on the tray icon,
# menu entries picked with the keyboard, windows found by name. Each case checks what the user sees
# (the icon's image, windows, notifications, what reaches the browser) and what happened underneath
# (the server's own status, its page, the login entries, the commands the controller ran).
#
# Usage: tests/desktop/run-desktop-tests.sh
# Environment (all optional):
#   TOLVANE_DESKTOP_CONTROLLER   controller to test (default: build/bin/tolvane-controller)
#   TOLVANE_DESKTOP_SERVER       the server executable (default: build/bin/tolvane-server). The
#                                controller gets it in TOLVANE_PEX, through a wrapper that records
#                                every command it runs.
#   TOLVANE_DESKTOP_INSTALLED=1  test an installed controller: TOLVANE_PEX stays unset, so the
#                                controller uses its built-in default, which TOLVANE_DESKTOP_SERVER
#                                must then name; the tests use it only for their own checks.
#   TOLVANE_DESKTOP_CASES        the cases to run, in order (default: all; installed: launch)
#   TOLVANE_DESKTOP_ARTIFACTS    folder for logs and screenshots (default: build/desktop-artifacts)
#   TOLVANE_DESKTOP_DEFAULT_EXECUTABLE  the controller's built-in server path, which the
#                                missing-setup case needs to be absent
# A case that cannot run on this machine (the Wayland case without its tools, or not as root) is listed
# as "skip CASE: reason".
# Exit status: 0 when every case passed, 1 when one failed, 2 when the tools are missing.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

CONTROLLER=${TOLVANE_DESKTOP_CONTROLLER:-$root/build/bin/tolvane-controller}
SERVER=${TOLVANE_DESKTOP_SERVER:-$root/build/bin/tolvane-server}
INSTALLED=${TOLVANE_DESKTOP_INSTALLED:-0}
ART=${TOLVANE_DESKTOP_ARTIFACTS:-$root/build/desktop-artifacts}
DEFAULT_EXECUTABLE=${TOLVANE_DESKTOP_DEFAULT_EXECUTABLE:-}
if [ "$INSTALLED" = 1 ]; then
    CASES=${TOLVANE_DESKTOP_CASES:-launch}
else
    CASES=${TOLVANE_DESKTOP_CASES:-launch menu port preferences second_launch vanished quit quit_while_missing missing_setup late_tray no_tray wayland}
fi
IMAGES=$root/resources/images

# The texts the user sees.
RUNNING_TEXT="Running, you can now click on 'Open in Browser' menu."
STOPPING_TEXT="Stopping"
STOPPED_TEXT="Stopped"
QUITTING_TEXT="Stopping and quitting the application..."
QUIT_TEXT="Tolvane is now stopped and quit."
SETUP_QUIT_TEXT="Tolvane was quit because the required setup is incomplete."
NO_TRAY_TEXT="No system tray was found: the Tolvane Preferences window stands in for the Tolvane menu."
SET_FAILED_TEXT="Failed to set TOLVANE_HOME env."
SERVER_URL="http://127.0.0.1:8008/"
PREFS_TITLE="Tolvane Preferences"
FOLDER_DIALOG_TITLE="Choose the Tolvane data folder"
# The enabled entries of the tray menu, in order, in each server state: a menu entry is picked by
# pressing Down as many times as its place among the enabled ones (disabled entries are skipped).
MENU_RUNNING=("Stop Tolvane" "Open in Browser" "Preferences…" "Quit Tolvane")
MENU_STOPPED=("Start Tolvane" "Preferences…" "Quit Tolvane")
# Places of the Preferences window's buttons, from its right and bottom edges; the window has a fixed
# size from its interface file and no window manager moves it.
CHOOSE_FROM_RIGHT=91
CHOOSE_FROM_TOP=76
APPLY_FROM_RIGHT=52
DISCARD_FROM_RIGHT=138
BUTTONS_FROM_BOTTOM=23
# The Quit button of the server tab, shown while no tray runs, from the window's right and top edges.
QUIT_FROM_RIGHT=64
QUIT_FROM_TOP=57
# Where the pointer waits while the keyboard drives a menu: a corner nothing else uses.
PARK_X=795
PARK_Y=595

tools=(Xvfb trayer dunst dbus-monitor dbus-run-session dbus-send xdotool xwininfo xprop import convert
    compare rsvg-convert lsof python3)
missing=()
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "desktop tests: missing tools: ${missing[*]} (scripts/setup.sh installs them)" >&2
    exit 2
fi

# Everything runs in a D-Bus session of its own, which ends with the tests.
if [ -z "${TOLVANE_DESKTOP_IN_SESSION:-}" ]; then
    export TOLVANE_DESKTOP_IN_SESSION=1
    exec dbus-run-session -- bash "${BASH_SOURCE[0]}" "$@"
fi

mkdir -p "$ART"
rm -f "$ART"/*.png "$ART"/*.log "$ART"/*.tsv "$ART"/*.txt "$ART"/*.desktop "$ART"/*.conf
exec > >(tee "$ART/harness.log") 2>&1

TMP=$(mktemp -d /tmp/tolvane-desktop.XXXXXX)
DATA=$TMP/data-first
OTHER=$TMP/data-second
mkdir -p "$TMP/home" "$TMP/config" "$TMP/runtime" "$TMP/cache" "$TMP/share/applications" "$TMP/bin" \
    "$TMP/refs" "$DATA" "$OTHER"
chmod 700 "$TMP/runtime"

MONITOR_LOG=$ART/dbus-monitor.log
CALLS_LOG=$ART/server-calls.log
BROWSER_LOG=$ART/browser.log
: >"$CALLS_LOG"
: >"$BROWSER_LOG"

XVFB_PID=
TRAY_PID=
DUNST_PID=
MONITOR_PID=
CONTROLLER_PID=
LISTENER_PID=
CASE=setup
FAILURES=()
RESULTS=()

log() { printf '%s [%s] %s\n' "$(date +%T.%3N)" "$CASE" "$*"; }

fail() {
    log "FAIL: expected $*"
    FAILURES+=("$CASE: expected $*")
}

# expect "what should hold" command...: records a failure when the command fails.
expect() {
    local what=$1
    shift
    if "$@"; then
        return 0
    fi
    fail "$what"
    return 1
}

# wait_for SECONDS "what should come to hold" command...: polls the command until it succeeds.
wait_for() {
    local limit=$1 what=$2
    shift 2
    local deadline
    deadline=$(($(date +%s%N) / 1000000 + limit * 1000))
    while :; do
        if "$@"; then
            return 0
        fi
        if (($(date +%s%N) / 1000000 >= deadline)); then
            fail "$what (waited ${limit} s)"
            return 1
        fi
        sleep 0.15
    done
}

stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
}

stop_server_in() {
    local folder=$1 pid
    [ -d "$folder" ] || return 0
    TOLVANE_HOME=$folder "$SERVER" stop >/dev/null 2>&1
    pid=$(cat "$folder/tolvane.pid" 2>/dev/null)
    case $pid in
        '' | *[!0-9]*) ;;
        *) kill -0 "$pid" 2>/dev/null && stop_pid "$pid" ;;
    esac
}

cleanup() {
    CASE=cleanup
    stop_pid "$CONTROLLER_PID"
    stop_pid "$LISTENER_PID"
    stop_server_in "$DATA"
    stop_server_in "$OTHER"
    stop_pid "$MONITOR_PID"
    stop_pid "$DUNST_PID"
    stop_pid "$TRAY_PID"
    stop_pid "$XVFB_PID"
    remove_wayland_user
    cp "$TMP/config/autostart/"*.desktop "$TMP/config/environment.d/"*.conf "$ART/" 2>/dev/null
    cp "$TMP/config/Tolvane/tolvane.conf" "$ART/preferences.conf" 2>/dev/null
    python3 "$here/notifications.py" "$MONITOR_LOG" >"$ART/notifications.tsv" 2>/dev/null
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- what the tests observe ----

server_status() { TOLVANE_HOME=$1 "$SERVER" status >/dev/null 2>&1; echo $?; }
server_is() { [ "$(server_status "$2")" = "$1" ]; }

# The server's page, or the reason it could not be read; kept in PAGE for the failure message.
PAGE=
page() {
    PAGE=$(python3 - "$SERVER_URL" <<'EOF' 2>&1
import sys, urllib.request
try:
    # Straight to the server, whatever proxy the environment names.
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    print(opener.open(sys.argv[1], timeout=3).read().decode("utf-8", "replace"))
except Exception as error:
    print("(no page: %s)" % error)
EOF
)
}
page_names() { page && grep -qF "<code>$1</code>" <<<"$PAGE"; }
expect_page_names() {
    wait_for 10 "the page at $SERVER_URL to name the data folder $1" page_names "$1" && return 0
    log "the page said: $(tr '\n' ' ' <<<"$PAGE" | cut -c1-300)"
    return 1
}

port_free() { ! lsof -nP -iTCP:8008 -sTCP:LISTEN >/dev/null 2>&1; }
port_held_by() { lsof -nP -t -iTCP:8008 -sTCP:LISTEN 2>/dev/null | grep -qx "$1"; }

# The Tolvane notifications so far, one body a line.
notes() { python3 "$here/notifications.py" "$MONITOR_LOG" | cut -f2-; }
note_mark() { notes | wc -l; }
notes_since() { notes | tail -n +"$(($1 + 1))"; }
note_since() { notes_since "$1" | grep -qxF -- "$2"; }
count_since() { notes_since "$1" | grep -cxF -- "$2"; }
# "first" comes before "second" among the notifications after the mark.
in_order_since() {
    local first second
    first=$(notes_since "$1" | grep -nxF -- "$2" | head -1 | cut -d: -f1)
    second=$(notes_since "$1" | grep -nxF -- "$3" | tail -1 | cut -d: -f1)
    [ -n "$first" ] && [ -n "$second" ] && [ "$first" -lt "$second" ]
}

# The commands the controller ran through the server executable (build mode only).
recording() { [ "$INSTALLED" != 1 ]; }
call_mark() { wc -l <"$CALLS_LOG"; }
calls_since() { tail -n +"$(($1 + 1))" "$CALLS_LOG"; }
# called_since MARK WORD [FOLDER]: the server got WORD (with TOLVANE_HOME=FOLDER) after the mark.
called_since() {
    local line
    while IFS=$'\t' read -r word _status folder; do
        [ "$word" = "$2" ] || continue
        [ $# -lt 3 ] || [ "$folder" = "$3" ] || continue
        return 0
    done < <(calls_since "$1")
    return 1
}
# called_times_since MARK WORD COUNT: the server got WORD at least COUNT times after the mark.
called_times_since() {
    [ "$(calls_since "$1" | cut -f1 | grep -cxF -- "$2")" -ge "$3" ]
}

controller_alive() { [ -n "$CONTROLLER_PID" ] && kill -0 "$CONTROLLER_PID" 2>/dev/null; }
controller_gone() { ! controller_alive; }

hex_to_dec() { printf '%d' "$1"; }
parent_of() { xwininfo -id "$1" -children 2>/dev/null | sed -n 's/^ *Parent window id: \(0x[0-9a-fA-F]*\).*/\1/p'; }

# The controller's windows that are on screen.
visible_windows() { xdotool search --onlyvisible --classname '^tolvane-controller$' 2>/dev/null | sort -n; }

# Prints the controller's windows that are embedded in the tray: its tray icons.
embedded_icons() {
    local tray root w p
    tray=" $(xdotool search --class '^[Tt]rayer$' 2>/dev/null | tr '\n' ' ') "
    root=$(hex_to_dec "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-fA-F]*\).*/\1/p')")
    for w in $(visible_windows); do
        p=$w
        for _ in 1 2 3 4 5 6; do
            p=$(parent_of "$p")
            [ -n "$p" ] || break
            p=$(hex_to_dec "$p")
            [ "$p" != "$root" ] || break
            case $tray in
                *" $p "*)
                    echo "$w"
                    break
                    ;;
            esac
        done
    done
}
# Sets ICON to the tray icon's window.
find_icon() {
    ICON=$(embedded_icons | head -1)
    [ -n "$ICON" ]
}

# Sets GX GY GW GH to the window's place and size on screen.
geometry() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || return 1
    GX=$(sed -n 's/.*Absolute upper-left X: *\(-*[0-9]*\).*/\1/p' <<<"$info")
    GY=$(sed -n 's/.*Absolute upper-left Y: *\(-*[0-9]*\).*/\1/p' <<<"$info")
    GW=$(sed -n 's/^ *Width: *\([0-9]*\).*/\1/p' <<<"$info")
    GH=$(sed -n 's/^ *Height: *\([0-9]*\).*/\1/p' <<<"$info")
    [ -n "$GX" ] && [ -n "$GW" ]
}

# The status image the tray icon shows: the icon window's picture is compared with each status image
# rendered at the icon's size on the tray's background; the closest one is the answer, if it is close.
ICON_SHOWS=
ICON_SCORES=
icon_image() {
    local shot=$TMP/icon.png size bg name ref score best=9 bestname=
    ICON_SHOWS=
    geometry "$ICON" || return 1
    import -window "$ICON" "$shot" 2>/dev/null || return 1
    size=$((GW < GH ? GW : GH))
    bg=$(convert "$shot" -format '%[pixel:p{0,0}]' info: 2>/dev/null) || return 1
    ICON_SCORES=
    for name in favicon loading stop exclaim; do
        ref=$TMP/refs/$name-$size-$(tr -c 'a-z0-9' _ <<<"$bg").png
        if [ ! -f "$ref" ]; then
            rsvg-convert -w "$size" -h "$size" "$IMAGES/$name.svg" |
                convert - -background "$bg" -flatten "$ref" 2>/dev/null || return 1
        fi
        score=$(compare -metric RMSE -dissimilarity-threshold 1 -subimage-search "$shot" "$ref" null: 2>&1 |
            sed -n 's/.*(\([0-9.e-]*\)).*/\1/p' | head -1)
        [ -n "$score" ] || continue
        ICON_SCORES="$ICON_SCORES $name=$score"
        if python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < float(sys.argv[2]) else 1)" "$score" "$best"; then
            best=$score
            bestname=$name
        fi
    done
    # Qt's and librsvg's anti-aliasing differ a little; a different image differs by far more.
    python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 0.12 else 1)" "$best" || return 1
    ICON_SHOWS=$bestname
}
icon_is() {
    icon_image && [ "$ICON_SHOWS" = "$1" ] && cp "$TMP/icon.png" "$ART/icon-$1.png"
}
expect_icon() {
    if wait_for "${2:-15}" "the tray icon to show the '$1' image" icon_is "$1"; then
        log "the tray icon shows '$1' (distances:$ICON_SCORES)"
        return 0
    fi
    log "the tray icon showed '${ICON_SHOWS:-nothing recognisable}' (distances:$ICON_SCORES)"
    return 1
}

# A visible dialog of the controller whose title matches the pattern; sets DIALOG.
find_dialog() {
    local w
    for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        xprop -id "$w" WM_CLASS 2>/dev/null | grep -q '"tolvane-controller"' || continue
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_NET_WM_WINDOW_TYPE_DIALOG' || continue
        DIALOG=$w
        return 0
    done
    return 1
}
find_alert() { find_dialog '^Tolvane$'; }
no_alert() { ! find_alert; }
window_visible() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
window_hidden() { ! window_visible "$1"; }

# screenshot NAME [WINDOW [MARGIN]]: the whole screen, and the part around the window.
screenshot() {
    local name=$1 full=$ART/$1-screen.png
    import -window root "$full" 2>/dev/null || { log "could not take the screenshot $name"; return 0; }
    if [ $# -ge 2 ] && geometry "$2"; then
        local m=${3:-12} x y w h
        x=$((GX - m < 0 ? 0 : GX - m))
        y=$((GY - m < 0 ? 0 : GY - m))
        w=$((GW + 2 * m))
        h=$((GH + 2 * m))
        convert "$full" -crop "${w}x${h}+${x}+${y}" +repage "$ART/$name.png" 2>/dev/null
    else
        cp "$full" "$ART/$name.png"
    fi
    log "screenshot $ART/$name.png"
}

# screenshot_region NAME X Y WIDTH HEIGHT: the whole screen, and the given part of it.
screenshot_region() {
    local name=$1 full=$ART/$1-screen.png x=$2 y=$3 w=$4 h=$5
    import -window root "$full" 2>/dev/null || { log "could not take the screenshot $name"; return 0; }
    ((x < 0)) && { w=$((w + x)); x=0; }
    ((y < 0)) && { h=$((h + y)); y=0; }
    convert "$full" -crop "${w}x${h}+${x}+${y}" +repage "$ART/$name.png" 2>/dev/null
    log "screenshot $ART/$name.png"
}

# ---- what the tests do ----

press() { xdotool key --delay 60 "$@"; }

click_at() { xdotool mousemove "$1" "$2" click "${3:-1}"; }

# Answers the dialog with a key, giving it the keyboard first.
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
answer_dialog() {
    xdotool windowfocus "$1" 2>/dev/null
    wait_for 3 "the dialog $1 to get the keyboard" has_focus "$1"
    press "$2"
}

MENU=
# The menu is the controller's one visible override-redirect window besides the tray icon.
menu_window() {
    local w icons
    icons=" $(embedded_icons | tr '\n' ' ') "
    for w in $(visible_windows); do
        case $icons in *" $w "*) continue ;; esac
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
        MENU=$w
        return 0
    done
    return 1
}
menu_closed() { ! menu_window; }

open_menu() {
    wait_for 10 "the tray icon to be there to click" find_icon || return 1
    geometry "$ICON" || return 1
    click_at $((GX + GW / 2)) $((GY + GH / 2)) 3
    wait_for 5 "the tray menu to open on a right click on the icon" menu_window || return 1
    xdotool mousemove "$PARK_X" "$PARK_Y"
}

# pick running|stopped ENTRY: picks the menu entry, knowing which entries that state enables.
pick() {
    local state=$1 entry=$2 i n=0
    local -a enabled
    if [ "$state" = running ]; then enabled=("${MENU_RUNNING[@]}"); else enabled=("${MENU_STOPPED[@]}"); fi
    for i in "${!enabled[@]}"; do
        [ "${enabled[$i]}" = "$entry" ] && n=$((i + 1))
    done
    [ "$n" -gt 0 ] || { fail "'$entry' to be an enabled menu entry while $state"; return 1; }
    open_menu || return 1
    log "menu: $entry"
    local keys=()
    for ((i = 0; i < n; i++)); do keys+=(Down); done
    press "${keys[@]}" Return
    wait_for 5 "the tray menu to close after picking '$entry'" menu_closed
}

start_controller() {
    local logfile=$1
    shift
    env "$@" "$CONTROLLER" >"$logfile" 2>&1 &
    CONTROLLER_PID=$!
    log "controller started (process $CONTROLLER_PID): $CONTROLLER"
}

# ---- the cases ----

case_launch() {
    local mark calls
    mark=$(note_mark)
    calls=$(call_mark)
    start_controller "$ART/controller.log"
    wait_for 20 "the tray icon to be embedded in trayer (a controller window inside the tray)" find_icon || return 1
    log "tray icon window $ICON"
    wait_for 30 "the server to come up by itself (tolvane-server status exits 0 with TOLVANE_HOME=$DATA)" \
        server_is 0 "$DATA" || return 1
    expect_page_names "$DATA" || return 1
    wait_for 20 "the notification \"$RUNNING_TEXT\"" note_since "$mark" "$RUNNING_TEXT" || return 1
    expect_icon stop || return 1
    if recording; then
        expect "the controller to have run the server's start" called_since "$calls" start "$DATA" || return 1
        # A later status poll must not repeat the notification. A poll starts only once the one before
        # it has been handled, and a call is recorded when it ends: the second poll recorded after this
        # mark ran a poll interval (8 s) after the first, long after a duplicate from the first would
        # have arrived.
        local after
        after=$(call_mark)
        wait_for 30 "two status polls after the server came up" called_times_since "$after" status 2 || return 1
    else
        sleep 17 # without the recording wrapper: two poll intervals, 8 s each, and a margin
    fi
    expect "the running notification exactly once (got $(count_since "$mark" "$RUNNING_TEXT"))" \
        test "$(count_since "$mark" "$RUNNING_TEXT")" = 1 || return 1
    open_menu || return 1
    # The picture: the tray and the menu under it.
    local panel ix
    panel=$(xdotool search --onlyvisible --class '^trayer$' 2>/dev/null | head -1)
    geometry "${panel:-$ICON}" || return 1
    ix=$GX
    geometry "$MENU" || return 1
    local left=$((GX < ix ? GX : ix))
    screenshot_region tray-menu $((left - 24)) 0 $((GW + GX - left + 48)) $((GY + GH + 24))
    press Escape
    wait_for 5 "the tray menu to close on Escape" menu_closed
}

case_menu() {
    local mark calls
    mark=$(note_mark)
    calls=$(call_mark)
    pick running "Stop Tolvane" || return 1
    wait_for 20 "the notification \"$STOPPED_TEXT\" after Stop" note_since "$mark" "$STOPPED_TEXT" || return 1
    expect "the notifications \"$STOPPING_TEXT\" then \"$STOPPED_TEXT\" (got: $(notes_since "$mark" | tr '\n' '|'))" \
        in_order_since "$mark" "$STOPPING_TEXT" "$STOPPED_TEXT" || return 1
    wait_for 20 "the server to be stopped (status exits 1)" server_is 1 "$DATA" || return 1
    if recording; then
        expect "the controller to have run the server's stop" called_since "$calls" stop "$DATA" || return 1
    fi
    expect_icon favicon || return 1

    mark=$(note_mark)
    calls=$(call_mark)
    pick stopped "Start Tolvane" || return 1
    wait_for 20 "the notification \"$RUNNING_TEXT\" after Start" note_since "$mark" "$RUNNING_TEXT" || return 1
    expect "the server to be running (status exits 0)" server_is 0 "$DATA" || return 1
    if recording; then
        expect "the controller to have run the server's start" called_since "$calls" start "$DATA" || return 1
    fi
    expect_icon stop || return 1

    pick running "Open in Browser" || return 1
    wait_for 15 "the recording browser to be opened" test -s "$BROWSER_LOG" || return 1
    log "the browser got: $(cat "$BROWSER_LOG")"
    expect "the browser to get exactly $SERVER_URL (got: $(cut -f2- "$BROWSER_LOG" | tr '\n' ' '))" \
        test "$(cut -f2- "$BROWSER_LOG")" = "$SERVER_URL"
}

case_port() {
    local mark calls
    mark=$(note_mark)
    pick running "Stop Tolvane" || return 1
    wait_for 20 "the notification \"$STOPPED_TEXT\" after Stop" note_since "$mark" "$STOPPED_TEXT" || return 1
    wait_for 20 "the server to be stopped" server_is 1 "$DATA" || return 1

    python3 -c '
import socket, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 8008))
s.listen()
time.sleep(600)
' >"$ART/listener.log" 2>&1 &
    LISTENER_PID=$!
    wait_for 10 "another program (process $LISTENER_PID) to listen on 127.0.0.1:8008" port_held_by "$LISTENER_PID" || return 1

    mark=$(note_mark)
    calls=$(call_mark)
    pick stopped "Start Tolvane" || return 1
    wait_for 15 "a modal window titled \"Tolvane\" (the port alert)" find_alert || return 1
    local alert=$DIALOG
    screenshot port-alert "$alert" 30
    expect "the log to say which process holds the port (process $LISTENER_PID)" \
        grep -qF "(process $LISTENER_PID)" "$ART/controller.log" || return 1
    expect "the server not to be started while the port is taken" server_is 1 "$DATA" || return 1
    if recording; then
        expect "no server start while the port is taken (calls: $(calls_since "$calls" | cut -f1 | tr '\n' ' '))" \
            eval '! called_since "$calls" start' || return 1
    fi
    # The start asked for stays pending after the alert (its flag is not cleared) and goes ahead at a
    # later poll; the port is freed before the alert is answered so that start finds it free.
    stop_pid "$LISTENER_PID"
    LISTENER_PID=
    wait_for 10 "port 8008 to be free again" port_free || return 1
    answer_dialog "$alert" Return
    wait_for 10 "the port alert to go on Return" no_alert || return 1
    wait_for 15 "the notification \"$STOPPED_TEXT\" after the alert" note_since "$mark" "$STOPPED_TEXT" || return 1
    wait_for 30 "the pending start to bring the server up at a later poll once the port is free" \
        server_is 0 "$DATA" || return 1
    wait_for 20 "the notification \"$RUNNING_TEXT\" after that start" note_since "$mark" "$RUNNING_TEXT"
}

case_preferences() {
    local mark calls
    # The data location can only be changed while the server is stopped.
    mark=$(note_mark)
    pick running "Stop Tolvane" || return 1
    wait_for 20 "the notification \"$STOPPED_TEXT\" after Stop" note_since "$mark" "$STOPPED_TEXT" || return 1
    wait_for 20 "the server to be stopped" server_is 1 "$DATA" || return 1

    mark=$(note_mark)
    calls=$(call_mark)
    pick stopped "Preferences…" || return 1
    wait_for 10 "the window \"$PREFS_TITLE\" to open" window_visible "^$PREFS_TITLE" || return 1
    local prefs
    prefs=$(xdotool search --onlyvisible --name "^$PREFS_TITLE" | head -1)
    screenshot preferences "$prefs" 0
    geometry "$prefs" || return 1
    local px=$GX py=$GY pw=$GW ph=$GH
    click_at $((px + pw - CHOOSE_FROM_RIGHT)) $((py + CHOOSE_FROM_TOP))
    wait_for 10 "the folder dialog \"$FOLDER_DIALOG_TITLE\" after clicking Choose…" \
        find_dialog "^$FOLDER_DIALOG_TITLE" || return 1
    local dialog=$DIALOG
    screenshot folder-dialog "$dialog" 0
    # The dialog's file name field has the keyboard when it opens.
    wait_for 5 "the folder dialog to get the keyboard" has_focus "$dialog" || return 1
    xdotool type --delay 15 "$OTHER"
    answer_dialog "$dialog" Return
    wait_for 10 "the folder dialog to close after Return" window_hidden "^$FOLDER_DIALOG_TITLE" || return 1
    screenshot preferences-changed "$prefs" 0
    click_at $((px + pw - APPLY_FROM_RIGHT)) $((py + ph - BUTTONS_FROM_BOTTOM))
    wait_for 10 "the Preferences window to close on Apply" window_hidden "^$PREFS_TITLE" || return 1
    wait_for 15 "the notification \"Successfully set TOLVANE_HOME env to $OTHER.\"" \
        note_since "$mark" "Successfully set TOLVANE_HOME env to $OTHER." || {
        note_since "$mark" "$SET_FAILED_TEXT" && log "the controller said \"$SET_FAILED_TEXT\""
        return 1
    }
    expect "the notifications \"$STOPPING_TEXT\" and \"Setting TOLVANE_HOME environment variable to $OTHER...\" on Apply" \
        in_order_since "$mark" "$STOPPING_TEXT" "Setting TOLVANE_HOME environment variable to $OTHER..." || return 1
    expect "no \"$SET_FAILED_TEXT\"" eval '! note_since "$mark" "$SET_FAILED_TEXT"' || return 1
    local envfile=$TMP/config/environment.d/org.veltran.tolvane.user.conf
    local autostart=$TMP/config/autostart/org.veltran.tolvane.user.desktop
    expect "the environment.d entry to set TOLVANE_HOME=\"$OTHER\"" grep -qxF "TOLVANE_HOME=\"$OTHER\"" "$envfile" || return 1
    expect "the autostart entry to name $OTHER" grep -qF "$OTHER" "$autostart" || return 1
    expect "the autostart entry no longer to name $DATA" eval '! grep -qF "$DATA" "$autostart"' || return 1
    expect "the server to be stopped after Apply" server_is 1 "$DATA" || return 1
    expect "no server in the new folder yet" server_is 1 "$OTHER" || return 1
    if recording; then
        expect "Apply to have run the server's stop" called_since "$calls" stop || return 1
    fi

    calls=$(call_mark)
    mark=$(note_mark)
    pick stopped "Start Tolvane" || return 1
    wait_for 30 "the server to run with TOLVANE_HOME=$OTHER" server_is 0 "$OTHER" || return 1
    expect_page_names "$OTHER" || return 1
    if recording; then
        expect "the start to get TOLVANE_HOME=$OTHER" called_since "$calls" start "$OTHER" || return 1
    fi
    wait_for 20 "the notification \"$RUNNING_TEXT\"" note_since "$mark" "$RUNNING_TEXT"
}

case_second_launch() {
    expect "the Preferences window to be closed before the second launch" window_hidden "^$PREFS_TITLE" || return 1
    local rc first=$CONTROLLER_PID
    timeout 20 env "$CONTROLLER" >"$ART/controller-second.log" 2>&1
    rc=$?
    expect "the second launch to exit 0 (got $rc)" test "$rc" = 0 || return 1
    expect "the first controller to keep running" kill -0 "$first" || return 1
    wait_for 10 "the window \"$PREFS_TITLE\" to come up in the running controller" \
        window_visible "^$PREFS_TITLE" || return 1
    screenshot preferences-reopened
    expect "one tray icon only (got $(embedded_icons | wc -l))" test "$(embedded_icons | wc -l)" = 1 || return 1
    local prefs
    prefs=$(xdotool search --onlyvisible --name "^$PREFS_TITLE" | head -1)
    geometry "$prefs" && click_at $((GX + GW - DISCARD_FROM_RIGHT)) $((GY + GH - BUTTONS_FROM_BOTTOM))
    wait_for 10 "the Preferences window to close on Discard" window_hidden "^$PREFS_TITLE"
}

# Answers the open Quit confirmation with OK (its screenshot named $1) and waits for the controller to
# end with exit status 0.
answer_quit_and_expect_exit() {
    local rc
    screenshot "$1" "$DIALOG" 30
    answer_dialog "$DIALOG" Return
    wait_for 20 "the controller to exit after OK" controller_gone || return 1
    wait "$CONTROLLER_PID"
    rc=$?
    CONTROLLER_PID=
    expect "the controller to exit with status 0 (got $rc)" test "$rc" = 0
}

case_quit() {
    local mark folder=$DATA
    server_is 0 "$OTHER" && folder=$OTHER
    expect "the server to be running before Quit" server_is 0 "$folder" || return 1
    mark=$(note_mark)
    pick running "Quit Tolvane" || return 1
    wait_for 10 "the confirmation window titled \"Tolvane\"" find_alert || return 1
    answer_quit_and_expect_exit quit-question || return 1
    wait_for 10 "the notification \"$QUITTING_TEXT\"" note_since "$mark" "$QUITTING_TEXT" || return 1
    wait_for 10 "the notification \"$QUIT_TEXT\"" note_since "$mark" "$QUIT_TEXT" || return 1
    wait_for 20 "the server to be stopped after the controller quit" server_is 1 "$folder"
}

case_missing_setup() {
    if [ -n "$DEFAULT_EXECUTABLE" ]; then
        expect "the built-in server path $DEFAULT_EXECUTABLE to be absent for this case" \
            test ! -e "$DEFAULT_EXECUTABLE" || return 1
    else
        log "TOLVANE_DESKTOP_DEFAULT_EXECUTABLE is not set: the controller's log below tells which default it tried"
    fi
    controller_alive && stop_pid "$CONTROLLER_PID"
    local mark calls missing=$TMP/no-server/tolvane.pex
    mark=$(note_mark)
    calls=$(call_mark)
    start_controller "$ART/controller-missing.log" TOLVANE_PEX="$missing"
    wait_for 20 "the setup alert, a modal window titled \"Tolvane\"" find_alert || return 1
    screenshot setup-alert "$DIALOG" 30
    expect "no tray icon while the setup is incomplete" eval '! find_icon' || return 1
    answer_dialog "$DIALOG" Return
    wait_for 15 "the controller to exit after the setup alert" controller_gone || return 1
    local rc
    wait "$CONTROLLER_PID"
    rc=$?
    CONTROLLER_PID=
    expect "the controller to exit with status 0 (got $rc)" test "$rc" = 0 || return 1
    wait_for 10 "the notification \"$SETUP_QUIT_TEXT\"" note_since "$mark" "$SETUP_QUIT_TEXT" || return 1
    expect "the log to name the missing executable" \
        grep -qF "The Tolvane executable was looked for at" "$ART/controller-missing.log" || return 1
    expect "no server command run (calls: $(calls_since "$calls" | cut -f1 | tr '\n' ' '))" \
        test -z "$(calls_since "$calls")"
}

# ---- the server executable going away while the controller runs ----

MISSING_TEXT="The \`tolvane\` executable does not exist!"
# The cases that start a controller of their own, and so run whether or not one is running before.
starts_its_own_controller() {
    case $1 in
        launch | missing_setup | quit_while_missing | late_tray | no_tray | wayland) return 0 ;;
    esac
    return 1
}

# The running controller's server executable (the recording wrapper) goes away and comes back: a poll
# shows the missing state once, Start stays available and says so again, and the poll after the return
# shows the running server.
case_vanished() {
    if ! recording; then
        log "installed mode: the controller's own server executable is not the test's to remove; case skipped"
        return 0
    fi
    local mark exe=$TMP/bin/tolvane.pex
    expect "the server to be running before its executable goes" eval 'server_is 0 "$DATA" || server_is 0 "$OTHER"' || return 1
    expect_icon stop || return 1
    mark=$(note_mark)
    mv "$exe" "$exe.away"
    wait_for 20 "the notification \"$MISSING_TEXT\" at the next poll" note_since "$mark" "$MISSING_TEXT" || {
        mv "$exe.away" "$exe"
        return 1
    }
    expect_icon exclaim || { mv "$exe.away" "$exe"; return 1; }
    screenshot vanished-icon "$ICON" 8
    # Start is the first enabled entry again (Stop and Open are not): picking the first entry tries a
    # start, which says again that the executable is missing; it would open Preferences otherwise.
    mark=$(note_mark)
    pick stopped "Start Tolvane" || { mv "$exe.away" "$exe"; return 1; }
    wait_for 15 "the start to say \"$MISSING_TEXT\" again" note_since "$mark" "$MISSING_TEXT" || {
        mv "$exe.away" "$exe"
        return 1
    }
    expect "no Preferences window after picking the first entry" window_hidden "^$PREFS_TITLE" || {
        mv "$exe.away" "$exe"
        return 1
    }
    # The polls in between say nothing more: one notification in well over a poll interval.
    sleep 10
    expect "the missing notification once since the start (got $(count_since "$mark" "$MISSING_TEXT"))" \
        test "$(count_since "$mark" "$MISSING_TEXT")" = 1 || { mv "$exe.away" "$exe"; return 1; }
    expect_icon exclaim || { mv "$exe.away" "$exe"; return 1; }
    mark=$(note_mark)
    mv "$exe.away" "$exe"
    wait_for 20 "the notification \"$RUNNING_TEXT\" at the poll after the executable came back" \
        note_since "$mark" "$RUNNING_TEXT" || return 1
    expect_icon stop
}

# Quit while the server executable is missing: the question as usual, no stop, the application ends,
# and the closing notification says the setup is incomplete.
case_quit_while_missing() {
    if ! recording; then
        log "installed mode: the controller's own server executable is not the test's to remove; case skipped"
        return 0
    fi
    controller_alive && stop_pid "$CONTROLLER_PID"
    local mark exe=$TMP/quit-missing/tolvane.pex folder
    mkdir -p "$TMP/quit-missing"
    cp "$TMP/bin/tolvane.pex" "$exe"
    mark=$(note_mark)
    start_controller "$ART/controller-quit-missing.log" TOLVANE_PEX="$exe"
    wait_for 20 "the tray icon to be embedded in trayer" find_icon || return 1
    wait_for 30 "the notification \"$RUNNING_TEXT\" after the launch" note_since "$mark" "$RUNNING_TEXT" || return 1
    folder=$DATA
    server_is 0 "$OTHER" && folder=$OTHER
    rm "$exe"
    wait_for 20 "the notification \"$MISSING_TEXT\" at the next poll" note_since "$mark" "$MISSING_TEXT" || return 1
    expect_icon exclaim || return 1
    mark=$(note_mark)
    pick stopped "Quit Tolvane" || return 1
    wait_for 10 "the confirmation window titled \"Tolvane\"" find_alert || return 1
    answer_quit_and_expect_exit quit-missing-question || return 1
    wait_for 10 "the notification \"$SETUP_QUIT_TEXT\"" note_since "$mark" "$SETUP_QUIT_TEXT" || return 1
    expect "no \"$QUITTING_TEXT\": no stop was sent" eval '! note_since "$mark" "$QUITTING_TEXT"' || return 1
    expect "the server to run on, nothing having stopped it" server_is 0 "$folder" || return 1
    stop_server_in "$DATA"
    stop_server_in "$OTHER"
}

# ---- session order: the tray comes after the controller, restarts, or never comes ----

start_tray() {
    trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 \
        >>"$ART/trayer.log" 2>&1 &
    TRAY_PID=$!
    wait_for 10 "trayer's panel on screen" eval 'xdotool search --onlyvisible --class "^trayer$" >/dev/null 2>&1'
}
stop_tray() {
    stop_pid "$TRAY_PID"
    TRAY_PID=
}
no_icon() { ! find_icon; }

# A stand-in for the server executable that keeps its state in a file and listens on no port: these
# cases are about the tray, not the server. Written into the folder; prints its path.
session_server() {
    local stub=$1/tolvane.pex
    cat >"$stub" <<'STUB'
#!/bin/sh
state=${TOLVANE_HOME:-/nonexistent}/stand-in-running
case $1 in
    start) : >"$state" ;;
    stop) rm -f "$state" ;;
    status) [ -e "$state" ] || exit 1 ;;
esac
exit 0
STUB
    chmod 755 "$stub"
    printf '%s\n' "$stub"
}

# Preferences of a user who has run the controller before and switched the start at launch off: these
# cases start no server, so that nothing asks about port 8008 (an alert would hold the controller's
# timers back). Written into the configuration folder given.
session_preferences() {
    mkdir -p "$1/Tolvane"
    printf '[General]\nversion=0\nautoStartOnLoad=false\nautoLoadOnLogin=false\ncustomTolvaneData=%s\n' "$2" \
        >"$1/Tolvane/tolvane.conf"
}

# Milliseconds since a session case started its controller.
LAUNCHED_AT=0
since_launch() { echo $((($(date +%s%N) - LAUNCHED_AT) / 1000000)); }
start_session_controller() {
    controller_alive && stop_pid "$CONTROLLER_PID"
    CONTROLLER_PID=
    mkdir -p "$TMP/session-data"
    session_preferences "$TMP/session-config" "$TMP/session-data"
    LAUNCHED_AT=$(date +%s%N)
    start_controller "$1" TOLVANE_PEX="$(session_server "$TMP/bin")" TOLVANE_HOME="$TMP/session-data" \
        XDG_CONFIG_HOME="$TMP/session-config"
}
end_session_controller() {
    stop_pid "$CONTROLLER_PID"
    CONTROLLER_PID=
}

# X11: the XEmbed tray starts after the controller, then restarts; the icon comes into each, and the
# Preferences window never stands in.
case_late_tray() {
    local mark
    stop_tray
    mark=$(note_mark)
    start_session_controller "$ART/controller-late-tray.log"
    sleep 3
    expect "no tray icon before any tray runs" no_icon || return 1
    start_tray || return 1
    wait_for 15 "the icon to be embedded in the tray started after the controller" find_icon || return 1
    log "the icon is in the tray $(since_launch) ms after launch"
    screenshot late-tray "$ICON" 40
    # Past the ten seconds after launch, with a tray: nothing stands in for it.
    while (($(since_launch) < 12000)); do sleep 0.5; done
    expect "no Preferences window standing in while a tray runs" window_hidden "^$PREFS_TITLE" || return 1
    expect "no \"$NO_TRAY_TEXT\" while a tray runs" eval '! note_since "$mark" "$NO_TRAY_TEXT"' || return 1
    stop_tray
    wait_for 10 "the icon to leave with the tray" no_icon || return 1
    start_tray || return 1
    wait_for 15 "the icon to be embedded again in the restarted tray" find_icon || return 1
    screenshot restarted-tray "$ICON" 40
    expect "one tray icon only (got $(embedded_icons | wc -l))" test "$(embedded_icons | wc -l)" = 1 || return 1
    end_session_controller
}

# No tray at all: ten seconds after launch the Preferences window comes up on the server tab, one
# notification says why, and the window's Quit button quits.
no_tray_steps() {
    local mark prefs waited rc
    stop_tray
    mark=$(note_mark)
    start_session_controller "$ART/controller-no-tray.log"
    wait_for 25 "the window \"$PREFS_TITLE\" to stand in for the missing tray" window_visible "^$PREFS_TITLE" || return 1
    waited=$(since_launch)
    log "the window came $waited ms after launch"
    expect "the window not before ten seconds after launch (came after $waited ms)" test "$waited" -ge 10000 || return 1
    wait_for 10 "the notification \"$NO_TRAY_TEXT\"" note_since "$mark" "$NO_TRAY_TEXT" || return 1
    prefs=$(xdotool search --onlyvisible --name "^$PREFS_TITLE" | head -1)
    screenshot no-tray-window "$prefs" 0
    geometry "$prefs" || return 1
    # Closed, the window comes back when the application is opened again.
    click_at $((GX + GW - DISCARD_FROM_RIGHT)) $((GY + GH - BUTTONS_FROM_BOTTOM))
    wait_for 10 "the window to close on Discard" window_hidden "^$PREFS_TITLE" || return 1
    timeout 20 env XDG_CONFIG_HOME="$TMP/session-config" "$CONTROLLER" >"$ART/controller-no-tray-second.log" 2>&1
    rc=$?
    expect "the second launch to exit 0 (got $rc)" test "$rc" = 0 || return 1
    wait_for 10 "the window to come back when the application is opened again" window_visible "^$PREFS_TITLE" || return 1
    prefs=$(xdotool search --onlyvisible --name "^$PREFS_TITLE" | head -1)
    geometry "$prefs" || return 1
    # The Quit button: on the server tab only, at the right end of its row of buttons.
    click_at $((GX + GW - QUIT_FROM_RIGHT)) $((GY + QUIT_FROM_TOP))
    wait_for 10 "the confirmation window titled \"Tolvane\" after clicking the window's Quit button" find_alert || return 1
    answer_quit_and_expect_exit no-tray-quit-question || return 1
    wait_for 10 "the notification \"$QUIT_TEXT\"" note_since "$mark" "$QUIT_TEXT" || return 1
    expect "\"$NO_TRAY_TEXT\" exactly once (got $(count_since "$mark" "$NO_TRAY_TEXT"))" \
        test "$(count_since "$mark" "$NO_TRAY_TEXT")" = 1
}
case_no_tray() {
    no_tray_steps
    local rc=$?
    # The cases after this one have their tray back.
    [ -n "$TRAY_PID" ] || start_tray
    return $rc
}

# Wayland: a headless compositor and a StatusNotifierItem bar that starts after the controller and then
# restarts. The compositor refuses to run as root, so the session runs as an ordinary user made for it.
WAYLAND_USER=
WAYLAND_WORK=
qt_has_wayland() {
    local plugins
    plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null) || return 1
    [ -e "$plugins/platforms/libqwayland-generic.so" ]
}
remove_wayland_user() {
    [ -n "$WAYLAND_USER" ] || return 0
    local pid
    # Whatever the session left behind ran as that user alone.
    for pid in $(pgrep -u "$WAYLAND_USER" 2>/dev/null); do stop_pid "$pid"; done
    userdel "$WAYLAND_USER" 2>/dev/null
    WAYLAND_USER=
    [ -z "$WAYLAND_WORK" ] || rm -rf "$WAYLAND_WORK"
    WAYLAND_WORK=
}
case_wayland() {
    local tool rc f
    for tool in sway waybar gdbus grim useradd userdel runuser qtpaths6; do
        command -v "$tool" >/dev/null 2>&1 || {
            SKIP_REASON="$tool is not installed (scripts/setup.sh installs it)"
            return 0
        }
    done
    qt_has_wayland || { SKIP_REASON="Qt's Wayland platform is not installed (qt6-wayland)"; return 0; }
    [ "$(id -u)" = 0 ] || {
        SKIP_REASON="the compositor refuses root, and making the ordinary user it runs as takes root"
        return 0
    }
    end_session_controller
    WAYLAND_USER=tolvane-wl$$
    useradd --system --no-create-home --home-dir /nonexistent --shell /bin/sh "$WAYLAND_USER" || {
        fail "an ordinary user for the Wayland session (useradd failed)"
        WAYLAND_USER=
        return 1
    }
    WAYLAND_WORK=$(mktemp -d /tmp/tolvane-wayland.XXXXXX)
    session_server "$WAYLAND_WORK" >/dev/null
    mkdir -p "$WAYLAND_WORK/data"
    session_preferences "$WAYLAND_WORK/config" "$WAYLAND_WORK/data"
    chown -R "$WAYLAND_USER" "$WAYLAND_WORK"
    log "Wayland session as $WAYLAND_USER in $WAYLAND_WORK"
    timeout 150 runuser -u "$WAYLAND_USER" -- dbus-run-session -- \
        bash "$here/wayland-session.sh" "$CONTROLLER" "$WAYLAND_WORK" >"$ART/wayland-session.log" 2>&1
    rc=$?
    sed 's/^/    /' "$ART/wayland-session.log"
    cp "$WAYLAND_WORK"/*.png "$ART/" 2>/dev/null
    for f in controller sway waybar; do cp "$WAYLAND_WORK/$f.log" "$ART/wayland-$f.log" 2>/dev/null; done
    remove_wayland_user
    expect "every check of the Wayland session to pass (exit status $rc; see wayland-session.log)" test "$rc" = 0
}

# ---- the session ----

bring_up_session() {
    exec 5>"$TMP/display"
    Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp >"$ART/xvfb.log" 2>&1 &
    XVFB_PID=$!
    exec 5>&-
    wait_for 15 "Xvfb to report its display" test -s "$TMP/display" || return 1
    export DISPLAY=:$(tr -dc 0-9 <"$TMP/display")
    log "Xvfb on $DISPLAY (process $XVFB_PID)"

    dbus-monitor "interface='org.freedesktop.Notifications'" >"$MONITOR_LOG" 2>&1 &
    MONITOR_PID=$!
    wait_for 10 "dbus-monitor to become a monitor" grep -q 'member=NameLost' "$MONITOR_LOG" || return 1

    start_tray || return 1

    dunst -config "$here/dunstrc" >"$ART/dunst.log" 2>&1 &
    DUNST_PID=$!
    wait_for 10 "dunst to own org.freedesktop.Notifications" eval \
        'dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
         org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null | grep -q true' || return 1

    # The browser: Qt hands the address to xdg-open, which takes the desktop's default for http
    # from mimeapps.list; BROWSER is its fallback. The script records which way the address came.
    cat >"$TMP/bin/browser" <<EOF
#!/bin/sh
via=\$1; shift
printf '%s\t%s\n' "\$via" "\$*" >>'$BROWSER_LOG'
EOF
    chmod +x "$TMP/bin/browser"
    cat >"$TMP/share/applications/tolvane-test-browser.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Recording browser
Exec=$TMP/bin/browser desktop-entry %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;
NoDisplay=true
EOF
    cat >"$TMP/config/mimeapps.list" <<EOF
[Default Applications]
x-scheme-handler/http=tolvane-test-browser.desktop
x-scheme-handler/https=tolvane-test-browser.desktop
EOF

    # Every command the controller gives the server is recorded with its exit status and data folder.
    cat >"$TMP/bin/tolvane.pex" <<EOF
#!/bin/sh
'$SERVER' "\$@"
status=\$?
printf '%s\t%s\t%s\n' "\$1" "\$status" "\${TOLVANE_HOME:-}" >>'$CALLS_LOG'
exit \$status
EOF
    chmod +x "$TMP/bin/tolvane.pex"

    export HOME=$TMP/home XDG_CONFIG_HOME=$TMP/config XDG_RUNTIME_DIR=$TMP/runtime XDG_CACHE_HOME=$TMP/cache
    export XDG_DATA_HOME=$TMP/share TOLVANE_HOME=$DATA BROWSER="$TMP/bin/browser BROWSER"
    export QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL=C.UTF-8
    unset XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY QT_QPA_PLATFORMTHEME TOLVANE_PEX
    if [ "$INSTALLED" != 1 ]; then
        export TOLVANE_PEX=$TMP/bin/tolvane.pex
    fi
}

log "controller: $CONTROLLER; server: $SERVER; installed mode: $INSTALLED; cases: $CASES"
log "artifacts: $ART"
if ! bring_up_session; then
    log "the desktop session did not come up"
    exit 1
fi
if ! port_free; then
    wait_for 60 "port 8008 to be free before the tests (held: $(lsof -nP -iTCP:8008 -sTCP:LISTEN 2>/dev/null | tail -n +2 | tr -s ' ' | cut -d' ' -f1,2 | tr '\n' ' '))" \
        port_free || exit 1
fi

for CASE in $CASES; do
    if ! declare -F "case_$CASE" >/dev/null; then
        fail "a known case, not \"$CASE\""
        continue
    fi
    if ! starts_its_own_controller "$CASE" && ! controller_alive; then
        fail "the controller to be running (it ended earlier; see controller.log)"
        RESULTS+=("FAIL $CASE")
        continue
    fi
    before=${#FAILURES[@]}
    log "---- case $CASE"
    SKIP_REASON=
    if "case_$CASE" && [ "${#FAILURES[@]}" = "$before" ]; then
        if [ -n "$SKIP_REASON" ]; then
            RESULTS+=("skip $CASE: $SKIP_REASON")
            log "skipped: $SKIP_REASON"
        else
            RESULTS+=("pass $CASE")
            log "pass"
        fi
    else
        [ "${#FAILURES[@]}" != "$before" ] || fail "case $CASE to succeed"
        RESULTS+=("FAIL $CASE")
        screenshot "failure-$CASE"
    fi
done

CASE=summary
printf '%s\n' "${RESULTS[@]}"
if ((${#FAILURES[@]})); then
    printf 'FAILED: %s\n' "${FAILURES[@]}"
    exit 1
fi
log "all desktop cases passed"
exit 0
