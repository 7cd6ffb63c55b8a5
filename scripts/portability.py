#!/usr/bin/env python3
"""The two portability checks behind scripts/check-portability.sh.

  portability.py lint ROOT DIR...
      Fails when a Linux-only call, header or path appears in a C++ file under ROOT/DIR outside a file
      that only Linux builds (one in a nix/ or linux/ folder). Comments do not count; strings do.

  portability.py libcxx BUILD ROOT DIR...
      Compiles every .cpp under ROOT/DIR syntax-only with clang++ against libc++ (the standard library
      of macOS), with the include paths and definitions the real build uses, read from
      BUILD/compile_commands.json. A file the build does not compile here (a mac/ file, for instance)
      borrows the flags of the nearest file the build does compile in the same or a parent folder.
      Objective-C++ (.mm) files are skipped, with a line that says so.
"""

import concurrent.futures
import json
import os
import re
import shlex
import shutil
import subprocess
import sys

CXX_SOURCES = (".cpp", ".cc", ".cxx")
CXX_FILES = CXX_SOURCES + (".h", ".hpp", ".mm")
OBJCXX = ".mm"
LINUX_ONLY_ROOMS = {"nix", "linux"}

# (pattern, what to do instead). Matched against the code with comments removed.
LINUX_ONLY = [
    (r"\bpipe2\b", "pipe() then fcntl() for FD_CLOEXEC and O_NONBLOCK"),
    (r"\baccept4\b", "accept() then fcntl()"),
    (r"\bdup3\b", "dup2() then fcntl()"),
    (r"\bepoll\w*", "poll() or a QSocketNotifier"),
    (r"\binotify\w*", "QFileSystemWatcher"),
    (r"\bsignalfd\w*", "a self-pipe written by the signal handler"),
    (r"\beventfd\w*", "a pipe"),
    (r"\btimerfd\w*", "QTimer or poll() with a timeout"),
    (r"\bmemfd_create\b", "a temporary file"),
    (r"\bprctl\b|<sys/prctl\.h>", None),
    (r"\bmalloc_trim\b|\bmallinfo2?\b|<malloc\.h>", None),
    (r"\bSOCK_CLOEXEC\b|\bSOCK_NONBLOCK\b", "socket() then fcntl()"),
    (r"\bO_TMPFILE\b|\bO_PATH\b", "portable open() flags"),
    (r"\bgettid\b|\bsched_[gs]etaffinity\b|\bget_nprocs\w*", "std::thread or QThread facilities"),
    (r"\bsendfile\b|\bcopy_file_range\b|\bfallocate\b", "plain read() and write()"),
    (r"/proc\b", "a portable call"),
    (r"<linux/", None),
]


def raw_string_at(text, i):
    """Whether the quote at i opens a raw string literal: R"(...)", with an optional u8, u, U or L."""
    if i == 0 or text[i - 1] != "R":
        return False
    start = i - 1
    for prefix in ("u8", "u", "U", "L"):
        if text[:start].endswith(prefix):
            start -= len(prefix)
            break
    return start == 0 or not (text[start - 1].isalnum() or text[start - 1] == "_")


