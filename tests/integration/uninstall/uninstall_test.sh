#!/usr/bin/env bash
# The groups and the trap handler are called through variables, which shellcheck cannot follow.
# shellcheck disable=SC2317
# Runs Tolvane_Uninstall.tool in throwaway sandboxes (HOME, config folder, product folder, data
# folders, a fake server and fake system commands) and checks what it removes, keeps and reports.
#
# Usage: uninstall_test.sh PATH/TO/Tolvane_Uninstall.tool [GROUP...]
#   GROUP: full data safety product server args immutable macos dpkg elevation (default: all)
# Environment: TOLVANE_TEST_SHELL=/bin/bash runs the tool under that shell instead of its #! line.
# Exit status: 0 when every case passed, 77 when every case was skipped, 1 otherwise.

set -u

TOOL_SRC=${1:?usage: uninstall_test.sh PATH/TO/Tolvane_Uninstall.tool [GROUP...]}
shift
GROUPS_WANTED=("$@")
[ ${#GROUPS_WANTED[@]} -gt 0 ] || GROUPS_WANTED=(full data safety product server args immutable macos dpkg elevation)
[ -f "$TOOL_SRC" ] || { echo "no tool at $TOOL_SRC" >&2; exit 1; }

RM_REAL=$(command -v rm)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-uninstall-test.XXXXXX")
WORK=$(cd "$WORK" && pwd -P)   # the tool reports resolved paths
chmod 755 "$WORK"      # the elevation cases run the tool as an unprivileged user
IMMUTABLE=()           # paths given the immutable attribute, cleared again on exit

cleanup() {
    local p
    for p in "${IMMUTABLE[@]}"; do chattr -i "$p" 2>/dev/null; done
    "$RM_REAL" -rf "$WORK"
}
trap cleanup EXIT

passed=0 failed=0 skipped=0
ERRS=()

# ---------------------------------------------------------------- sandbox

# Writes an executable script from standard input, with @SB@ replaced by the sandbox folder.
fake() {
    sed "s|@SB@|$SB|g" >"$1"
    chmod 755 "$1"
}

# Makes a fresh sandbox in SB with an installed product, its login entries, preferences naming
# the data folder "$SB/Tolvane Data", and a running fake server. The user's config folder CFG is
# ~/.config, or the sandbox folder $2 given as XDG_CONFIG_HOME.
new_sandbox() {
    SB=$WORK/$1
    mkdir -p "$SB"/{bin,log,home,server,cwd}
    CFG=$SB/${2:-home/.config}
    local cfg=$CFG
    mkdir -p "$cfg"/{Tolvane,autostart,environment.d}
    DATA="$SB/Tolvane Data"
    write_prefs "customTolvaneData=$SB/Tolvane Data"
    echo x >"$cfg/autostart/org.veltran.tolvane.user.desktop"
    echo x >"$cfg/autostart/other.desktop"
    echo x >"$cfg/environment.d/org.veltran.tolvane.user.conf"
    echo x >"$cfg/environment.d/other.conf"
    mkdir -p "$DATA/db" && echo data >"$DATA/db/records"

    # The product folder, with what the install put elsewhere listed in its marker.
    PRODUCT=$SB/product
    mkdir -p "$PRODUCT/lib" "$SB/usr/bin" "$SB/usr/share/applications" "$SB/usr/share/icons/64x64"
    echo x >"$PRODUCT/lib/libtolvane.so"
    echo x >"$SB/usr/bin/tolvane-controller"
    echo x >"$SB/usr/bin/other-program"
    echo x >"$SB/usr/share/applications/tolvane-controller.desktop"
    echo x >"$SB/usr/share/icons/64x64/tolvane controller.png"
    EXTRAS=("$SB/usr/bin/tolvane-controller" "$SB/usr/share/applications/tolvane-controller.desktop"
            "$SB/usr/share/icons/64x64/tolvane controller.png")
    printf '%s\n' "# written by the installer" "${EXTRAS[0]}" "" "${EXTRAS[1]}" >"$PRODUCT/.tolvane-product"
    # A line with a DOS ending, and one for a file that is already gone.
    printf '%s\r\n%s\n' "${EXTRAS[2]}" "$SB/usr/share/pixmaps/gone.png" >>"$PRODUCT/.tolvane-product"
    install_tool "$PRODUCT"

    # The server: "stop" ends the running state unless told to refuse; "status" is 0 while running.
    PEX=$SB/server/tolvane.pex
    fake "$PEX" <<'EOF'
#!/bin/sh
printf '%s TOLVANE_HOME=%s\n' "$1" "${TOLVANE_HOME-<unset>}" >>@SB@/log/pex.log
case $1 in
    stop)
        [ -e @SB@/server/refuses-to-stop ] && exit 1
        rm -f @SB@/server/running
        [ -e @SB@/server/stop-fails ] && exit 3
        exit 0 ;;
    status) [ -e @SB@/server/running ] ;;
    *) exit 64 ;;
