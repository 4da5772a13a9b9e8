#!/usr/bin/python3
"""Speed and size figures of one build, side by side, as Markdown tables.

Usage: benchmarks/figures.py [BUILD_DIR] [RUNS_PER_DIRECTION]
(defaults: build/host and 15). Needs the host program, the device images and
the runner of that build, and a C compiler (/usr/bin/cc) for the bare
process; run with /usr/bin/python3 (it reads the images with pefile).

- host: wall time of toggle runs against a bare process that only does the
  same fixed waits, pair by pair; the time from process start to the first
  confirmation; where the time beyond the waits goes; how much longer than
  asked each wait took by the program's own trace;
- device images: file size and sections of each image the build made;
- runner: instructions, stack high-water and virtual time of each scenario of
  the table on each image.
"""
import glob
import os
import re
import statistics
import subprocess
import sys
import time

import pefile

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path[:0] = [os.path.dirname(os.path.abspath(__file__)),
                os.path.join(REPOSITORY, "tests", "scenarios")]
import host_toggle_time  # noqa: E402
import scenario_table  # noqa: E402

SUMMARY_FIELD = re.compile(r"(\w+)=(\S+)")


def host_figures(program, runs):
    toggles, bares, linked_starts = host_toggle_time.measure(program, runs)
    print(f"## Host toggle runs ({runs} per direction, each paired with a bare run)\n")
    print("| direction | fixed waits ms | wall ms median | min | max | bare wall ms median | "
          "min | max | ratio pair by pair median | min | max |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for direction in toggles:
        walls, bare_walls, ratios = host_toggle_time.paired(toggles, bares, direction)
        print(f"| {direction} | {host_toggle_time.nominal_ms(toggles[direction])} | "
              "%.1f | %.1f | %.1f | " % host_toggle_time.spread(walls) +
              "%.1f | %.1f | %.1f | " % host_toggle_time.spread(bare_walls) +
              "%.4f | %.4f | %.4f |" % host_toggle_time.spread(ratios))
    first_confirmation_figures(toggles)
    phase_figures(toggles)
    bare_figures(toggles, bares, linked_starts)
    sleep_figures(toggles)


def first_confirmation_figures(toggles):
    print("\nFrom process start to the first confirmation (the started sound when "
          "leaving, the vibrator's first \"on\" when entering), as its trace line "
          "arrived:\n")
    print("| direction | first confirmation | ms median | min | max |")
    print("|---|---|---:|---:|---:|")
    for direction, runs_of in toggles.items():
        what = "PlaySoundW -> 1" if direction == "leaving" else "vibrator on"
        first = [run.first(host_toggle_time.CONFIRMATION) for run in runs_of]
        print(f"| {direction} | {what} | " + "%.2f | %.2f | %.2f |" % host_toggle_time.spread(first))


def phase_figures(toggles):
    print("\nWhere a run's time goes: median ms of each stretch between trace lines as "
          "they arrived, and of the whole run beyond its fixed waits:\n")
    print("| direction | " + " | ".join(host_toggle_time.PHASES) + " | over the waits |")
    print("|---|" + "---:|" * (len(host_toggle_time.PHASES) + 1))
    for direction, runs_of in toggles.items():
        nominal = host_toggle_time.nominal_ms(runs_of)
        stretches = zip(*(host_toggle_time.phases(run) for run in runs_of))
        medians = [statistics.median(values) for values in stretches]
        over = statistics.median(run.wall_ms - nominal for run in runs_of)
        print(f"| {direction} | " + " | ".join(f"{value:.2f}" for value in medians) +
              f" | {over:.2f} |")


def bare_figures(toggles, bares, linked_starts):
    print("\nThe bare process, median ms: from start to its first line, and its whole run "
          "beyond its waits:\n")
    print("| direction | bare start to first line | bare over the waits |")
    print("|---|---:|---:|")
    for direction, runs_of in bares.items():
        nominal = host_toggle_time.nominal_ms(toggles[direction])
        start = statistics.median(run.lines[0][0] for run in runs_of)
        over = statistics.median(run.wall_ms - nominal for run in runs_of)
        print(f"| {direction} | {start:.2f} | {over:.2f} |")
    print("\nThe bare process linked to the libraries the program loads, otherwise the same, "
          "without waits: median ms from start to its first line:\n")
    print("| linked to | libraries | start to first line |")
    print("|---|---|---:|")
    for name, starts in linked_starts.items():
        libraries = ", ".join(f"lib{library}" for library in host_toggle_time.LINKED_BARES[name])
        print(f"| {name} | {libraries} | {statistics.median(starts):.2f} |")


def sleep_figures(toggles):
    errors = {}
    for run in (run for runs_of in toggles.values() for run in runs_of):
        for asked, error in host_toggle_time.wait_errors(run.lines):
            errors.setdefault(asked, []).append(error)
    print("\nEach wait against what was asked, in whole trace milliseconds:\n")
    print("| Sleep asked ms | waits | over asked median | min | max |")
    print("|---:|---:|---:|---:|---:|")
    for asked, samples in sorted(errors.items()):
        print(f"| {asked} | {len(samples)} | {statistics.median(samples)} | {min(samples)} | "
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
    options += {"present": [], "absent": ["--phone-library=absent"],
                "without_getter": ["--no-getter"],
                "without_setter": ["--no-setter"]}[scenario["library"]]
    if scenario["playable"] is not None:
        options.append(f"--playable={scenario['playable']}")
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
    runs = int(argv[2]) if len(argv) > 2 else 15
    images = device_images(build)
    if not images:
        sys.exit(f"no device images under {build}/phone")
    host_figures(os.path.join(build, "platform", "host", "kestrum"), runs)
    for image in images:
        image_figures(build, image)
    runner_figures(build)


if __name__ == "__main__":
    main(sys.argv)
