#!/usr/bin/env python3
"""Checks the bundle's .icns icon against the product mark it is made from.

Usage: check_icns.py ICON.icns MARK.svg

- icns2png (Debian icnsutils), an independent reader, must read the whole container;
- the container holds a PNG entry for every size of a macOS icon set, each of its type's size;
- every entry must look like the mark as librsvg draws it at that size (ImageMagick's compare).

Exit status 0 when every check holds, 77 when a tool is missing (the test is skipped), 1 otherwise.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

# Every entry an icon set needs: the type and the edge of its square in pixels.
EXPECTED = {
    "icp4": 16, "ic11": 32, "icp5": 32, "ic12": 64, "ic07": 128,
    "ic13": 256, "ic08": 256, "ic14": 512, "ic09": 512, "ic10": 1024,
}
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
# Root-mean-square difference, 0 to 1, between an entry and librsvg's drawing of the mark. Two
# renderers differ by anti-aliasing and gradient steps (about 0.05 here); an empty square, another
# image or a misplaced drawing differ by 0.5 and more.
MOST_DIFFERENCE = 0.12
TOOLS = {"icns2png": "icnsutils", "rsvg-convert": "librsvg2-bin", "compare": "imagemagick"}


def read_entries(data):
    """Yields (type, payload) of each entry, or raises ValueError where the container is broken."""
    if data[:4] != b"icns":
        raise ValueError(f"the file starts with {data[:4]!r}, not b'icns'")
    (total,) = struct.unpack(">I", data[4:8])
    if total != len(data):
        raise ValueError(f"the header gives {total} bytes, the file has {len(data)}")
    offset = 8
    while offset < total:
        if offset + 8 > total:
            raise ValueError(f"an entry header runs past the end at byte {offset}")
        kind = data[offset:offset + 4].decode("latin-1")
        (length,) = struct.unpack(">I", data[offset + 4:offset + 8])
        if length < 8 or offset + length > total:
            raise ValueError(f"entry {kind!r} at byte {offset} has the impossible length {length}")
        yield kind, data[offset + 8:offset + length]
        offset += length


def png_size(payload):
    if payload[:8] != PNG_SIGNATURE or payload[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", payload[16:24])


def difference(image, reference):
    result = subprocess.run(["compare", "-metric", "RMSE", image, reference, "null:"],
                            capture_output=True, text=True, check=False)
    match = re.search(r"\(([0-9.eE+-]+)\)", result.stderr)
    if result.returncode > 1 or not match:
        raise RuntimeError(f"compare failed: {result.stderr.strip()}")
    return float(match.group(1))


def check(icon, mark, work):
    failures = []

    listing = subprocess.run(["icns2png", "-l", icon], capture_output=True, text=True, check=False)
    found = re.search(r"(\d+) elements total found", listing.stdout)
    if listing.returncode != 0 or not found:
        failures.append(f"icns2png cannot read {icon}: {listing.stdout}{listing.stderr}")
    elif int(found.group(1)) != len(EXPECTED):
        failures.append(f"icns2png finds {found.group(1)} entries, expected {len(EXPECTED)}")

    with open(icon, "rb") as handle:
        data = handle.read()
    try:
        entries = list(read_entries(data))
    except ValueError as error:
        return failures + [f"broken container: {error}"]

    seen = {}
    for kind, payload in entries:
        if kind in seen:
            failures.append(f"entry {kind!r} appears twice")
        seen[kind] = payload
    for kind in sorted(set(EXPECTED) - set(seen)):
        failures.append(f"no entry {kind!r} ({EXPECTED[kind]} pixels)")
    for kind in sorted(set(seen) - set(EXPECTED)):
        failures.append(f"unexpected entry {kind!r}")

    for kind, pixels in EXPECTED.items():
        payload = seen.get(kind)
        if payload is None:
            continue
        size = png_size(payload)
        if size != (pixels, pixels):
            failures.append(f"entry {kind!r} is {size or 'no PNG'}, expected {pixels}x{pixels} PNG")
            continue
        entry_png = os.path.join(work, f"{kind}.png")
        with open(entry_png, "wb") as handle:
            handle.write(payload)
        reference = os.path.join(work, f"mark-{pixels}.png")
        if not os.path.exists(reference):
            subprocess.run(["rsvg-convert", "--width", str(pixels), "--height", str(pixels),
                            "--output", reference, mark], check=True)
        apart = difference(entry_png, reference)
        if apart > MOST_DIFFERENCE:
            failures.append(f"entry {kind!r} differs from the mark by {apart:.3f} "
                            f"(at most {MOST_DIFFERENCE})")
        else:
            print(f"{kind} {pixels}x{pixels}: {apart:.3f} from the mark")
    return failures


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    missing = [f"{tool} (Debian {package})" for tool, package in TOOLS.items() if not shutil.which(tool)]
    if missing:
        print("skip: not installed: " + ", ".join(missing))
        return 77
    icon, mark = sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        failures = check(icon, mark, work)
    for failure in failures:
        print(f"{icon}: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
