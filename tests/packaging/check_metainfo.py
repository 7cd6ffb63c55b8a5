#!/usr/bin/env python3
"""Checks that the AppStream metadata agrees with the product: what appstreamcli cannot know.

Usage: check_metainfo.py METAINFO.xml DESKTOP_ENTRY SCREENSHOT_DIR --id ID --name NAME --license SPDX

- the component's id is ID, and its name and the desktop entry's Name are both NAME;
- it launches the desktop entry that is installed (its file name);
- each screenshot is an https URL of a picture that SCREENSHOT_DIR holds, and each picture there
  is shown;
- it carries a content rating;
- its project licence is SPDX, the licence of LICENSE.

Exit status 0 when every check holds; 1 with one line per failed check otherwise.
"""

import argparse
import configparser
import os
import sys
import urllib.parse
import xml.etree.ElementTree as ElementTree


def desktop_name(path):
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str  # keys are case-sensitive
    entry.read(path, encoding="utf-8")
    return entry.get("Desktop Entry", "Name", fallback=None)


def check(component, args):
    if component.tag != "component" or component.get("type") != "desktop-application":
        yield f"the root is <{component.tag} type={component.get('type')!r}>, not a desktop application"
    if component.findtext("id") != args.id:
        yield f"id is {component.findtext('id')!r}, expected {args.id!r}"
    if component.findtext("name") != args.name:
        yield f"name is {component.findtext('name')!r}, expected {args.name!r}"
    if desktop_name(args.desktop) != args.name:
        yield f"the desktop entry's Name is {desktop_name(args.desktop)!r}, expected {args.name!r}"

    launchables = [(item.get("type"), item.text) for item in component.findall("launchable")]
    wanted = ("desktop-id", os.path.basename(args.desktop))
    if launchables != [wanted]:
        yield f"launchable is {launchables}, expected {[wanted]}"

    shown = set()
    for image in component.findall("screenshots/screenshot/image"):
        url = urllib.parse.urlparse((image.text or "").strip())
        name = os.path.basename(url.path)
        if url.scheme != "https":
            yield f"screenshot {image.text!r} is not an https URL"
        if not os.path.isfile(os.path.join(args.screenshots, name)):
            yield f"screenshot {image.text!r}: there is no {name} in {args.screenshots}"
        shown.add(name)
    for name in sorted(set(os.listdir(args.screenshots)) - shown):
        if name.endswith(".png"):
            yield f"{name} in {args.screenshots} is not among the screenshots"
    defaults = component.findall("screenshots/screenshot[@type='default']")
    if len(defaults) != 1:
        yield f"{len(defaults)} default screenshots, expected 1"

    rating = component.find("content_rating")
    if rating is None or not (rating.get("type") or "").startswith("oars-"):
        yield "no OARS content rating"

    if component.findtext("project_license") != args.license:
        yield f"project_license is {component.findtext('project_license')!r}, expected {args.license!r}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("metainfo")
    parser.add_argument("desktop")
    parser.add_argument("screenshots")
    parser.add_argument("--id", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--license", required=True)
    args = parser.parse_args()
    try:
        component = ElementTree.parse(args.metainfo).getroot()
    except (OSError, ElementTree.ParseError) as error:
        print(f"{args.metainfo}: cannot read it: {error}")
        return 1
    failures = list(check(component, args))
    for failure in failures:
        print(f"{args.metainfo}: {failure}")
    if not failures:
        print(f"{args.metainfo}: agrees with the desktop entry and the screenshots")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
