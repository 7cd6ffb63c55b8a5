#!/usr/bin/env python3
"""Runs packaging/macos/check_bundle.py, which the macOS workflow runs on the disk image, against a
fake product folder and fake otool and codesign, one fault at a time.

Usage: check_bundle_test.py PATH/TO/check_bundle.py
The fake otool prints load commands and libraries in otool's own layout, as each case sets them.
"""

import os
import plistlib
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest

CHECKER = None  # set from the command line

ARM64, X86_64 = 0x0100000C, 0x01000007


def macho(*cpus):
    """A Mach-O file as far as the checker reads it: a 64-bit header for one CPU type, or a fat header
    with one slice for each."""
    if len(cpus) == 1:
        return b"\xcf\xfa\xed\xfe" + struct.pack("<I", cpus[0]) + b"\0" * 24
    header = b"\xca\xfe\xba\xbe" + struct.pack(">I", len(cpus))
    return header + b"".join(struct.pack(">IIIII", cpu, 0, 4096 * (i + 1), 16, 12) for i, cpu in enumerate(cpus))


MACHO = macho(ARM64)
QT = "@rpath/{0}.framework/Versions/A/{0}"
# Where the bundle's executable finds its frameworks, and the uninstall tool beside the bundle its Qt.
BUNDLE_RPATH = "@executable_path/../Frameworks"
TOOL_RPATH = "@executable_path/Tolvane.app/Contents/Frameworks"

# The fake otool prints what the case wrote for the file's name: NAME.l for -l, NAME.L for -L.
FAKE_OTOOL = r'''#!/bin/sh
for arg; do file=$arg; done
case " $* " in *" -l "*) kind=l ;; *) kind=L ;; esac
echo "$file:"
name=${file##*/}
[ -f "$FAKE_OTOOL_TABLE/$name.$kind" ] || name=default
cat "$FAKE_OTOOL_TABLE/$name.$kind"
'''


def otool_load_commands(entry):
    """otool -l's lines for a file that needs macOS entry["minos"]."""
    lines = ["Load command 0", "      cmd LC_SEGMENT_64", "  cmdsize 72", "  segname __PAGEZERO"]
    if entry.get("old_style"):
        lines += ["Load command 1", "      cmd LC_VERSION_MIN_MACOSX", "  cmdsize 16",
                  f"  version {entry['minos']}", "      sdk 14.4"]
    else:
        lines += ["Load command 1", "      cmd LC_BUILD_VERSION", "  cmdsize 32", " platform 1",
                  f"    minos {entry['minos']}", "      sdk 14.4", "   ntools 1", "     tool 3",
                  "  version 1053.12"]
    lines += ["Load command 2", "      cmd LC_SOURCE_VERSION", "  cmdsize 16", "  version 0.0"]
    for index, rpath in enumerate(entry.get("rpaths", []), start=3):
        lines += [f"Load command {index}", "          cmd LC_RPATH", "      cmdsize 48",
                  f"         path {rpath} (offset 12)"]
    return "\n".join(lines) + "\n"


def otool_libraries(entry):
    """otool -L's lines: one indented line for each library the file loads."""
    return "".join(f"\t{lib} (compatibility version 1.0.0, current version 1.0.0)\n" for lib in entry["libs"])


FAKE_CODESIGN = '''#!/bin/sh
[ "${FAKE_CODESIGN_FAILS:-}" = 1 ] || exit 0
echo "$4: code object is not signed at all" >&2
exit 1
'''


def write(path, data=b"", executable=False):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as handle:
        handle.write(data)
    if executable:
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


