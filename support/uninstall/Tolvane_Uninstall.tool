#!/bin/sh
# Tolvane_Uninstall.tool: removes the Tolvane controller, its login entries and preferences,
# and, when asked, the server's data folder. The controller runs it from the product folder.
#
# Usage: Tolvane_Uninstall.tool yes yes|no
#   first argument   "yes" confirms the uninstall
#   second argument  "yes" also deletes the data folder, "no" keeps it
#
# Exit status: 0 when everything asked for was removed; 1 when something could not be removed,
# the uninstall was not confirmed or the server kept running; 2 on a usage error.
#
# Environment: TOLVANE_PRODUCT_DIR (installed product folder, default: the folder holding this
# tool), TOLVANE_PEX (server executable), TOLVANE_HOME, HOME, XDG_CONFIG_HOME, and
# TOLVANE_UNINSTALL_PLATFORM=linux|macos (default from uname).

set -u
# A CDPATH would make "cd" resolve relative folders somewhere else.
unset CDPATH

TAG=Tolvane_Uninstall
NL='
'
CR=$(printf '\r')
DEFAULT_PEX=/Applications/Tolvane/support/tolvane/tolvane.pex
MARKER_NAME=.tolvane-product
PREFS_DOMAIN=org.veltran.tolvane
FAILED=0

log() {
    printf '%s: %s\n' "$TAG" "$*" >&2
    if command -v logger >/dev/null 2>&1; then
        logger -t "$TAG" -- "$*" 2>/dev/null || :
    fi
}

fail() {
    log "$*"
    FAILED=1
}

have() { command -v "$1" >/dev/null 2>&1; }

exists() { [ -e "$1" ] || [ -L "$1" ]; }

# Sets REPLACED to $1 with every $2 replaced by $3.
replace_all() {
    _rest=$1
    REPLACED=
    while :; do
        case $_rest in
            *"$2"*)
                REPLACED=$REPLACED${_rest%%"$2"*}$3
                _rest=${_rest#*"$2"}
                ;;
            *) break ;;
        esac
    done
    REPLACED=$REPLACED$_rest
}

# Sets SHQ to $1 quoted as one sh word.
shquote() {
    replace_all "$1" "'" "'\\''"
    SHQ="'$REPLACED'"
}

