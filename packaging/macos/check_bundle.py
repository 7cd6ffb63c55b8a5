#!/usr/bin/env python3
"""Checks an installed macOS product folder: the bundle, the uninstall tool beside it and the server.

Usage: check_bundle.py PRODUCT_FOLDER [--image-root FOLDER]

PRODUCT_FOLDER is /Applications/Tolvane after an install, or the Tolvane folder of the mounted disk
image; --image-root names the image's top folder, which must also hold a link to /Applications.
Runs on macOS (otool and codesign); the macOS workflow runs it on the disk image. Exit status 0 when
every check holds; 1 with one line per failed check otherwise.

Besides the layout and the Info.plist, it follows every library load the way the loader does: an
@rpath load must be found through an LC_RPATH of the loading file (or of the bundle's executable, for
what the bundle loads), in the product folder or the system; @executable_path and @loader_path loads
must name a file that is there. It reads each binary's architectures from its Mach-O header: every
binary carries every architecture of the executable, and the executable every one of the bundled
QtCore (a universal build when Qt has both). A product that sends Apple Events to another
application (an AppleScript "tell application") needs NSAppleEventsUsageDescription, or the system
refuses them without asking the user.
"""

import argparse
import os
import plistlib
import re
import struct
import subprocess
import sys

APP = "Tolvane.app"
UNINSTALL_TOOL = "Tolvane_Uninstall.tool"
SERVER = os.path.join("support", "tolvane", "tolvane.pex")
MARKER = ".tolvane-product"
QTCORE = "Contents/Frameworks/QtCore.framework/Versions/A/QtCore"
# Qt pieces without which the controller cannot show itself: the frameworks it links, the Cocoa
# platform, the SVG image format and the SVG icon engine, which draws the status images at the
# menu bar's scale on a Retina screen.
QT_PIECES = (
    "Contents/Frameworks/QtCore.framework",
    "Contents/Frameworks/QtGui.framework",
    "Contents/Frameworks/QtWidgets.framework",
    "Contents/Frameworks/QtSvg.framework",
    "Contents/PlugIns/platforms/libqcocoa.dylib",
    "Contents/PlugIns/imageformats/libqsvg.dylib",
    "Contents/PlugIns/iconengines/libqsvgicon.dylib",
)
# Where a bundle may load libraries from: itself, or the system.
ALLOWED_LOAD_PREFIXES = ("@rpath/", "@executable_path/", "@loader_path/", "/usr/lib/", "/System/")
SYSTEM_PREFIXES = ("/usr/lib/", "/System/")
MACHO_MAGICS = {b"\xcf\xfa\xed\xfe", b"\xce\xfa\xed\xfe", b"\xca\xfe\xba\xbe", b"\xbe\xba\xfe\xca"}
# Mach-O CPU types (mach/machine.h) and how lipo names them.
CPU_NAMES = {7: "i386", 0x01000007: "x86_64", 12: "arm", 0x0100000C: "arm64", 0x0200000C: "arm64_32"}
# What sends an Apple Event to another application from a script or a program.
APPLE_EVENT_MARK = b"tell application"


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


def load_commands(path):
    """Each line of otool -l for every architecture of a Mach-O file, with the load command it is in."""
    code, text = run(["otool", "-arch", "all", "-l", path])
    if code != 0:
        raise RuntimeError(f"otool -l {path} failed: {text.strip()}")
    command = None
    for line in text.splitlines():
        words = line.split()
        if len(words) == 2 and words[0] == "cmd":
            command = words[1]
        else:
            yield command, words, line


def minimum_versions(path):
    """The oldest macOS each architecture of a Mach-O file needs, from its load commands."""
    found = []
    for command, words, _ in load_commands(path):
        if len(words) == 2 and command == "LC_BUILD_VERSION" and words[0] == "minos":
            found.append(words[1])
        elif len(words) == 2 and command == "LC_VERSION_MIN_MACOSX" and words[0] == "version":
            found.append(words[1])
    return found


def architectures(path):
    """The architectures of a Mach-O file, read from its header: a fat file's slices, or the one."""
    with open(path, "rb") as handle:
        head = handle.read(8)
        if len(head) < 8:
            return set()
        if head[:4] in (b"\xca\xfe\xba\xbe", b"\xca\xfe\xba\xbf"):
            count = struct.unpack(">I", head[4:8])[0]
            size = 20 if head[3] == 0xBE else 32  # fat_arch or fat_arch_64
            found = set()
            for _ in range(count):
                entry = handle.read(size)
                if len(entry) < 8:
                    break
                cpu = struct.unpack(">I", entry[:4])[0]
                found.add(CPU_NAMES.get(cpu, f"cpu{cpu:#x}"))
            return found
        order = "<" if head[:4] in (b"\xcf\xfa\xed\xfe", b"\xce\xfa\xed\xfe") else ">"
        cpu = struct.unpack(order + "I", head[4:8])[0]
        return {CPU_NAMES.get(cpu, f"cpu{cpu:#x}")}


def run_paths(path):
    """The LC_RPATH entries of a Mach-O file, from otool -l, in order and without repeats."""
    found = []
    for command, words, line in load_commands(path):
        if command == "LC_RPATH" and words and words[0] == "path":
            entry = re.sub(r" \(offset \d+\)$", "", line.strip()[len("path"):].strip())
            if entry not in found:
                found.append(entry)
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


