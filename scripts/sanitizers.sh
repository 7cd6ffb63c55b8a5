#!/usr/bin/env bash
# Builds the unit and integration tiers with the sanitizers and runs them:
#   scripts/sanitizers.sh            both runs, address+undefined (build-asan/) then thread (build-tsan/)
#   scripts/sanitizers.sh asan       only the address and undefined-behaviour run
#   scripts/sanitizers.sh tsan       only the thread run
# Extra arguments after the run names go to ctest. Needs what scripts/setup.sh installs.
#
# Every program of the run (the test programs, and the controller and stand-in server they start,
# whose standard error may go into a command's pipe) writes its sanitizer reports into one folder;
# a run with any report in it fails, even where the program's own exit status was lost.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runs=()
while (($#)); do
    case "$1" in
    asan | tsan) runs+=("$1") ;;
    *) break ;;
    esac
    shift
done
((${#runs[@]})) || runs=(asan tsan)

# The shell test suite of the uninstall tool has no C++ in it; the desktop tier has its own run.
selection=(-L 'unit|integration' -E '^uninstall_tool\.')

status=0
for run in "${runs[@]}"; do
    echo "== Sanitizer run: $run"
    cmake --preset "$run" -DTOLVANE_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build --preset "$run" -j"$(nproc)"

    reports=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-$run-reports.XXXXXX")
    common="log_path=$reports/report:print_summary=1"
    export UBSAN_OPTIONS="$common:print_stacktrace=1:halt_on_error=1"
    export ASAN_OPTIONS="$common:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
    export TSAN_OPTIONS="$common:halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/sanitizers/tsan.supp"

    failed=0
    rm -f "$root/build-$run/Testing/results.xml"
    ctest --preset "$run" "${selection[@]}" -j"$(nproc)" --output-junit "$root/build-$run/Testing/results.xml" "$@" \
        || failed=1
    if compgen -G "$reports/report*" >/dev/null; then
        echo "== $run: sanitizer reports:"
        for report in "$reports"/report*; do
            echo "-- $report"
            cat "$report"
        done
        failed=1
    fi
    rm -rf "$reports"
    unset UBSAN_OPTIONS ASAN_OPTIONS TSAN_OPTIONS
    if ((failed)); then
        echo "== $run: FAILED"
        status=1
    else
        echo "== $run: clean"
    fi
done
exit "$status"
