#!/bin/sh
# Tolvane_Uninstall.tool: removes the Tolvane controller, its login entries and preferences,
# and, when asked, moves the server's data folder to the user's Trash. The controller runs it
# from the product folder.
#
# Usage: Tolvane_Uninstall.tool yes yes|no
#   first argument   "yes" confirms the uninstall
#   second argument  "yes" also moves the data folder to the Trash, "no" keeps it
#
# The tool decides everything before it changes anything. A data folder it must not touch, a
# product folder without its marker, a marker line it must not remove or a server that keeps
# running each end the run with nothing removed and one line saying why. The data folder is the
# user's: it goes to the user's Trash, never with administrator rights, and is never deleted;
# administrator rights are only for the product folder and the files its marker lists.
#
# Exit status: 0 when everything asked for was removed; 1 when something was refused or could
# not be removed, the uninstall was not confirmed or the server kept running; 2 on a usage error.
#
# Environment: TOLVANE_PRODUCT_DIR (installed product folder, default: the folder holding this
# tool), TOLVANE_PEX (server executable), TOLVANE_HOME, HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, and
# TOLVANE_UNINSTALL_PLATFORM=linux|macos (default from uname).
#
# Outside programs: the server executable (stop, status), awk, df, id, ls, wc, head, readlink,
# uname, sleep, rm, rmdir, logger; on Linux gio (the Trash), systemctl, dpkg-query and dpkg, pkexec
# or sudo (running /bin/sh); on macOS osascript (the Trash through the Finder, administrator
# rights), defaults and launchctl.

set -u
# A CDPATH would make "cd" resolve relative folders somewhere else.
unset CDPATH

TAG=Tolvane_Uninstall
NL='
'
TAB=$(printf '\t')
CR=$(printf '\r')
DEFAULT_PEX=/Applications/Tolvane/support/tolvane/tolvane.pex
MARKER_NAME=.tolvane-product
PREFS_DOMAIN=org.veltran.tolvane
LOGIN_ENTRY=org.veltran.tolvane.user
FAILED=0
REFUSED=0

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

# Something the tool will not do: found before anything is removed, so nothing is.
refuse() {
    log "refusing $*; nothing removed"
    REFUSED=1
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

# Sets ONE_LINE to the output $1 of a program, its lines joined, for a single log line.
one_line() {
    _ol=$1
    while :; do
        case $_ol in
            *"$NL") _ol=${_ol%"$NL"} ;;
            *) break ;;
        esac
    done
    replace_all "$_ol" "$NL" ' | '
    ONE_LINE=$REPLACED
}

# Sets TRIMMED to $1 without trailing slashes ("/" stays "/").
trim_slashes() {
    TRIMMED=$1
    while :; do
        case $TRIMMED in
            ?*/) TRIMMED=${TRIMMED%/} ;;
            *) return 0 ;;
        esac
    done
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

# Sets REAL_PATH to the physical absolute path of $1, following symbolic links to the end;
# fails when that cannot be done.
real_path() {
    _rp=$1
    _rp_hops=0
    while [ -L "$_rp" ]; do
        _rp_hops=$((_rp_hops + 1))
        [ "$_rp_hops" -le 40 ] || return 1
        _rp_to=$(readlink -- "$_rp" && echo x) || return 1
        _rp_to=${_rp_to%x}
        _rp_to=${_rp_to%"$NL"}
        case $_rp_to in
            /*) _rp=$_rp_to ;;
            *) _rp=${_rp%/*}/$_rp_to ;;
        esac
    done
    if [ -d "$_rp" ]; then
        real_dir "$_rp" || return 1
        REAL_PATH=$REAL_DIR
        return 0
    fi
    _rp_dir=${_rp%/*}
    real_dir "${_rp_dir:-/}" || return 1
    REAL_PATH=${REAL_DIR%/}/${_rp##*/}
}

