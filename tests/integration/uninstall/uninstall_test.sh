#!/usr/bin/env bash
# The groups and the trap handler are called through variables, which shellcheck cannot follow.
# shellcheck disable=SC2317
# Runs the compiled Tolvane_Uninstall.tool in throwaway sandboxes (HOME, config folder, product
# folder, data folders, a fake server and recording stand-ins for the system's commands) and checks
# what it plans (--plan), removes, keeps, moves to the Trash and logs.
#
# The tool removes files by system calls, so no guard on PATH could see a wrong removal. Instead,
# when this suite runs as root, the tool runs as an unprivileged user of its own (a user and group
# id that no account uses, through setpriv) over a sandbox that user owns: everything outside is
# root's and out of its reach. Every administrator or session command the tool may run (pkexec,
# sudo, dpkg-query, dpkg, systemctl, dbus-update-activation-environment, osascript, launchctl,
# defaults) is a recording stand-in on the sandbox's PATH; pkexec and sudo never grant anything
# unless a case says so, and then only a plain "rm -rf -- PATHS" inside the sandbox, run as the
# same unprivileged user, or the sandbox's own dpkg stand-in.
#
# Usage: uninstall_test.sh PATH/TO/Tolvane_Uninstall.tool [GROUP...]
#   GROUP: full data refusals trash product server args immutable dpkg elevation findings signals
#          (default: all)
# Environment: TOLVANE_TEST_REFUSALS=REGEX runs only the refusal cases whose names match.
# Exit status: 0 when every case passed, 77 when every case was skipped, 1 otherwise.

set -u

