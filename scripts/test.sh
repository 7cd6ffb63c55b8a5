#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: unit, integration and desktop tiers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
ctest --preset debug --output-on-failure "$@"
