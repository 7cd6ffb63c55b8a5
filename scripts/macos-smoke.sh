#!/usr/bin/env bash
# shellcheck disable=SC2016,SC2317  # literal backquotes and $0 in texts; finish runs from the trap
# macOS: starts the installed controller as a user would get it, and checks that it lives.
# Usage: scripts/macos-smoke.sh PRODUCT_FOLDER [LOG]
#
# The bundle's own executable runs offscreen against the stand-in server in PRODUCT_FOLDER, with a
# home of its own and recording stand-ins for launchctl, defaults, osascript and open first on PATH,
# so that the login step it runs on first launch changes nothing of the session of whoever runs it.
# It passes when the controller is still running after a few seconds and its log shows the status
# poll; the log is kept in LOG (default: controller.log in the current folder).
set -euo pipefail

product=${1:?usage: macos-smoke.sh PRODUCT_FOLDER [LOG]}
log=${2:-controller.log}
executable="$product/Tolvane.app/Contents/MacOS/Tolvane"
server="$product/support/tolvane/tolvane.pex"
# Longer than one status poll (8 seconds).
alive_for=12

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-smoke.XXXXXX")
pid=
finish() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    TOLVANE_HOME="$work/data" "$server" stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap finish EXIT

mkdir -p "$work/home" "$work/data" "$work/bin"
# The session tools of both platforms, so that the script may also run elsewhere.
for tool in launchctl defaults osascript open dbus-update-activation-environment systemctl; do
    printf '#!/bin/sh\nprintf "%%s\\n" "$0 $*" >>"%s/session-tools.log"\n' "$work" >"$work/bin/$tool"
    chmod +x "$work/bin/$tool"
done

# CFFIXED_USER_HOME keeps the preferences store in the same home as everything else.
env HOME="$work/home" CFFIXED_USER_HOME="$work/home" PATH="$work/bin:$PATH" \
    TOLVANE_PEX="$server" TOLVANE_HOME="$work/data" QT_QPA_PLATFORM=offscreen \
    "$executable" >"$log" 2>&1 &
pid=$!
sleep "$alive_for"

status=0
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" || echo "the controller ended with status $? within ${alive_for} seconds" >&2
    status=1
fi
if ! grep -q 'Fetching `tolvane status`' "$log"; then
    echo "the controller's log shows no status poll" >&2
    status=1
fi
echo "== the controller's log ($log)"
cat "$log"
if [ -f "$work/session-tools.log" ]; then
    echo "== the session tools it ran (stand-ins)"
    cat "$work/session-tools.log"
fi
[ "$status" = 0 ] && echo "macos-smoke: the controller ran for ${alive_for} seconds and polled the server"
exit "$status"