def inside(path, folder):
    path, folder = os.path.realpath(path), os.path.realpath(folder)
    return os.path.commonpath([path, folder]) == folder


class LoadContext:
    """What the loader substitutes for one file: @executable_path, @loader_path and the run paths, each
    run path with the file that holds it (an @loader_path in it means that file's folder)."""

    def __init__(self, path, executable_dir, inherited):
        self.path = path
        self.executable_dir = executable_dir
        own = [(entry, path) for entry in run_paths(path)]
        self.owned = own + [pair for pair in inherited if pair[0] not in {entry for entry, _ in own}]
        self.rpaths = [entry for entry, _ in self.owned]

    def expand(self, text, owner=None):
        for token, value in (("@executable_path", self.executable_dir),
                             ("@loader_path", os.path.dirname(owner or self.path))):
            if text.startswith(token):
                return os.path.normpath(value + text[len(token):])
        return os.path.normpath(text)


def check_loads(product, bundle, path, context):
    shown = os.path.relpath(path, product)
    for entry, _owner in context.owned:
        if entry.startswith("/") and not entry.startswith(SYSTEM_PREFIXES) and not inside(entry, product):
            yield f"{shown} has LC_RPATH {entry}, outside the product folder"
    for library in linked_libraries(path):
        # A library's own install name comes first in the list; only what it loads counts.
        if os.path.basename(library) == os.path.basename(path):
            continue
        if not library.startswith(ALLOWED_LOAD_PREFIXES):
            yield f"{shown} loads {library} from outside the bundle"
        elif library.startswith("@rpath/"):
            rest = library[len("@rpath/"):]
            found = [context.expand(entry, owner) for entry, owner in context.owned
                     if os.path.exists(os.path.join(context.expand(entry, owner), rest))]
            if not any(inside(folder, product) or folder.startswith(SYSTEM_PREFIXES) for folder in found):
                searched = ", ".join(context.rpaths) or "none"
                yield (f"{shown} loads {library}, which no LC_RPATH resolves in the product "
                       f"(LC_RPATH: {searched}): the loader would not find it")
        elif library.startswith(("@executable_path/", "@loader_path/")):
            if not os.path.exists(context.expand(library)):
                yield f"{shown} loads {library}, which is not there ({context.expand(library)})"


def check_binaries(product, bundle, executable, minimum):
    main_rpaths = [(entry, executable) for entry in run_paths(executable)] if os.path.isfile(executable) else []
    for path in macho_files(product):
        shown = os.path.relpath(path, product)
        for needed in minimum_versions(path):
            if version_tuple(needed) > version_tuple(minimum):
                yield f"{shown} needs macOS {needed}, but LSMinimumSystemVersion is {minimum}"
        # What the bundle loads is found also through the executable's run paths; a program beside
        # the bundle (the uninstall tool, the server) is an executable of its own.
        if inside(path, bundle):
            inherited = [] if os.path.samefile(path, executable) else main_rpaths
            context = LoadContext(path, os.path.dirname(executable), inherited)
        else:
            context = LoadContext(path, os.path.dirname(path), [])
        yield from check_loads(product, bundle, path, context)


def check_architectures(product, bundle, executable):
    """Returns the executable's architectures and the failures: a binary without one of them, or an
    executable without one that the bundled Qt has."""
    if not is_macho(executable):
        return set(), []
    wanted = architectures(executable)
    failures = []
    for path in macho_files(product):
        missing = wanted - architectures(path)
        if missing:
            failures.append(f"{os.path.relpath(path, product)} lacks {', '.join(sorted(missing))}, "
                            f"which the executable {os.path.basename(executable)} has")
    qtcore = os.path.join(bundle, QTCORE)
    if is_macho(qtcore):
        extra = architectures(qtcore) - wanted
        if extra:
            failures.append(f"the executable has {', '.join(sorted(wanted))} only, but the bundled QtCore also "
                            f"has {', '.join(sorted(extra))}: the build should be universal")
    return wanted, failures


def sends_apple_events(product):
    """The files of the product that send an Apple Event to another application."""
    for root, _dirs, files in os.walk(product):
        for name in files:
            path = os.path.join(root, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, "rb") as handle:
                if APPLE_EVENT_MARK in handle.read():
                    yield path


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
    slices = set()
    if os.path.isdir(bundle):
        plist, plist_failures = check_plist(bundle)
        failures.extend(plist_failures)
        executable = os.path.join(bundle, "Contents", "MacOS", plist.get("CFBundleExecutable", "?"))
        minimum = plist.get("LSMinimumSystemVersion")
        if not minimum:
            failures.append("LSMinimumSystemVersion is not set")
        else:
            failures.extend(check_binaries(product, bundle, executable, minimum))
        slices, slice_failures = check_architectures(product, bundle, executable)
        failures.extend(slice_failures)
        if "NSAppleEventsUsageDescription" not in plist:
            for path in sends_apple_events(product):
                failures.append(f"{os.path.relpath(path, product)} sends Apple Events, but the Info.plist has no "
                                "NSAppleEventsUsageDescription: the system would refuse them")
        failures.extend(check_signature(bundle))
    if args.image_root:
        failures.extend(check_image_root(args.image_root, product))

    for failure in failures:
        print(f"check_bundle: {failure}")
    if not failures:
        shown = ", ".join(sorted(slices)) or "unknown"
        print(f"check_bundle: {product} holds a complete, signed {APP} ({shown}) and its companions")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
