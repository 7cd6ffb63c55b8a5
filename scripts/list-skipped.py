#!/usr/bin/env python3
"""Lists every test that a CTest run skipped, with its reason.

Usage: scripts/list-skipped.py RESULTS.xml...

Each file is the JUnit report of one run (ctest --output-junit RESULTS.xml). A test is listed when CTest
did not run it to the end (a GoogleTest case that called GTEST_SKIP, a suite that exited 77), with the
reason GoogleTest printed or else the test's last line of output; and, for the shell suites that run
many cases in one test, each case line that begins with "skip". Always exits 0: the list informs, it
does not judge.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

# GoogleTest: "file:line: Skipped", the reason on the lines that follow, then "[  SKIPPED ] Suite.Case".
GTEST_SKIPPED = re.compile(r"^.*: Skipped\n(?P<reason>(?:(?!\[  SKIPPED \]).*\n)*?)\[  SKIPPED \] \S+", re.M)
CASE_SKIPPED = re.compile(r"^skip\b:?\s*(?P<what>.*)$", re.M)


def skipped_in(results):
    for case in ElementTree.parse(results).getroot().iter("testcase"):
        name = case.get("name", "?")
        output = case.findtext("system-out") or ""
        found = False
        for skip in CASE_SKIPPED.finditer(output):
            yield name, skip["what"].strip()
            found = True
        skipped = case.find("skipped")
        if skipped is None or found:
            continue
        reasons = [" ".join(line.strip() for line in skip["reason"].splitlines() if line.strip())
                   for skip in GTEST_SKIPPED.finditer(output)]
        if reasons:
            for reason in reasons:
                yield name, reason or "(no reason given)"
        else:
            lines = [line.strip() for line in output.splitlines() if line.strip()]
            yield name, f"{lines[-1] if lines else '(no output)'} [{skipped.get('message', 'skipped')}]"


def main(files):
    for results in map(Path, files):
        if not results.is_file():
            print(f"== {results}: no test results")
            continue
        rows = list(skipped_in(results))
        print(f"== Skipped in {results}: {len(rows) or 'nothing'}")
        for name, reason in rows:
            print(f"  {name}: {reason}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
