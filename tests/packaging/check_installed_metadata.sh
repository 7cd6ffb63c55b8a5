#!/usr/bin/env bash
# Installs the build tree into a throwaway folder, as a package would lay it out under /usr, and has
# appstreamcli check what software centres read there: the AppStream metadata, and the desktop entry
# it launches in its place.
#
# Usage: check_installed_metadata.sh BUILD_DIR
# Exit status: 0 when the installed tree validates, 77 when appstreamcli is missing, 1 otherwise.
set -euo pipefail

build=${1:?usage: check_installed_metadata.sh BUILD_DIR}
if ! command -v appstreamcli >/dev/null; then
    echo "skip: appstreamcli is not installed (Debian appstream)"
    exit 77
fi

stage=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-metadata.XXXXXX")
log=$(mktemp "${TMPDIR:-/tmp}/tolvane-metadata-install.XXXXXX")
trap 'rm -rf "$stage" "$log"' EXIT

if ! DESTDIR=$stage cmake --install "$build" --prefix /usr >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
# --strict: a warning (a missing desktop entry, say) fails as an error does; pedantic hints do not.
appstreamcli validate-tree --no-net --strict "$stage"