esac
EOF
    touch "$SB/server/running"

    # System commands the tool uses, recording their calls. rm lets the tool touch nothing outside
    # the sandbox, so a wrong path shows up as a violation instead of a loss.
    fake "$SB/bin/rm" <<EOF
#!/bin/sh
opts=1
for a; do
    if [ \$opts = 1 ]; then
        case \$a in --) opts=0; continue ;; -*) continue ;; esac
    fi
    case \$a in
        @SB@/*) ;;
        *) printf '%s\n' "\$a" >>@SB@/log/rm-violations; exit 1 ;;
    esac
done
exec $RM_REAL "\$@"
EOF
    fake "$SB/bin/logger" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/logger.log
EOF
    fake "$SB/bin/systemctl" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/systemctl.log
echo "Failed to connect to bus: No medium found" >&2
exit 1
EOF
    RUN_ENV=(PATH="$SB/bin:/usr/sbin:/usr/bin:/sbin:/bin" HOME="$SB/home" TOLVANE_PEX="$PEX")
    [ -n "${2:-}" ] && RUN_ENV+=(XDG_CONFIG_HOME="$CFG")
    RUN_AS=()
    RUN_DIR=$SB/cwd
    TOOL=$PRODUCT/Tolvane_Uninstall.tool
}

# Copies the tool under test into folder $1, under the shell asked for when there is one.
install_tool() {
    if [ -n "${TOLVANE_TEST_SHELL:-}" ]; then
        { echo "#!$TOLVANE_TEST_SHELL"; tail -n +2 "$TOOL_SRC"; } >"$1/Tolvane_Uninstall.tool"
    else
        cp "$TOOL_SRC" "$1/Tolvane_Uninstall.tool"
    fi
    chmod 755 "$1/Tolvane_Uninstall.tool"
}

write_prefs() {
    printf '[General]\nautoStart=true\n%s\nport=8080\n' "$1" >"$CFG/Tolvane/tolvane.conf"
}

# Runs the tool the way the controller does: a clean environment, no input, the given arguments.
run_tool() {
    (cd "$RUN_DIR" && "${RUN_AS[@]}" env -i "${RUN_ENV[@]}" "$TOOL" "$@") </dev/null >"$SB/log/out" 2>&1
    RC=$?
}

# Lists everything in the sandbox but the logs, to show that a run changed nothing.
snapshot() { (cd "$SB" && find . -path ./log -prune -o -print | LC_ALL=C sort); }

# ---------------------------------------------------------------- checks

err() { ERRS+=("$*"); }
expect_gone() { local p; for p; do [[ -e $p || -L $p ]] && err "still there: $p"; done; }
expect_kept() { local p; for p; do [[ -e $p || -L $p ]] || err "removed: $p"; done; }
expect_rc() { [ "$RC" -eq "$1" ] || err "exit status $RC, expected $1"; }
expect_fail() { [ "$RC" -ne 0 ] || err "exit status 0, expected a failure"; }
expect_log() { grep -qF -- "$1" "$SB/log/out" || err "no line saying: $1"; }
expect_in() { grep -qxF -- "$2" "$SB/log/$1" 2>/dev/null || err "$1 has no line: $2"; }
expect_no_violation() {
    [ -e "$SB/log/rm-violations" ] && err "tried to remove outside the sandbox: $(tr '\n' ' ' <"$SB/log/rm-violations")"
}

# The user's entries and the product, all gone.
expect_uninstalled() {
    local cfg=$CFG
    expect_gone "$cfg/Tolvane" "$cfg/autostart/org.veltran.tolvane.user.desktop" \
        "$cfg/environment.d/org.veltran.tolvane.user.conf" "$PRODUCT" "${EXTRAS[@]}"
    expect_kept "$cfg/autostart/other.desktop" "$cfg/environment.d/other.conf" "$SB/usr/bin/other-program"
}

finish_case() {
    expect_no_violation
    if [ ${#ERRS[@]} -eq 0 ]; then
        echo "ok    $1"
        passed=$((passed + 1))
    else
        echo "FAIL  $1"
        printf '        %s\n' "${ERRS[@]}"
        echo "        tool output (exit status $RC):"
        sed 's/^/        | /' "$SB/log/out"
        failed=$((failed + 1))
    fi
    ERRS=()
}

skip_case() {
    echo "skip  $1: $2"
    skipped=$((skipped + 1))
}

# ---------------------------------------------------------------- cases

group_full() {
    local row answer mode xdg
    for row in "yes|removed|" "no|kept|" "yes|removed|xdg config"; do
        IFS='|' read -r answer mode xdg <<<"$row"
        new_sandbox "full-$mode-${xdg:+xdg}" "$xdg"
        run_tool yes "$answer"
        expect_rc 0
        expect_uninstalled
        if [ "$mode" = removed ]; then expect_gone "$DATA"; else expect_kept "$DATA/db/records"; fi
        expect_in pex.log "stop TOLVANE_HOME=$DATA"
        expect_in systemctl.log "--user unset-environment TOLVANE_HOME"
        grep -q '^-t Tolvane_Uninstall -- removed ' "$SB/log/logger.log" 2>/dev/null ||
            err "no 'removed' line sent to the system log with the tag Tolvane_Uninstall"
        finish_case "yes $answer: everything removed, data folder $mode${xdg:+, config in XDG_CONFIG_HOME}"
    done
}

# Which data folder goes: the preference's (Qt INI escapes), else TOLVANE_HOME, else ~/.tolvane.
group_data() {
    local row name ini pref set_th create expect chosen c
    # "$HOME" in the first row is part of the folder's name, not expanded.
    # shellcheck disable=SC2016
    local rows=(
        # name | INI line | folder the preference names | TOLVANE_HOME set | folders made | expected
        'quoted preference with comma, quotes, backslash, dollar, non-ASCII|customTolvaneData="@SB@/d, \"q\" \\ $HOME é"|@SB@/d, "q" \ $HOME é|yes|pref th dot|pref'
        'unquoted preference with blanks and escaped quotes|customTolvaneData=@SB@/my \"data\" dir|@SB@/my "data" dir|yes|pref th dot|pref'
        'quoted preference with a trailing blank|customTolvaneData="@SB@/trail "|@SB@/trail |no|pref dot|pref'
        'preference names a missing folder|customTolvaneData=@SB@/missing|@SB@/missing|yes|th dot|th'
        'no preference|autoStart=false|-|yes|th dot|th'
        'no preference, TOLVANE_HOME unset|autoStart=false|-|no|th dot|dot'
        'no preference, TOLVANE_HOME names a missing folder|autoStart=false|-|yes|dot|dot'
    )
    for row in "${rows[@]}"; do
        IFS='|' read -r name ini pref set_th create expect <<<"$row"
        new_sandbox "data-$((passed + failed))"
        ini=${ini//@SB@/$SB} pref=${pref//@SB@/$SB}
        "$RM_REAL" -rf "$DATA"
        write_prefs "$ini"
        declare -A dir=([pref]="$pref" [th]="$SB/th" [dot]="$SB/home/.tolvane")
        for c in $create; do mkdir -p "${dir[$c]}" && echo x >"${dir[$c]}/file"; done
        [ "$set_th" = yes ] && RUN_ENV+=(TOLVANE_HOME="$SB/th")
        run_tool yes yes
        chosen=${dir[$expect]}
        expect_rc 0
        expect_gone "$chosen"
        for c in $create; do [ "$c" = "$expect" ] || expect_kept "${dir[$c]}/file"; done
        expect_in pex.log "stop TOLVANE_HOME=$chosen"
        finish_case "data folder: $name"
        unset dir
    done
}

# Data folders that must never be removed: the run fails, the folder stays, the rest goes.
group_safety() {
    local row name how value
    local rows=(
        'the home folder|pref|@SB@/home'
        'the home folder with a trailing slash|th|@SB@/home/'
        'the home folder through ..|pref|@SB@/cwd/../home'
        'a folder holding the home folder|pref|@SB@'
        'a link to the home folder|pref|@SB@/homelink'
        'a relative path|th|.'
        'the root folder|th|/'
        'the root folder as //|pref|//'
    )
    for row in "${rows[@]}"; do
        IFS='|' read -r name how value <<<"$row"
        new_sandbox "safety-$((passed + failed))"
        value=${value//@SB@/$SB}
        ln -s "$SB/home" "$SB/homelink"
        echo keep >"$SB/home/precious" && echo keep >"$SB/cwd/precious"
        if [ "$how" = pref ]; then
            write_prefs "customTolvaneData=$value"
        else
            write_prefs "autoStart=false"
            RUN_ENV+=(TOLVANE_HOME="$value")
        fi
        run_tool yes yes
        expect_fail
        expect_log "refusing to remove the data folder"
        expect_kept "$SB/home/precious" "$SB/cwd/precious" "$DATA/db/records"
        expect_uninstalled
        finish_case "data folder refused: $name"
    done
}

group_product() {
    new_sandbox product-unmarked
    "$RM_REAL" "$PRODUCT/.tolvane-product"
    run_tool yes yes
    expect_rc 0
    expect_kept "$TOOL" "$PRODUCT/lib/libtolvane.so" "${EXTRAS[@]}"
    expect_log "no installed product at $PRODUCT"
    expect_gone "$CFG/Tolvane" "$DATA"
    finish_case "a product folder without the marker is kept, the uninstall succeeds"

    new_sandbox product-override
    mkdir -p "$SB/other" && echo x >"$SB/other/file"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/other")
    run_tool yes no
    expect_rc 0
    expect_kept "$SB/other/file" "$TOOL" "${EXTRAS[@]}"
    expect_log "no installed product at $SB/other"
    finish_case "TOLVANE_PRODUCT_DIR without the marker is kept"

    new_sandbox product-override-marked
    local elsewhere=$SB/elsewhere/Tolvane
    mkdir -p "$elsewhere" && cp "$PRODUCT/.tolvane-product" "$elsewhere/"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$elsewhere")
    run_tool yes no
    expect_rc 0
    expect_gone "$elsewhere" "${EXTRAS[@]}"
    expect_kept "$TOOL"
    finish_case "TOLVANE_PRODUCT_DIR with the marker is removed, not the tool's folder"

    new_sandbox product-relative
    RUN_DIR=$SB
    TOOL=./product/Tolvane_Uninstall.tool
    run_tool yes no
    expect_rc 0
    expect_uninstalled
    finish_case "tool started through a relative path finds its own folder"

    new_sandbox product-bad-marker-lines
    printf '%s\n' "relative/path" "/" "$SB/home" >>"$PRODUCT/.tolvane-product"
    run_tool yes no
    expect_fail
    expect_log "refusing to remove relative/path"
    expect_log "refusing to remove / listed"
    expect_log "refusing to remove $SB/home listed"
    expect_kept "$CFG/autostart/other.desktop"
    expect_uninstalled
    finish_case "marker lines naming /, the home folder or a relative path are refused, the rest removed"

    # The tool as it lies in the build tree: no marker there, so its folder must survive.
    new_sandbox product-in-place
    TOOL=$(cd "$(dirname "$TOOL_SRC")" && pwd -P)/$(basename "$TOOL_SRC")
    if [ -e "$(dirname "$TOOL")/.tolvane-product" ]; then
        skip_case "tool run in place" "$(dirname "$TOOL") has a marker"
    else
        run_tool yes yes
        expect_rc 0
        expect_kept "$TOOL"
        expect_log "no installed product at $(dirname "$TOOL")"
        expect_gone "$CFG/Tolvane"
        finish_case "tool run in place from $(dirname "$TOOL") leaves that folder alone"
    fi
}

group_server() {
    new_sandbox server-refuses
    touch "$SB/server/refuses-to-stop"
    local before
    before=$(snapshot)
    run_tool yes yes
    expect_fail
    [ "$(snapshot)" = "$before" ] || err "files changed although the server kept running"
    expect_in pex.log "stop TOLVANE_HOME=$DATA"
    expect_in pex.log "status TOLVANE_HOME=$DATA"
    expect_log "still running"
    finish_case "a server that refuses to stop fails the uninstall, nothing removed"

    new_sandbox server-stop-fails
    touch "$SB/server/stop-fails"
    run_tool yes yes
    expect_rc 0
    expect_log "stop command failed"
    expect_uninstalled
    expect_gone "$DATA"
    finish_case "a failing stop that leaves no server running is only logged"

    new_sandbox server-missing
    RUN_ENV+=(TOLVANE_PEX="$SB/server/not-there")
    if [ -e /Applications/Tolvane/support/tolvane/tolvane.pex ]; then
        skip_case "no server executable" "this machine has the default server executable"
    else
        run_tool yes yes
        expect_rc 0
        # On Linux the default is the server the package keeps beside the tool.
        expect_log "no server executable at "
        expect_uninstalled
        finish_case "no server executable: nothing to stop, the uninstall goes on"
    fi
}

group_args() {
    local row name want args before
    local rows=(
        'none|2|'
        'one|2|yes'
        'not confirmed|1|no yes'
        'not confirmed, keep data|1|no no'
        'second is not yes or no|2|yes maybe'
        'three|2|yes yes yes'
        'upper case|2|YES yes'
        'empty strings|2|EMPTY EMPTY'
    )
    for row in "${rows[@]}"; do
        IFS='|' read -r name want args <<<"$row"
        new_sandbox "args-$((passed + failed))"
        before=$(snapshot)
        # shellcheck disable=SC2086 # the table's arguments are split on blanks on purpose
        set -- $args
        [ "$args" = "EMPTY EMPTY" ] && set -- "" ""
        run_tool "$@"
        expect_rc "$want"
        [ "$(snapshot)" = "$before" ] || err "files changed"
        [ -e "$SB/log/pex.log" ] && err "the server was called"
        finish_case "arguments: $name ($args) -> exit $want, nothing removed"
    done

    new_sandbox args-platform
    before=$(snapshot)
    RUN_ENV+=(TOLVANE_UNINSTALL_PLATFORM=windows)
    run_tool yes yes
    expect_rc 2
    [ "$(snapshot)" = "$before" ] || err "files changed"
    finish_case "unknown TOLVANE_UNINSTALL_PLATFORM -> exit 2, nothing removed"
}

# A file whose folder cannot be changed, even by root: the run fails, all else is removed.
group_immutable() {
    new_sandbox immutable
    local folder=$CFG/autostart
    if ! chattr +i "$folder" 2>/dev/null; then
        skip_case "an entry that cannot be removed" "chattr +i does not work on $(df --output=fstype "$WORK" | tail -1)"
        return
    fi
    IMMUTABLE+=("$folder")
    run_tool yes yes
    chattr -i "$folder"
    expect_fail
    expect_kept "$folder/org.veltran.tolvane.user.desktop"
    expect_log "could not remove $folder/org.veltran.tolvane.user.desktop"
    expect_gone "$CFG/Tolvane" "$CFG/environment.d/org.veltran.tolvane.user.conf" \
        "$PRODUCT" "${EXTRAS[@]}" "$DATA"
    finish_case "an entry in an immutable folder fails the uninstall, everything else removed"
}

group_macos() {
    new_sandbox macos
    local lib=$SB/home/Library
    DATA="$SB/Mac Data"
    mkdir -p "$DATA" "$lib/LaunchAgents" "$lib/Preferences"
    echo x >"$DATA/file"
    echo x >"$lib/LaunchAgents/org.veltran.tolvane.user.plist"
    echo x >"$lib/LaunchAgents/other.plist"
    echo x >"$lib/Preferences/org.veltran.tolvane.plist"
    echo x >"$lib/Preferences/other.plist"
    fake "$SB/bin/launchctl" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/launchctl.log
EOF
    fake "$SB/bin/defaults" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/defaults.log
case "$*" in
    "read org.veltran.tolvane customTolvaneData") echo "@SB@/Mac Data" ;;
    "delete org.veltran.tolvane") ;;
    *) exit 1 ;;
esac
EOF
    RUN_ENV+=(TOLVANE_UNINSTALL_PLATFORM=macos)
    run_tool yes yes
    expect_rc 0
    expect_in launchctl.log "unsetenv TOLVANE_HOME"
    expect_in defaults.log "delete org.veltran.tolvane"
    expect_gone "$lib/LaunchAgents/org.veltran.tolvane.user.plist" "$lib/Preferences/org.veltran.tolvane.plist" \
        "$DATA" "$PRODUCT" "${EXTRAS[@]}"
    expect_kept "$lib/LaunchAgents/other.plist" "$lib/Preferences/other.plist" \
        "$CFG/autostart/org.veltran.tolvane.user.desktop" "$SB/Tolvane Data"
    expect_in pex.log "stop TOLVANE_HOME=$DATA"
    [ -e "$SB/log/systemctl.log" ] && err "systemctl was called on macOS"
    finish_case "macOS: launchctl unsetenv, agent and preferences removed, data folder from defaults"
}

# A tool that belongs to a Debian package removes the package and leaves its files to dpkg.
group_dpkg() {
    local row name dpkg_rc
    for row in "removed|0" "dpkg fails|1"; do
        name=${row%|*} dpkg_rc=${row#*|}
        new_sandbox "dpkg-$dpkg_rc"
        fake "$SB/bin/dpkg-query" <<'EOF'
#!/bin/sh
[ "$1" = -S ] && [ "$2" = @SB@/product/Tolvane_Uninstall.tool ] || exit 1
echo "diversion by other from: /elsewhere"
echo "tolvane-controller: $2"
EOF
        fake "$SB/bin/dpkg" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>@SB@/log/dpkg.log
[ $dpkg_rc = 0 ] || exit $dpkg_rc
[ "\$*" = "-r tolvane-controller" ] && rm -rf @SB@/product
EOF
        run_tool yes no
        expect_in dpkg.log "-r tolvane-controller"
        expect_kept "${EXTRAS[@]}"
        if [ "$dpkg_rc" = 0 ]; then
            expect_rc 0
            expect_gone "$PRODUCT" "$CFG/Tolvane"
        else
            expect_fail
            expect_log "could not remove the package tolvane-controller"
            expect_gone "$CFG/Tolvane"
        fi
        finish_case "Debian package: $name"
    done
}

# Run as an ordinary user, a path in a folder only root may change is removed through pkexec (in
# a graphical session) or sudo, with its name quoted so that exactly that file goes.
group_elevation() {
    if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
        skip_case "administrator rights" "needs root and setpriv to run the tool as another user"
        return
    fi
    local row name display used unused cmd
    local weird="it's a \"\$HOME\" \`x\` \\ file é"
    for row in "graphical session: pkexec|:0|pkexec|sudo" "no graphical session: sudo||sudo|pkexec"; do
        IFS='|' read -r name display used unused <<<"$row"
        new_sandbox "elevation-$used"
        mkdir -p "$SB/system"
        echo x >"$SB/system/$weird"
        echo x >"$SB/system/keep"
        echo "$SB/system/$weird" >>"$PRODUCT/.tolvane-product"
        for cmd in pkexec sudo; do
            fake "$SB/bin/$cmd" <<EOF
#!/bin/sh
printf '%s\n' "\$1 \$2" >@SB@/log/$cmd.log
printf '%s' "\$3" >@SB@/log/$cmd.command
EOF
        done
        chown -R nobody "$SB"
        chown root "$SB/system" "$SB/system/"*
        RUN_AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        [ -n "$display" ] && RUN_ENV+=(DISPLAY="$display")
        run_tool yes yes
        # The fake did not remove anything, so the tool must say so.
        expect_fail
        expect_log "could not remove $SB/system/$weird"
        expect_in "$used.log" "/bin/sh -c"
        [ -e "$SB/log/$unused.log" ] && err "$unused was used instead of $used"
        expect_gone "$PRODUCT" "${EXTRAS[@]}" "$DATA" "$CFG/Tolvane"
        # Run the command handed to the elevation tool as root: it must remove exactly that file.
        if [ -e "$SB/log/$used.command" ]; then
            (cd "$SB/cwd" && /bin/sh -c "$(cat "$SB/log/$used.command")") 2>/dev/null
            expect_gone "$SB/system/$weird"
            expect_kept "$SB/system/keep"
        fi
        finish_case "administrator rights, $name"
    done
}

# ---------------------------------------------------------------- main

for group in "${GROUPS_WANTED[@]}"; do
    if declare -F "group_$group" >/dev/null; then
        "group_$group"
    else
        echo "unknown group $group" >&2
        failed=$((failed + 1))
    fi
done

echo "$passed passed, $failed failed, $skipped skipped"
if [ "$failed" -gt 0 ]; then exit 1; fi
if [ "$passed" -eq 0 ] && [ "$skipped" -gt 0 ]; then exit 77; fi
exit 0
