#!/usr/bin/env bash
# The groups and the trap handler are called through variables, which shellcheck cannot follow.
# shellcheck disable=SC2317
# Runs Tolvane_Uninstall.tool in throwaway sandboxes (HOME, config folder, product folder, data
# folders, a fake server and fake system commands) and checks what it removes, keeps, moves to the
# Trash and reports.
#
# Every command through which the tool could change the machine (rm, rmdir, mv, gio, dpkg, sudo,
# pkexec, osascript, defaults, launchctl, systemctl, logger) is a guard on the sandbox's PATH: it
# refuses, and records a violation, for any path outside the sandbox before it hands the call to
# the real program, and it never grants administrator rights. Some cases name real system folders
# (/usr, /etc, /); if the tool's check for one were broken, the case fails at the guard.
#
# Usage: uninstall_test.sh PATH/TO/Tolvane_Uninstall.tool [GROUP...]
#   GROUP: full data refusals trash product server args immutable macos dpkg elevation
#          (default: all)
# Environment: TOLVANE_TEST_SHELL=/bin/bash runs the tool under that shell instead of its #! line;
# TOLVANE_TEST_REFUSALS=REGEX runs only the refusal cases whose names match.
# Exit status: 0 when every case passed, 77 when every case was skipped, 1 otherwise.

set -u

TOOL_SRC=${1:?usage: uninstall_test.sh PATH/TO/Tolvane_Uninstall.tool [GROUP...]}
shift
GROUPS_WANTED=("$@")
[ ${#GROUPS_WANTED[@]} -gt 0 ] ||
    GROUPS_WANTED=(full data refusals trash product server args immutable macos dpkg elevation)
[ -f "$TOOL_SRC" ] || { echo "no tool at $TOOL_SRC" >&2; exit 1; }

RM_REAL=$(command -v rm)
RMDIR_REAL=$(command -v rmdir)
MV_REAL=$(command -v mv)
GIO_REAL=$(command -v gio)
# Always under /tmp: the tool refuses data folders inside system folders such as /var, where a
# TMPDIR may point.
WORK=$(mktemp -d /tmp/tolvane-uninstall-test.XXXXXX)
WORK=$(cd "$WORK" && pwd -P)   # the tool reports resolved paths
chmod 755 "$WORK"      # some cases run the tool as an unprivileged user
IMMUTABLE=()           # paths given the immutable attribute, cleared again on exit

cleanup() {
    local p
    for p in "${IMMUTABLE[@]}"; do chattr -i "$p" 2>/dev/null; done
    "$RM_REAL" -rf "$WORK"
}
trap cleanup EXIT

passed=0 failed=0 skipped=0
ERRS=()

# ---------------------------------------------------------------- private mounts

# Runs "$@" in a mount namespace of its own with a file system mounted at a sandbox folder:
#   in-mount tmpfs TARGET -- COMMAND...   a new, empty file system holding the file "unrelated"
#   in-mount bind SOURCE TARGET -- COMMAND...   SOURCE mounted again at TARGET
# The mounts vanish with the namespace, whatever the command does.
cat >"$WORK/in-mount" <<'EOF'
#!/bin/sh
set -e
case $1 in
    tmpfs) mount -t tmpfs tolvane-test "$2"; echo keep >"$2/unrelated"; shift 3 ;;
    bind) mount --bind "$2" "$3"; shift 4 ;;
