#!/usr/bin/env python3
"""Checks the macOS CI workflow, which cannot run here, for what can be known without a Mac.

Usage: check_macos_workflow.py WORKFLOW.yml SOURCE_DIR DEPLOYMENT_TARGET [LINUX_WORKFLOW.yml]

- the file is valid YAML with the shape of a GitHub Actions workflow;
- the runner is a macOS one whose Homebrew bottles the bundle's oldest macOS (DEPLOYMENT_TARGET,
  CMAKE_OSX_DEPLOYMENT_TARGET) is not older than;
- every script it runs exists and is executable, and every preset named by it or by those scripts
  exists, of the right kind;
- its tests are the unit tier, offscreen;
- Homebrew gives only the Qt modules the build uses (qtbase, qtsvg, qttools; never the "qt" formula,
  which brings every module), and CMake looks in Homebrew's prefix;
- the controller is launched from the checked disk image (scripts/macos-smoke.sh), and the deploy
  log is kept whatever the outcome;
- the Linux workflow, when given, runs .ci/run in a Debian 12 container.

Exit status 0 when every check holds, 77 when PyYAML is missing (the test is skipped), 1 otherwise.
"""

import json
import os
import re
import sys

try:
    import yaml
except ImportError:
    yaml = None

SCRIPT_PATH = re.compile(r"(?<![\w/.-])((?:scripts|packaging)/[\w./-]+\.(?:sh|py))")
PRESET_USE = re.compile(r"\b(ctest|cmake --build|cmake)\s+--preset[ =](\S+)")
PRESET_KIND = {"cmake": "configurePresets", "cmake --build": "buildPresets", "ctest": "testPresets"}


def check_shape(workflow):
    # YAML 1.1 reads the bare key "on" as the boolean true.
    if "on" not in workflow and True not in workflow:
        yield "no trigger (on:)"
    jobs = workflow.get("jobs")
    if not isinstance(jobs, dict) or not jobs:
        yield "no jobs"
        return
    for name, job in jobs.items():
        if not isinstance(job, dict) or "runs-on" not in job or not isinstance(job.get("steps"), list):
            yield f"job {name}: needs runs-on and a list of steps"
            continue
        for index, step in enumerate(job["steps"]):
            if not isinstance(step, dict) or ("run" in step) == ("uses" in step):
                yield f"job {name}, step {index + 1}: needs exactly one of run and uses"


def check_runner(job_name, job, deployment_target):
    match = re.fullmatch(r"macos-(\d+)", str(job.get("runs-on", "")))
    if not match:
        yield f"job {job_name}: runs on {job.get('runs-on')!r}, not a pinned macOS runner (macos-N)"
        return
    runner = int(match.group(1))
    oldest = int(deployment_target.split(".")[0])
    if runner > oldest:
        yield (f"job {job_name}: Homebrew's Qt on macos-{runner} is built for macOS {runner}, "
               f"newer than the bundle's oldest macOS {deployment_target}")


def check_commands(texts, source_dir, presets):
    """Returns the failures and the (tool, preset) pairs that the commands and their scripts use."""
    failures = []
    scripts = set()
    for text in texts:
        scripts.update(SCRIPT_PATH.findall(text))
    for script in sorted(scripts):
        path = os.path.join(source_dir, script)
        if not os.path.isfile(path):
            failures.append(f"runs {script}, which is not in the source tree")
        elif script.endswith(".sh") and not os.access(path, os.X_OK):
            failures.append(f"runs {script}, which is not executable")
        else:
            with open(path, encoding="utf-8") as handle:
                texts.append(handle.read())
    uses = set()
    for text in texts:
        uses.update(PRESET_USE.findall(text))
    for tool, name in sorted(uses):
        kind = PRESET_KIND[tool]
        if name not in {preset["name"] for preset in presets.get(kind, [])}:
            failures.append(f"'{tool} --preset {name}' names no preset in {kind} of CMakePresets.json")
    return failures, uses


