#!/usr/bin/env python3
"""Checks an installed macOS product folder: the bundle, the uninstall tool beside it and the server.

Usage: check_bundle.py PRODUCT_FOLDER [--image-root FOLDER]

PRODUCT_FOLDER is /Applications/Tolvane after an install, or the Tolvane folder of the mounted disk
image; --image-root names the image's top folder, which must also hold a link to /Applications.
Runs on macOS (otool and codesign); the macOS workflow runs it on the disk image. Exit status 0 when
every check holds; 1 with one line per failed check otherwise.
"""

import argparse
import os
import plistlib
import re
import subprocess
import sys

APP = "Tolvane.app"
UNINSTALL_TOOL = "Tolvane_Uninstall.tool"
SERVER = os.path.join("support", "tolvane", "tolvane.pex")
MARKER = ".tolvane-product"
# Qt pieces without which the controller cannot show itself: the frameworks it links, the Cocoa
# platform, and the SVG image format that draws the status images.
QT_PIECES = (
    "Contents/Frameworks/QtCore.framework",
    "Contents/Frameworks/QtGui.framework",
    "Contents/Frameworks/QtWidgets.framework",
    "Contents/Frameworks/QtSvg.framework",
    "Contents/PlugIns/platforms/libqcocoa.dylib",
    "Contents/PlugIns/imageformats/libqsvg.dylib",
)
# Where a bundle may load libraries from: itself, or the system.
ALLOWED_LOAD_PREFIXES = ("@rpath/", "@executable_path/", "@loader_path/", "/usr/lib/", "/System/")
MACHO_MAGICS = {b"\xcf\xfa\xed\xfe", b"\xce\xfa\xed\xfe", b"\xca\xfe\xba\xbe", b"\xbe\xba\xfe\xca"}


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def is_macho(path):
    try:
        with open(path, "rb") as handle:
            return handle.read(4) in MACHO_MAGICS
    except OSError:
        return False


def macho_files(folder):
    for root, _dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            if not os.path.islink(path) and is_macho(path):
                yield path


def run(command):
    result = subprocess.run(command, capture_output=True, text=True, check=False)
    return result.returncode, result.stdout + result.stderr


def minimum_versions(path):
    """The oldest macOS each architecture of a Mach-O file needs, from its load commands."""
    code, text = run(["otool", "-arch", "all", "-l", path])
    if code != 0:
        raise RuntimeError(f"otool -l {path} failed: {text.strip()}")
    found = []
    command = None
    for line in text.splitlines():
        words = line.split()
        if len(words) == 2 and words[0] == "cmd":
            command = words[1]
        elif len(words) == 2 and command == "LC_BUILD_VERSION" and words[0] == "minos":
            found.append(words[1])
        elif len(words) == 2 and command == "LC_VERSION_MIN_MACOSX" and words[0] == "version":
            found.append(words[1])
    return found


def linked_libraries(path):
    code, text = run(["otool", "-arch", "all", "-L", path])
    if code != 0:
        raise RuntimeError(f"otool -L {path} failed: {text.strip()}")
    # Each dependency is indented: "\t/path/lib (compatibility version ...)".
    return [m.group(1) for m in re.finditer(r"^\s+(\S.*?) \(compatibility version", text, re.M)]


def executable_file(path):
    return os.path.isfile(path) and os.access(path, os.X_OK)


def check_layout(product, bundle):
    if not os.path.isdir(bundle):
        yield f"no bundle at {bundle}"
        return
    for name in (UNINSTALL_TOOL, SERVER):
        if not executable_file(os.path.join(product, name)):
            yield f"{name} is missing or not executable in {product}"
    if not os.path.isfile(os.path.join(product, MARKER)):
        yield f"{MARKER} is missing in {product}: the uninstall tool would not remove the folder"
    for piece in QT_PIECES:
        if not os.path.exists(os.path.join(bundle, piece)):
            yield f"{APP}/{piece} is missing: macdeployqt did not deploy it"


def check_plist(bundle):
    """Returns the bundle's Info.plist and the failures found in it."""
    with open(os.path.join(bundle, "Contents", "Info.plist"), "rb") as handle:
        plist = plistlib.load(handle)
    failures = []
    executable = os.path.join(bundle, "Contents", "MacOS", plist.get("CFBundleExecutable", "?"))
    if not executable_file(executable):
        failures.append(f"CFBundleExecutable names {executable}, which is no executable file")
    icon = os.path.join(bundle, "Contents", "Resources", plist.get("CFBundleIconFile", "?"))
    if not os.path.isfile(icon):
        failures.append(f"CFBundleIconFile names {icon}, which is not there")
    if plist.get("LSUIElement") is not True:
        failures.append("LSUIElement is not true: the controller would show a Dock icon")
    return plist, failures


def check_binaries(product, minimum):
    for path in macho_files(product):
        shown = os.path.relpath(path, product)
        for needed in minimum_versions(path):
            if version_tuple(needed) > version_tuple(minimum):
                yield f"{shown} needs macOS {needed}, but LSMinimumSystemVersion is {minimum}"
        for library in linked_libraries(path):
            # A library's own install name comes first in the list; only what it loads counts.
            if os.path.basename(library) == os.path.basename(path):
                continue
            if not library.startswith(ALLOWED_LOAD_PREFIXES):
                yield f"{shown} loads {library} from outside the bundle"


def check_signature(bundle):
    code, text = run(["codesign", "--verify", "--deep", "--strict", bundle])
    if code != 0:
        yield f"codesign --verify failed for {bundle}: {text.strip()}"


def check_image_root(root, product):
    applications = os.path.join(root, "Applications")
    if not os.path.islink(applications) or os.readlink(applications) != "/Applications":
        yield f"{root} has no link Applications -> /Applications to drag the product folder onto"
    if os.path.dirname(os.path.abspath(product)) != os.path.abspath(root):
        yield f"the product folder {product} is not at the top of the image {root}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("product")
    parser.add_argument("--image-root")
    args = parser.parse_args()
    product = args.product
    bundle = os.path.join(product, APP)

    failures = list(check_layout(product, bundle))
    if os.path.isdir(bundle):
        plist, plist_failures = check_plist(bundle)
        failures.extend(plist_failures)
        minimum = plist.get("LSMinimumSystemVersion")
        if not minimum:
            failures.append("LSMinimumSystemVersion is not set")
        else:
            failures.extend(check_binaries(product, minimum))
        failures.extend(check_signature(bundle))
    if args.image_root:
        failures.extend(check_image_root(args.image_root, product))

    for failure in failures:
        print(f"check_bundle: {failure}")
    if not failures:
        print(f"check_bundle: {product} holds a complete, signed {APP} and its companions")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
