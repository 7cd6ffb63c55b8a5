#!/bin/sh
# The architectures of the macOS build (packaging/macos/Architectures.cmake): universal exactly when
# Qt's QtCore has both the arm64 and the x86_64 slice, as a stand-in lipo reports them; a choice given
# on the command line wins.
# Usage: architectures_test.sh CMAKE SOURCE_DIR
set -u
CMAKE=$1
SOURCE=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-archs.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/bin"
printf '#!/bin/sh\n[ "$1" = -archs ] || exit 2\ncat "$2"\n' >"$WORK/bin/lipo"
chmod +x "$WORK/bin/lipo"

failures=0
# case SLICES EXPECTED [EXTRA CMAKE ARGUMENTS]
case_of() {
    slices=$1 expected=$2
    shift 2
    printf '%s\n' "$slices" >"$WORK/QtCore"
    rm -rf "$WORK/build"
    output=$(PATH="$WORK/bin:$PATH" "$CMAKE" -S "$SOURCE/tests/packaging/architectures" -B "$WORK/build" \
        -DTOLVANE_SOURCE_DIR="$SOURCE" -DFAKE_QTCORE="$WORK/QtCore" "$@" 2>&1)
    chosen=$(printf '%s\n' "$output" | sed -n 's/^-- chosen: \[\(.*\)\]$/\1/p')
    if [ "$chosen" != "$expected" ]; then
        echo "FAIL: Qt with '$slices' $*: chose [$chosen], expected [$expected]"
        printf '%s\n' "$output"
        failures=$((failures + 1))
    fi
}

case_of "x86_64 arm64" "arm64;x86_64"
case_of "arm64 x86_64" "arm64;x86_64"
case_of "arm64" ""
case_of "x86_64" ""
case_of "x86_64 arm64" "arm64" -DCMAKE_OSX_ARCHITECTURES=arm64

[ "$failures" = 0 ] && echo "architectures_test: every case chose as expected"
[ "$failures" = 0 ]