esac
exec "$@"
EOF
# Runs "$@" in a root folder of its own: a memory file system where the system's programs (/usr,
# /etc and the links to them) are mounted read-only, the test folder is mounted at its own path,
# and the system folders named after the first arguments are made up, each holding "unrelated".
#   in-own-root ROOT WORKDIR RUNDIR FOLDER... -- COMMAND...
cat >"$WORK/in-own-root" <<'EOF'
#!/bin/sh
set -e
root=$1 work=$2 dir=$3
shift 3
mount -t tmpfs tolvane-test-root "$root"
for top in /*; do
    name=${top#/}
    if [ -L "$top" ]; then
        ln -s "$(readlink "$top")" "$root/$name"
        continue
    fi
    case $name in
        usr | etc | bin | sbin | lib | lib32 | lib64 | libx32)
            mkdir "$root/$name"
            mount --bind "$top" "$root/$name"
            mount -o remount,bind,ro "$root/$name"
            ;;
        dev | proc)
            mkdir "$root/$name"
            mount --rbind "$top" "$root/$name"
            ;;
    esac
done
mkdir -p "$root$work"
mount --bind "$work" "$root$work"
while [ "$1" != -- ]; do
    mkdir -p "$root$1"
    echo keep >"$root$1/unrelated"
    shift
done
shift
exec chroot "$root" /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$dir" "$@"
EOF
chmod 755 "$WORK/in-mount" "$WORK/in-own-root"
mkdir "$WORK/probe"
if unshare -m --propagation private "$WORK/in-mount" tmpfs "$WORK/probe" -- true 2>/dev/null; then
    MOUNTS=yes
else
    MOUNTS="unshare -m and mount do not work here (needs root with CAP_SYS_ADMIN)"
fi

# ---------------------------------------------------------------- sandbox

# Writes an executable script from standard input, with @SB@ replaced by the sandbox folder.
fake() {
    sed "s|@SB@|$SB|g" >"$1"
    chmod 755 "$1"
}

# Writes, from standard input, a script of a sandbox's folder $2 (bin or server) into the
# template that each sandbox copies; the script finds its sandbox from its own path, and @SB@
# stands for that.
template() {
    # shellcheck disable=SC2016 # "$SB" is for the script written
    sed -e 's|@SB@|"$SB"|g' -e "1a SB=\${0%/$2/*}" >"$WORK/template/$2/$1"
    chmod 755 "$WORK/template/$2/$1"
}

# Writes the guards and recording stand-ins that every sandbox's bin folder holds.
write_guards() {
    mkdir -p "$WORK/template/bin" "$WORK/template/server"
    # Shared by the guards: violation and in_sandbox.
    cat >"$WORK/template/bin/guard-lib" <<'EOF'
SB=${0%/bin/*}
violation() {
    printf '%s\n' "$*" >>"$SB/log/violations"
    echo "guard: refused outside the sandbox: $*" >&2
    exit 1
}
# True when $1 names an entry inside the sandbox; its folder is resolved, so that neither ".."
# nor a link in the folder's path leads out.
in_sandbox() {
    p=$1
    case $p in /*) ;; *) p=$PWD/$p ;; esac
    while :; do case $p in ?*/) p=${p%/} ;; *) break ;; esac; done
    base=${p##*/}
    dir=${p%/*}
    case $base in '' | . | ..) return 1 ;; esac
    real=$(cd -P -- "${dir:-/}" 2>/dev/null && pwd -P) || return 1
    case $real/ in "$SB"/*) return 0 ;; esac
    return 1
}
# Checks each operand (what is not an option) of the command line "$2..." of program $1.
check_operands() {
    name=$1
    shift
    opts=1
    for a; do
        if [ $opts = 1 ]; then
            case $a in --) opts=0; continue ;; -?*) continue ;; esac
        fi
        in_sandbox "$a" || violation "$name $*"
    done
}
EOF
    local name real
    for name in rm rmdir mv; do
        case $name in rm) real=$RM_REAL ;; rmdir) real=$RMDIR_REAL ;; mv) real=$MV_REAL ;; esac
        template "$name" bin <<EOF
#!/bin/sh
. "\${0%/*}/guard-lib"
check_operands $name "\$@"
exec $real "\$@"
EOF
    done
    if [ -n "$GIO_REAL" ]; then
        # "gio trash" only; @SB@/gio-fails makes it fail with that file's text instead.
        template gio bin <<EOF
#!/bin/sh
. "\${0%/*}/guard-lib"
[ "\${1:-}" = trash ] || violation "gio \$*"
shift
check_operands "gio trash" "\$@"
printf '%s\n' "\$*" >>@SB@/log/gio.log
if [ -e @SB@/gio-fails ]; then cat @SB@/gio-fails >&2; exit 1; fi
exec $GIO_REAL trash "\$@"
EOF
    fi
    # Removing a package cannot be confined to a folder: refused unless a case brings its own dpkg.
    template dpkg bin <<'EOF'
#!/bin/sh
. "${0%/*}/guard-lib"
violation "dpkg $*"
EOF
    # Administrator rights are never granted: the call is recorded and answered as cancelled. The
    # elevation cases run the recorded command themselves, with these guards on PATH.
    for name in pkexec sudo; do
        template "$name" bin <<EOF
#!/bin/sh
. "\${0%/*}/guard-lib"
[ \$# = 3 ] && [ "\$1" = /bin/sh ] && [ "\$2" = -c ] || violation "$name \$*"
printf '%s\n' "\$1 \$2" >@SB@/log/$name.log
printf '%s' "\$3" >@SB@/log/$name.command
printf '%s\n' "$name" >>@SB@/log/admin.log
exit 1
EOF
    done
    # osascript knows two scripts: the Finder's Trash, emulated by a move into ~/.Trash (or
    # failing with the text of @SB@/finder-fails), and administrator rights, recorded as above.
    template osascript bin <<EOF
#!/bin/sh
. "\${0%/*}/guard-lib"
script=
while [ "\${1:-}" = -e ]; do
    script="\$script\$2
"
    shift 2
done
printf '%s' "\$script" >>@SB@/log/osascript.script
printf '%s\n' "\$@" >>@SB@/log/osascript.argv
case \$script in
    *'tell application "Finder" to set trashed to delete theItem'*)
        [ \$# = 1 ] || violation "osascript Finder script with \$# arguments"
        in_sandbox "\$1" || violation "Finder delete \$1"
        printf '%s\n' "\$1" >>@SB@/log/finder.log
        if [ -e @SB@/finder-fails ]; then cat @SB@/finder-fails >&2; exit 1; fi
        mkdir -p "\$HOME/.Trash"
        to=\$HOME/.Trash/\${1##*/}
        n=1
        while [ -e "\$to" ] || [ -L "\$to" ]; do n=\$((n + 1)); to="\$HOME/.Trash/\${1##*/} \$n"; done
        $MV_REAL -- "\$1" "\$to" || exit 1
        [ -d "\$to" ] && [ ! -L "\$to" ] && to=\$to/
        printf '%s\n' "\$to"
        ;;
    *'with administrator privileges'*)
        [ \$# = 1 ] || violation "osascript administrator script with \$# arguments"
        printf '%s' "\$1" >@SB@/log/osascript-admin.command
        printf '%s\n' osascript >>@SB@/log/admin.log
        echo "execution error: User canceled. (-128)" >&2
        exit 1
        ;;
    *) violation "osascript with an unknown script: \$script" ;;
esac
EOF
    # macOS preferences: "read" answers from @SB@/mac-pref when it is there.
    template defaults bin <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/defaults.log
case "$*" in
    "read org.veltran.tolvane customTolvaneData") [ -e @SB@/mac-pref ] && cat @SB@/mac-pref ;;
    "delete org.veltran.tolvane") ;;
    *) exit 1 ;;
esac
EOF
    template launchctl bin <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/launchctl.log
EOF
    template logger bin <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/logger.log
EOF
    template systemctl bin <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/systemctl.log
echo "Failed to connect to bus: No medium found" >&2
exit 1
EOF
    # The server: "stop" ends the running state unless told to refuse; "status" is 0 while running.
    template tolvane.pex server <<'EOF'
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
    TRASH=$SB/home/.local/share/Trash

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

    PEX=$SB/server/tolvane.pex
    cp -p "$WORK/template/server/tolvane.pex" "$PEX"
    touch "$SB/server/running"
    # Without its guards no sandbox may run the tool.
    if ! { cp -pPR "$WORK/template/bin/." "$SB/bin/" && [ -x "$SB/bin/rm" ]; }; then
        echo "cannot put the guards into $SB/bin" >&2
        exit 1
    fi

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