# Sets REAL_DIR to the physical absolute path of the folder $1; fails when $1 is no folder.
# The trailing "x" keeps folder names that end in a newline intact.
real_dir() {
    case $1 in
        /*) _d=$1 ;;
        *) _d=./$1 ;;
    esac
    REAL_DIR=$(cd -P -- "$_d" 2>/dev/null && pwd -P && echo x) || return 1
    REAL_DIR=${REAL_DIR%x}
    REAL_DIR=${REAL_DIR%"$NL"}
}

# Sets SAFE_PATH to $1 with trailing slashes dropped and its parent folder resolved, or sets WHY
# and fails when removing $1 could take the whole system or the home folder with it.
safe_path() {
    _p=$1
    while :; do
        case $_p in
            /) break ;;
            */) _p=${_p%/} ;;
            *) break ;;
        esac
    done
    case $_p in
        '') WHY='the path is empty'; return 1 ;;
        /) WHY='it is the root folder'; return 1 ;;
        /*) ;;
        *) WHY='the path is relative'; return 1 ;;
    esac
    _base=${_p##*/}
    _dir=${_p%/*}
    [ -n "$_dir" ] || _dir=/
    case $_base in
        . | ..) WHY='the path ends in . or ..'; return 1 ;;
    esac
    if real_dir "$_dir"; then
        case $REAL_DIR in
            /) _p=/$_base ;;
            *) _p=$REAL_DIR/$_base ;;
        esac
    fi
    for _h in "$HOME" "$HOME_REAL"; do
        case $_h/ in
            "$_p"/*) WHY='it is the home folder or holds it'; return 1 ;;
        esac
    done
    SAFE_PATH=$_p
}

# True when the current user may delete $1 without administrator rights.
user_can_remove() {
    _parent=${1%/*}
    [ -n "$_parent" ] || _parent=/
    [ -w "$_parent" ] || return 1
    if [ -d "$1" ] && [ ! -L "$1" ]; then
        [ -w "$1" ]
    fi
}

# Runs the sh command line $1 with administrator rights, asking the user for them.
run_as_admin() {
    if [ "$PLATFORM" = macos ]; then
        replace_all "$1" "\\" "\\\\"
        replace_all "$REPLACED" '"' '\"'
        osascript -e "do shell script \"$REPLACED\" with administrator privileges" >/dev/null
        return
    fi
    if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && have pkexec; then
        pkexec /bin/sh -c "$1"
    elif have sudo; then
        sudo /bin/sh -c "$1"
    elif have pkexec; then
        pkexec /bin/sh -c "$1"
    else
        log "cannot get administrator rights: neither pkexec nor sudo is installed"
        return 1
    fi
}

# Removes each absolute path given. What the user cannot remove is removed in one go with
# administrator rights afterwards, so there is at most one password prompt.
remove_paths() {
    _admin=
    for _p in "$@"; do
        if ! exists "$_p"; then
            log "nothing to remove at $_p"
            continue
        fi
        if [ "$IS_ROOT" = 1 ] || user_can_remove "$_p"; then
            _err=$(rm -rf -- "$_p" 2>&1)
            if ! exists "$_p"; then
                log "removed $_p"
                continue
            fi
            if [ "$IS_ROOT" = 1 ]; then
                fail "could not remove $_p: $_err"
                continue
            fi
        fi
        shquote "$_p"
        _admin="$_admin $SHQ"
    done
    [ -n "$_admin" ] || return 0
    log "asking for administrator rights to remove:$_admin"
    run_as_admin "rm -rf --$_admin" || log "the removal with administrator rights failed or was cancelled"
    eval "set -- $_admin"
    for _p in "$@"; do
        if exists "$_p"; then
            fail "could not remove $_p"
        else
            log "removed $_p with administrator rights"
        fi
    done
}

# Prints the customTolvaneData value of the Qt INI file on standard input, undoing Qt's quoting
# and backslash escapes, followed by "x" so that command substitution keeps trailing newlines.
# Prints nothing when the key is not there.
read_ini_data_dir() {
    awk '
        function unescape(s,    out, pend, i, n, c, q, v, k) {
            out = ""; pend = ""; q = 0; n = length(s)
            for (i = 1; i <= n; i++) {
                c = substr(s, i, 1)
                if (c == "\"") { q = !q; out = out pend; pend = ""; continue }
                if (c == "\\" && i < n) {
                    c = substr(s, ++i, 1)
                    if (c == "n") c = "\n"
                    else if (c == "t") c = "\t"
                    else if (c == "r") c = "\r"
                    else if (c == "a") c = "\007"
                    else if (c == "b") c = "\b"
                    else if (c == "f") c = "\f"
                    else if (c == "v") c = "\v"
                    else if (c == "x") {
                        v = 0
                        while (i < n && (k = index("0123456789abcdef", tolower(substr(s, i + 1, 1)))) > 0) {
                            v = v * 16 + k - 1; i++
                        }
                        c = v > 0 ? sprintf("%c", v) : ""
                    }
                    out = out pend c; pend = ""; continue
                }
                if (!q && c == ";") break
                # Blanks outside quotes are dropped at both ends, kept in between.
                if (!q && (c == " " || c == "\t")) { if (out != "") pend = pend c; continue }
                out = out pend c; pend = ""
            }
            return out
        }
        { sub(/\r$/, "") }
        /^[ \t]*\[.*\][ \t]*$/ {
            section = $0; sub(/^[ \t]*\[/, "", section); sub(/\][ \t]*$/, "", section); next
        }
        (section == "" || section == "General") && match($0, /^[ \t]*customTolvaneData[ \t]*=/) {
            value = unescape(substr($0, RLENGTH + 1)); found = 1
        }
        END { if (found) printf "%sx", value }
    '
}

# Sets DATA_DIR to the server's data folder (empty when there is none) and DATA_FROM to where
# it was found.
choose_data_dir() {
    _pref=
    if [ "$PLATFORM" = macos ]; then
        if have defaults; then
            _pref=$(defaults read "$PREFS_DOMAIN" customTolvaneData 2>/dev/null) || _pref=
        fi
    elif [ -f "$PREFS_FILE" ]; then
        _pref=$(read_ini_data_dir <"$PREFS_FILE")
        _pref=${_pref%x}
    fi
    DATA_DIR=
    DATA_FROM=
    if [ -n "$_pref" ] && [ -d "$_pref" ]; then
        DATA_DIR=$_pref
        DATA_FROM='the preference customTolvaneData'
    elif [ -n "${TOLVANE_HOME:-}" ] && [ -d "$TOLVANE_HOME" ]; then
        DATA_DIR=$TOLVANE_HOME
        DATA_FROM=TOLVANE_HOME
    elif [ -d "$HOME/.tolvane" ]; then
        DATA_DIR=$HOME/.tolvane
        DATA_FROM='the default location'
    fi
    if [ -n "$DATA_DIR" ]; then
        log "data folder: $DATA_DIR (from $DATA_FROM)"
    else
        log "no data folder found"
    fi
}

# Runs the server executable with $1, its data folder in TOLVANE_HOME. Its output goes to our
# standard error: a pipe could keep us waiting on a process the server left behind.
run_pex() {
    if [ -n "$DATA_DIR" ]; then
        TOLVANE_HOME=$DATA_DIR "$PEX" "$1" </dev/null >&2
    else
        "$PEX" "$1" </dev/null >&2
    fi
}

# Stops a running server, since its files are about to go; fails when it keeps running.
stop_server() {
    PEX=$DEFAULT_PEX
    # On Linux the package keeps the server beside the tool, in its own folder.
    if [ "$PLATFORM" = linux ] && [ -n "${TOOL:-}" ]; then
        PEX=${TOOL%/*}/support/tolvane/tolvane.pex
    fi
    if [ -n "${TOLVANE_PEX:-}" ] && exists "$TOLVANE_PEX"; then
        PEX=$TOLVANE_PEX
    fi
    if [ ! -x "$PEX" ] || [ -d "$PEX" ]; then
        log "no server executable at $PEX, so no server to stop"
        return 0
    fi
    log "stopping the server with $PEX"
    run_pex stop
    _rc=$?
    [ "$_rc" -eq 0 ] || log "the server's stop command failed (exit status $_rc)"
    # A stop that returns before the server has exited gets a few seconds.
    _tries=5
    while run_pex status >/dev/null 2>&1; do
        _tries=$((_tries - 1))
        if [ "$_tries" -le 0 ]; then
            log "the server is still running"
            return 1
        fi
        sleep 1
    done
    return 0
}

remove_linux_session_entries() {
    remove_paths "$PREFS_FILE" \
        "$CONFIG_DIR/autostart/org.veltran.tolvane.user.desktop" \
        "$CONFIG_DIR/environment.d/org.veltran.tolvane.user.conf"
    if [ -d "$CONFIG_DIR/Tolvane" ] && rmdir -- "$CONFIG_DIR/Tolvane" 2>/dev/null; then
        log "removed the empty folder $CONFIG_DIR/Tolvane"
    fi
    # The variable set in the running session; best effort, as there may be no session bus.
    if have systemctl; then
        if systemctl --user unset-environment TOLVANE_HOME >/dev/null 2>&1; then
            log "unset TOLVANE_HOME in the systemd user session"
        else
            log "could not unset TOLVANE_HOME in the systemd user session (no session?); it goes at the next login"
        fi
    fi
}

remove_macos_session_entries() {
    if have launchctl; then
        if launchctl unsetenv TOLVANE_HOME; then
            log "unset TOLVANE_HOME in the login session"
        else
            log "launchctl unsetenv TOLVANE_HOME failed; it goes at the next login"
        fi
    fi
    remove_paths "$HOME/Library/LaunchAgents/org.veltran.tolvane.user.plist"
    # Through defaults first so that the preferences daemon drops its cached copy too.
    if have defaults; then
        if defaults delete "$PREFS_DOMAIN" >/dev/null 2>&1; then
            log "deleted the preferences domain $PREFS_DOMAIN"
        else
            log "no preferences domain $PREFS_DOMAIN to delete"
        fi
    fi
    remove_paths "$HOME/Library/Preferences/$PREFS_DOMAIN.plist"
}

remove_data_dir() {
    [ -n "$DATA_DIR" ] || return 0
    if ! safe_path "$DATA_DIR"; then
        fail "refusing to remove the data folder $DATA_DIR: $WHY"
        return 1
    fi
    _link=$SAFE_PATH
    if real_dir "$DATA_DIR" && ! safe_path "$REAL_DIR"; then
        fail "refusing to remove the data folder $DATA_DIR, which leads to $REAL_DIR: $WHY"
        return 1
    fi
    # A data folder reached through a symbolic link goes together with the link.
    if [ "$SAFE_PATH" = "$_link" ]; then
        remove_paths "$_link"
    else
        remove_paths "$SAFE_PATH" "$_link"
    fi
}

# Sets PKG to the Debian package that owns the tool, or fails when none does.
find_owning_package() {
    PKG=
    if [ "$PLATFORM" != linux ] || ! have dpkg-query; then
        return 1
    fi
    _owners=$(dpkg-query -S "$TOOL" 2>/dev/null) || return 1
    while IFS= read -r _line; do
        case $_line in
            'diversion by '*) ;;
            *': '*)
                PKG=${_line%%: *}
                PKG=${PKG%%,*}
                break
                ;;
        esac
    done <<EOF
$_owners
EOF
    case $PKG in
        '' | *[!a-z0-9+.:-]*) PKG=; return 1 ;;
    esac
}

remove_package() {
    log "the tool belongs to the Debian package $PKG; removing that package"
    if [ "$IS_ROOT" = 1 ]; then
        dpkg -r "$PKG" >&2
    else
        shquote "$PKG"
        run_as_admin "dpkg -r $SHQ"
    fi
    _rc=$?
    if exists "$TOOL"; then
        fail "could not remove the package $PKG (exit status $_rc)"
    else
        log "removed the package $PKG"
    fi
}

remove_product() {
    if find_owning_package; then
        remove_package
        return
    fi
    if [ ! -f "$PRODUCT_DIR/$MARKER_NAME" ]; then
        log "no installed product at $PRODUCT_DIR (it has no $MARKER_NAME), leaving it alone"
        return 0
    fi
    if ! safe_path "$PRODUCT_DIR"; then
        fail "refusing to remove the product folder $PRODUCT_DIR: $WHY"
        return 1
    fi
    _product=$SAFE_PATH
    # The marker lists what the install put outside the folder, one absolute path a line.
    set --
    while IFS= read -r _line || [ -n "$_line" ]; do
        _line=${_line%"$CR"}
        case $_line in
            '' | '#'*) continue ;;
        esac
        if safe_path "$_line"; then
            set -- "$@" "$SAFE_PATH"
        else
            fail "refusing to remove $_line listed in $MARKER_NAME: $WHY"
        fi
    done <"$_product/$MARKER_NAME"
    remove_paths "$@" "$_product"
}

usage() {
    log "$1"
    log "usage: Tolvane_Uninstall.tool yes yes|no (confirm; also delete the data folder or keep it); nothing removed"
}

main() {
    if [ $# -ne 2 ]; then
        usage "expected 2 arguments, got $#"
        return 2
    fi
    case $2 in
        yes | no) ;;
        *) usage "the second argument must be yes or no, not \"$2\""; return 2 ;;
    esac
    case $1 in
        yes) ;;
        no) log "the uninstall was not confirmed; nothing removed"; return 1 ;;
        *) usage "the first argument must be yes, not \"$1\""; return 2 ;;
    esac
    REMOVE_DATA=$2

    PLATFORM=${TOLVANE_UNINSTALL_PLATFORM:-}
    if [ -z "$PLATFORM" ]; then
        case $(uname -s 2>/dev/null) in
            Darwin) PLATFORM=macos ;;
            *) PLATFORM=linux ;;
        esac
    fi
    case $PLATFORM in
        linux | macos) ;;
        *) usage "TOLVANE_UNINSTALL_PLATFORM must be linux or macos, not \"$PLATFORM\""; return 2 ;;
    esac

    case ${HOME:-} in
        /?*) ;;
        *) log "HOME is not an absolute folder (\"${HOME:-}\"); nothing removed"; return 1 ;;
    esac
    real_dir "$HOME" || REAL_DIR=$HOME
    HOME_REAL=$REAL_DIR

    IS_ROOT=0
    [ "$(id -u)" = 0 ] && IS_ROOT=1

    case $0 in
        */*) _tool_dir=${0%/*} ;;
        *) _tool_dir=. ;;
    esac
    if ! real_dir "${_tool_dir:-/}"; then
        log "cannot find the folder of $0; nothing removed"
        return 1
    fi
    TOOL=${REAL_DIR%/}/${0##*/}
    # Installed as a link elsewhere, the tool still belongs to the folder it really lives in.
    if [ -L "$TOOL" ] && _target=$(readlink -f -- "$TOOL" 2>/dev/null) && [ -f "$_target" ]; then
        TOOL=$_target
    fi
    PRODUCT_DIR=${TOLVANE_PRODUCT_DIR:-${TOOL%/*}}
    if real_dir "$PRODUCT_DIR"; then
        PRODUCT_DIR=$REAL_DIR
    fi

    case ${XDG_CONFIG_HOME:-} in
        /*) CONFIG_DIR=$XDG_CONFIG_HOME ;;
        *) CONFIG_DIR=$HOME/.config ;;
    esac
    PREFS_FILE=$CONFIG_DIR/Tolvane/tolvane.conf

    log "uninstalling Tolvane ($PLATFORM; product folder $PRODUCT_DIR; delete the data folder: $REMOVE_DATA)"
    choose_data_dir
    if ! stop_server; then
        log "the Tolvane server is still running; stop it and try again. Nothing removed"
        return 1
    fi

    if [ "$PLATFORM" = macos ]; then
        remove_macos_session_entries
    else
        remove_linux_session_entries
    fi
    if [ "$REMOVE_DATA" = yes ]; then
        remove_data_dir
    elif [ -n "$DATA_DIR" ]; then
        log "keeping the data folder $DATA_DIR"
    fi
    remove_product

    if [ "$FAILED" -ne 0 ]; then
        log "the uninstall did not finish: some things could not be removed (see above)"
        return 1
    fi
    log "uninstall done"
    return 0
}

# The whole script is read before it runs, so removing its own file midway is harmless.
main "$@"; exit $?