# Sets NORMAL to the absolute path $1 with trailing slashes dropped and its parent folder
# resolved, so that it names the entry itself, a symbolic link or not. Sets WHY and fails on a
# path that names no entry of its own.
normal_path() {
    trim_slashes "$1"
    _np=$TRIMMED
    case $_np in
        '') WHY='the path is empty'; return 1 ;;
        /) NORMAL=/; return 0 ;;
        /*) ;;
        *) WHY='the path is relative'; return 1 ;;
    esac
    _np_base=${_np##*/}
    case $_np_base in
        . | ..) WHY='the path ends in . or ..'; return 1 ;;
    esac
    _np_dir=${_np%/*}
    if real_dir "${_np_dir:-/}"; then
        NORMAL=${REAL_DIR%/}/$_np_base
    else
        NORMAL=$_np
    fi
}

# True when the folder $1 (absolute, no trailing slash) is $2 or holds it.
holds() {
    trim_slashes "$2"
    [ -n "$TRIMMED" ] || return 1
    case $TRIMMED in
        "$1" | "$1"/*) return 0 ;;
    esac
    return 1
}

# True when $1 lies inside the folder $2.
inside() {
    case $1 in
        "$2"/*) return 0 ;;
    esac
    return 1
}

# True when $1 lies inside the home folder.
in_home() { inside "$1" "$HOME_PATH" || inside "$1" "$HOME_REAL"; }

# Sets WHY and succeeds when $1 is, or holds, one of the user's folders that user-dirs.dirs
# names ("$HOME/..." or an absolute path, with backslash escapes).
xdg_reason() {
    _xf=$CONFIG_DIR/user-dirs.dirs
    [ -f "$_xf" ] || return 1
    while IFS= read -r _xl || [ -n "$_xl" ]; do
        _xl=${_xl%"$CR"}
        case $_xl in
            XDG_*_DIR=*) ;;
            *) continue ;;
        esac
        _xk=${_xl%%=*}
        _xv=${_xl#*=}
        case $_xv in
            \"*\") _xv=${_xv#\"}; _xv=${_xv%\"} ;;
        esac
        _xu=
        while :; do
            case $_xv in
                *\\?*)
                    _xu=$_xu${_xv%%\\*}
                    _xv=${_xv#*\\}
                    _xu=$_xu${_xv%"${_xv#?}"}
                    _xv=${_xv#?}
                    ;;
                *) break ;;
            esac
        done
        _xv=$_xu$_xv
        # The file holds the word $HOME itself, for the home folder.
        # shellcheck disable=SC2016
        case $_xv in
            '$HOME' | '$HOME'/*) _xv=$HOME_PATH${_xv#'$HOME'} ;;
            '${HOME}' | '${HOME}'/*) _xv=$HOME_PATH${_xv#'${HOME}'} ;;
            /*) ;;
            *) continue ;;
        esac
        _xr=$_xv
        real_dir "$_xv" && _xr=$REAL_DIR
        if holds "$1" "$_xv" || holds "$1" "$_xr"; then
            WHY="it is the user's folder $_xk ($_xv) or holds it"
            return 0
        fi
    done <"$_xf"
    return 1
}

# Sets WHY and succeeds when the path $1 (absolute, normalised) must not be removed as a $2:
# "data" (the data folder), "marker" (a path the marker lists) or "product" (the product folder).
reason_for() {
    _rf=$1
    if [ "$_rf" = / ]; then
        WHY='it is the root folder'
        return 0
    fi
    if holds "$_rf" "$HOME_PATH" || holds "$_rf" "$HOME_REAL"; then
        WHY='it is the home folder or holds it'
        return 0
    fi
    for _rf_name in Desktop Documents Downloads Library Movies Music Pictures Public Templates Videos; do
        if holds "$_rf" "$HOME_PATH/$_rf_name" || holds "$_rf" "$HOME_REAL/$_rf_name"; then
            WHY="it is the user's $_rf_name folder or holds it"
            return 0
        fi
    done
    xdg_reason "$_rf" && return 0
    _rf_rest=$SYSTEM_FOLDERS
    while [ -n "$_rf_rest" ]; do
        _rf_sys=${_rf_rest%%"$NL"*}
        _rf_rest=${_rf_rest#*"$NL"}
        _rf_sys_real=${_rf_sys#*"$TAB"}
        _rf_sys=${_rf_sys%%"$TAB"*}
        if holds "$_rf" "$_rf_sys" || holds "$_rf" "$_rf_sys_real"; then
            WHY="it is the system folder $_rf_sys or holds it"
            return 0
        fi
        # Nothing in the system's own folders is the user's data, unless a home folder lies there.
        case $2:$_rf_sys in
            data:/Users | data:/Volumes) ;;
            data:*)
                if { inside "$_rf" "$_rf_sys" || inside "$_rf" "$_rf_sys_real"; } && ! in_home "$_rf"; then
                    WHY="it is inside the system folder $_rf_sys"
                    return 0
                fi
                ;;
        esac
    done
    # A disk under /Volumes is never the data folder; a folder on it may be.
    case $_rf in
        /Volumes/*/*) ;;
        /Volumes/?*) WHY="it is the volume $_rf"; return 0 ;;
    esac
    [ "$2" != product ] || return 1
    if holds "$_rf" "$PRODUCT_DIR"; then
        WHY="it holds the product folder $PRODUCT_DIR"
        return 0
    fi
    if holds "$_rf" "$TOOL"; then
        WHY="it holds the uninstall tool $TOOL"
        return 0
    fi
    if holds "$_rf" "$CONTROLLER" || holds "$_rf" "$CONTROLLER_REAL"; then
        WHY="it holds the controller $CONTROLLER_REAL"
        return 0
    fi
    [ "$2" = data ] || return 1
    for _rf_entry in "$SETTINGS_1" "$SETTINGS_2" "$SETTINGS_3"; do
        if holds "$_rf" "$_rf_entry"; then
            WHY="it holds the Tolvane settings $_rf_entry"
            return 0
        fi
    done
    return 1
}