def strip_comments(text):
    """Returns the text with every comment replaced by spaces, keeping strings and line numbers."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif c == '"' and raw_string_at(text, i):
            open_paren = text.find("(", i + 1)
            delimiter = text[i + 1:open_paren] if open_paren >= 0 else ""
            end = text.find(")" + delimiter + '"', open_paren + 1) if open_paren >= 0 else -1
            end = n if end < 0 else end + len(delimiter) + 2
            out.append(text[i:end])
            i = end
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isdigit())):
            # A string or character literal; a quote after a digit is a digit separator (1'000).
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            end = min(j + 1, n)
            out.append(text[i:end])
            i = end
        else:
            out.append(c)
            i += 1
    return "".join(out)


def cxx_files(root, dirs, extensions):
    found = []
    for folder in dirs:
        for path, subdirs, names in os.walk(os.path.join(root, folder)):
            subdirs.sort()
            found += [os.path.join(path, name) for name in sorted(names) if name.endswith(extensions)]
    return found


def linux_only_file(path, root):
    return bool(LINUX_ONLY_ROOMS & set(os.path.relpath(path, root).split(os.sep)[:-1]))


def lint(root, dirs):
    patterns = [(re.compile(pattern), instead) for pattern, instead in LINUX_ONLY]
    problems = 0
    files = cxx_files(root, dirs, CXX_FILES)
    for path in files:
        if linux_only_file(path, root):
            continue
        with open(path, encoding="utf-8", errors="replace") as source:
            code = strip_comments(source.read())
        for number, line in enumerate(code.splitlines(), 1):
            for pattern, instead in patterns:
                for match in pattern.finditer(line):
                    problems += 1
                    alternative = f"use {instead}, or " if instead else ""
                    print(f"{os.path.relpath(path, root)}:{number}: '{match.group(0)}' exists only on Linux: "
                          f"{alternative}move it into a file in a nix/ folder, which only the Linux build "
                          f"compiles")
    print(f"Linux-only calls: {len(files)} files checked, {problems} found outside nix/ and linux/ folders")
    return problems == 0


def syntax_command(entry, source, clangxx):
    """The build's compile command for one file, turned into a clang++ libc++ syntax-only check of source."""
    words = shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])
    args = []
    skip = False
    for word in words[1:]:
        if skip:
            skip = False
        elif word in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
        elif word in ("-c", "-MD", "-MMD") or word == entry["file"] or word.startswith("-o"):
            continue
        else:
            args.append(word)
    return [clangxx, "-stdlib=libc++", "-fsyntax-only", *args, source]


def flags_for(source, database, root):
    """The compile entry of source, else the one of the nearest compiled file in its folder or above."""
    if source in database:
        return database[source]
    folder = os.path.dirname(source)
    while True:
        near = sorted(path for path in database if os.path.dirname(path) == folder)
        if near:
            return database[near[0]]
        if os.path.samefile(folder, root) or os.path.dirname(folder) == folder:
            return None
        folder = os.path.dirname(folder)


def libcxx(build, root, dirs, clangxx, jobs):
    if shutil.which(clangxx) is None:
        print(f"{clangxx} not found: install clang and libc++-dev (scripts/setup.sh does)")
        return False
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as commands:
        entries = json.load(commands)
    database = {}
    for entry in entries:
        path = os.path.realpath(os.path.join(entry.get("directory", ""), entry["file"]))
        database.setdefault(path, entry)
    root = os.path.realpath(root)

    checks = []
    failures = []
    for source in cxx_files(root, dirs, CXX_SOURCES + (OBJCXX,)):
        relative = os.path.relpath(source, root)
        if source.endswith(OBJCXX):
            print(f"skipped {relative}: Objective-C++ cannot be compiled without the macOS SDK")
            continue
        entry = flags_for(source, database, root)
        if entry is None:
            failures.append(f"== {relative}: no compile command in {build} for it or any file near it\n")
            continue
        checks.append((relative, entry.get("directory", root), syntax_command(entry, source, clangxx)))

    def check(item):
        relative, directory, command = item
        result = subprocess.run(command, cwd=directory, capture_output=True, text=True)
        return relative, result.returncode, result.stdout + result.stderr

    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for relative, code, output in pool.map(check, checks):
            if code != 0:
                failures.append(f"== {relative} does not compile with clang++ and libc++:\n{output}")
    for failure in failures:
        print(failure, end="")
    print(f"libc++ syntax check: {len(checks)} files compiled, {len(failures)} failed")
    return not failures


def main(argv):
    if len(argv) >= 3 and argv[0] == "lint":
        return 0 if lint(argv[1], argv[2:]) else 1
    if len(argv) >= 4 and argv[0] == "libcxx":
        clangxx = os.environ.get("CLANGXX", "clang++")
        jobs = int(os.environ.get("JOBS", "2"))
        return 0 if libcxx(argv[1], argv[2], argv[3:], clangxx, jobs) else 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
