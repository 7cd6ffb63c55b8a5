#!/usr/bin/env bash
# Builds the Debian package as README.md says (scripts/build-deb.sh), in a tree of its own, and has
# Debian's checkers judge it: lintian must find no error and no warning, and hardening-check must find
# the hardening features of Debian's flags in every program of the package.
#
# Usage: scripts/check-package.sh [BUILD_DIR]    (default: build/package)
# Needs lintian and devscripts (hardening-check); scripts/setup.sh installs them. The build takes a
# few minutes on two cores; a compiler launcher such as ccache (CMAKE_CXX_COMPILER_LAUNCHER) shortens
# it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}

for tool in lintian hardening-check dpkg-deb; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed: scripts/setup.sh installs it" >&2
        exit 1
    fi
done

log=$(mktemp "${TMPDIR:-/tmp}/tolvane-package.XXXXXX")
contents=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-package.XXXXXX")
trap 'rm -rf "$log" "$contents"' EXIT

rm -f "$build"/*.deb
echo "== Building the Debian package in $build"
if ! scripts/build-deb.sh "$build" >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
packages=("$build"/*.deb)
if ((${#packages[@]} != 1)) || [ ! -f "${packages[0]}" ]; then
    echo "expected one package in $build, found: ${packages[*]}" >&2
    exit 1
fi
package=${packages[0]}

status=0
echo "== lintian $package"
# Informational tags are shown too; errors and warnings fail.
lintian --display-info --fail-on error,warning "$package" || status=1

echo "== hardening-check on every program in the package"
dpkg-deb -x "$package" "$contents"
programs=0
while IFS= read -r -d '' file; do
    # ELF files only: the package holds scripts and data besides.
    [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    programs=$((programs + 1))
    # Control-flow protection (-fcf-protection) is not among the flags that Debian 12's dpkg-buildflags
    # gives; the five it gives (PIE, stack protector, fortified functions, RELRO, immediate binding) are
    # required.
    options=(--nocfprotection)
    # The stand-in server is compiled with the same flags, but level-2 fortification finds nothing to
    # check at run time in it (each buffer's size is proven at compile time or unknown), so no checked
    # function is linked and hardening-check cannot see the flag there; the controller shows it.
    case $file in
        */support/tolvane/tolvane.pex) options+=(--nofortify) ;;
    esac
    hardening-check "${options[@]}" "$file" || status=1
done < <(find "$contents" -type f -perm -u+x -print0 | sort -z)
if ((programs == 0)); then
    echo "no program found in $package" >&2
    status=1
fi
exit "$status"