# Sets MOUNT_POINT to where the file system holding $1 is mounted; fails when df cannot tell.
# "df -P" prints one line per file system on Linux and macOS alike, the mount point last.
mount_point_of() {
    _mp=$(df -P "$1" 2>/dev/null | awk '
        NR == 2 && match($0, /[0-9]+ +[0-9]+ +[0-9]+ +([0-9]+%|-) +/) {
            printf "%sx", substr($0, RSTART + RLENGTH)
            exit
        }')
    case $_mp in
        /*x) MOUNT_POINT=${_mp%x} ;;
        *) return 1 ;;
    esac
}

# Sets WHY and fails when the user may not move $1 (a "folder" or a "link", as $2 says) out of
# its folder: the Trash takes it only with the user's own rights.
user_may_move() {
    _um_dir=${1%/*}
    [ -n "$_um_dir" ] || _um_dir=/
    if [ ! -w "$_um_dir" ] || [ ! -x "$_um_dir" ]; then
        WHY="the user may not remove it: no write access to the folder $_um_dir that holds it"
        return 1
    fi
    if [ "$IS_ROOT" = 0 ] && [ -k "$_um_dir" ] && [ ! -O "$_um_dir" ] && [ ! -O "$1" ]; then
        WHY="the user may not remove it: it belongs to someone else in the shared folder $_um_dir"
        return 1
    fi
    # A folder that moves to another folder needs write access to itself as well.
    if [ "$2" = folder ] && [ ! -w "$1" ]; then
        WHY='the user may not remove it: no write access to it'
        return 1
    fi
}

# Decides whether the data folder may go to the Trash: sets TRASH_REAL to the folder and, when
# DATA_DIR is a symbolic link to it, TRASH_LINK to the link; refuses otherwise.
judge_data_dir() {
    TRASH_REAL=
    TRASH_LINK=
    _jd_shown=$DATA_DIR
    trim_slashes "$DATA_DIR"
    _jd=$TRIMMED
    if ! normal_path "$_jd"; then
        refuse "the data folder $_jd_shown: $WHY"
        return
    fi
    _jd_link=$NORMAL
    if ! real_dir "$_jd"; then
        refuse "the data folder $_jd_shown: its path cannot be followed"
        return
    fi
    _jd_real=$REAL_DIR
    [ "$_jd_real" = "$_jd_link" ] || _jd_shown="$_jd_shown, which leads to $_jd_real"
    # The path as given, the entry it names and where it leads: a link may lead anywhere.
    for _jd_form in "$_jd" "$_jd_link" "$_jd_real"; do
        if reason_for "$_jd_form" data; then
            refuse "the data folder $_jd_shown: $WHY"
            return
        fi
    done
    if ! mount_point_of "$_jd_real"; then
        refuse "the data folder $_jd_shown: df cannot tell whether it is a mount point"
        return
    fi
    if [ "$MOUNT_POINT" = "$_jd_real" ]; then
        refuse "the data folder $_jd_shown: it is a mount point"
        return
    fi
    if ! user_may_move "$_jd_real" folder; then
        refuse "the data folder $_jd_shown: $WHY"
        return
    fi
    if [ "$_jd_real" != "$_jd_link" ] && ! user_may_move "$_jd_link" link; then
        refuse "the data folder $_jd_shown, the link $_jd_link: $WHY"
        return
    fi
    if [ "$PLATFORM" = macos ] && ! have osascript; then
        refuse "the data folder $_jd_shown: osascript is missing, so it cannot go to the Trash"
        return
    fi
    if [ "$PLATFORM" = linux ] && ! have gio; then
        refuse "the data folder $_jd_shown: gio (Debian package libglib2.0-bin) is missing, so it cannot go to the Trash"
        return
    fi
    TRASH_REAL=$_jd_real
    [ "$_jd_real" = "$_jd_link" ] || TRASH_LINK=$_jd_link
}

# Sets INFO_COUNT to a figure that changes whenever an entry is added to the Trash folder $1.
# Only the count and the newest name matter, so ls serves for names of any kind.
# shellcheck disable=SC2012
trash_count() {
    if [ -d "$1/info" ]; then
        INFO_COUNT=$(ls -A "$1/info" 2>/dev/null | wc -l)
    else
        INFO_COUNT=none
    fi
}

# Moves $1 to the user's Trash with the user's own rights. Sets WHERE to the entry it became
# (empty when that cannot be told), or WHY when it fails. Never deletes anything.
to_trash() {
    WHERE=
    if [ "$PLATFORM" = macos ]; then
        # The path reaches the script as an argument: no path can change the script's meaning.
        if ! _tt_out=$(osascript \
            -e 'on run argv' \
            -e 'set theItem to POSIX file (item 1 of argv)' \
            -e 'tell application "Finder" to set trashed to delete theItem' \
            -e 'try' \
            -e 'return POSIX path of (trashed as alias)' \
            -e 'on error' \
            -e 'return ""' \
            -e 'end try' \
            -e 'end run' \
            "$1" 2>&1); then
            one_line "$_tt_out"
            WHY="the Finder answered: $ONE_LINE"
            return 1
        fi
        one_line "$_tt_out"
        trim_slashes "$ONE_LINE"
        WHERE=$TRIMMED
        return 0
    fi
    # The freedesktop Trash: the home Trash, or the Trash at the top of the folder's own disk.
    case ${XDG_DATA_HOME:-} in
        /*) _tt_1=$XDG_DATA_HOME/Trash ;;
        *) _tt_1=$HOME/.local/share/Trash ;;
    esac
    _tt_2=
    _tt_3=
    _tt_uid=$(id -u)
    if mount_point_of "${1%/*}/"; then
        _tt_2=${MOUNT_POINT%/}/.Trash/$_tt_uid
        _tt_3=${MOUNT_POINT%/}/.Trash-$_tt_uid
    fi
    trash_count "$_tt_1"; _tt_c1=$INFO_COUNT
    trash_count "$_tt_2"; _tt_c2=$INFO_COUNT
    trash_count "$_tt_3"; _tt_c3=$INFO_COUNT
    if ! _tt_out=$(gio trash -- "$1" 2>&1); then
        one_line "$_tt_out"
        WHY=$ONE_LINE
        return 1
    fi
    for _tt_n in 1 2 3; do
        case $_tt_n in
            1) _tt_t=$_tt_1 _tt_c=$_tt_c1 ;;
            2) _tt_t=$_tt_2 _tt_c=$_tt_c2 ;;
            3) _tt_t=$_tt_3 _tt_c=$_tt_c3 ;;
        esac
        [ -n "$_tt_t" ] || continue
        trash_count "$_tt_t"
        [ "$INFO_COUNT" != "$_tt_c" ] || continue
        # The entry just written is the newest in the Trash's info folder.
        # shellcheck disable=SC2012
        _tt_new=$(ls -At "$_tt_t/info" 2>/dev/null | head -n 1)
        case $_tt_new in
            ?*.trashinfo) WHERE=$_tt_t/files/${_tt_new%.trashinfo} ;;
            *) WHERE=$_tt_t ;;
        esac
        return 0
    done
    return 0
}

# Moves the accepted data folder (and a link that led to it) to the Trash. A Trash that fails
# ends the run before anything else is removed.
trash_data_dir() {
    [ -n "$TRASH_REAL" ] || return 0
    if ! to_trash "$TRASH_REAL"; then
        log "could not move the data folder $TRASH_REAL to the Trash: $WHY; nothing removed"
        return 1
    fi
    log "moved the data folder $TRASH_REAL to the Trash${WHERE:+: $WHERE}"
    [ -n "$TRASH_LINK" ] || return 0
    if ! to_trash "$TRASH_LINK"; then
        log "could not move the link $TRASH_LINK to the Trash: $WHY; nothing else removed"
        return 1
    fi
    log "moved the link $TRASH_LINK, which led to the data folder, to the Trash${WHERE:+: $WHERE}"
}

# Runs the sh command line $1 with administrator rights, asking the user for them.
run_as_admin() {
    if [ "$PLATFORM" = macos ]; then
        # The command reaches the script as an argument, never as part of its source.
        osascript -e 'on run argv' \
            -e 'do shell script (item 1 of argv) with administrator privileges' \
            -e 'end run' "$1" >/dev/null
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

# True when the current user may delete $1 without administrator rights.
user_can_remove() {
    _parent=${1%/*}
    [ -n "$_parent" ] || _parent=/
    [ -w "$_parent" ] || return 1
    if [ -d "$1" ] && [ ! -L "$1" ]; then
        [ -w "$1" ]
    fi
}

# Removes the user's own files $@ (login entries, preferences) with the user's own rights.
remove_user_paths() {
    for _p in "$@"; do
        if ! exists "$_p"; then
            log "nothing to remove at $_p"
            continue
        fi
        _err=$(rm -rf -- "$_p" 2>&1)
        if exists "$_p"; then
            one_line "$_err"
            fail "could not remove $_p: $ONE_LINE"
        else
            log "removed $_p"
        fi
    done
}

# Removes the product's own paths $@. What the user cannot remove is removed in one go with
# administrator rights afterwards, so there is at most one password prompt.
remove_product_paths() {
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
                one_line "$_err"
                fail "could not remove $_p: $ONE_LINE"
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
    if [ "$PLATFORM" = linux ]; then
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
            return 1
        fi
        sleep 1
    done
    return 0
}

remove_linux_session_entries() {
    remove_user_paths "$SETTINGS_1" "$SETTINGS_2" "$SETTINGS_3"
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
    remove_user_paths "$SETTINGS_1"
    # Through defaults first so that the preferences daemon drops its cached copy too.
    if have defaults; then
        if defaults delete "$PREFS_DOMAIN" >/dev/null 2>&1; then
            log "deleted the preferences domain $PREFS_DOMAIN"
        else
            log "no preferences domain $PREFS_DOMAIN to delete"
        fi
    fi
    remove_user_paths "$SETTINGS_2"
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

# Decides how the product goes: through its Debian package (PKG), or as the marked product
# folder plus what its marker lists (PRODUCT_PATHS, sh words). Refuses anything it must not
# remove, so that a bad marker line stops the run before anything goes.
judge_product() {
    PRODUCT_PATHS=
    if find_owning_package; then
        log "the tool belongs to the Debian package $PKG, which goes with the uninstall"
        return
    fi
    if [ ! -f "$PRODUCT_DIR/$MARKER_NAME" ]; then
        refuse "the product folder $PRODUCT_DIR: it has no $MARKER_NAME, so it is not known to be the installed product, and no Debian package owns the tool"
        return
    fi
    if ! normal_path "$PRODUCT_DIR" || reason_for "$NORMAL" product; then
        refuse "the product folder $PRODUCT_DIR: $WHY"
        return
    fi
    _jp_product=$NORMAL
    # The marker lists what the install put outside the folder, one absolute path a line.
    while IFS= read -r _jp_line || [ -n "$_jp_line" ]; do
        _jp_line=${_jp_line%"$CR"}
        case $_jp_line in
            '' | '#'*) continue ;;
        esac
        trim_slashes "$_jp_line"
        _jp_given=$TRIMMED
        if ! normal_path "$_jp_given" || reason_for "$_jp_given" marker || reason_for "$NORMAL" marker; then
            refuse "$_jp_line listed in $_jp_product/$MARKER_NAME: $WHY"
            continue
        fi
        shquote "$NORMAL"
        PRODUCT_PATHS="$PRODUCT_PATHS $SHQ"
    done <"$_jp_product/$MARKER_NAME"
    shquote "$_jp_product"
    PRODUCT_PATHS="$PRODUCT_PATHS $SHQ"
}

remove_package() {
    log "removing the Debian package $PKG"
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

# Removes the product: through its package, or the paths $@ that judge_product accepted.
remove_product() {
    if [ -n "$PKG" ]; then
        remove_package
        return
    fi
    remove_product_paths "$@"
}

usage() {
    log "$1"
    log "usage: Tolvane_Uninstall.tool yes yes|no (confirm; also move the data folder to the Trash or keep it); nothing removed"
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
    trim_slashes "$HOME"
    HOME_PATH=$TRIMMED
    real_dir "$HOME" || REAL_DIR=$HOME_PATH
    HOME_REAL=$REAL_DIR

    # The system's own folders, one a line, each with where it leads after a tab: /etc and /var
    # are links on macOS, so each counts as itself and as where it leads.
    SYSTEM_FOLDERS=
    for _sys in /usr /etc /opt /var /bin /sbin /lib* /boot /srv /Applications /Library /System /Users /Volumes; do
        real_dir "$_sys" || REAL_DIR=$_sys
        SYSTEM_FOLDERS=$SYSTEM_FOLDERS$_sys$TAB$REAL_DIR$NL
    done

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
    if [ -L "$TOOL" ] && real_path "$TOOL" && [ -f "$REAL_PATH" ]; then
        TOOL=$REAL_PATH
    fi
    PRODUCT_DIR=${TOLVANE_PRODUCT_DIR:-${TOOL%/*}}
    if real_dir "$PRODUCT_DIR"; then
        PRODUCT_DIR=$REAL_DIR
    fi
    # The controller lives beside the tool, as the tool lives beside the controller.
    if [ "$PLATFORM" = macos ]; then
        CONTROLLER=${TOOL%/*}/Tolvane.app
    else
        CONTROLLER=${TOOL%/*}/tolvane-controller
    fi
    CONTROLLER_REAL=$CONTROLLER
    if exists "$CONTROLLER" && real_path "$CONTROLLER"; then
        CONTROLLER_REAL=$REAL_PATH
    fi

    case ${XDG_CONFIG_HOME:-} in
        /*) CONFIG_DIR=$XDG_CONFIG_HOME ;;
        *) CONFIG_DIR=$HOME_PATH/.config ;;
    esac
    PREFS_FILE=$CONFIG_DIR/Tolvane/tolvane.conf
    # The user's Tolvane settings: what the session entries step removes.
    if [ "$PLATFORM" = macos ]; then
        SETTINGS_1=$HOME_PATH/Library/LaunchAgents/$LOGIN_ENTRY.plist
        SETTINGS_2=$HOME_PATH/Library/Preferences/$PREFS_DOMAIN.plist
        SETTINGS_3=
    else
        SETTINGS_1=$PREFS_FILE
        SETTINGS_2=$CONFIG_DIR/autostart/$LOGIN_ENTRY.desktop
        SETTINGS_3=$CONFIG_DIR/environment.d/$LOGIN_ENTRY.conf
    fi

    log "uninstalling Tolvane ($PLATFORM; product folder $PRODUCT_DIR; move the data folder to the Trash: $REMOVE_DATA)"

    # Decide: every refusal is found before anything changes.
    choose_data_dir
    TRASH_REAL=
    TRASH_LINK=
    if [ "$REMOVE_DATA" = yes ] && [ -n "$DATA_DIR" ]; then
        judge_data_dir
    fi
    judge_product
    [ "$REFUSED" = 0 ] || return 1
    if ! stop_server; then
        log "the Tolvane server is still running; stop it and try again. Nothing removed"
        return 1
    fi

    # Act: the data folder first, so that a Trash that fails leaves everything else in place.
    trash_data_dir || return 1
    if [ "$REMOVE_DATA" = no ] && [ -n "$DATA_DIR" ]; then
        log "keeping the data folder $DATA_DIR"
    fi
    if [ "$PLATFORM" = macos ]; then
        remove_macos_session_entries
    else
        remove_linux_session_entries
    fi
    eval "set -- $PRODUCT_PATHS"
    remove_product "$@"

    if [ "$FAILED" -ne 0 ]; then
        log "the uninstall did not finish: some things could not be removed (see above)"
        return 1
    fi
    log "uninstall done"
    return 0
}

# The whole script is read before it runs, so removing its own file midway is harmless.
main "$@"; exit $?
