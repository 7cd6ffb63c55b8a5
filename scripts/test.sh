#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the unit, integration and desktop tiers of the debug
# build, then the unit and integration tiers again under the address and undefined-behaviour
# sanitizers and under the thread sanitizer. Arguments go to the debug build's ctest;
# TOLVANE_SANITIZERS=0 leaves the sanitizer runs out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
ctest --preset debug --output-on-failure "$@"
if [ "${TOLVANE_SANITIZERS:-1}" != 0 ]; then
    scripts/sanitizers.sh
fi