class FakeImage:
    """A disk image's top folder with a complete product folder in it."""

    def __init__(self, root):
        self.root = root
        self.product = os.path.join(root, "Tolvane")
        self.bundle = os.path.join(self.product, "Tolvane.app")
        self.plist = {"CFBundleExecutable": "Tolvane", "CFBundleIconFile": "Tolvane.icns",
                      "LSMinimumSystemVersion": "14.0", "LSUIElement": True}
        contents = os.path.join(self.bundle, "Contents")
        write(os.path.join(contents, "MacOS", "Tolvane"), MACHO, executable=True)
        write(os.path.join(contents, "Resources", "Tolvane.icns"), b"icns")
        for name in ("QtCore", "QtGui", "QtWidgets", "QtSvg"):
            write(os.path.join(contents, "Frameworks", f"{name}.framework", "Versions", "A", name), MACHO)
        write(os.path.join(contents, "PlugIns", "platforms", "libqcocoa.dylib"), MACHO)
        write(os.path.join(contents, "PlugIns", "imageformats", "libqsvg.dylib"), MACHO)
        write(os.path.join(contents, "PlugIns", "iconengines", "libqsvgicon.dylib"), MACHO)
        # The uninstall tool: a program that reaches Qt through the bundle's Frameworks.
        write(os.path.join(self.product, "Tolvane_Uninstall.tool"), MACHO, executable=True)
        write(os.path.join(self.product, "support", "tolvane", "tolvane.pex"), MACHO, executable=True)
        write(os.path.join(self.product, ".tolvane-product"), b"# Tolvane controller\n")
        os.symlink("/Applications", os.path.join(root, "Applications"))
        # What otool reports: the executable and the frameworks from inside the bundle, the
        # server from the system only; one framework still carries an old-style minimum.
        self.otool = {
            "Tolvane": {"minos": "14.0", "rpaths": [BUNDLE_RPATH],
                        "libs": [QT.format("QtWidgets"), QT.format("QtCore"), "/usr/lib/libc++.1.dylib"]},
            "libqsvgicon.dylib": {"minos": "14.0", "libs": [QT.format("QtSvg"), QT.format("QtGui")]},
            "Tolvane_Uninstall.tool": {"minos": "14.0", "rpaths": [TOOL_RPATH],
                                       "libs": [QT.format("QtCore"), "/usr/lib/libc++.1.dylib"]},
            "QtCore": {"minos": "13.0", "libs": [QT.format("QtCore"), "/System/Library/Frameworks/"
                                                 "Foundation.framework/Versions/C/Foundation"]},
            "QtGui": {"minos": "10.15", "old_style": True, "libs": [QT.format("QtCore")]},
            "tolvane.pex": {"minos": "14.0", "libs": ["/usr/lib/libSystem.B.dylib"]},
        }
        self.codesign_fails = False

    def replace(self, relative, data):
        path = os.path.join(self.product, relative)
        mode = os.stat(path).st_mode
        write(path, data)
        os.chmod(path, mode)

    def save_plist(self):
        with open(os.path.join(self.bundle, "Contents", "Info.plist"), "wb") as handle:
            plistlib.dump(self.plist, handle)


