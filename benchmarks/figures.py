#!/usr/bin/python3
"""Speed and size figures of one build, side by side, as Markdown tables:
the whole of docs/FIGURES.md, how it measures first (METHOD).

Usage: benchmarks/figures.py [BUILD_DIR] [RUNS]
(defaults: build/host and 10). Needs the host program, the device images and
the runner of that build, hyperfine, and a C compiler (/usr/bin/cc) for the
bare process; run with /usr/bin/python3 (it reads the images with pefile).
"""
import glob
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import time

import pefile

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path[:0] = [os.path.dirname(os.path.abspath(__file__)),
                os.path.join(REPOSITORY, "tests", "scenarios")]
import crafted_sounds  # noqa: E402
import host_toggle_time  # noqa: E402
import scenario_table  # noqa: E402

SUMMARY_FIELD = re.compile(r"(\w+)=(\S+)")


def output(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()


def shown(path):
    """A path as the figures print it: relative to the repository, so that
    they name no folder of the machine that made them; one outside it by its
    last part, elided."""
    relative = os.path.relpath(os.path.abspath(path), REPOSITORY)
    return relative if not relative.startswith("..") else "…/" + os.path.basename(path)


def interpreter():
    """Debian's own Python by its path, as the README runs it; any other by
    its name alone."""
    return sys.executable if sys.executable.startswith("/usr/bin/") else os.path.basename(
        sys.executable)


METHOD = """\
Speed and size of one build, measured, not asserted by tests; written whole by
`benchmarks/figures.py`, with the machine, command and commit below.

hyperfine times whole runs of `platform/host/kestrum leave.wav` (process
start, library load, the waits, exit), entering and leaving manner mode in a
private state folder, leaving playing a small WAV into an ALSA file sink; its
`--prepare` writes the state each run starts from, outside the timing. Against
each direction it times a bare C program that does nothing but the same waits
(read from the program's own trace) the same way. The load average tells how
busy the cores were: read a millisecond or two as noise. The traced runs below
stamp each trace line as it arrives on the pipe. The runner rows are what the
device images executed on the emulated phone for each scenario of
`tests/scenarios/scenarios.toml`, on a phone of the image's own OS with ARM and
with Thumb libraries; virtual ms is the runner's clock, wall ms its own run
time."""


def where_and_how(argv):
    with open("/proc/cpuinfo") as cpuinfo:
        cpu = next(line.split(":", 1)[1].strip() for line in cpuinfo if line.startswith("model name"))
    with open("/proc/loadavg") as loadavg:
        load = " ".join(loadavg.read().split()[:3])
    commit = output("git", "-C", REPOSITORY, "rev-parse", "--short", "HEAD")
    # The figures' own file is what the README's command is writing now.
    if output("git", "-C", REPOSITORY, "status", "--porcelain", "--untracked-files=no", "--",
              ".", ":!docs/FIGURES.md"):
        commit += " with uncommitted changes"
    print(f"# Figures\n\n{METHOD}\n\n## Where and how\n")
    print(f"- machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}, "
          f"load average {load} at the start")
    print(f"- {output('hyperfine', '--version')}")
    command = [interpreter(), *map(shown, argv[:2]), *argv[2:]]
    print(f"- command: `{shlex.join(command)}` from the repository's top folder")
    print(f"- commit: {commit}")


def host_figures(program, runs, exports):
    traced = host_toggle_time.measure(program, runs, exports)
    print(f"\n## Host toggle runs, timed by hyperfine ({runs} runs each after "
          f"{host_toggle_time.WARMUP_RUNS} warmups)\n")
    with open(exports + ".md") as table:
        print(table.read().strip())
    print("\nRelative is to the fastest row; a direction's cost is its kestrum row less the "
          "bare row under it.")
    first_confirmation_figures(traced)
    phase_figures(traced)
    sleep_figures(traced)
    print(f"\n## Crafted sound files ({crafted_sounds.RUNS} runs each)\n")
    print(crafted_sounds.__doc__.split("\n\n")[0].replace("\n", " ") + "\n")
    crafted_sounds.print_table(program, crafted_sounds.RUNS)


def spread(samples):
    return statistics.median(samples), min(samples), max(samples)


def first_confirmation_figures(traced):
    print(f"\nFrom the program's trace ({len(traced['entering'])} more runs each): from "
          "process start to the first confirmation (the started sound when leaving, the "
          "vibrator's first \"on\" when entering), as its trace line arrived:\n")
    print("| direction | first confirmation | ms median | min | max |")
    print("|---|---|---:|---:|---:|")
    for direction, runs_of in traced.items():
        what = "PlaySoundW -> 1" if direction == "leaving" else "vibrator on"
        first = [run.first(host_toggle_time.CONFIRMATION) for run in runs_of]
        print(f"| {direction} | {what} | " + "%.2f | %.2f | %.2f |" % spread(first))


def phase_figures(traced):
    print("\nWhere a run's time goes: median ms of each stretch between trace lines as "
          "they arrived:\n")
    print("| direction | " + " | ".join(host_toggle_time.PHASES) + " |")
    print("|---|" + "---:|" * len(host_toggle_time.PHASES))
    for direction, runs_of in traced.items():
        stretches = zip(*(host_toggle_time.phases(run) for run in runs_of))
        medians = [statistics.median(values) for values in stretches]
        print(f"| {direction} | " + " | ".join(f"{value:.2f}" for value in medians) + " |")


def sleep_figures(traced):
    errors = {}
    for run in (run for runs_of in traced.values() for run in runs_of):
        for asked, error in host_toggle_time.wait_errors(run.lines):
            errors.setdefault(asked, []).append(error)
    print("\nEach wait against what was asked, in whole trace milliseconds:\n")
    print("| Sleep asked ms | waits | over asked median | min | max |")
    print("|---:|---:|---:|---:|---:|")
    for asked, samples in sorted(errors.items()):
        print(f"| {asked} | {len(samples)} | {statistics.median(samples):g} | {min(samples)} | "
              f"{max(samples)} |")


def device_images(build):
    """The device images of the build: one folder for each OS version."""
    return sorted(glob.glob(os.path.join(build, "phone", "*", "Kestrum.exe")))


def image_figures(build, image):
    pe = pefile.PE(image)
    name = os.path.relpath(image, build)
    print(f"\n## Device image {name}: {os.path.getsize(image)} bytes\n")
    print("| part | bytes in memory | bytes in file |")
    print("|---|---:|---:|")
    headers = pe.OPTIONAL_HEADER.SizeOfHeaders
    print(f"| headers | {headers} | {headers} |")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii", "replace")
        print(f"| {name} | {section.Misc_VirtualSize} | {section.SizeOfRawData} |")
    print(f"| image in memory | {pe.OPTIONAL_HEADER.SizeOfImage} | |")
    pe.close()


def runner_options(scenario):
    """The scenario's phone as the runner's options."""
    options = [f"--mode={scenario['mode']}", f"--cmdline={scenario['command_line']}"]
    options += ["--phone-library=absent"] * (not scenario["library_present"])
    options += ["--no-getter"] * (not scenario["has_getter"])
    options += ["--no-setter"] * (not scenario["has_setter"])
    if scenario["playable"] is not None:
        options.append(f"--playable={scenario['playable']}")
    if scenario["not_a_wav"] is not None:
        options.append(f"--not-a-wav={scenario['not_a_wav']}")
    options += ["--no-default-sound"] * (not scenario["default_sound"])
    return options


def runner_figures(build):
    """Each scenario of the table on each image, on a phone of the image's
    own OS, with ARM and then Thumb libraries."""
    runner = os.path.join(build, "tools", "cerunner", "cerunner")
    print("\n## Device scenarios in the runner\n")
    print("| image/libraries/scenario | status | instructions | stack high-water bytes | "
          "virtual ms | runner wall ms |")
    print("|---|---:|---:|---:|---:|---:|")
    for os_version in ("5.2", "5.1"):
        image = os.path.join(build, "phone", f"os{os_version}", "Kestrum.exe")
        for libraries in ("arm", "thumb"):
            phone = [f"--os-version={os_version}"] + (["--thumb-libraries"] * (libraries == "thumb"))
            for scenario in scenario_table.load():
                started = time.monotonic()
                line = subprocess.run([runner, *phone, *runner_options(scenario), image],
                                      capture_output=True, text=True, check=True).stdout
                wall_ms = round((time.monotonic() - started) * 1000)
                fields = dict(SUMMARY_FIELD.findall(line))
                print(f"| os{os_version}/{libraries}/{scenario['name']} | {fields['status']} | "
                      f"{fields['instructions']} | {fields['stack_high_water']} | "
                      f"{fields['time_ms']} | {wall_ms} |")


def main(argv):
    build = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(REPOSITORY, "build/host"))
    runs = int(argv[2]) if len(argv) > 2 else 10
    images = device_images(build)
    if not images:
        sys.exit(f"figures.py: no device images under {shown(build)}/phone")
    if not shutil.which("hyperfine"):
        sys.exit("figures.py: hyperfine not found (scripts/install-deps.sh installs it)")
    exports = os.path.join(build, "figures", "hyperfine")
    os.makedirs(os.path.dirname(exports), exist_ok=True)
    where_and_how(argv)
    host_figures(os.path.join(build, "platform", "host", "kestrum"), runs, exports)
    for image in images:
        image_figures(build, image)
    runner_figures(build)


if __name__ == "__main__":
    main(sys.argv)