# Makes the run a macOS one: the data folder $1 comes from the preferences domain.
as_macos() {
    RUN_ENV+=(TOLVANE_UNINSTALL_PLATFORM=macos)
    printf '%s\n' "$1" >"$SB/mac-pref"
}

# Makes the tool run as the unprivileged user "nobody"; fails when this machine cannot.
as_nobody() {
    [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || return 1
    chown -R nobody "$SB"
    RUN_AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
}

# Runs the tool the way the controller does: a clean environment, no input, the given arguments.
run_tool() {
    (cd "$RUN_DIR" && "${RUN_AS[@]}" env -i "${RUN_ENV[@]}" "$TOOL" "$@") </dev/null >"$SB/log/out" 2>&1
    RC=$?
}

# Lists everything in the sandbox but the logs, to show that a run changed nothing.
snapshot() { (cd "$SB" && find . -path ./log -prune -o -print | LC_ALL=C sort); }

write_guards

# ---------------------------------------------------------------- checks

err() { ERRS+=("$*"); }
expect_gone() { local p; for p; do [[ -e $p || -L $p ]] && err "still there: $p"; done; }
expect_kept() { local p; for p; do [[ -e $p || -L $p ]] || err "removed: $p"; done; }
expect_rc() { [ "$RC" -eq "$1" ] || err "exit status $RC, expected $1"; }
expect_fail() { [ "$RC" -ne 0 ] || err "exit status 0, expected a failure"; }
expect_log() { grep -qF -- "$1" "$SB/log/out" || err "no line saying: $1"; }
expect_in() { grep -qxF -- "$2" "$SB/log/$1" 2>/dev/null || err "$1 has no line: $2"; }
expect_no_log() { [ -e "$SB/log/$1" ] && err "$2: $(tr '\n' ' ' <"$SB/log/$1")"; }
expect_no_violation() { expect_no_log violations "a guard refused"; }
# Checks that everything in the snapshot $1 is still there.
expect_nothing_removed() {
    local gone
    gone=$(LC_ALL=C comm -23 <(echo "$1") <(snapshot) | tr '\n' ' ')
    [ -z "$gone" ] || err "removed: $gone"
}

# The user's entries and the product, all gone.
expect_uninstalled() {
    local cfg=$CFG
    expect_gone "$cfg/Tolvane" "$cfg/autostart/org.veltran.tolvane.user.desktop" \
        "$cfg/environment.d/org.veltran.tolvane.user.conf" "$PRODUCT" "${EXTRAS[@]}"
    expect_kept "$cfg/autostart/other.desktop" "$cfg/environment.d/other.conf" "$SB/usr/bin/other-program"
}

# Prints the Path= of the trash entry $1, undoing its URL escapes.
trashinfo_path() {
    python3 -c 'import sys, urllib.parse
for line in open(sys.argv[1], encoding="utf-8"):
    if line.startswith("Path="):
        print(urllib.parse.unquote(line[5:].rstrip("\n"), errors="strict"), end="")' "$1"
}

# Checks that the folder $1 went to the sandbox's home Trash where the tool's log says: the
# entry holds the file $2 (relative to the folder) and a valid trash entry names the folder.
expect_trashed() {
    local path=$1 line where name info
    line=$(grep -F -- ": moved the data folder $path to the Trash: " "$SB/log/out")
    where=${line#*to the Trash: }
    case $where in
        "$TRASH"/files/?*) ;;
        *) err "no log line saying that $path went to $TRASH/files/..."; return ;;
    esac
    name=${where#"$TRASH"/files/}
    info=$TRASH/info/$name.trashinfo
    expect_gone "$path"
    [ -f "$where/$2" ] || err "the Trash entry $where lacks $2"
    if [ ! -f "$info" ]; then
        err "no trash entry $info"
        return
    fi
    [ "$(head -n 1 "$info")" = "[Trash Info]" ] || err "$info does not start with [Trash Info]"
    [ "$(trashinfo_path "$info")" = "$path" ] || err "$info: Path= is $(trashinfo_path "$info"), not $path"
    grep -Eqx 'DeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}' "$info" ||
        err "$info has no DeletionDate=YYYY-MM-DDThh:mm:ss"
}

finish_case() {
    expect_no_violation
    if [ ${#ERRS[@]} -eq 0 ]; then
        echo "ok    $1"
        passed=$((passed + 1))
    else
        echo "FAIL  $1"
        printf '        %s\n' "${ERRS[@]}"
        echo "        tool output (exit status ${RC:-none}):"
        sed 's/^/        | /' "$SB/log/out" 2>/dev/null
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
    if [ -z "$GIO_REAL" ]; then
        skip_case "full uninstall" "gio (Debian package libglib2.0-bin) is not installed"
        return
    fi
    for row in "yes|trashed|" "no|kept|" "yes|trashed|xdg config"; do
        IFS='|' read -r answer mode xdg <<<"$row"
        new_sandbox "full-$mode-${xdg:+xdg}" "$xdg"
        run_tool yes "$answer"
        expect_rc 0
        expect_uninstalled
        if [ "$mode" = trashed ]; then expect_trashed "$DATA" db/records; else expect_kept "$DATA/db/records"; fi
        expect_in pex.log "stop TOLVANE_HOME=$DATA"
        expect_in systemctl.log "--user unset-environment TOLVANE_HOME"
        expect_no_log admin.log "administrator rights were asked for"
        grep -q '^-t Tolvane_Uninstall -- removed ' "$SB/log/logger.log" 2>/dev/null ||
            err "no 'removed' line sent to the system log with the tag Tolvane_Uninstall"
        finish_case "yes $answer: everything removed, data folder $mode${xdg:+, config in XDG_CONFIG_HOME}"
    done
}

# Which data folder goes: the preference's (Qt INI escapes), else TOLVANE_HOME, else ~/.tolvane.
group_data() {
    local row name ini pref set_th create expect chosen c
    if [ -z "$GIO_REAL" ]; then
        skip_case "data folder choice" "gio (Debian package libglib2.0-bin) is not installed"
        return
    fi
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
        expect_trashed "$chosen" file
        for c in $create; do [ "$c" = "$expect" ] || expect_kept "${dir[$c]}/file"; done
        expect_in pex.log "stop TOLVANE_HOME=$chosen"
        finish_case "data folder: $name"
        unset dir
    done
}

# ---- the refusals: each sets up one case; SUBJECT is what the refusal line must name.

# The data folder named by the preference.
setup_pref() { write_prefs "customTolvaneData=$1"; SUBJECT="the data folder $1"; }
# The data folder named by TOLVANE_HOME.
setup_th() { write_prefs autoStart=false; RUN_ENV+=(TOLVANE_HOME="$1"); SUBJECT="the data folder $1"; }
# A folder of the home folder, holding a file of the user's.
setup_home() {
    mkdir -p "$SB/home/$1" && echo mine >"$SB/home/$1/unrelated"
    setup_pref "$SB/home/$1"
}
# The same on macOS, named by the preferences domain.
setup_machome() {
    mkdir -p "$SB/home/$1" && echo mine >"$SB/home/$1/unrelated"
    as_macos "$SB/home/$1"
    SUBJECT="the data folder $SB/home/$1"
}
setup_mac() { mkdir -p "$1"; as_macos "$1"; SUBJECT="the data folder $1"; }
# A symbolic link in the sandbox that leads to $1.
setup_link() {
    [ -e "$1" ] || mkdir -p "$1"
    ln -s "$1" "$SB/datalink"
    setup_pref "$SB/datalink"
    SUBJECT="the data folder $SB/datalink, which leads to $(cd "$1" && pwd -P)"
}
# "LINE => FOLDER": user-dirs.dirs holds LINE, the data folder is FOLDER.
setup_xdg() {
    local line=${1%% => *} folder=${1#* => }
    printf '# written by xdg-user-dirs-update\n%s\n' "$line" >"$CFG/user-dirs.dirs"
    mkdir -p "$folder" && echo mine >"$folder/unrelated"
    setup_th "$folder"
}
# A mount point in the sandbox: "tmpfs" (another file system) or "bind" (the same one again);
# "tmpfs-macos" on macOS.
setup_mount() {
    [ "$MOUNTS" = yes ] || { SKIP=$MOUNTS; return; }
    mkdir -p "$SB/mnt"
    if [ "$1" = tmpfs-macos ]; then
        RUN_AS=(unshare -m --propagation private "$WORK/in-mount" tmpfs "$SB/mnt" --)
        setup_mac "$SB/mnt"
        return
    fi
    if [ "$1" = tmpfs ]; then
        RUN_AS=(unshare -m --propagation private "$WORK/in-mount" tmpfs "$SB/mnt" --)
    else
        mkdir -p "$SB/disk" && echo mine >"$SB/disk/unrelated"
        RUN_AS=(unshare -m --propagation private "$WORK/in-mount" bind "$SB/disk" "$SB/mnt" --)
    fi
    setup_pref "$SB/mnt"
}
# A system folder: used where this machine has it, else made up in a root folder of its own.
setup_system() {
    setup_pref "$1"
    if [ -L "$1" ]; then
        SUBJECT="$SUBJECT, which leads to $(cd -P "$1" && pwd -P)"
    fi
    [ -d "$1" ] && return
    [ "$MOUNTS" = yes ] || { SKIP="$1 is not on this machine and $MOUNTS"; return; }
    RUN_AS=(unshare -m --propagation private "$WORK/in-own-root" "$SB.root" "$WORK" "$RUN_DIR" "$1" --)
    mkdir -p "$SB.root"
}
# The data folder $SB/apps holds the product folder, which TOLVANE_PRODUCT_DIR puts there.
setup_product_holder() {
    mkdir -p "$SB/apps/Tolvane" && cp "$PRODUCT/.tolvane-product" "$SB/apps/Tolvane/"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/apps/Tolvane")
    setup_pref "$SB/apps"
}
# The data folder is the tool's folder, while the product folder is elsewhere.
setup_tool_holder() {
    mkdir -p "$SB/apps/Tolvane" && cp "$PRODUCT/.tolvane-product" "$SB/apps/Tolvane/"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/apps/Tolvane")
    setup_pref "$PRODUCT"
}
# The controller beside the tool is a link to $SB/ctl, the data folder.
setup_controller_holder() {
    mkdir -p "$SB/ctl" && echo x >"$SB/ctl/tolvane-controller"
    ln -s "$SB/ctl/tolvane-controller" "$PRODUCT/tolvane-controller"
    setup_pref "$SB/ctl"
}
# Run as "nobody", who owns the sandbox, with the data folder in a place $1 that nobody may
# not leave: "locked" (a folder of root's), "sticky" (root's folder in a shared folder), "fixed"
# (a folder of root's in nobody's folder).
setup_nobody() {
    as_nobody || { SKIP="needs root and setpriv to run the tool as another user"; return; }
    case $1 in
        locked) mkdir -p "$SB/locked/data"; chown nobody "$SB/locked/data"; setup_pref "$SB/locked/data" ;;
        sticky) mkdir -m 1777 "$SB/shared"; mkdir -m 777 "$SB/shared/data"; setup_pref "$SB/shared/data" ;;
        fixed) mkdir -m 755 "$SB/fixed"; setup_pref "$SB/fixed" ;;
    esac
}
# A PATH without the Trash's program: gio on Linux, osascript for macOS.
setup_no_trash() {
    mkdir "$SB/sysbin"
    cp -s /usr/bin/* /usr/sbin/* "$SB/sysbin/" 2>/dev/null
    "$RM_REAL" -f "$SB/sysbin/gio" "$SB/sysbin/osascript" "$SB/bin/gio" "$SB/bin/osascript"
    RUN_ENV+=(PATH="$SB/bin:$SB/sysbin")
    if [ "$1" = macos ]; then setup_mac "$DATA"; else setup_pref "$DATA"; fi
}
# The product folder has no marker (and no package owns it).
setup_unmarked() {
    "$RM_REAL" "$PRODUCT/.tolvane-product"
    SUBJECT="the product folder $PRODUCT"
}
# TOLVANE_PRODUCT_DIR names a folder without a marker.
setup_unmarked_override() {
    mkdir -p "$SB/other" && echo x >"$SB/other/file"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/other")
    SUBJECT="the product folder $SB/other"
}
# TOLVANE_PRODUCT_DIR names the home folder, which carries a marker.
setup_product_home() {
    cp "$PRODUCT/.tolvane-product" "$SB/home/"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/home")
    SUBJECT="the product folder $SB/home"
}
# The marker lists $1 as well.
setup_marker() {
    printf '%s\n' "$1" >>"$PRODUCT/.tolvane-product"
    SUBJECT="$1 listed in $PRODUCT/.tolvane-product"
}
# The marker of a product folder in $SB/apps lists $SB/apps, which holds it.
setup_marker_holder() {
    mkdir -p "$SB/apps/Tolvane" && cp "$PRODUCT/.tolvane-product" "$SB/apps/Tolvane/"
    echo "$SB/apps" >>"$SB/apps/Tolvane/.tolvane-product"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/apps/Tolvane")
    SUBJECT="$SB/apps listed in $SB/apps/Tolvane/.tolvane-product"
}

# Everything the tool refuses: the run changes nothing, not even the server's state, logs exactly
# one refusal naming the thing and the reason, asks for no administrator rights and fails.
group_refusals() {
    local name setup value reason before count line
    while IFS='|' read -r name setup value reason <&3; do
        [[ -z $name || $name == '#'* ]] && continue
        [[ $name =~ ${TOLVANE_TEST_REFUSALS:-.} ]] || continue
        new_sandbox "refusal-$((passed + failed + skipped))"
        value=${value//@SB@/$SB} reason=${reason//@SB@/$SB}
        SKIP='' SUBJECT=''
        "setup_$setup" "$value"
        if [ -n "$SKIP" ]; then
            skip_case "refused: $name" "$SKIP"
            continue
        fi
        before=$(snapshot)
        run_tool yes yes
        expect_fail
        count=$(grep -c '^Tolvane_Uninstall: refusing ' "$SB/log/out")
        [ "$count" = 1 ] || err "$count refusal lines, expected 1"
        line=$(grep '^Tolvane_Uninstall: refusing ' "$SB/log/out" | head -n 1)
        [[ $line == *"refusing $SUBJECT: "* ]] || err "the refusal does not name $SUBJECT"
        [[ $line == *": $reason; nothing removed" ]] || err "the refusal does not give the reason: $reason"
        [ "$(snapshot)" = "$before" ] || err "files changed: $(diff <(echo "$before") <(snapshot) | tr '\n' ' ')"
        expect_no_log admin.log "administrator rights were asked for"
        grep -q '^stop ' "$SB/log/pex.log" 2>/dev/null && err "the server was stopped"
        finish_case "refused: $name"
    done 3<<'ROWS'
# name | setup | value | reason given
the home folder|pref|@SB@/home|it is the home folder or holds it
the home folder with a trailing slash|th|@SB@/home/|it is the home folder or holds it
the home folder through ..|pref|@SB@/cwd/../home|it is the home folder or holds it
a folder holding the home folder|pref|@SB@|it is the home folder or holds it
a link to the home folder|link|@SB@/home|it is the home folder or holds it
the root folder|th|/|it is the root folder
the root folder as //|pref|//|it is the root folder
a link to the root folder|link|/|it is the root folder
a relative path|th|.|the path is relative
~/Desktop|home|Desktop|it is the user's Desktop folder or holds it
~/Documents|home|Documents|it is the user's Documents folder or holds it
~/Downloads|home|Downloads|it is the user's Downloads folder or holds it
~/Music|home|Music|it is the user's Music folder or holds it
~/Pictures|home|Pictures|it is the user's Pictures folder or holds it
~/Public|home|Public|it is the user's Public folder or holds it
~/Templates|home|Templates|it is the user's Templates folder or holds it
~/Videos|home|Videos|it is the user's Videos folder or holds it
a link to ~/Documents|link|@SB@/home/Documents|it is the user's Documents folder or holds it
macOS ~/Desktop|machome|Desktop|it is the user's Desktop folder or holds it
macOS ~/Documents|machome|Documents|it is the user's Documents folder or holds it
macOS ~/Downloads|machome|Downloads|it is the user's Downloads folder or holds it
macOS ~/Library|machome|Library|it is the user's Library folder or holds it
macOS ~/Movies|machome|Movies|it is the user's Movies folder or holds it
macOS ~/Music|machome|Music|it is the user's Music folder or holds it
macOS ~/Pictures|machome|Pictures|it is the user's Pictures folder or holds it
macOS ~/Public|machome|Public|it is the user's Public folder or holds it
an XDG user folder renamed in user-dirs.dirs|xdg|XDG_DOCUMENTS_DIR="$HOME/Dokumente" => @SB@/home/Dokumente|it is the user's folder XDG_DOCUMENTS_DIR (@SB@/home/Dokumente) or holds it
an XDG user folder outside the home, with escapes|xdg|XDG_MUSIC_DIR="@SB@/media/My \"Music\" \\ box" => @SB@/media/My "Music" \ box|it is the user's folder XDG_MUSIC_DIR (@SB@/media/My "Music" \ box) or holds it
an XDG user folder written with ${HOME}|xdg|XDG_VIDEOS_DIR="${HOME}/Filme" => @SB@/home/Filme|it is the user's folder XDG_VIDEOS_DIR (@SB@/home/Filme) or holds it
a folder holding an XDG user folder|xdg|XDG_PICTURES_DIR="@SB@/pics/Bilder" => @SB@/pics|it is the user's folder XDG_PICTURES_DIR (@SB@/pics/Bilder) or holds it
a mount point (another file system)|mount|tmpfs|it is a mount point
a mount point (a bind mount of the same file system)|mount|bind|it is a mount point
macOS: a mount point|mount|tmpfs-macos|it is a mount point
/usr|system|/usr|it is the system folder /usr or holds it
/etc|system|/etc|it is the system folder /etc or holds it
/opt|system|/opt|it is the system folder /opt or holds it
/var|system|/var|it is the system folder /var or holds it
/bin|system|/bin|it is the system folder /bin or holds it
/sbin|system|/sbin|it is the system folder /sbin or holds it
/lib|system|/lib|it is the system folder /lib or holds it
/lib64|system|/lib64|it is the system folder /lib64 or holds it
/boot|system|/boot|it is the system folder /boot or holds it
/srv|system|/srv|it is the system folder /srv or holds it
/Applications|system|/Applications|it is the system folder /Applications or holds it
/Library|system|/Library|it is the system folder /Library or holds it
/System|system|/System|it is the system folder /System or holds it
/Users|system|/Users|it is the system folder /Users or holds it
/Volumes|system|/Volumes|it is the system folder /Volumes or holds it
a volume under /Volumes|system|/Volumes/Backup|it is the volume /Volumes/Backup
a folder inside /usr|system|/usr/local|it is inside the system folder /usr
a folder inside /var|system|/var/lib|it is inside the system folder /var
a folder inside /Applications|system|/Applications/Utilities|it is inside the system folder /Applications
a link to /etc|link|/etc|it is the system folder /etc or holds it
a folder holding the product folder|product_holder||it holds the product folder @SB@/apps/Tolvane
a folder holding the uninstall tool|tool_holder||it holds the uninstall tool @SB@/product/Tolvane_Uninstall.tool
a folder holding the controller, linked beside the tool|controller_holder||it holds the controller @SB@/ctl/tolvane-controller
a folder holding the Tolvane settings|pref|@SB@/home/.config|it holds the Tolvane settings @SB@/home/.config/Tolvane/tolvane.conf
macOS: a folder holding the login agent|mac|@SB@/home/Library/LaunchAgents|it holds the Tolvane settings @SB@/home/Library/LaunchAgents/org.veltran.tolvane.user.plist
a folder in a folder the user may not change|nobody|locked|the user may not remove it: no write access to the folder @SB@/locked that holds it
someone else's folder in a shared folder|nobody|sticky|the user may not remove it: it belongs to someone else in the shared folder @SB@/shared
a folder the user may not change|nobody|fixed|the user may not remove it: no write access to it
no gio to reach the Trash|no_trash|linux|gio (Debian package libglib2.0-bin) is missing, so it cannot go to the Trash
macOS: no osascript to reach the Trash|no_trash|macos|osascript is missing, so it cannot go to the Trash
a product folder without its marker|unmarked||it has no .tolvane-product, so it is not known to be the installed product, and no Debian package owns the tool
TOLVANE_PRODUCT_DIR without its marker|unmarked_override||it has no .tolvane-product, so it is not known to be the installed product, and no Debian package owns the tool
a marked product folder that is the home folder|product_home||it is the home folder or holds it
a marker line naming /|marker|/|it is the root folder
a marker line naming the home folder|marker|@SB@/home/|it is the home folder or holds it
a marker line with a relative path|marker|relative/path|the path is relative
a marker line naming ~/Documents|marker|@SB@/home/Documents|it is the user's Documents folder or holds it
a marker line naming /usr|marker|/usr|it is the system folder /usr or holds it
a marker line holding the product folder|marker_holder||it holds the product folder @SB@/apps/Tolvane
ROWS
}

# The data folder in the Trash: where it goes, what the log says, and a Trash that fails.
group_trash() {
    local name setup before old
    if [ -z "$GIO_REAL" ]; then
        skip_case "the Trash" "gio (Debian package libglib2.0-bin) is not installed"
        return
    fi
    new_sandbox trash-default
    write_prefs autoStart=false
    mkdir -p "$SB/home/.tolvane" && echo mine >"$SB/home/.tolvane/unrelated"
    run_tool yes yes
    expect_rc 0
    expect_trashed "$SB/home/.tolvane" unrelated
    expect_kept "$DATA/db/records"
    expect_uninstalled
    finish_case "the default ~/.tolvane goes to the Trash with a valid trash entry"

    new_sandbox trash-same-name
    write_prefs autoStart=false
    mkdir -p "$SB/home/.tolvane" "$TRASH/info"
    echo mine >"$SB/home/.tolvane/unrelated"
    # Older entries of the same name, one of them first by name.
    for old in .tolvane .1.tolvane; do
        mkdir -p "$TRASH/files/$old" && echo older >"$TRASH/files/$old/older"
        printf '[Trash Info]\nPath=%s\nDeletionDate=2020-01-01T00:00:00\n' "$SB/home/.tolvane" >"$TRASH/info/$old.trashinfo"
        touch -d 2020-01-01 "$TRASH/info/$old.trashinfo"
    done
    run_tool yes yes
    expect_rc 0
    expect_trashed "$SB/home/.tolvane" unrelated
    for old in .tolvane .1.tolvane; do
        expect_kept "$TRASH/files/$old/older"
        grep -qx 'DeletionDate=2020-01-01T00:00:00' "$TRASH/info/$old.trashinfo" || err "the older trash entry $old changed"
    done
    finish_case "a Trash that already holds entries named .tolvane: the log names the new one"

    new_sandbox trash-link
    mkdir -p "$SB/disk/tolvane-data" && echo mine >"$SB/disk/tolvane-data/unrelated"
    ln -s "$SB/disk/tolvane-data" "$SB/home/.tolvane"
    write_prefs autoStart=false
    run_tool yes yes
    expect_rc 0
    expect_trashed "$SB/disk/tolvane-data" unrelated
    expect_log "moved the link $SB/home/.tolvane, which led to the data folder, to the Trash: $TRASH/files/.tolvane"
    [ -L "$TRASH/files/.tolvane" ] || err "the link is not in the Trash"
    expect_gone "$SB/home/.tolvane"
    expect_kept "$SB/disk"
    finish_case "a data folder reached through a link: the folder and then the link go to the Trash"

    # The data folder goes first: when the Trash fails, nothing else is removed, nothing deleted.
    local says kept
    while IFS='|' read -r name setup says <&3; do
        new_sandbox "trash-fails-$setup"
        if [ "$setup" = bind ]; then
            if [ "$MOUNTS" != yes ]; then skip_case "a Trash that fails: $name" "$MOUNTS"; continue; fi
            mkdir -p "$SB/disk/data" "$SB/mnt" && echo mine >"$SB/disk/data/unrelated"
            RUN_AS=(unshare -m --propagation private "$WORK/in-mount" bind "$SB/disk" "$SB/mnt" --)
            write_prefs "customTolvaneData=$SB/mnt/data"
            DATA=$SB/mnt/data
            kept=$SB/disk/data/unrelated
        else
            printf 'gio: file://%s: %s\n' "$DATA" "$says" >"$SB/gio-fails"
            kept=$DATA/db/records
        fi
        # shellcheck disable=SC2016 # the row holds the word $DATA
        says=${says//'$DATA'/$DATA}
        before=$(snapshot | grep -v '^./server/running$')
        run_tool yes yes
        expect_fail
        [ "$(grep -c 'could not move the data folder' "$SB/log/out")" = 1 ] ||
            err "not exactly one line saying that the data folder could not go to the Trash"
        expect_log "could not move the data folder $DATA to the Trash: gio: file://$DATA: $says"
        expect_nothing_removed "$before"
        expect_kept "$kept"
        expect_no_log admin.log "administrator rights were asked for"
        expect_in gio.log "-- $DATA"
        finish_case "a Trash that fails: $name, nothing removed"
    done 3<<'ROWS'
gio cannot trash across file systems (a bind mount)|bind|Unable to trash file $DATA across filesystem boundaries
gio reports an error|stub|Unable to find or create trash directory
ROWS
}

group_product() {
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

    # The tool as it lies in the build tree: no marker there, so nothing may go at all.
    new_sandbox product-in-place
    TOOL=$(cd "$(dirname "$TOOL_SRC")" && pwd -P)/$(basename "$TOOL_SRC")
    if [ -e "$(dirname "$TOOL")/.tolvane-product" ]; then
        skip_case "tool run in place" "$(dirname "$TOOL") has a marker"
    else
        local before
        before=$(snapshot)
        run_tool yes yes
        expect_fail
        expect_kept "$TOOL"
        expect_log "refusing the product folder $(dirname "$TOOL"): it has no .tolvane-product"
        [ "$(snapshot)" = "$before" ] || err "files changed"
        finish_case "tool run in place from $(dirname "$TOOL") removes nothing and fails"
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
    run_tool yes no
    expect_rc 0
    expect_log "stop command failed"
    expect_uninstalled
    finish_case "a failing stop that leaves no server running is only logged"

    new_sandbox server-missing
    RUN_ENV+=(TOLVANE_PEX="$SB/server/not-there")
    if [ -e /Applications/Tolvane/support/tolvane/tolvane.pex ]; then
        skip_case "no server executable" "this machine has the default server executable"
    else
        run_tool yes no
        expect_rc 0
        # On Linux the default is the server the package keeps beside the tool.
        expect_log "no server executable at $PRODUCT/support/tolvane/tolvane.pex"
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

# A file whose folder cannot be changed, even by root: the run fails, all else is removed, and
# the user's own file is not retried with administrator rights.
group_immutable() {
    new_sandbox immutable
    local folder=$CFG/autostart
    if [ -z "$GIO_REAL" ]; then
        skip_case "an entry that cannot be removed" "gio (Debian package libglib2.0-bin) is not installed"
        return
    fi
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
        "$PRODUCT" "${EXTRAS[@]}"
    expect_trashed "$DATA" db/records
    expect_no_log admin.log "administrator rights were asked for"
    finish_case "an entry in an immutable folder fails the uninstall, everything else removed"
}

# The macOS side, run on Linux with recording stand-ins for defaults, launchctl and osascript.
group_macos() {
    new_sandbox macos
    local lib=$SB/home/Library step
    DATA="$SB/Mac Data"
    mkdir -p "$DATA" "$lib/LaunchAgents" "$lib/Preferences"
    echo mine >"$DATA/file"
    echo x >"$lib/LaunchAgents/org.veltran.tolvane.user.plist"
    echo x >"$lib/LaunchAgents/other.plist"
    echo x >"$lib/Preferences/org.veltran.tolvane.plist"
    echo x >"$lib/Preferences/other.plist"
    as_macos "$DATA"
    run_tool yes yes
    for step in exit data-folder stop launchctl agent defaults preferences trash no-admin product no-linux; do
        case $step in
            exit) expect_rc 0 ;;
            data-folder)
                expect_in defaults.log "read org.veltran.tolvane customTolvaneData"
                expect_log "data folder: $DATA (from the preference customTolvaneData)" ;;
            stop) expect_in pex.log "stop TOLVANE_HOME=$DATA" ;;
            launchctl) expect_in launchctl.log "unsetenv TOLVANE_HOME" ;;
            agent)
                expect_gone "$lib/LaunchAgents/org.veltran.tolvane.user.plist"
                expect_kept "$lib/LaunchAgents/other.plist" ;;
            defaults) expect_in defaults.log "delete org.veltran.tolvane" ;;
            preferences)
                expect_gone "$lib/Preferences/org.veltran.tolvane.plist"
                expect_kept "$lib/Preferences/other.plist" ;;
            trash)
                expect_in finder.log "$DATA"
                expect_in osascript.argv "$DATA"
                grep -qF -- "$DATA" "$SB/log/osascript.script" && err "the path is part of the AppleScript source"
                expect_gone "$DATA"
                [ -f "$SB/home/.Trash/Mac Data/file" ] || err "the data folder is not in ~/.Trash"
                expect_log "moved the data folder $DATA to the Trash: $SB/home/.Trash/Mac Data" ;;
            no-admin) expect_no_log admin.log "administrator rights were asked for" ;;
            product) expect_gone "$PRODUCT" "${EXTRAS[@]}" ;;
            no-linux)
                expect_no_log systemctl.log "systemctl was called"
                expect_no_log gio.log "gio was called"
                expect_kept "$CFG/autostart/org.veltran.tolvane.user.desktop" "$CFG/Tolvane/tolvane.conf" ;;
        esac
        finish_case "macOS step: $step"
    done

    new_sandbox macos-finder-fails
    DATA="$SB/Mac Data"
    mkdir -p "$DATA" "$SB/home/Library/LaunchAgents"
    echo mine >"$DATA/file"
    echo x >"$SB/home/Library/LaunchAgents/org.veltran.tolvane.user.plist"
    echo "execution error: Finder got an error: Not authorized to send Apple events to Finder. (-1743)" >"$SB/finder-fails"
    as_macos "$DATA"
    local before
    before=$(snapshot | grep -v '^./server/running$')
    run_tool yes yes
    expect_fail
    expect_log "could not move the data folder $DATA to the Trash: the Finder answered: execution error: Finder got an error: Not authorized"
    [ "$(snapshot)" = "$before" ] || err "files changed: $(diff <(echo "$before") <(snapshot) | tr '\n' ' ')"
    expect_no_log launchctl.log "launchctl was called"
    expect_no_log admin.log "administrator rights were asked for"
    finish_case "macOS step: a Finder that will not trash ends the run, nothing removed"
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
        # Without a marker: the package vouches for the folder.
        "$RM_REAL" "$PRODUCT/.tolvane-product"
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

# Run as an ordinary user, a product path in a folder only root may change is removed with
# administrator rights (pkexec in a graphical session, else sudo; osascript on macOS), with its name
# quoted so that exactly that file goes; the data folder goes to the Trash with the user's own
# rights, and the user's own entries are never removed with administrator rights.
group_elevation() {
    if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
        skip_case "administrator rights" "needs root and setpriv to run the tool as another user"
        return
    fi
    local name platform display used command entry
    local weird="it's a \"\$HOME\" \`x\` \\ file é"
    while IFS='|' read -r name platform display used <&3; do
        new_sandbox "elevation-$used"
        if [ "$platform" = linux ] && [ -z "$GIO_REAL" ]; then
            skip_case "administrator rights, $name" "gio (Debian package libglib2.0-bin) is not installed"
            continue
        fi
        mkdir -p "$SB/system"
        echo x >"$SB/system/$weird"
        echo x >"$SB/system/keep"
        echo "$SB/system/$weird" >>"$PRODUCT/.tolvane-product"
        # One of the user's own entries lies in a folder only root may change.
        if [ "$platform" = macos ]; then
            as_macos "$DATA"
            entry=$SB/home/Library/LaunchAgents/org.veltran.tolvane.user.plist
            mkdir -p "${entry%/*}" && echo x >"$entry"
        else
            entry=$CFG/autostart/org.veltran.tolvane.user.desktop
        fi
        as_nobody
        chown root "$SB/system" "$SB/system/"* "${entry%/*}" "$entry"
        [ -n "$display" ] && RUN_ENV+=(DISPLAY="$display")
        run_tool yes yes
        # The guard granted nothing, so the tool must say so.
        expect_fail
        expect_log "could not remove $SB/system/$weird"
        expect_log "could not remove $entry"
        expect_in admin.log "${used%%-*}"
        [ "$(wc -l <"$SB/log/admin.log")" = 1 ] || err "administrator rights asked for more than once"
        [ "$used" = osascript-admin ] || expect_in "$used.log" "/bin/sh -c"
        expect_gone "$PRODUCT" "${EXTRAS[@]}" "$DATA"
        if [ "$platform" = macos ]; then
            [ -f "$SB/home/.Trash/Tolvane Data/db/records" ] || err "the data folder is not in ~/.Trash"
        else
            expect_trashed "$DATA" db/records
        fi
        command=$(cat "$SB/log/$used.command" 2>/dev/null)
        [[ $command == *"Tolvane Data"* ]] && err "the data folder is in the command run with administrator rights"
        [[ $command == *"${entry##*/}"* ]] && err "the user's own entry is in the command run with administrator rights"
        # Run the command handed over for administrator rights as root, with the guards on PATH
        # (so only an rm that the guard sees): it must remove exactly that file.
        case $command in
            'rm -rf -- '*)
                (cd "$SB/cwd" && PATH="$SB/bin:$PATH" /bin/sh -c "$command") 2>/dev/null
                expect_gone "$SB/system/$weird"
                expect_kept "$SB/system/keep"
                ;;
            '') err "no command was handed over for administrator rights" ;;
            *) err "not run, as it is no plain rm: $command" ;;
        esac
        finish_case "administrator rights, $name"
    done 3<<'ROWS'
graphical session: pkexec|linux|:0|pkexec
no graphical session: sudo|linux||sudo
macOS: osascript with administrator privileges, the command as an argument|macos||osascript-admin
ROWS
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
