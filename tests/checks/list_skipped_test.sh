#!/usr/bin/env bash
# scripts/list-skipped.py against the results of a real CTest run of a small project whose tests skip in each of the
# ways ours do: a GoogleTest case that says GTEST_SKIP with a reason, a shell suite with a skipped case,
# a whole suite that exits 77, and tests that pass or fail, which must not be listed.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
lister="$here/../../scripts/list-skipped.py"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/project"
cat >"$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(Skips NONE)
enable_testing()
add_test(NAME gtest.Skips COMMAND sh -c "echo '[ RUN      ] Login.Generator'; echo 'x.cpp:1: Skipped'; echo 'the generator is not installed'; echo '[  SKIPPED ] Login.Generator (0 ms)'")
set_tests_properties(gtest.Skips PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
add_test(NAME gtest.Passes COMMAND sh -c "echo '[       OK ] Login.Writes (0 ms)'")
set_tests_properties(gtest.Passes PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
add_test(NAME shell.SomeCases COMMAND sh -c "echo 'ok    full uninstall'; echo 'skip  the Trash: gio is not installed'")
add_test(NAME shell.AllCases COMMAND sh -c "echo 'every case needs chattr'; exit 77")
set_tests_properties(shell.AllCases PROPERTIES SKIP_RETURN_CODE 77)
add_test(NAME shell.Fails COMMAND sh -c "echo 'skipping nothing'; exit 1")
CMAKE
cmake -S "$work/project" -B "$work/build" >/dev/null
(cd "$work/build" && ctest --output-junit "$work/results.xml" >/dev/null 2>&1) || true   # one test fails on purpose

actual="$(python3 "$lister" "$work/results.xml")"
expected="== Skipped in $work/results.xml: 3
  gtest.Skips: the generator is not installed
  shell.SomeCases: the Trash: gio is not installed
  shell.AllCases: every case needs chattr [SKIP_RETURN_CODE=77]"
if [ "$actual" != "$expected" ]; then
    echo "list-skipped printed:"
    echo "$actual"
    echo "expected:"
    echo "$expected"
    exit 1
fi

# A run without results says so instead of passing for one where nothing was skipped.
none="$(python3 "$lister" "$work/nothing-here.xml")"
[ "$none" = "== $work/nothing-here.xml: no test results" ] || { echo "without results: $none"; exit 1; }
echo "ok"
