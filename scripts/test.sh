#!/usr/bin/env bash
# Sets everything up, builds, and runs every check and test: the portability checks (every source
# compiles against libc++, no Linux-only call outside a Linux-only file) and the format check, then
# the unit, integration and desktop tiers of the debug build, then the unit and integration tiers
# again under the address and undefined-behaviour sanitizers and under the thread sanitizer, and last
# the Debian package, built as README.md says and judged by lintian and hardening-check.
# Arguments go to the debug build's ctest; TOLVANE_SANITIZERS=0 leaves the sanitizer runs out.
# A failed check does not hold the tests back: everything runs, and the end lists every skipped test
# with its reason, then says what failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

failed=()
scripts/check-portability.sh || failed+=("portability checks")
echo "== Format of every C++ file"
cmake --build --preset debug --target format-check || failed+=("format check (cmake --build build --target format)")
rm -f build/Testing/results.xml
ctest --preset debug --output-on-failure --output-junit "$PWD/build/Testing/results.xml" "$@" || failed+=("tests")
if [ "${TOLVANE_SANITIZERS:-1}" != 0 ]; then
    scripts/sanitizers.sh || failed+=("sanitizer runs")
fi
scripts/check-package.sh || failed+=("Debian package (scripts/check-package.sh)")
# What a green run did not check: every test that could not run here, with its reason.
results=(build/Testing/results.xml)
[ "${TOLVANE_SANITIZERS:-1}" = 0 ] || results+=(build-asan/Testing/results.xml build-tsan/Testing/results.xml)
scripts/list-skipped.py "${results[@]}"
if ((${#failed[@]})); then
    printf '== FAILED: %s\n' "${failed[@]}"
    exit 1
fi
