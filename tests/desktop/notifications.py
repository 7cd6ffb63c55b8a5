#!/usr/bin/env python3
"""Lists the Notify calls that dbus-monitor recorded, one per line: summary, a tab, body.

Usage: notifications.py DBUS_MONITOR_LOG [APP_NAME]

Only calls whose application name is APP_NAME (default "Tolvane") are listed. A line feed in a
summary or body is written as the two characters backslash and n, so that one call stays one line.
dbus-monitor prints a string argument as `string "text"` without escaping the text, so a string
that holds a line feed goes on over several lines until one ends with a quote.
"""

import sys


def string_arguments(lines, start):
    """Yields the string arguments of the message whose header is at lines[start - 1]."""
    i = start
    while i < len(lines):
        line = lines[i]
        # The next message header starts at the left margin; arguments are indented.
        if line and not line[0].isspace():
            return
        stripped = line.strip()
        if stripped.startswith('string "'):
            text = stripped[len('string "'):]
            while not text.endswith('"') and i + 1 < len(lines):
                i += 1
                text += "\n" + lines[i]
            yield text[:-1] if text.endswith('"') else text
        i += 1


def notify_calls(lines):
    for index, line in enumerate(lines):
        if not line.startswith("method call ") or "member=Notify" not in line:
            continue
        # Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        # the first four strings are app_name, app_icon, summary and body.
        strings = []
        for text in string_arguments(lines, index + 1):
            strings.append(text)
            if len(strings) == 4:
                break
        if len(strings) == 4:
            yield strings[0], strings[2], strings[3]


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    app = argv[2] if len(argv) == 3 else "Tolvane"
    try:
        with open(argv[1], encoding="utf-8", errors="replace") as log:
            lines = log.read().split("\n")
    except FileNotFoundError:
        return 0
    for app_name, summary, body in notify_calls(lines):
        if app_name == app:
            print(summary.replace("\n", "\\n") + "\t" + body.replace("\n", "\\n"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
