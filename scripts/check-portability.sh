#!/usr/bin/env bash
# Checks that the controller and the programs beside it stay portable to macOS:
#   scripts/check-portability.sh            both checks
#   scripts/check-portability.sh lint       only: no Linux-only call outside a nix/ or linux/ folder
#   scripts/check-portability.sh libcxx     only: every source compiles with clang++ against libc++
# The libc++ check reads the compile commands of the configured debug tree (build/, or $BUILD) and
# generates its moc and uic files first. Needs clang and libc++-dev (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD:-$root/build}
# The sources of the controller and of the programs it ships with; tests and benchmarks run on Linux only.
dirs=(src support)

checks=("$@")
((${#checks[@]})) || checks=(lint libcxx)

status=0
for check in "${checks[@]}"; do
    case "$check" in
    lint)
        echo "== Linux-only calls outside Linux-only files"
        python3 scripts/portability.py lint "$root" "${dirs[@]}" || status=1
        ;;
    libcxx)
        echo "== Syntax of every source with clang++ and libc++"
        if [ ! -f "$build/compile_commands.json" ]; then
            echo "no $build/compile_commands.json: configure the debug tree first (cmake --preset debug)" >&2
            exit 1
        fi
        # The sources include the ui_*.h and moc files that the autogen targets generate: make them first.
        mapfile -t autogen < <(grep -F -e "$build/src/" -e "$build/support/" "$build/CMakeFiles/TargetDirectories.txt" |
            sed -n 's|.*/\([^/]*_autogen\)\.dir$|\1|p')
        if ((${#autogen[@]})); then
            cmake --build "$build" -j2 --target "${autogen[@]}" >/dev/null
        fi
        JOBS=2 python3 scripts/portability.py libcxx "$build" "$root" "${dirs[@]}" || status=1
        ;;
    *)
        echo "unknown check '$check'; expected lint or libcxx" >&2
        exit 2
        ;;
    esac
done
exit "$status"
