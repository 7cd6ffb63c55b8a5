#!/usr/bin/env bash
# macOS: installs what the build needs from Homebrew (Qt's base, SVG and tools modules, CMake,
# GoogleTest), then configures and builds build-macos/ with the "macos" preset: the bundle
# build-macos/bin/Tolvane.app and the tests. With --dmg it also makes the disk image
# build-macos/Tolvane-<version>.dmg; the install step inside it writes build-macos/deploy.log.
# Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

[ "$(uname -s)" = Darwin ] || { echo "macos-build.sh builds the macOS bundle; on Linux use scripts/setup.sh" >&2; exit 2; }
command -v brew >/dev/null || { echo "Homebrew is needed: https://brew.sh" >&2; exit 2; }

# Only the Qt modules the controller uses: Homebrew's "qt" formula pulls in every module, WebEngine
# included, several gigabytes.
formulae=(
    qtbase      # Qt Core, Gui, Widgets, Network and the Cocoa platform
    qtsvg       # the SVG image format and icon engine that draw the status images
    qttools     # macdeployqt, which copies Qt into the bundle
    cmake       # the build
    googletest  # the unit tests
)
missing=()
for formula in "${formulae[@]}"; do
    brew list --versions "$formula" >/dev/null || missing+=("$formula")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    brew install "${missing[@]}"
fi

# Homebrew's prefix holds every formula's CMake packages and libraries (its lib folder is also where
# macdeployqt is told to look for Qt's frameworks).
cmake --preset macos -DCMAKE_PREFIX_PATH="$(brew --prefix)" >/dev/null
cmake --build --preset macos -j"$(sysctl -n hw.ncpu)"
if [ "${1:-}" = --dmg ]; then
    # hdiutil now and then answers "Resource busy" while the system scans a fresh image: try again.
    for attempt in 1 2 3; do
        (cd build-macos && cpack -G DragNDrop) && break
        [ "$attempt" -lt 3 ] || exit 1
        echo "cpack failed (attempt $attempt of 3); trying again" >&2
        sleep 10
    done
fi
