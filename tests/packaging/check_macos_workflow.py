#!/usr/bin/env python3
"""Checks the macOS CI workflow, which cannot run here, for what can be known without a Mac.

Usage: check_macos_workflow.py WORKFLOW.yml SOURCE_DIR DEPLOYMENT_TARGET

- the file is valid YAML with the shape of a GitHub Actions workflow;
- the runner is a macOS one whose Homebrew bottles the bundle's oldest macOS (DEPLOYMENT_TARGET,
  CMAKE_OSX_DEPLOYMENT_TARGET) is not older than;
- every script it runs exists and is executable, and every preset named by it or by those scripts
  exists, of the right kind;
- its tests are the unit tier, offscreen.

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


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    if yaml is None:
        print("skip: PyYAML is not installed (Debian python3-yaml)")
        return 77
    workflow_path, source_dir, deployment_target = sys.argv[1:]
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
        command_failures, uses = check_commands(texts, source_dir, presets)
        failures.extend(command_failures)
        failures.extend(check_tests(uses, presets))

    for failure in failures:
        print(f"{workflow_path}: {failure}")
    if not failures:
        print(f"{workflow_path}: valid, and its runner, scripts and presets agree with the tree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
