#!/usr/bin/env bash
# The groups are called through a variable, which shellcheck cannot follow; the file contents are
# printf formats on purpose, so that a row can hold newlines.
# shellcheck disable=SC2317,SC2059
# Runs the portability checks (scripts/portability.py) on small source trees made here, each with a
# known fault or none, and checks that they fail exactly where they should.
#
# Usage: portability_checks_test.sh [lint|libcxx]...   (default: both)
# Exit status: 0 when every case passed, 77 when every case was skipped, 1 otherwise.
set -u

CHECKER=$(cd "$(dirname "$0")/../../scripts" && pwd)/portability.py
# The interpreter behind python3, found once: a version manager's python3 may take a second a call.
PYTHON=$(python3 -c 'import sys; print(sys.executable)') || { echo "no python3" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-portability-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
GROUPS_WANTED=("$@")
[ ${#GROUPS_WANTED[@]} -gt 0 ] || GROUPS_WANTED=(lint libcxx)

passed=0 failed=0 skipped=0

pass() { passed=$((passed + 1)); echo "ok      $1"; }
fail() { failed=$((failed + 1)); printf 'FAILED  %s: %s\n%s\n' "$1" "$2" "$OUTPUT" | sed '3,$s/^/        /'; }
skip() { skipped=$((skipped + 1)); echo "skip    $1: $2"; }

# Runs the checker; OUTPUT and STATUS hold what it said and how it ended.
run() {
    OUTPUT=$("$PYTHON" "$CHECKER" "$@" 2>&1)
    STATUS=$?
}

# A tree with one file at PATH holding CODE (printf escapes allowed).
tree_with() {
    TREE=$WORK/tree.$((passed + failed + skipped))
    mkdir -p "$TREE/$(dirname "$1")"
    printf "$2" >"$TREE/$1"
}

# ------------------------------------------------------------------ lint

# One row per case: the file, its code, and "clean" or the word and line the lint must report,
# split at "|" (so no code here holds one).
LINT_ROWS=(
    'src/a.cpp|// first\n#include <unistd.h>\nint f(int* p) { return pipe2(p, 0); }\n|pipe2:3'
    'src/platform/nix/a.cpp|int f(int* p) { return pipe2(p, 0); }\n|clean'
    'support/tool/linux/a.cpp|#include <sys/epoll.h>\n|clean'
    'src/platform/mac/a.cpp|#include <sys/prctl.h>\n|<sys/prctl.h>:1'
    'src/a.h|#pragma once\n#include <sys/epoll.h>\n|epoll:2'
    'src/a.mm|int s = socket(1, SOCK_CLOEXEC, 0);\n|SOCK_CLOEXEC:1'
    'src/a.cpp|// pipe2 would save a call\n/* reads\n   /proc/self */ int x;\n|clean'
    'src/a.cpp|const char* p = "/proc/self/stat";\n|/proc:1'
    'src/a.cpp|const char* u = "http://x"; int r = accept4(3, 0, 0, 0);\n|accept4:1'
    "src/a.cpp|char q = '\"'; int r = pipe2(f, 0);\n|pipe2:1"
    "src/a.cpp|long n = 1'000; // pipe2 is not called here\n|clean"
    'src/a.cpp|auto s = R"(a"// b)"; int r = pipe2(f, 0);\n|pipe2:1'
    'src/a.cpp|auto s = R"x(" /* )x"; int r = malloc_trim(0); // */\n|malloc_trim:1'
    'src/a.cpp|auto s = R"x(a)" // )x"; int r = pipe2(f, 0);\n|pipe2:1'
    'src/a.cpp|int mypipe2 = 0, pipe2Count = 1; const char* p = "/process";\n|clean'
)

group_lint() {
    local row file code want name
    for row in "${LINT_ROWS[@]}"; do
        IFS='|' read -r file code want <<<"$row"
        name="lint: $file: ${code%%\\n*}"
        tree_with "$file" "$code"
        run lint "$TREE" src support
        if [ "$want" = clean ]; then
            if [ "$STATUS" -eq 0 ]; then pass "$name"; else fail "$name" "reported, should be clean"; fi
        elif [ "$STATUS" -ne 1 ]; then
            fail "$name" "exit status $STATUS, not 1"
        elif ! grep -qF -- "$file:${want##*:}: '${want%:*}' exists only on Linux" <<<"$OUTPUT"; then
            fail "$name" "does not name '${want%:*}' at $file:${want##*:}"
        else
            pass "$name"
        fi
    done
}

# ------------------------------------------------------------------ libc++

# Adds a compile command for FILE (relative to TREE) with the flags the build would use.
compile_command() {
    printf '{"directory": "%s", "file": "%s", "command": "c++ -DFROM_BUILD=1 -std=c++20 -Wall -Werror -o obj/%s.o -c %s"}' \
        "$TREE/build" "$TREE/$1" "$(basename "$1")" "$TREE/$1"
}

# A tree with the files given as PATH=CODE pairs; those listed in COMPILED go into its compile commands.
libcxx_tree() {
    TREE=$WORK/libcxx.$((passed + failed + skipped))
    mkdir -p "$TREE/build"
    local pair entries=()
    for pair in "$@"; do
        mkdir -p "$TREE/$(dirname "${pair%%=*}")"
        printf "${pair#*=}" >"$TREE/${pair%%=*}"
    done
    for file in $COMPILED; do entries+=("$(compile_command "$file")"); done
    (IFS=,; printf '[%s]\n' "${entries[*]}") >"$TREE/build/compile_commands.json"
}

NEEDS_BUILD_FLAGS='#ifndef FROM_BUILD\n#error compiled without the flags of the build\n#endif\n#include <string>\nstd::string s;\n'
# libstdc++'s <memory> brings std::string along; libc++'s does not.
STRING_FROM_MEMORY='#include <memory>\nstd::string s;\n'
# An unused private field: only clang warns, and the build turns warnings into errors.
UNUSED_FIELD='class A {\npublic:\n    int get() const { return 0; }\n\nprivate:\n    int m_unused = 0;\n};\n'

expect_libcxx() { # NAME WANT(pass|fail) PATTERN
    local name="libc++: $1"
    run libcxx "$TREE/build" "$TREE" "${DIRS[@]}"
    if [ "$2" = pass ] && [ "$STATUS" -ne 0 ]; then
        fail "$name" "failed, should pass"
    elif [ "$2" = fail ] && [ "$STATUS" -ne 1 ]; then
        fail "$name" "exit status $STATUS, not 1"
    elif ! grep -qF -- "$3" <<<"$OUTPUT"; then
        fail "$name" "does not say: $3"
    else
        pass "$name"
    fi
}

group_libcxx() {
    local probe=$WORK/probe.cpp
    printf '#include <string>\n#ifndef _LIBCPP_VERSION\n#error not libc++\n#endif\n' >"$probe"
    if ! command -v clang++ >/dev/null || ! clang++ -stdlib=libc++ -std=c++20 -fsyntax-only "$probe" 2>/dev/null; then
        skip "libc++" "no clang++ with libc++ here (Debian: clang, libc++-dev)"
        return
    fi
    DIRS=(src)

    COMPILED="src/base/ok.cpp"
    libcxx_tree "src/base/ok.cpp=$NEEDS_BUILD_FLAGS"
    expect_libcxx "a file compiles with the flags of the build" pass "1 files compiled, 0 failed"

    libcxx_tree "src/base/ok.cpp=$NEEDS_BUILD_FLAGS" "src/base/mac/borrowed.cpp=$NEEDS_BUILD_FLAGS"
    expect_libcxx "a file the build leaves out borrows the flags of the nearest one" pass \
        "2 files compiled, 0 failed"

    COMPILED="src/base/ok.cpp src/base/string_from_memory.cpp"
    if printf "$STRING_FROM_MEMORY" | c++ -std=c++20 -x c++ -fsyntax-only - 2>/dev/null; then
        libcxx_tree "src/base/ok.cpp=$NEEDS_BUILD_FLAGS" "src/base/string_from_memory.cpp=$STRING_FROM_MEMORY"
        expect_libcxx "an include that only libstdc++ makes for it fails" fail \
            "== src/base/string_from_memory.cpp does not compile with clang++ and libc++"
    else
        skip "libc++: an include that only libstdc++ makes for it fails" "this c++ does not accept it either"
    fi

    COMPILED="src/base/ok.cpp src/base/unused_field.cpp"
    libcxx_tree "src/base/ok.cpp=$NEEDS_BUILD_FLAGS" "src/base/unused_field.cpp=$UNUSED_FIELD"
    expect_libcxx "a warning only clang gives fails under the -Werror of the build" fail \
        "== src/base/unused_field.cpp does not compile with clang++ and libc++"

    COMPILED="src/base/ok.cpp"
    libcxx_tree "src/base/ok.cpp=$NEEDS_BUILD_FLAGS" "src/base/mac/view.mm=@interface View\n@end\n"
    expect_libcxx "an Objective-C++ file is skipped and said so" pass "skipped src/base/mac/view.mm"

    libcxx_tree "src/base/ok.cpp=$NEEDS_BUILD_FLAGS" "other/lonely.cpp=int x;\n"
    DIRS=(src other)
    expect_libcxx "a file with no compiled file near it fails" fail "== other/lonely.cpp: no compile command"
}

for group in "${GROUPS_WANTED[@]}"; do
    case "$group" in
    lint | libcxx) "group_$group" ;;
    *) echo "unknown group '$group'" >&2; exit 2 ;;
    esac
done

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] || exit 1
[ "$passed" -gt 0 ] || exit 77
exit 0