# Each fault: what it does to a complete image, and a piece of the line that must report it.
FAULTS = [
    ("uninstall tool missing",
     lambda i: os.remove(os.path.join(i.product, "Tolvane_Uninstall.tool")),
     "Tolvane_Uninstall.tool is missing"),
    ("server not executable",
     lambda i: os.chmod(os.path.join(i.product, "support", "tolvane", "tolvane.pex"), 0o644),
     "tolvane.pex is missing or not executable"),
    ("no product marker",
     lambda i: os.remove(os.path.join(i.product, ".tolvane-product")),
     ".tolvane-product is missing"),
    ("no SVG icon engine, which draws the status images on Retina",
     lambda i: os.remove(os.path.join(i.bundle, "Contents", "PlugIns", "iconengines", "libqsvgicon.dylib")),
     "iconengines/libqsvgicon.dylib is missing"),
    ("the executable's run path dropped at install: Qt cannot be found",
     lambda i: i.otool["Tolvane"].update(rpaths=[]),
     "Tolvane.app/Contents/MacOS/Tolvane loads @rpath/QtWidgets.framework/Versions/A/QtWidgets, which no "
     "LC_RPATH resolves in the product (LC_RPATH: none)"),
    ("a run path that names no folder with the framework",
     lambda i: i.otool["Tolvane"].update(rpaths=["@executable_path/../Libraries"]),
     "which no LC_RPATH resolves in the product (LC_RPATH: @executable_path/../Libraries)"),
    ("a framework linked but not deployed",
     lambda i: shutil.rmtree(os.path.join(i.bundle, "Contents", "Frameworks", "QtWidgets.framework")),
     "loads @rpath/QtWidgets.framework/Versions/A/QtWidgets, which no LC_RPATH resolves"),
    ("a run path into the build machine's Homebrew",
     lambda i: i.otool["Tolvane"]["rpaths"].append("/opt/homebrew/lib"),
     "has LC_RPATH /opt/homebrew/lib, outside the product folder"),
    ("a plugin's own @loader_path load that is not there",
     lambda i: i.otool["libqsvgicon.dylib"]["libs"].append("@loader_path/../../Frameworks/libzstd.1.dylib"),
     "libqsvgicon.dylib loads @loader_path/../../Frameworks/libzstd.1.dylib, which is not there"),
    ("the uninstall tool looks for Qt inside itself, as a bundle's executable would",
     lambda i: i.otool["Tolvane_Uninstall.tool"].update(rpaths=[BUNDLE_RPATH]),
     "Tolvane_Uninstall.tool loads @rpath/QtCore.framework/Versions/A/QtCore, which no LC_RPATH resolves"),
    ("the uninstall tool without a run path",
     lambda i: i.otool["Tolvane_Uninstall.tool"].update(rpaths=[]),
     "Tolvane_Uninstall.tool loads @rpath/QtCore.framework/Versions/A/QtCore, which no LC_RPATH resolves"),
    ("a plugin without the executable's architecture",
     lambda i: i.replace("Tolvane.app/Contents/PlugIns/platforms/libqcocoa.dylib", macho(X86_64)),
     "libqcocoa.dylib lacks arm64, which the executable Tolvane has"),
    ("a universal executable beside a single-architecture server",
     lambda i: i.replace("Tolvane.app/Contents/MacOS/Tolvane", macho(ARM64, X86_64)),
     "support/tolvane/tolvane.pex lacks x86_64"),
    ("Qt has both architectures, the executable one",
     lambda i: i.replace("Tolvane.app/Contents/Frameworks/QtCore.framework/Versions/A/QtCore",
                         macho(X86_64, ARM64)),
     "the executable has arm64 only, but the bundled QtCore also has x86_64: the build should be universal"),
    ("an AppleScript to the Finder without the Apple Events text",
     lambda i: i.replace("Tolvane_Uninstall.tool", b"#!/bin/sh\nosascript -e 'tell application \"Finder\"'\n"),
     "Tolvane_Uninstall.tool sends Apple Events, but the Info.plist has no NSAppleEventsUsageDescription"),
    ("no SVG image format",
     lambda i: os.remove(os.path.join(i.bundle, "Contents", "PlugIns", "imageformats", "libqsvg.dylib")),
     "libqsvg.dylib is missing"),
    ("shows a Dock icon",
     lambda i: i.plist.update(LSUIElement=False),
     "LSUIElement is not true"),
    ("icon named but absent",
     lambda i: i.plist.update(CFBundleIconFile="Other.icns"),
     "CFBundleIconFile names"),
    ("a framework needs a newer macOS",
     lambda i: i.otool["QtCore"].update(minos="15.0"),
     "QtCore needs macOS 15.0, but LSMinimumSystemVersion is 14.0"),
    ("an old-style minimum newer than the bundle's",
     lambda i: i.otool["QtGui"].update(minos="14.2"),
     "QtGui needs macOS 14.2"),
    ("a minimum below 10, which text order would get wrong",
     lambda i: i.plist.update(LSMinimumSystemVersion="9.0"),
     "needs macOS 14.0, but LSMinimumSystemVersion is 9.0"),
    ("Qt loaded from Homebrew, not the bundle",
     lambda i: i.otool["Tolvane"]["libs"].append("/opt/homebrew/opt/qt/lib/QtGui.framework/Versions/A/QtGui"),
     "loads /opt/homebrew/opt/qt/lib/QtGui.framework"),
    ("signature broken",
     lambda i: setattr(i, "codesign_fails", True),
     "codesign --verify failed"),
    ("no Applications link in the image",
     lambda i: os.remove(os.path.join(i.root, "Applications")),
     "no link Applications -> /Applications"),
]


class CheckBundleTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tolvane-check-bundle.")
        self.addCleanup(shutil.rmtree, self.work)
        tools = os.path.join(self.work, "tools")
        write(os.path.join(tools, "otool"), FAKE_OTOOL.encode(), executable=True)
        write(os.path.join(tools, "codesign"), FAKE_CODESIGN.encode(), executable=True)
        self.path = tools + os.pathsep + os.environ.get("PATH", "")
        self.image = FakeImage(os.path.join(self.work, "image"))

    def run_checker(self):
        self.image.save_plist()
        table = os.path.join(self.work, "otool")
        shutil.rmtree(table, ignore_errors=True)
        os.makedirs(table)
        for name, entry in dict(self.image.otool, default={"minos": "11.0", "libs": []}).items():
            write(os.path.join(table, f"{name}.l"), otool_load_commands(entry).encode())
            write(os.path.join(table, f"{name}.L"), otool_libraries(entry).encode())
        env = dict(os.environ, PATH=self.path, FAKE_OTOOL_TABLE=table,
                   FAKE_CODESIGN_FAILS="1" if self.image.codesign_fails else "0")
        result = subprocess.run([sys.executable, CHECKER, self.image.product, "--image-root", self.image.root],
                                capture_output=True, text=True, env=env, check=False)
        return result.returncode, result.stdout + result.stderr

    def test_complete_image_passes(self):
        code, output = self.run_checker()
        self.assertEqual(code, 0, output)
        self.assertIn("(arm64)", output)

    def test_universal_image_passes(self):
        universal = macho(ARM64, X86_64)
        for root, _dirs, files in os.walk(self.image.product):
            for name in files:
                path = os.path.join(root, name)
                if os.path.islink(path):
                    continue
                with open(path, "rb") as handle:
                    magic = handle.read(4)
                if magic in (MACHO[:4], universal[:4]):
                    self.image.replace(os.path.relpath(path, self.image.product), universal)
        code, output = self.run_checker()
        self.assertEqual(code, 0, output)
        self.assertIn("(arm64, x86_64)", output)

    def test_loader_path_run_paths_count_from_the_file_that_holds_them(self):
        # The executable's @loader_path is its own folder also when a plugin is the one loading, and a
        # framework finds its siblings through a run path of its own.
        self.image.otool["Tolvane"]["rpaths"] = ["@loader_path/../Frameworks"]
        self.image.otool["QtGui"].update(rpaths=["@loader_path/../../.."])
        code, output = self.run_checker()
        self.assertEqual(code, 0, output)

    def test_apple_events_with_their_text_pass(self):
        self.image.replace("Tolvane_Uninstall.tool", b"#!/bin/sh\nosascript -e 'tell application \"Finder\"'\n")
        self.image.plist["NSAppleEventsUsageDescription"] = "Tolvane asks the Finder to move files to the Trash."
        code, output = self.run_checker()
        self.assertEqual(code, 0, output)

    def test_each_fault_is_reported(self):
        for name, fault, report in FAULTS:
            with self.subTest(name):
                self.setUp()
                fault(self.image)
                code, output = self.run_checker()
                self.assertEqual(code, 1, output)
                self.assertIn(report, output)


if __name__ == "__main__":
    CHECKER = sys.argv.pop(1)
    unittest.main()
