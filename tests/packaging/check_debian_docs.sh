#!/usr/bin/env bash
# Checks the Debian package's changelog and manual page where they are made, without building the
# package (scripts/check-package.sh has lintian judge the package itself):
# - the changelog parses, and its latest entry is the project's version, by the package's contact;
# - the manual page formats without a warning from man and groff (the check lintian makes).
#
# Usage: check_debian_docs.sh CHANGELOG VERSION CONTACT MAN_PAGE
# Exit status: 0 when both hold, 77 when dpkg-parsechangelog or man is missing, 1 otherwise.
set -euo pipefail

changelog=$1 version=$2 contact=$3 page=$4
for tool in dpkg-parsechangelog man; do
    if ! command -v "$tool" >/dev/null; then
        echo "skip: $tool is not installed (Debian dpkg-dev, man-db)"
        exit 77
    fi
done

status=0
if ! latest=$(dpkg-parsechangelog -l "$changelog" -S Version 2>&1); then
    echo "$changelog does not parse: $latest"
    exit 1
fi
if [ "$latest" != "$version" ]; then
    echo "$changelog: the latest entry is $latest, the project's version $version: add an entry for it"
    status=1
fi
maintainer=$(dpkg-parsechangelog -l "$changelog" -S Maintainer)
if [ "$maintainer" != "$contact" ]; then
    echo "$changelog: the latest entry is by '$maintainer', the package's contact is '$contact'"
    status=1
fi

warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "$page: man and groff warn:"
    echo "$warnings"
    status=1
fi
[ "$status" -ne 0 ] || echo "$changelog names $version; $page formats cleanly"
exit "$status"