def check_tests(uses, presets):
    test_presets = {preset["name"]: preset for preset in presets.get("testPresets", [])}
    names = [name for tool, name in uses if tool == "ctest"]
    if not names:
        yield "runs no tests (ctest --preset ...)"
    for name in names:
        preset = test_presets.get(name, {})
        label = preset.get("filter", {}).get("include", {}).get("label")
        if label != "unit":
            yield f"test preset {name} runs label {label!r}, not the unit tier"
        if preset.get("environment", {}).get("QT_QPA_PLATFORM") != "offscreen":
            yield f"test preset {name} does not set QT_QPA_PLATFORM=offscreen"


FORMULAE = re.compile(r"^formulae=\((.*?)^\)", re.S | re.M)
NEEDED_FORMULAE = {"qtbase", "qtsvg", "qttools"}


def check_homebrew(texts):
    text = "\n".join(texts)
    block = FORMULAE.search(text)
    if not block:
        yield "installs no Homebrew formulae (formulae=( ... ) in its build script)"
        return
    formulae = {line.split("#")[0].strip() for line in block.group(1).splitlines()} - {""}
    if "qt" in formulae:
        yield "installs Homebrew's qt formula, every Qt module (WebEngine included); name the modules instead"
    for missing in sorted(NEEDED_FORMULAE - formulae):
        yield f"does not install the Homebrew formula {missing}"
    if '-DCMAKE_PREFIX_PATH="$(brew --prefix)"' not in text:
        yield "does not point CMake at Homebrew's prefix (-DCMAKE_PREFIX_PATH=\"$(brew --prefix)\")"


def check_launch_and_logs(workflow, texts):
    if not any("scripts/macos-smoke.sh" in text for text in texts):
        yield "does not launch the controller (scripts/macos-smoke.sh)"
    kept = False
    for job in workflow["jobs"].values():
        for step in job["steps"]:
            if str(step.get("uses", "")).startswith("actions/upload-artifact") and step.get("if") == "always()":
                kept = kept or "deploy.log" in str(step.get("with", {}).get("path", ""))
    if not kept:
        yield "does not keep deploy.log in an artifact whatever the outcome (if: always())"


def check_linux(path):
    try:
        with open(path, encoding="utf-8") as handle:
            workflow = yaml.safe_load(handle)
    except (OSError, yaml.YAMLError) as error:
        yield f"{path}: cannot be read as YAML: {error}"
        return
    if not isinstance(workflow, dict):
        yield f"{path}: the top level is not a mapping"
        return
    shape = list(check_shape(workflow))
    yield from (f"{path}: {failure}" for failure in shape)
    if shape:
        return
    runs = False
    for name, job in workflow["jobs"].items():
        container = job.get("container")
        image = container.get("image") if isinstance(container, dict) else container
        if image != "debian:12":
            yield f"{path}: job {name} does not run in the debian:12 container"
        runs = runs or any(str(step.get("run", "")).strip() == ".ci/run" for step in job["steps"])
    if not runs:
        yield f"{path}: runs no .ci/run"


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__)
        return 2
    if yaml is None:
        print("skip: PyYAML is not installed (Debian python3-yaml)")
        return 77
    workflow_path, source_dir, deployment_target = sys.argv[1:4]
    try:
        with open(workflow_path, encoding="utf-8") as handle:
            workflow = yaml.safe_load(handle)
    except yaml.YAMLError as error:
        print(f"{workflow_path}: not valid YAML: {error}")
        return 1
    with open(os.path.join(source_dir, "CMakePresets.json"), encoding="utf-8") as handle:
        presets = json.load(handle)

    if not isinstance(workflow, dict):
        failures = ["the top level is not a mapping"]
    else:
        failures = list(check_shape(workflow))
    if not failures:
        texts = []
        for job_name, job in workflow["jobs"].items():
            failures.extend(check_runner(job_name, job, deployment_target))
            texts.extend(str(step["run"]) for step in job["steps"] if "run" in step)
        workflow_texts = list(texts)
        command_failures, uses = check_commands(texts, source_dir, presets)
        failures.extend(command_failures)
        failures.extend(check_tests(uses, presets))
        failures.extend(check_homebrew(texts))
        failures.extend(check_launch_and_logs(workflow, workflow_texts))
    if len(sys.argv) == 5:
        failures.extend(check_linux(sys.argv[4]))

    for failure in failures:
        print(f"{workflow_path}: {failure}")
    if not failures:
        print(f"{workflow_path}: valid, and its runner, scripts and presets agree with the tree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
