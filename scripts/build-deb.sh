#!/usr/bin/env bash
# Builds the Debian package: a release tree installed under /usr, without tests or benchmarks, every
# program compiled and linked with Debian's hardening flags (dpkg-buildflags with hardening=+all:
# fortified functions, stack protector, full RELRO with immediate binding; position-independent
# executables come from the tree itself), then packaged and stripped by CPack.
#
# Usage: scripts/build-deb.sh [BUILD_DIR]    (default: build-deb; the package is left there)
# Needs dpkg-dev (dpkg-buildflags, dpkg-shlibdeps) and file; scripts/setup.sh installs them. A
# compiler launcher such as ccache can be named in CMAKE_CXX_COMPILER_LAUNCHER.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake has no place for preprocessor flags of their own: they go with the compiler's.
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
      -DTOLVANE_BUILD_TESTS=OFF -DTOLVANE_BUILD_BENCHMARKS=OFF \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