TOOL_SRC=${1:?usage: uninstall_test.sh PATH/TO/Tolvane_Uninstall.tool [GROUP...]}
shift
ALL_GROUPS=(full data refusals trash product server args immutable dpkg elevation findings signals)
GROUPS_WANTED=("$@")
[ ${#GROUPS_WANTED[@]} -gt 0 ] || GROUPS_WANTED=("${ALL_GROUPS[@]}")
[ -f "$TOOL_SRC" ] || { echo "no tool at $TOOL_SRC" >&2; exit 1; }
TOOL_SRC=$(cd "$(dirname "$TOOL_SRC")" && pwd -P)/$(basename "$TOOL_SRC")

# Where the product folder lies under the install prefix (lib/tolvane): from the build that made
# the tool, as CTest passes it, or read from that build's cache.
PRODUCT_REL=${TOLVANE_TEST_PRODUCT_DIR:-}
if [ -z "$PRODUCT_REL" ]; then
    libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$(dirname "$TOOL_SRC")/../CMakeCache.txt" 2>/dev/null)
    PRODUCT_REL=${libdir:-lib}/tolvane
fi

# Always under /tmp: the tool refuses data folders inside system folders such as /var, where a
# TMPDIR may point.
WORK=$(mktemp -d /tmp/tolvane-uninstall-test.XXXXXX)
WORK=$(cd "$WORK" && pwd -P)   # the tool reports resolved paths
chmod 755 "$WORK"              # the tool's own user must reach its sandbox
IMMUTABLE=()                   # paths given the immutable attribute, cleared again on exit

cleanup() {
    local p
    for p in "${IMMUTABLE[@]}"; do chattr -i "$p" 2>/dev/null; done
    chmod -R u+w "$WORK" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

passed=0 failed=0 skipped=0
ERRS=()

# ---------------------------------------------------------------- the tool's user

# As root, the tool runs as a user and group id that no account and no group uses, one per run of
# this suite, so that suites running side by side cannot reach each other's sandboxes either.
if [ "$(id -u)" = 0 ]; then
    if ! command -v setpriv >/dev/null; then
        echo "running as root, but setpriv (Debian package util-linux) is missing: the tool may not run as root" >&2
        exit 1
    fi
    RUN_UID=$((47000 + $$ % 10000))
    while getent passwd "$RUN_UID" >/dev/null || getent group "$RUN_UID" >/dev/null; do
        RUN_UID=$((RUN_UID + 1))
    done
    RUN_GID=$RUN_UID
    AS_USER=(setpriv --reuid="$RUN_UID" --regid="$RUN_GID" --clear-groups)
    ROOT=yes
else
    RUN_UID=$(id -u) RUN_GID=$(id -g)
    AS_USER=()
    ROOT="the suite does not run as root, so it cannot make a folder the tool's user may not change"
fi

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

# ---------------------------------------------------------------- the plan

# Reads the plan the tool printed with --plan: one action a line, TAB-separated, each field
# escaped (\\ \t \n \r \xHH).
#   plan.py check PLAN            every line well-formed; prints what is wrong
#   plan.py has PLAN ACTION [FIELD]   exit 0 when such a line is there
#   plan.py list PLAN ACTION      the first field of each such line, one a line
#   plan.py actions PLAN          the actions in order, repeats folded, blank-separated
cat >"$WORK/plan.py" <<'EOF'
import re, sys

FIELDS = {"stop-server": 1, "admin-remove": 1, "user-remove": 1, "remove-package": 1,
          "remove-setting": 1, "unset-environment": 1, "trash": 1, "keep": 1, "refuse": 2}

def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if ord(c) < 32 or c == "\x7f":
            raise ValueError("unescaped control character %r" % c)
        if c != "\\":
            out.append(c); i += 1; continue
        nxt = text[i + 1:i + 2]
        if nxt in ("\\", "t", "n", "r"):
            out.append({"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}[nxt]); i += 2
        elif nxt == "x" and re.fullmatch(r"[0-9A-Fa-f]{2}", text[i + 2:i + 4] or ""):
            out.append(chr(int(text[i + 2:i + 4], 16))); i += 4
        else:
            raise ValueError("bad escape in %r" % text)
    return "".join(out)

def lines(path):
    with open(path, encoding="utf-8") as f:
        data = f.read()
    if data and not data.endswith("\n"):
        raise ValueError("the plan does not end with a line end")
    for raw in data.splitlines():
        fields = raw.split("\t")
        yield raw, fields[0], [unescape(f) for f in fields[1:]]

mode, path = sys.argv[1], sys.argv[2]
try:
    if mode == "check":
        for raw, action, fields in lines(path):
            if action not in FIELDS:
                print("unknown action in plan line %r" % raw)
            elif len(fields) != FIELDS[action]:
                print("plan line %r has %d fields after the action, expected %d" % (raw, len(fields), FIELDS[action]))
            elif not fields[0].startswith("/") and action not in ("remove-package", "unset-environment", "refuse"):
                print("plan line %r names no absolute path" % raw)
    elif mode == "has":
        want = sys.argv[3:]
        sys.exit(0 if any(a == want[0] and fields[:len(want) - 1] == want[1:] for _, a, fields in lines(path)) else 1)
    elif mode == "list":
        for _, a, fields in lines(path):
            if a == sys.argv[3]:
                print(fields[0])
    elif mode == "actions":
        seq = []
        for _, a, _ in lines(path):
            if not seq or seq[-1] != a:
                seq.append(a)
        print(" ".join(seq))
except ValueError as e:
    print(e)
    sys.exit(2 if mode != "check" else 0)
EOF

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

# Writes the recording stand-ins that every sandbox's bin folder holds.
write_stand_ins() {
    mkdir -p "$WORK/template/bin" "$WORK/template/server"
    # Shared by the stand-ins: violation, in_sandbox and the signal a case asks for.
    cat >"$WORK/template/bin/stand-in-lib" <<'EOF'
violation() {
    printf '%s\n' "$*" >>"$SB/log/violations"
    echo "stand-in: refused: $*" >&2
    exit 1
}
# True when $1 names an entry inside the sandbox; its folder is resolved, so that neither ".."
# nor a link in the folder's path leads out.
in_sandbox() {
    p=$1
    case $p in /*) ;; *) return 1 ;; esac
    while :; do case $p in ?*/) p=${p%/} ;; *) break ;; esac; done
    base=${p##*/}
    dir=${p%/*}
    case $base in '' | . | ..) return 1 ;; esac
    real=$(cd -P -- "${dir:-/}" 2>/dev/null && pwd -P) || return 1
    case $real/ in "$SB"/*) return 0 ;; esac
    return 1
}
# "$SB/signal-at" holds "STEP MODE": the stand-in of STEP sends SIGTERM to the tool, its parent,
# once; MODE "block" then keeps the command running for 10 s (or until it is ended), MODE "later"
# sends it 1 s after the command ended.
signal_at() {
    [ -e "$SB/signal-at" ] || return 0
    read -r at mode <"$SB/signal-at"
    [ "$at" = "$1" ] || return 0
    /bin/rm -f "$SB/signal-at"
    printf '%s %s\n' "$1" "$PPID" >>"$SB/log/signalled"
    # "later": 1 s after this command has ended, from a process of its own.
    if [ "$mode" = later ]; then
        (sleep 1; kill -TERM "$PPID") </dev/null >/dev/null 2>&1 &
        return 0
    fi
    kill -TERM "$PPID"
    if [ "$mode" = block ]; then sleep 10; fi
    return 0
}
EOF
    # Administrator rights: the call is recorded (argv, NUL-separated) and answered as cancelled,
    # unless @SB@/admin-grants exists: then a plain "rm -rf -- PATHS" of sandbox paths runs as this
    # same user (write access to each path's folder is given first, as root would not need it),
    # "dpkg -r PACKAGE" goes to the sandbox's dpkg stand-in, and anything else is a violation. The
    # old form "/bin/sh -c 'COMMAND LINE'" is split into words without running a shell.
    local name
    for name in pkexec sudo; do
        cat >"$WORK/template/bin/$name" <<'EOF'
#!/usr/bin/python3
import os, shlex, shutil, signal, subprocess, sys
name = os.path.basename(sys.argv[0])
sb = os.path.dirname(os.path.dirname(os.path.abspath(sys.argv[0])))
log = os.path.join(sb, "log")
def violation(text):
    with open(os.path.join(log, "violations"), "a") as f:
        f.write(name + " " + text + "\n")
    sys.stderr.write("stand-in: refused: " + text + "\n")
    sys.exit(1)
def in_sandbox(p):
    if not p.startswith("/"):
        return False
    p = p.rstrip("/") or "/"
    base, folder = os.path.basename(p), os.path.dirname(p)
    return base not in ("", ".", "..") and (os.path.realpath(folder) + "/").startswith(sb + "/")
args = sys.argv[1:]
with open(os.path.join(log, name + ".argv"), "wb") as f:
    f.write(b"".join(os.fsencode(a) + b"\0" for a in args))
with open(os.path.join(log, "admin.log"), "a") as f:
    f.write(name + "\n")
at = os.path.join(sb, "signal-at")
if os.path.exists(at) and open(at).read().split()[0] == name:
    os.remove(at)
    with open(os.path.join(log, "signalled"), "a") as f:
        f.write("%s %d\n" % (name, os.getppid()))
    os.kill(os.getppid(), signal.SIGTERM)
while args and args[0].startswith("-"):
    if args.pop(0) == "--":
        break
if len(args) == 3 and args[0] == "/bin/sh" and args[1] == "-c":
    args = shlex.split(args[2])
with open(os.path.join(log, name + ".log"), "a") as f:
    f.write(" ".join(args) + "\n")
if not os.path.exists(os.path.join(sb, "admin-grants")):
    sys.stderr.write(name + ": Request dismissed\n")
    sys.exit(126 if name == "pkexec" else 1)
program = os.path.basename(args[0]) if args else ""
if program == "rm":
    if args[1:3] != ["-rf", "--"] or len(args) < 4:
        violation(" ".join(args))
    for p in args[3:]:
        if not in_sandbox(p):
            violation("rm outside the sandbox: " + p)
    for p in args[3:]:
        folder = os.path.dirname(p.rstrip("/"))
        os.chmod(folder, os.stat(folder).st_mode | 0o200)
        if os.path.isdir(p) and not os.path.islink(p):
            shutil.rmtree(p)
        elif os.path.lexists(p):
            os.remove(p)
    sys.exit(0)
if program == "dpkg":
    sys.exit(subprocess.call([os.path.join(sb, "bin", "dpkg")] + args[1:]))
violation(" ".join(args))
EOF
        chmod 755 "$WORK/template/bin/$name"
    done
    # Which package owns a file: none, unless a case brings its own dpkg-query.
    template dpkg-query bin <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>@SB@/log/dpkg-query.log
[ "$1" = -S ] && echo "dpkg-query: no path found matching pattern $2" >&2
exit 1
EOF
    # Removing a package cannot be confined to a folder: refused unless a case brings its own dpkg.
    template dpkg bin <<'EOF'
#!/bin/sh
. "${0%/*}/stand-in-lib"
violation "dpkg $*"
EOF
    # The session's environment: recorded; systemctl answers as without a user manager.
    template systemctl bin <<'EOF'
#!/bin/sh
. "${0%/*}/stand-in-lib"
printf '%s\n' "$*" >>@SB@/log/systemctl.log
signal_at systemctl
echo "Failed to connect to bus: No medium found" >&2
exit 1
EOF
    template dbus-update-activation-environment bin <<'EOF'
#!/bin/sh
. "${0%/*}/stand-in-lib"
printf '%s\n' "$*" >>@SB@/log/dbus-update-activation-environment.log
signal_at dbus-update-activation-environment
exit 0
EOF
    # macOS commands: a Linux build has no business with them.
    for name in osascript launchctl defaults; do
        template "$name" bin <<EOF
#!/bin/sh
. "\${0%/*}/stand-in-lib"
violation "$name \$*"
EOF
    done
    # The server: "stop" ends the running state unless told to refuse or to hang; "status" is 0
    # while running.
    template tolvane.pex server <<'EOF'
#!/bin/sh
. @SB@/bin/stand-in-lib
printf '%s TOLVANE_HOME=%s\n' "$1" "${TOLVANE_HOME-<unset>}" >>@SB@/log/pex.log
case $1 in
    stop)
        signal_at pex-stop
        if [ -e @SB@/server/stop-hangs ]; then
            # Deaf to SIGTERM and SIGINT, and its child too: only SIGKILL ends it.
            trap '' TERM INT
            echo $$ >@SB@/log/hanging-pid
            while :; do sleep 1; done
        fi
        [ -e @SB@/server/refuses-to-stop ] && exit 1
        /bin/rm -f @SB@/server/running
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
    write_prefs "$(pref_line "$SB/Tolvane Data")"
    echo x >"$cfg/autostart/org.veltran.tolvane.user.desktop"
    echo x >"$cfg/autostart/other.desktop"
    echo x >"$cfg/environment.d/org.veltran.tolvane.user.conf"
    echo x >"$cfg/environment.d/other.conf"
    mkdir -p "$DATA/db" && echo data >"$DATA/db/records"
    mkdir -p "$SB/home/.ssh" && echo key >"$SB/home/.ssh/id_ed25519"
    TRASH=$SB/home/.local/share/Trash

    # The product folder as installed under the prefix $SB/usr, with what the install put
    # elsewhere under that prefix listed in its marker.
    PRODUCT=$SB/usr/$PRODUCT_REL
    make_product "$PRODUCT"
    EXTRAS=("$SB/usr/bin/tolvane-controller" "$SB/usr/share/applications/tolvane-controller.desktop"
            "$SB/usr/share/icons/hicolor/64x64/apps/tolvane.png")
    echo x >"$SB/usr/bin/other-program"
    printf '%s\n' "# written by the installer" "${EXTRAS[0]}" "" "${EXTRAS[1]}" >"$PRODUCT/.tolvane-product"
    # A line with a DOS ending.
    printf '%s\r\n' "${EXTRAS[2]}" >>"$PRODUCT/.tolvane-product"
    cp "$TOOL_SRC" "$PRODUCT/Tolvane_Uninstall.tool"
    chmod 755 "$PRODUCT/Tolvane_Uninstall.tool"

    PEX=$SB/server/tolvane.pex
    cp -p "$WORK/template/server/tolvane.pex" "$PEX"
    touch "$SB/server/running"
    # Without its stand-ins no sandbox may run the tool.
    if ! { cp -pPR "$WORK/template/bin/." "$SB/bin/" && [ -x "$SB/bin/pkexec" ]; }; then
        echo "cannot put the stand-ins into $SB/bin" >&2
        exit 1
    fi

    RUN_ENV=(PATH="$SB/bin:/usr/sbin:/usr/bin:/sbin:/bin" HOME="$SB/home" TOLVANE_PEX="$PEX")
    [ -n "${2:-}" ] && RUN_ENV+=(XDG_CONFIG_HOME="$CFG")
    WRAP=()           # run as root before the tool's user takes over: a mount namespace, a root
    ROOT_OWNED=()     # paths that stay root's when the sandbox is handed to the tool's user
    OWNED=no
    RUN_DIR=$SB/cwd
    RUN_TIMEOUT=60
    TOOL=$PRODUCT/Tolvane_Uninstall.tool
}

# Makes a product folder $1 under its prefix, with the product's files outside it and a marker
# that lists nothing but a comment.
make_product() {
    local prefix=$1 _
    for _ in ${PRODUCT_REL//\// }; do prefix=${prefix%/*}; done
    mkdir -p "$1/lib" "$prefix/bin" "$prefix/share/applications" "$prefix/share/icons/hicolor/64x64/apps"
    echo x >"$1/lib/libtolvane.so"
    echo x >"$prefix/bin/tolvane-controller"
    echo x >"$prefix/share/applications/tolvane-controller.desktop"
    echo x >"$prefix/share/icons/hicolor/64x64/apps/tolvane.png"
    echo "# written by the installer" >"$1/.tolvane-product"
}

write_prefs() {
    printf '[General]\nautoStart=true\n%s\nport=8080\n' "$1" >"$CFG/Tolvane/tolvane.conf"
}
# The INI line for the data location $1, quoted and escaped as the controller's settings write it.
pref_line() {
    local v=${1//\\/\\\\}
    v=${v//\"/\\\"}
    printf 'customTolvaneData="%s"' "$v"
}

# Hands the sandbox to the tool's user, but for the paths in ROOT_OWNED (root's, mode kept).
own_sandbox() {
    [ "$OWNED" = yes ] && return
    OWNED=yes
    [ "$ROOT" = yes ] || return 0
    chown -R "$RUN_UID:$RUN_GID" "$SB"
    local p
    for p in "${ROOT_OWNED[@]}"; do chown -h root:root "$p"; done
}

# Runs the tool the way the controller does: a clean environment, no input, the given arguments,
# as the tool's user, bounded in time. Standard output goes to log/stdout, standard error (the
# log lines) to log/out.
run_tool() {
    own_sandbox
    (cd "$RUN_DIR" && timeout -k 5 "$RUN_TIMEOUT" "${WRAP[@]}" "${AS_USER[@]}" env -i "${RUN_ENV[@]}" "$TOOL" "$@") \
        </dev/null >"$SB/log/stdout" 2>"$SB/log/out"
    RC=$?
    [ "$RC" = 124 ] || [ "$RC" = 137 ] && err "the tool did not end within $RUN_TIMEOUT s"
}

# Runs the tool with --plan and the answers "$@"; the plan is left in log/plan.
run_plan() {
    run_tool --plan "$@"
    cp "$SB/log/stdout" "$SB/log/plan"
    local bad
    bad=$(python3 "$WORK/plan.py" check "$SB/log/plan")
    [ -z "$bad" ] || err "$bad"
}
plan_has() { python3 "$WORK/plan.py" has "$SB/log/plan" "$@"; }
expect_plan() { plan_has "$@" || err "the plan has no line: $*"; }
expect_not_planned() { plan_has "$@" && err "the plan has the line: $*"; }
plan_list() { python3 "$WORK/plan.py" list "$SB/log/plan" "$1"; }
plan_actions() { python3 "$WORK/plan.py" actions "$SB/log/plan"; }

# Lists everything in the sandbox but the logs, to show that a run changed nothing.
snapshot() { (cd "$SB" && find . -path ./log -prune -o -print | LC_ALL=C sort); }

write_stand_ins

# ---------------------------------------------------------------- checks

err() { ERRS+=("$*"); }
expect_gone() { local p; for p; do [[ -e $p || -L $p ]] && err "still there: $p"; done; }
expect_kept() { local p; for p; do [[ -e $p || -L $p ]] || err "removed: $p"; done; }
expect_rc() { [ "$RC" -eq "$1" ] || err "exit status $RC, expected $1"; }
expect_fail() { [ "$RC" -ne 0 ] || err "exit status 0, expected a failure"; }
expect_log() { grep -qF -- "$1" "$SB/log/out" || err "no line saying: $1"; }
expect_no_line() { grep -qF -- "$1" "$SB/log/out" && err "a line says: $1"; }
expect_in() { grep -qxF -- "$2" "$SB/log/$1" 2>/dev/null || err "$1 has no line: $2"; }
expect_no_log() { [ -e "$SB/log/$1" ] && err "$2: $(tr '\0\n' '  ' <"$SB/log/$1")"; }
expect_no_violation() { expect_no_log violations "a stand-in refused"; }
# Every line on standard error is a log line of the tool, the output of the commands it ran
# included: the controller shows them in its log view.
expect_log_lines() {
    local bad
    bad=$(grep -v '^Tolvane_Uninstall: ' "$SB/log/out" | grep -v '^QStandardPaths: ' | head -n 3)
    [ -z "$bad" ] || err "standard error has lines that are not the tool's log lines: $bad"
}
# Checks that everything in the snapshot $1 is still there.
expect_nothing_removed() {
    local gone
    gone=$(LC_ALL=C comm -23 <(echo "$1") <(snapshot) | tr '\n' ' ')
    [ -z "$gone" ] || err "removed: $gone"
}
# Nothing changed since the snapshot $1 but the server's state.
expect_unchanged() {
    local now
    now=$(snapshot | grep -v '^./server/running$')
    [ "$now" = "$(echo "$1" | grep -v '^./server/running$')" ] ||
        err "files changed: $(diff <(echo "$1" | grep -v '^./server/running$') <(echo "$now") | tr '\n' ' ')"
}

# The user's entries and the product, all gone.
expect_uninstalled() {
    local cfg=$CFG
    expect_gone "$cfg/Tolvane" "$cfg/autostart/org.veltran.tolvane.user.desktop" \
        "$cfg/environment.d/org.veltran.tolvane.user.conf" "$PRODUCT" "${EXTRAS[@]}"
    expect_kept "$cfg/autostart/other.desktop" "$cfg/environment.d/other.conf" "$SB/usr/bin/other-program"
}
# The product, its files elsewhere, the user's settings and login entries, all still there.
expect_installed() {
    expect_kept "$PRODUCT/.tolvane-product" "$TOOL" "$PRODUCT/lib/libtolvane.so" "${EXTRAS[@]}" \
        "$CFG/Tolvane/tolvane.conf" "$CFG/autostart/org.veltran.tolvane.user.desktop" \
        "$CFG/environment.d/org.veltran.tolvane.user.conf"
}

# Prints the Path= of the trash entry $1, undoing its URL escapes.
trashinfo_path() {
    python3 -c 'import sys, urllib.parse
for line in open(sys.argv[1], encoding="utf-8"):
    if line.startswith("Path="):
        print(urllib.parse.unquote(line[5:].rstrip("\n"), errors="strict"), end="")' "$1"
}

# Checks that the folder $1 went to the Trash $3 (default: the home Trash) where the tool's log
# says: the entry holds the file $2 (relative to the folder) and a valid trash entry names the
# folder (in a Trash at the top of a mount, Path= may be relative to that top).
expect_trashed() {
    local path=$1 trash=${3:-$TRASH} line where name info want
    line=$(grep -F -- ": moved the data folder $path to the Trash: " "$SB/log/out")
    where=${line#*to the Trash: }
    case $where in
        "$trash"/files/?*) ;;
        *) err "no log line saying that $path went to $trash/files/..."; return ;;
    esac
    name=${where#"$trash"/files/}
    info=$trash/info/$name.trashinfo
    expect_gone "$path"
    [ -f "$where/$2" ] || err "the Trash entry $where lacks $2"
    if [ ! -f "$info" ]; then
        err "no trash entry $info"
        return
    fi
    [ "$(head -n 1 "$info")" = "[Trash Info]" ] || err "$info does not start with [Trash Info]"
    want=$path
    [ "$trash" = "$TRASH" ] || [ "$(trashinfo_path "$info")" = "$path" ] || want=${path#"${trash%/*}"/}
    [ "$(trashinfo_path "$info")" = "$want" ] || err "$info: Path= is $(trashinfo_path "$info"), not $want"
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
        [ -s "$SB/log/stdout" ] && sed 's/^/        > /' "$SB/log/stdout"
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
    local row answer mode xdg before last
    for row in "yes|trashed|" "no|kept|" "yes|trashed|xdg config"; do
        IFS='|' read -r answer mode xdg <<<"$row"
        new_sandbox "full-$mode-${xdg:+xdg}" "$xdg"
        # First the plan, which changes nothing and does not stop the server.
        before=$(snapshot)
        run_plan yes "$answer"
        expect_rc 0
        [ "$(snapshot)" = "$before" ] || err "--plan changed files"
        grep -q '^stop ' "$SB/log/pex.log" 2>/dev/null && err "--plan stopped the server"
        expect_plan stop-server "$PEX"
        local p
        for p in "$PRODUCT" "${EXTRAS[@]}"; do expect_plan user-remove "$p"; done
        expect_plan remove-setting "$CFG/autostart/org.veltran.tolvane.user.desktop"
        expect_plan remove-setting "$CFG/environment.d/org.veltran.tolvane.user.conf"
        expect_plan unset-environment TOLVANE_HOME
        plan_has admin-remove && err "the plan asks for administrator rights"
        plan_has refuse && err "the plan refuses"
        if [ "$mode" = trashed ]; then last=trash; else last=keep; fi
        expect_plan "$last" "$DATA"
        [[ $(plan_actions) == "stop-server user-remove remove-setting unset-environment $last" ]] ||
            err "the plan's order is $(plan_actions), expected: stop-server, the product, the settings, the session, $last"

        run_tool yes "$answer"
        expect_rc 0
        expect_uninstalled
        if [ "$mode" = trashed ]; then expect_trashed "$DATA" db/records; else expect_kept "$DATA/db/records"; fi
        expect_in pex.log "stop TOLVANE_HOME=$DATA"
        expect_in systemctl.log "--user unset-environment TOLVANE_HOME"
        [ -e "$SB/log/dbus-update-activation-environment.log" ] ||
            err "dbus-update-activation-environment was not run to drop TOLVANE_HOME"
        expect_no_log admin.log "administrator rights were asked for"
        expect_log_lines
        finish_case "yes $answer: plan and run, everything removed, data folder $mode${xdg:+, config in XDG_CONFIG_HOME}"
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
        rm -rf "$DATA"
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

# ---- the refusals: each sets up one case; SUBJECT is what the refusal line must name, ANSWER
# the second answer (yes: move the data folder to the Trash).

# The data folder named by the preference.
setup_pref() { write_prefs "customTolvaneData=$1"; SUBJECT="the data folder $1"; }
# The data folder named by TOLVANE_HOME.
setup_th() { write_prefs autoStart=false; RUN_ENV+=(TOLVANE_HOME="$1"); SUBJECT="the data folder $1"; }
# The settings in a config folder outside the home folder (XDG_CONFIG_HOME), so that nothing the
# uninstall removes lies in the home folder.
config_outside() {
    mv "$SB/home/.config" "$SB/cfg"
    CFG=$SB/cfg
    RUN_ENV+=(XDG_CONFIG_HOME="$CFG")
}
# The same as setup_pref, setup_th and setup_link, with the settings outside the home folder.
setup_pref_nocfg() { config_outside; setup_pref "$1"; }
setup_th_nocfg() { config_outside; setup_th "$1"; }
setup_link_nocfg() { config_outside; setup_link "$1"; }
# The preference as written, which the controller reads as text: "a/../b" is "b", "//" is "/".
setup_pref_text() {
    config_outside
    setup_pref "$1"
    SUBJECT="the data folder $(realpath -sm "$1" | sed 's|^//|/|')"
}
# A folder of the home folder, holding a file of the user's.
setup_home() {
    mkdir -p "$SB/home/$1" && echo mine >"$SB/home/$1/unrelated"
    setup_pref "$SB/home/$1"
}
# A symbolic link in the sandbox that leads to $1.
setup_link() {
    [ -e "$1" ] || mkdir -p "$1"
    ln -s "$1" "$SB/datalink"
    setup_pref "$SB/datalink"
}
# "LINE => FOLDER [=> USER FOLDER]": user-dirs.dirs holds LINE, the data folder is FOLDER, and the
# user folder that LINE names (FOLDER when not given) exists.
setup_xdg() {
    local line=${1%% => *} folder=${1#* => } named
    named=${folder#* => } folder=${folder%% => *}
    printf '# written by xdg-user-dirs-update\n%s\n' "$line" >"$CFG/user-dirs.dirs"
    mkdir -p "$folder" "$named" && echo mine >"$folder/unrelated"
    setup_th "$folder"
}
# ~/Documents is a link to $SB/disk/Docs, a folder on "another disk"; the data folder is "as"
# that folder, or "holder" of it.
setup_linked_documents() {
    mkdir -p "$SB/disk/Docs" && echo mine >"$SB/disk/Docs/letter"
    ln -s "$SB/disk/Docs" "$SB/home/Documents"
    if [ "$1" = as ]; then setup_pref "$SB/disk/Docs"; else setup_pref "$SB/disk"; fi
}
# ~/.config is a relative link into a dotfiles folder; the data folder, named by TOLVANE_HOME, is
# "as" its target, or "holder" of it. No Tolvane settings or login entries were ever saved there,
# so the configuration folder itself is what is protected.
setup_linked_config() {
    mkdir -p "$SB/dotfiles"
    mv "$SB/home/.config" "$SB/dotfiles/config"
    ln -s ../dotfiles/config "$SB/home/.config"
    if [ "$1" = as ]; then setup_th "$SB/dotfiles/config"; else setup_th "$SB/dotfiles"; fi
    rm -r "$SB/dotfiles/config/Tolvane" "$SB/dotfiles/config/autostart/org.veltran.tolvane.user.desktop" \
        "$SB/dotfiles/config/environment.d/org.veltran.tolvane.user.conf"
}
# A mount point in the sandbox: "tmpfs" (another file system) or "bind" (the same one again).
setup_mount() {
    [ "$MOUNTS" = yes ] || { SKIP=$MOUNTS; return; }
    mkdir -p "$SB/mnt"
    if [ "$1" = tmpfs ]; then
        WRAP=(unshare -m --propagation private "$WORK/in-mount" tmpfs "$SB/mnt" --)
    else
        mkdir -p "$SB/disk" && echo mine >"$SB/disk/unrelated"
        WRAP=(unshare -m --propagation private "$WORK/in-mount" bind "$SB/disk" "$SB/mnt" --)
    fi
    setup_pref "$SB/mnt"
}
# The home folder mounted again at $SB/homebind (a bind mount); the data folder is $1 there.
setup_home_bind() {
    [ "$MOUNTS" = yes ] || { SKIP=$MOUNTS; return; }
    mkdir -p "$SB/homebind" "$SB/home/Documents"
    echo mine >"$SB/home/Documents/letter"
    WRAP=(unshare -m --propagation private "$WORK/in-mount" bind "$SB/home" "$SB/homebind" --)
    config_outside
    setup_pref "$SB/homebind$1"
}
# A mount point inside the data folder: "tmpfs" (a USB disk, say) or "bind" (a folder of the
# user's mounted there again).
setup_mount_inside() {
    [ "$MOUNTS" = yes ] || { SKIP=$MOUNTS; return; }
    mkdir -p "$DATA/sub/mnt"
    if [ "$1" = tmpfs ]; then
        WRAP=(unshare -m --propagation private "$WORK/in-mount" tmpfs "$DATA/sub/mnt" --)
    else
        mkdir -p "$SB/disk" && echo mine >"$SB/disk/unrelated"
        WRAP=(unshare -m --propagation private "$WORK/in-mount" bind "$SB/disk" "$DATA/sub/mnt" --)
    fi
    setup_pref "$DATA"
}
# A system folder: used where this machine has it, else made up in a root folder of its own.
setup_system() {
    setup_pref "$1"
    [ -d "$1" ] && return
    [ "$MOUNTS" = yes ] || { SKIP="$1 is not on this machine and $MOUNTS"; return; }
    WRAP=(unshare -m --propagation private "$WORK/in-own-root" "$SB.root" "$WORK" "$RUN_DIR" "$1" --)
    mkdir -p "$SB.root"
}
# The data folder $SB/apps holds the product folder, which TOLVANE_PRODUCT_DIR puts there.
setup_product_holder() {
    make_product "$SB/apps/$PRODUCT_REL"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/apps/$PRODUCT_REL")
    setup_pref "$SB/apps"
}
# The data folder is the tool's folder, while the product folder is elsewhere.
setup_tool_holder() {
    make_product "$SB/apps/$PRODUCT_REL"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/apps/$PRODUCT_REL")
    setup_pref "$PRODUCT"
}
# The data folder lies inside the product folder; $1 is the answer about the data folder.
setup_in_product() {
    mkdir -p "$PRODUCT/data" && echo mine >"$PRODUCT/data/records"
    setup_pref "$PRODUCT/data"
    ANSWER=$1
}
# The controller beside the tool is a link to $SB/ctl, the data folder.
setup_controller_holder() {
    mkdir -p "$SB/ctl" && echo x >"$SB/ctl/tolvane-controller"
    ln -s "$SB/ctl/tolvane-controller" "$PRODUCT/tolvane-controller"
    setup_pref "$SB/ctl"
}
# The data folder in a place $1 that the tool's user may not leave: "locked" (a folder of root's),
# "sticky" (root's folder in a shared folder), "fixed" (a folder of root's in the user's folder).
setup_foreign() {
    [ "$ROOT" = yes ] || { SKIP=$ROOT; return; }
    case $1 in
        locked) mkdir -p "$SB/locked/data"; ROOT_OWNED+=("$SB/locked"); setup_pref "$SB/locked/data" ;;
        sticky)
            mkdir -m 1777 "$SB/shared"; mkdir -m 777 "$SB/shared/data"
            ROOT_OWNED+=("$SB/shared" "$SB/shared/data"); setup_pref "$SB/shared/data" ;;
        fixed) mkdir -m 755 "$SB/fixed"; ROOT_OWNED+=("$SB/fixed"); setup_pref "$SB/fixed" ;;
    esac
}
# The product folder has no marker (and no package owns it).
setup_unmarked() {
    rm "$PRODUCT/.tolvane-product"
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
    echo "# written by the installer" >"$SB/home/.tolvane-product"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/home")
    SUBJECT="the product folder $SB/home"
}
# The marker lists $1 as well.
setup_marker() {
    printf '%s\n' "$1" >>"$PRODUCT/.tolvane-product"
    SUBJECT="the marker line $1"
}
# The marker lists the user's ~/.ssh, with a key in it.
setup_marker_ssh() {
    mkdir -p "$SB/home/.ssh" && echo key >"$SB/home/.ssh/id_ed25519"
    setup_marker "$SB/home/.ssh$1"
}
# The marker lists $1 reached through "..": the product folder, then enough ".." to reach /.
setup_marker_dotdot() {
    setup_marker "$PRODUCT/../../../../../../../../../../..$1"
}
# The marker lists $PRODUCT/sys/NAME where sys, in the product folder, is a link to the folder
# of /$1.
setup_marker_link() {
    ln -s "${1%/*}/" "$PRODUCT/sys"
    setup_marker "$PRODUCT/sys/${1##*/}"
}
# The marker of a product folder in $SB/apps lists $SB/apps, which holds it.
setup_marker_holder() {
    make_product "$SB/apps/$PRODUCT_REL"
    echo "$SB/apps" >>"$SB/apps/$PRODUCT_REL/.tolvane-product"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$SB/apps/$PRODUCT_REL")
    SUBJECT="the marker line $SB/apps"
}

# True when the refusal line $1 gives the reason $2: exactly, or "~TEXT": beginning with TEXT, or
# "*TEXT": holding TEXT.
reason_matches() {
    case $2 in
        '~'*) [[ $1 == *": ${2#'~'}"*"; nothing removed" ]] ;;
        '*'*) [[ $1 == *"${2#'*'}"*"; nothing removed" ]] ;;
        *) [[ $1 == *": $2; nothing removed" ]] ;;
    esac
}

# Everything the tool refuses: the plan names the refusal, the run changes nothing, not even the
# server's state, logs exactly one refusal naming the thing and the reason, asks for no
# administrator rights and fails.
group_refusals() {
    local name setup value reason before count line
    while IFS='|' read -r name setup value reason <&3; do
        [[ -z $name || $name == '#'* ]] && continue
        [[ $name =~ ${TOLVANE_TEST_REFUSALS:-.} ]] || continue
        new_sandbox "refusal-$((passed + failed + skipped))"
        value=${value//@SB@/$SB} reason=${reason//@SB@/$SB}
        value=${value//@PRODUCT@/$PRODUCT} reason=${reason//@PRODUCT@/$PRODUCT}
        reason=${reason//@REL@/$PRODUCT_REL}
        SKIP='' SUBJECT='' ANSWER=yes
        "setup_$setup" "$value"
        if [ -n "$SKIP" ]; then
            skip_case "refused: $name" "$SKIP"
            continue
        fi
        before=$(snapshot)
        run_plan yes "$ANSWER"
        expect_rc 1
        plan_has refuse || err "the plan has no refuse line"
        [ "$(plan_actions)" = refuse ] || err "a refused plan holds more than its refusals: $(plan_actions)"
        [ "$(snapshot)" = "$before" ] || err "--plan changed files"
        run_tool yes "$ANSWER"
        expect_fail
        # One of the refusal lines names the thing and gives the reason.
        count=0
        while IFS= read -r line; do
            [[ $line == "Tolvane_Uninstall: refusing $SUBJECT: "* ]] && reason_matches "$line" "$reason" &&
                count=$((count + 1))
        done < <(grep '^Tolvane_Uninstall: refusing ' "$SB/log/out")
        [ "$count" -ge 1 ] || err "no refusal names $SUBJECT with the reason: $reason"
        [ "$(snapshot)" = "$before" ] || err "files changed: $(diff <(echo "$before") <(snapshot) | tr '\n' ' ')"
        expect_no_log admin.log "administrator rights were asked for"
        grep -q '^stop ' "$SB/log/pex.log" 2>/dev/null && err "the server was stopped"
        finish_case "refused: $name"
    done 3<<'ROWS'
# name | setup | value | reason given ("~TEXT": begins with TEXT; "*TEXT": holds TEXT)
the home folder|pref_nocfg|@SB@/home|*it is the home folder @SB@/home or holds it
the home folder with a trailing slash|th_nocfg|@SB@/home/|*it is the home folder @SB@/home or holds it
the home folder through ..|pref_text|@SB@/cwd/../home|*it is the home folder @SB@/home or holds it
a folder holding the home folder|pref|@SB@|*it is the home folder @SB@/home or holds it
a link to the home folder|link_nocfg|@SB@/home|*it is the home folder @SB@/home or holds it
the root folder|th|/|*it is the root folder
the root folder as //|pref_text|//|*it is the root folder
a link to the root folder|link|/|~it leads to /: 
a relative path|th|.|~it is a relative path
~/Desktop|home|Desktop|*(@SB@/home/Desktop) or holds it
~/Documents|home|Documents|*(@SB@/home/Documents) or holds it
~/Downloads|home|Downloads|*(@SB@/home/Downloads) or holds it
~/Music|home|Music|*(@SB@/home/Music) or holds it
~/Pictures|home|Pictures|*(@SB@/home/Pictures) or holds it
~/Public|home|Public|*(@SB@/home/Public) or holds it
~/Templates|home|Templates|*(@SB@/home/Templates) or holds it
~/Videos|home|Videos|*(@SB@/home/Videos) or holds it
a link to ~/Documents|link|@SB@/home/Documents|*(@SB@/home/Documents) or holds it
~/Documents is a link to another disk: that folder|linked_documents|as|*(@SB@/home/Documents) or holds it
~/Documents is a link to another disk: a folder holding it|linked_documents|holder|*(@SB@/home/Documents) or holds it
~/.config is a link into a dotfiles folder: that folder|linked_config|as|*it is the configuration folder
~/.config is a link into a dotfiles folder: the dotfiles folder|linked_config|holder|*it is the configuration folder
an XDG user folder renamed in user-dirs.dirs|xdg|XDG_DOCUMENTS_DIR="$HOME/Dokumente" => @SB@/home/Dokumente|it is the user's folder XDG_DOCUMENTS_DIR (@SB@/home/Dokumente) or holds it
an XDG user folder outside the home, with escapes|xdg|XDG_MUSIC_DIR="@SB@/media/My \"Music\" \\ box" => @SB@/media/My "Music" \ box|it is the user's folder XDG_MUSIC_DIR (@SB@/media/My "Music" \ box) or holds it
an XDG user folder written with ${HOME}|xdg|XDG_VIDEOS_DIR="${HOME}/Filme" => @SB@/home/Filme|it is the user's folder XDG_VIDEOS_DIR (@SB@/home/Filme) or holds it
a folder holding an XDG user folder|xdg|XDG_PICTURES_DIR="@SB@/pics/Bilder" => @SB@/pics => @SB@/pics/Bilder|it is the user's folder XDG_PICTURES_DIR (@SB@/pics/Bilder) or holds it
an XDG user folder with blanks around =|xdg|XDG_DOCUMENTS_DIR = "$HOME/Docs" => @SB@/home/Docs|it is the user's folder XDG_DOCUMENTS_DIR (@SB@/home/Docs) or holds it
a folder holding an XDG user folder written with blanks around =|xdg|XDG_DOCUMENTS_DIR =  "@SB@/stuff/Docs" => @SB@/stuff => @SB@/stuff/Docs|it is the user's folder XDG_DOCUMENTS_DIR (@SB@/stuff/Docs) or holds it
the home folder reached through a bind mount|home_bind||*it is the home folder @SB@/home or holds it
~/Documents reached through a bind mount of the home folder|home_bind|/Documents|*(@SB@/home/Documents) or holds it
a mount point (another file system)|mount|tmpfs|it is a mount point
a mount point (a bind mount of the same file system)|mount|bind|it is a mount point
a data folder holding a mount point (another file system)|mount_inside|tmpfs|*the mount point @SB@/Tolvane Data/sub/mnt lies inside it
a data folder holding a mount point (a bind mount)|mount_inside|bind|*the mount point @SB@/Tolvane Data/sub/mnt lies inside it
/usr|system|/usr|*it is the system folder /usr or holds it
/etc|system|/etc|*it is the system folder /etc or holds it
/opt|system|/opt|*it is the system folder /opt or holds it
/var|system|/var|*it is the system folder /var or holds it
/bin|system|/bin|*it is the system folder /bin or holds it
/sbin|system|/sbin|*it is the system folder /sbin or holds it
/lib|system|/lib|*it is the system folder /lib or holds it
/lib64|system|/lib64|*it is the system folder /lib64 or holds it
/boot|system|/boot|*it is the system folder /boot or holds it
/srv|system|/srv|*it is the system folder /srv or holds it
/Applications|system|/Applications|*it is the system folder /Applications or holds it
/Library|system|/Library|*it is the system folder /Library or holds it
/System|system|/System|*it is the system folder /System or holds it
/Users|system|/Users|*it is the system folder /Users or holds it
/Volumes|system|/Volumes|*it is the system folder /Volumes or holds it
a folder inside /Volumes, not the user's|system|/Volumes/Backup|~the user may not remove it
a folder inside /usr|system|/usr/local|it is inside the system folder /usr
a folder inside /var|system|/var/lib|it is inside the system folder /var
a folder inside /Applications|system|/Applications/Utilities|it is inside the system folder /Applications
a link to /etc|link|/etc|*it is the system folder /etc or holds it
a folder holding the product folder|product_holder||it holds @SB@/apps/@REL@, which the uninstall removes; choose another data location in Preferences first
a folder holding the uninstall tool|tool_holder||it holds the uninstall tool @PRODUCT@/Tolvane_Uninstall.tool
a data folder inside the product folder, to go to the Trash|in_product|yes|*choose another data location in Preferences first
a data folder inside the product folder, to be kept|in_product|no|*choose another data location in Preferences first
a folder holding the controller, linked beside the tool|controller_holder||it holds the controller @PRODUCT@/tolvane-controller
a folder holding the Tolvane settings|pref|@SB@/home/.config|it holds @SB@/home/.config/Tolvane/tolvane.conf, which the uninstall removes; choose another data location in Preferences first
a folder in a folder the user may not change|foreign|locked|the user may not remove it: no write access to the folder @SB@/locked that holds it
someone else's folder in a shared folder|foreign|sticky|the user may not remove it: it belongs to someone else in the shared folder @SB@/shared
a folder the user may not change|foreign|fixed|the user may not remove it: no write access to @SB@/fixed
a product folder without its marker|unmarked||it has no .tolvane-product, so it is not known to be the installed product, and no Debian package owns the tool
TOLVANE_PRODUCT_DIR without its marker|unmarked_override||it has no .tolvane-product, so it is not known to be the installed product, and no Debian package owns the tool
a marked product folder that is the home folder|product_home||*it is the home folder @SB@/home or holds it
a marker line naming /|marker|/|~
a marker line naming the home folder|marker|@SB@/home/|~
a marker line with a relative path|marker|relative/path|~
a marker line naming ~/Documents|marker|@SB@/home/Documents|~
a marker line naming /usr|marker|/usr|~
a marker line naming ~/.ssh|marker_ssh||~
a marker line naming a key in ~/.ssh|marker_ssh|/id_ed25519|~
a marker line naming /etc/passwd|marker|/etc/passwd|~
a marker line naming /usr/share|marker|/usr/share|~
a marker line naming /root|marker|/root|~
a marker line naming /dev|marker|/dev|~
a marker line leading through .. to /etc/passwd|marker_dotdot|/etc/passwd|~
a marker line leading through .. to /usr/share|marker_dotdot|/usr/share|~
a marker line leading through .. to /root|marker_dotdot|/root|~
a marker line leading through .. to /dev|marker_dotdot|/dev|~
a marker line leading through .. to ~/.ssh|marker|@PRODUCT@/../../../home/.ssh|~
a marker line leading through a link to /etc/passwd|marker_link|/etc/passwd|~
a marker line leading through a link to /usr/share|marker_link|/usr/share|~
a marker line leading through a link to /root|marker_link|/root/.profile|~
a marker line leading through a link to /dev|marker_link|/dev/null|~
a marker line holding the product folder|marker_holder||~
ROWS
}

# The data folder in the Trash: where it goes, what the log says, and a Trash that fails.
group_trash() {
    local old before
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

    # A Trash the user may not write to: the product and settings go first, the data folder stays
    # whole, and the log and the exit status say so.
    new_sandbox trash-unwritable
    mkdir -p "$TRASH/files" "$TRASH/info"
    chmod 555 "$TRASH/files" "$TRASH/info"
    before=$(snapshot)
    run_tool yes yes
    chmod 755 "$TRASH/files" "$TRASH/info"
    expect_fail
    expect_no_line "moved the data folder"
    expect_kept "$DATA/db/records"
    if grep -q '^Tolvane_Uninstall: refusing the data folder ' "$SB/log/out"; then
        expect_unchanged "$before"
    else
        [ "$(grep -c "could not move $DATA to the Trash" "$SB/log/out")" = 1 ] ||
            err "not exactly one line saying that the data folder could not go to the Trash"
        expect_uninstalled
    fi
    [ -z "$(find "$TRASH/files" "$TRASH/info" -mindepth 1 -print -quit 2>/dev/null)" ] ||
        err "the Trash holds a half entry: $(find "$TRASH" -mindepth 1 | tr '\n' ' ')"
    expect_no_log admin.log "administrator rights were asked for"
    finish_case "a Trash that cannot be written: the data folder stays whole, the run fails"

    # A data folder on another mount goes to the Trash at the top of that mount.
    new_sandbox trash-topdir
    if [ "$MOUNTS" != yes ]; then
        skip_case "a data folder on another mount" "$MOUNTS"
    else
        mkdir -p "$SB/disk/data" "$SB/mnt" && echo mine >"$SB/disk/data/unrelated"
        WRAP=(unshare -m --propagation private "$WORK/in-mount" bind "$SB/disk" "$SB/mnt" --)
        write_prefs "customTolvaneData=$SB/mnt/data"
        run_tool yes yes
        expect_rc 0
        # The mount is gone with the run: what the tool saw at $SB/mnt now lies in $SB/disk.
        local line where
        line=$(grep -F -- ": moved the data folder $SB/mnt/data to the Trash: " "$SB/log/out")
        where=${line#*to the Trash: }
        case $where in
            "$SB/mnt/.Trash-$RUN_UID/files/"?* | "$SB/mnt/.Trash/$RUN_UID/files/"?*)
                [ -f "$SB/disk/${where#"$SB/mnt/"}/unrelated" ] || err "the Trash entry $where lacks unrelated"
                expect_gone "$SB/disk/data" ;;
            *) err "no log line saying that $SB/mnt/data went to the Trash at the top of its mount" ;;
        esac
        expect_uninstalled
        finish_case "a data folder on another mount goes to the Trash at the top of that mount"
    fi
}

group_product() {
    new_sandbox product-override-marked
    local elsewhere=$SB/opt/$PRODUCT_REL
    make_product "$elsewhere"
    echo "$SB/opt/bin/tolvane-controller" >>"$elsewhere/.tolvane-product"
    RUN_ENV+=(TOLVANE_PRODUCT_DIR="$elsewhere")
    run_tool yes no
    expect_rc 0
    expect_gone "$elsewhere" "$SB/opt/bin/tolvane-controller"
    expect_kept "$TOOL" "${EXTRAS[@]}"
    finish_case "TOLVANE_PRODUCT_DIR with the marker is removed, not the tool's folder"

    # A product file already gone (a user removed it, or a run stopped half-way), in a folder
    # that is gone as well: nothing to remove there, and the rest goes.
    new_sandbox product-gone-file
    echo "$SB/usr/share/metainfo/org.veltran.tolvane.metainfo.xml" >>"$PRODUCT/.tolvane-product"
    run_tool yes no
    expect_rc 0
    expect_uninstalled
    finish_case "a marker line for a file already gone, folder and all, does not stop the uninstall"

    new_sandbox product-relative
    RUN_DIR=$SB
    TOOL=./usr/$PRODUCT_REL/Tolvane_Uninstall.tool
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

    # A stop that never ends, deaf to SIGTERM: the tool ends it after its bound (30 s, then
    # SIGKILL 5 s later; this case takes that long) and refuses, as the server may still run.
    new_sandbox server-stop-hangs
    touch "$SB/server/stop-hangs"
    RUN_TIMEOUT=90
    before=$(snapshot)
    run_tool yes yes
    expect_fail
    expect_unchanged "$before"
    expect_log "refusing the uninstall: the Tolvane server is still running"
    expect_log "did not end within"
    if [ -s "$SB/log/hanging-pid" ]; then
        local pid
        pid=$(cat "$SB/log/hanging-pid")
        if kill -0 "$pid" 2>/dev/null; then
            err "the hanging stop command still runs"
            kill -KILL "$pid"
        fi
    else
        err "the stop command was not run"
    fi
    finish_case "a stop command that never ends is ended after its bound; nothing removed"

    new_sandbox server-stop-fails
    touch "$SB/server/stop-fails"
    run_tool yes no
    expect_rc 0
    expect_log "stop command failed"
    expect_uninstalled
    finish_case "a failing stop that leaves no server running is only logged"

    new_sandbox server-missing
    RUN_ENV+=(TOLVANE_PEX="$SB/server/not-there")
    run_tool yes no
    expect_rc 0
    # The default is the server the product keeps beside the tool.
    expect_log "no server executable at $PRODUCT/support/tolvane/tolvane.pex"
    expect_uninstalled
    finish_case "no server executable: nothing to stop, the uninstall goes on"
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
        '--plan alone|2|--plan'
        '--plan with one answer|2|--plan yes'
        '--plan after the answers|2|yes yes --plan'
        'an unknown option|2|--force yes yes'
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
        grep -q '^stop ' "$SB/log/pex.log" 2>/dev/null && err "the server was stopped"
        finish_case "arguments: $name ($args) -> exit $want, nothing removed"
    done
}

# A login entry whose folder cannot be changed, even by root: the run fails, the entry stays,
# and the user's own file is not retried with administrator rights.
group_immutable() {
    new_sandbox immutable
    local folder=$CFG/autostart
    own_sandbox
    if [ "$ROOT" != yes ]; then
        skip_case "an entry that cannot be removed" "only root may set the immutable attribute"
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
    grep -qF -e "could not remove $folder/org.veltran.tolvane.user.desktop" -e "refusing " "$SB/log/out" ||
        err "no line saying that $folder/org.veltran.tolvane.user.desktop could not be removed"
    expect_no_log admin.log "administrator rights were asked for"
    finish_case "an entry in an immutable folder fails the uninstall and is not retried as administrator"
}

# A tool that belongs to a Debian package removes the package (with administrator rights, as the
# tool's user is no administrator) and leaves its files to dpkg.
group_dpkg() {
    local row name dpkg_rc
    for row in "removed|0" "dpkg fails|1"; do
        name=${row%|*} dpkg_rc=${row#*|}
        new_sandbox "dpkg-$dpkg_rc"
        fake "$SB/bin/dpkg-query" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>@SB@/log/dpkg-query.log
[ "\$1" = -S ] && [ "\$2" = $PRODUCT/Tolvane_Uninstall.tool ] || exit 1
echo "diversion by other from: /elsewhere"
echo "tolvane-controller: \$2"
EOF
        fake "$SB/bin/dpkg" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>@SB@/log/dpkg.log
[ $dpkg_rc = 0 ] || exit $dpkg_rc
[ "\$*" = "-r tolvane-controller" ] && rm -rf $PRODUCT
EOF
        touch "$SB/admin-grants"
        # Without a marker: the package vouches for the folder.
        rm "$PRODUCT/.tolvane-product"
        run_plan yes no
        expect_rc 0
        expect_plan remove-package tolvane-controller
        run_tool yes no
        expect_in dpkg.log "-r tolvane-controller"
        expect_kept "${EXTRAS[@]}" "$DATA/db/records"
        if [ "$dpkg_rc" = 0 ]; then
            expect_rc 0
            expect_gone "$PRODUCT" "$CFG/Tolvane"
        else
            expect_fail
            expect_log "could not remove the package tolvane-controller"
            # A failed administrator step ends the run before anything of the user's goes.
            expect_kept "$CFG/Tolvane/tolvane.conf" "$CFG/autostart/org.veltran.tolvane.user.desktop"
        fi
        finish_case "Debian package: $name"
    done
}

# Makes the product's programs folder $SB/usr/bin one the tool's user may not change, so that
# tolvane-controller there needs administrator rights.
lock_programs() {
    chmod 555 "$SB/usr/bin"
}

# A product file in a folder the user may not change is removed with administrator rights
# (pkexec in a graphical session, else sudo), all in one prompt, as a plain argument list; the
# data folder and the user's own entries never are. A cancelled prompt leaves everything as it
# was, so that a second run, with the prompt granted, removes everything.
group_elevation() {
    local name display used argv
    while IFS='|' read -r name display used <&3; do
        # Blanks, quotes, a dollar and a backquote in every path.
        new_sandbox "elevation-$used it's \"\$HOME\" \`x\` é"
        lock_programs
        [ -n "$display" ] && RUN_ENV+=(DISPLAY="$display")
        run_plan yes yes
        expect_rc 0
        expect_plan admin-remove "${EXTRAS[0]}"
        expect_plan user-remove "$PRODUCT"
        expect_plan trash "$DATA"
        plan_list admin-remove | grep -qvxF -- "${EXTRAS[0]}" &&
            err "administrator rights planned for more than ${EXTRAS[0]}: $(plan_list admin-remove | tr '\n' ' ')"

        # The prompt cancelled: nothing at all removed, a second run is possible.
        run_tool yes yes
        expect_fail
        expect_in admin.log "$used"
        expect_installed
        expect_kept "$DATA/db/records" "${EXTRAS[0]}"
        [ -e "$SB/server/running" ] && err "the server was not stopped before the product"
        expect_no_line "moved the data folder"
        expect_log_lines
        finish_case "administrator rights, $name: a cancelled prompt leaves product, tool, marker, settings and data"

        # The prompt granted: the stand-in removes what it was handed, as the same user.
        touch "$SB/admin-grants" "$SB/server/running"
        : >"$SB/log/admin.log"
        run_tool yes yes
        expect_rc 0
        [ "$(wc -l <"$SB/log/admin.log")" = 1 ] || err "administrator rights asked for more than once"
        argv=$(tr '\0' '\n' <"$SB/log/$used.argv" 2>/dev/null)
        grep -qxF -- "${EXTRAS[0]}" <<<"$argv" || err "${EXTRAS[0]} is not one argument of $used: $argv"
        [[ $argv == *"Tolvane Data"* ]] && err "the data folder is in the command run with administrator rights"
        [[ $argv == *"$CFG"* ]] && err "the user's settings are in the command run with administrator rights"
        expect_uninstalled
        expect_kept "$SB/usr/bin/other-program"
        expect_trashed "$DATA" db/records
        finish_case "administrator rights, $name: the second run, with the prompt granted, removes everything"
    done 3<<'ROWS'
graphical session: pkexec|:0|pkexec
no graphical session: sudo||sudo
ROWS
}

# The findings of the old tool that need more than a refusal row.
group_findings() {
    # The stored location leads through a link and "..": the controller uses it as text, so
    # ~/lnk/../data is ~/data, and that is what goes, not the folder beside the link's target.
    new_sandbox findings-dotdot
    mkdir -p "$SB/elsewhere/deep" "$SB/elsewhere/data" "$SB/home/data"
    ln -s ../elsewhere/deep "$SB/home/lnk"
    echo physical >"$SB/elsewhere/data/file"
    echo textual >"$SB/home/data/file"
    write_prefs "customTolvaneData=$SB/home/lnk/../data"
    run_plan yes yes
    expect_rc 0
    expect_plan trash "$SB/home/data"
    expect_not_planned trash "$SB/elsewhere/data"
    run_tool yes yes
    expect_rc 0
    expect_trashed "$SB/home/data" file
    expect_kept "$SB/elsewhere/data/file" "$DATA/db/records"
    expect_in pex.log "stop TOLVANE_HOME=$SB/home/data"
    finish_case "a stored data location ~/lnk/../data means ~/data, as the controller reads it"

    # The user's own login entry in a folder the user may not change: never handed to the
    # administrator command, and the run fails.
    new_sandbox findings-own-entry
    lock_programs
    chmod 555 "$CFG/autostart"
    touch "$SB/admin-grants"
    RUN_ENV+=(DISPLAY=:0)
    run_tool yes yes
    chmod 755 "$CFG/autostart"
    expect_fail
    expect_kept "$CFG/autostart/org.veltran.tolvane.user.desktop"
    [[ $(tr '\0' '\n' <"$SB/log/pkexec.argv" 2>/dev/null) == *"$CFG"* ]] &&
        err "the user's own entry is in the command run with administrator rights"
    finish_case "a login entry the user may not remove is not removed with administrator rights"
}

# SIGTERM at each step, sent by the stand-in of the command that runs at that step: the tool
# stops, logs the signal, exits non-zero, and what it logged as done is done, what it did not
# log is not.
expect_consistent() {
    expect_fail
    [ -s "$SB/log/signalled" ] || err "the signal was not sent"
    # "stopped by SIGTERM; done: ACTION, ...; not done: ACTION, ..." (or "nothing").
    local line did notdone
    line=$(grep '^Tolvane_Uninstall: stopped by SIGTERM; done: .*; not done: ' "$SB/log/out")
    [ -n "$line" ] || err "no line saying that SIGTERM stopped the run, with what was done and what not"
    did=${line#*; done: } did=${did%%; not done: *} notdone=${line##*; not done: }
    if [[ -e $DATA ]]; then
        [[ $notdone == *"trash $DATA"* ]] || err "the data folder is still there, but the line does not list it as not done"
    else
        [[ $did == *"trash $DATA"* ]] || err "the data folder is in the Trash, but the line does not list it as done"
    fi
    if [[ -e $PRODUCT ]]; then
        expect_no_line "removed $PRODUCT"
    else
        expect_log "removed $PRODUCT"
    fi
    if [[ -e $CFG/autostart/org.veltran.tolvane.user.desktop ]]; then
        expect_no_line "removed $CFG/autostart/org.veltran.tolvane.user.desktop"
    else
        expect_log "removed $CFG/autostart/org.veltran.tolvane.user.desktop"
    fi
    if [[ -e $DATA ]]; then
        expect_no_line "moved the data folder"
        expect_kept "$DATA/db/records"
    else
        expect_trashed "$DATA" db/records
    fi
}

group_signals() {
    local name at mode state
    while IFS='|' read -r name at mode state <&3; do
        [[ -z $name || $name == '#'* ]] && continue
        new_sandbox "signal-$at-$mode"
        printf '%s %s\n' "$at" "$mode" >"$SB/signal-at"
        if [ "$at" = pkexec ]; then
            lock_programs
            touch "$SB/admin-grants"
            RUN_ENV+=(DISPLAY=:0)
        fi
        if [ "$state" = trashed ]; then
            # Every rename is held 3 s on entry, the Trash's among them: the signal sent 1 s after
            # the last session command ended comes while the data folder is being moved.
            if ! strace -f -o /dev/null true 2>/dev/null; then
                skip_case "SIGTERM $name" "strace (Debian package strace) is missing or may not trace here"
                continue
            fi
            WRAP=(strace -f -qq -o "$SB/log/strace" -e "trace=rename,renameat,renameat2"
                  -e "inject=rename,renameat,renameat2:delay_enter=3000000" --)
        fi
        run_tool yes yes
        expect_consistent
        case $state in
            nothing) expect_installed ;;
            product)
                expect_gone "${EXTRAS[0]}"
                expect_kept "$CFG/Tolvane/tolvane.conf" "$CFG/autostart/org.veltran.tolvane.user.desktop" ;;
            settings) expect_gone "$PRODUCT" "${EXTRAS[@]}" ;;
            trashed)
                { grep -qF -- "\"$DATA\"" "$SB/log/strace" && grep -q 'DELAYED' "$SB/log/strace"; } ||
                    err "the data folder's move to the Trash was not held (see log/strace)"
                # The move had begun: it is done, and said so.
                expect_gone "$PRODUCT" "$DATA" ;;
        esac
        [ "$state" = trashed ] || expect_kept "$DATA/db/records"
        finish_case "SIGTERM $name"
    done 3<<'ROWS'
# name | stand-in that sends it | return, block (keeps running 10 s), later (1 s after) | what is done at the end
during the server's stop, before the administrator step|pex-stop|return|nothing
during the granted administrator step: the product goes, the user's things stay|pkexec|return|product
during the session step after the settings, the command still running: the Trash is not reached|systemctl|block|settings
right before the Trash move: the Trash is not reached|dbus-update-activation-environment|return|settings
during the Trash move: the move ends, and the log says it happened|systemctl|later|trashed
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
