#!/bin/sh
# Runs packaging/macos/DeployBundle.cmake, the install step that copies Qt into the macOS bundle,
# against a stand-in macdeployqt and a recording codesign: macdeployqt is given Qt's and Homebrew's
# library folders, its output lands in the deploy log, and an "ERROR:" line fails the install even
# when macdeployqt exits 0 (as it does when it cannot resolve an @rpath framework).
# Usage: deploy_bundle_test.sh CMAKE PATH/TO/DeployBundle.cmake
set -u
CMAKE=$1
SCRIPT=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-deploy.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/bin"
cat >"$WORK/macdeployqt" <<'TOOL'
#!/bin/sh
printf '%s\n' "$@" >"$WORK_DIR/macdeployqt.args"
echo "Log: Deploying Qt frameworks found inside: ()"
[ -z "${FAKE_ERROR:-}" ] || echo "ERROR: no file at \"/opt/homebrew/lib/QtGui.framework/Versions/A/QtGui\"" >&2
echo "WARNING: Plugin \"libqsvgicon.dylib\" uses private API and is not Mac App Store compliant."
exit "${FAKE_STATUS:-0}"
TOOL
cat >"$WORK/bin/codesign" <<'TOOL'
#!/bin/sh
printf '%s\n' "$*" >>"$WORK_DIR/codesign.log"
TOOL
chmod +x "$WORK/macdeployqt" "$WORK/bin/codesign"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# deploy NAME EXPECTED_STATUS [VARIABLE=VALUE...]: runs the step with those settings of the stand-in.
deploy() {
    name=$1 expected=$2
    shift 2
    rm -f "$WORK/macdeployqt.args" "$WORK/codesign.log" "$WORK/deploy.log"
    env PATH="$WORK/bin:$PATH" WORK_DIR="$WORK" "$@" "$CMAKE" \
        -DTOLVANE_MACDEPLOYQT="$WORK/macdeployqt" -DTOLVANE_BUNDLE=/Applications/Tolvane/Tolvane.app \
        "-DTOLVANE_DEPLOY_LIBPATHS=/opt/homebrew/opt/qtbase/lib;/opt/homebrew/lib" \
        -DTOLVANE_DEPLOY_LOG="$WORK/deploy.log" -DTOLVANE_DEPLOY_TOOL=/Applications/Tolvane/Tolvane_Uninstall.tool \
        -P "$SCRIPT" >"$WORK/out" 2>&1
    status=$?
    if [ "$expected" = 0 ] && [ "$status" != 0 ]; then fail "$name: failed"; cat "$WORK/out"; fi
    if [ "$expected" != 0 ] && [ "$status" = 0 ]; then fail "$name: passed"; cat "$WORK/out"; fi
    return 0
}

deploy "clean deployment" 0
grep -qx -- "-libpath=/opt/homebrew/opt/qtbase/lib" "$WORK/macdeployqt.args" || fail "Qt's lib folder not passed"
grep -qx -- "-libpath=/opt/homebrew/lib" "$WORK/macdeployqt.args" || fail "Homebrew's lib folder not passed"
grep -q "Deploying Qt frameworks" "$WORK/deploy.log" || fail "macdeployqt's output is not in the deploy log"
grep -qx -- "--force --deep --sign - /Applications/Tolvane/Tolvane.app" "$WORK/codesign.log" ||
    fail "the bundle is not signed again"
grep -qx -- "--force --sign - /Applications/Tolvane/Tolvane_Uninstall.tool" "$WORK/codesign.log" ||
    fail "the uninstall tool is not signed again"

deploy "an ERROR: line with exit status 0" 1 FAKE_ERROR=1
grep -q 'ERROR: no file at "/opt/homebrew/lib/QtGui.framework' "$WORK/out" || fail "the ERROR: line is not shown"
grep -q "ERROR: no file" "$WORK/deploy.log" || fail "the ERROR: line is not in the deploy log"
[ ! -s "$WORK/codesign.log" ] || fail "a failed deployment was signed"

deploy "a failing macdeployqt" 1 FAKE_STATUS=3
tr -s " \n" "  " <"$WORK/out" | grep -q "(exit status 3)" || fail "the exit status is not shown"

[ "$failures" = 0 ] && echo "deploy_bundle_test: all cases passed"
[ "$failures" = 0 ]
