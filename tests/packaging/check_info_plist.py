#!/usr/bin/env python3
"""Checks a configured Info.plist of the macOS bundle with Python's own property-list parser.

Usage: check_info_plist.py INFO_PLIST --version V --identifier ID --executable NAME --icon FILE
                           --minimum MACOS --copyright TEXT

Exit status 0 when every check holds; 1 with one line per failed check otherwise.
"""

import argparse
import plistlib
import re
import sys

# No Qt 6 runs on a macOS older than this, so a bundle that claims less is wrong.
QT6_OLDEST_MACOS = (10, 14)


def version_tuple(text):
    if not re.fullmatch(r"\d+(\.\d+){0,2}", text):
        return None
    return tuple(int(part) for part in text.split("."))


def leftovers(value, path="plist"):
    """Yields the paths of strings that still hold a configure placeholder."""
    if isinstance(value, dict):
        for key, item in value.items():
            yield from leftovers(item, f"{path}.{key}")
    elif isinstance(value, list):
        for index, item in enumerate(value):
            yield from leftovers(item, f"{path}[{index}]")
    elif isinstance(value, str) and re.search(r"@[A-Za-z_]+@|\$\{[^}]*\}", value):
        yield f"{path} = {value!r}"


def check(plist, args):
    expected = {
        "CFBundleIdentifier": args.identifier,
        "CFBundleExecutable": args.executable,
        "CFBundleName": args.executable,
        "CFBundleIconFile": args.icon,
        "CFBundleShortVersionString": args.version,
        "CFBundleVersion": args.version,
        "LSMinimumSystemVersion": args.minimum,
        "CFBundlePackageType": "APPL",
        "NSHumanReadableCopyright": args.copyright,
    }
    for key, want in expected.items():
        got = plist.get(key)
        if got != want:
            yield f"{key} is {got!r}, expected {want!r}"

    # A menu-bar application: a real boolean true, not a string or a number.
    if plist.get("LSUIElement") is not True:
        yield f"LSUIElement is {plist.get('LSUIElement')!r}, expected the boolean true"

    minimum = version_tuple(str(plist.get("LSMinimumSystemVersion", "")))
    if minimum is None:
        yield f"LSMinimumSystemVersion {plist.get('LSMinimumSystemVersion')!r} is not a version"
    elif minimum < QT6_OLDEST_MACOS:
        yield (f"LSMinimumSystemVersion {plist['LSMinimumSystemVersion']} is older than any Qt 6 "
               f"supports ({'.'.join(map(str, QT6_OLDEST_MACOS))})")

    for place in leftovers(plist):
        yield f"unreplaced placeholder: {place}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("plist")
    for option in ("version", "identifier", "executable", "icon", "minimum", "copyright"):
        parser.add_argument(f"--{option}", required=True)
    args = parser.parse_args()

    try:
        with open(args.plist, "rb") as handle:
            plist = plistlib.load(handle, fmt=plistlib.FMT_XML)
    except (OSError, plistlib.InvalidFileException, ValueError) as error:
        print(f"{args.plist}: not a readable XML property list: {error}")
        return 1
    if not isinstance(plist, dict):
        print(f"{args.plist}: the top level is {type(plist).__name__}, not a dictionary")
        return 1

    failures = list(check(plist, args))
    for failure in failures:
        print(f"{args.plist}: {failure}")
    if not failures:
        print(f"{args.plist}: {len(plist)} keys, all as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
