#!/usr/bin/python3
"""Speed and size figures of one build, side by side, as Markdown tables.

Usage: benchmarks/figures.py [BUILD_DIR] [RUNS_PER_DIRECTION]
(defaults: build/host and 15). Needs the host program, the device image and
the runner of that build; run with /usr/bin/python3 (it reads the image with
pefile).

- host: wall time of toggle runs against their fixed waits, and how much
  longer than asked each wait took by the program's own trace;
- device image: file size and its sections;
- runner: instructions, stack high-water and virtual time per device scenario.
"""
import os
import re
import statistics
import subprocess
import sys

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import host_toggle_time  # noqa: E402

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SUMMARY_FIELD = re.compile(r"(\w+)=(\S+)")


def host_figures(program, runs):
    times, errors = host_toggle_time.measure(program, runs)
    print(f"## Host toggle runs ({runs} per direction)\n")
    print("| direction | fixed waits ms | wall ms median | min | max | ratio median | ratio max |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for direction, samples in times.items():
        nominal = host_toggle_time.NOMINAL_MS[direction]
        median = statistics.median(samples)
        print(f"| {direction} | {nominal} | {median:.1f} | {min(samples):.1f} | "
              f"{max(samples):.1f} | {median / nominal:.3f} | {max(samples) / nominal:.3f} |")
    print("\nEach wait against what was asked, in whole trace milliseconds:\n")
    print("| Sleep asked ms | waits | over asked median | min | max |")
    print("|---:|---:|---:|---:|---:|")
    for asked, samples in sorted(errors.items()):
        print(f"| {asked} | {len(samples)} | {statistics.median(samples)} | {min(samples)} | "
              f"{max(samples)} |")


def image_figures(image):
    pe = pefile.PE(image)
    print(f"\n## Device image {os.path.basename(image)}: {os.path.getsize(image)} bytes\n")
    print("| part | bytes in memory | bytes in file |")
    print("|---|---:|---:|")
    headers = pe.OPTIONAL_HEADER.SizeOfHeaders
    print(f"| headers | {headers} | {headers} |")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii", "replace")
        print(f"| {name} | {section.Misc_VirtualSize} | {section.SizeOfRawData} |")
    print(f"| image in memory | {pe.OPTIONAL_HEADER.SizeOfImage} | |")
    pe.close()


def runner_figures(build):
    script = os.path.join(REPOSITORY, "tools", "cerunner", "scenario_figures.sh")
    lines = subprocess.run([script, build], capture_output=True, text=True, check=True,
                           cwd=REPOSITORY).stdout.splitlines()
    print("\n## Device scenarios in the runner\n")
    print("| scenario | status | instructions | stack high-water bytes | virtual ms | "
          "runner wall ms |")
    print("|---|---:|---:|---:|---:|---:|")
    for line in lines:
        name = line.split()[0]
        fields = dict(SUMMARY_FIELD.findall(line))
        print(f"| {name} | {fields['status']} | {fields['instructions']} | "
              f"{fields['stack_high_water']} | {fields['time_ms']} | {fields['wall_ms']} |")


def main(argv):
    build = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(REPOSITORY, "build/host"))
    runs = int(argv[2]) if len(argv) > 2 else 15
    host_figures(os.path.join(build, "platform", "host", "kestrum"), runs)
    image_figures(os.path.join(build, "platform", "wince", "Kestrum.exe"))
    runner_figures(build)


if __name__ == "__main__":
    main(sys.argv)
