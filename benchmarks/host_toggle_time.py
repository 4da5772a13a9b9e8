#!/usr/bin/python3
"""Host toggle runs against a bare process that only does the same waits.

Usage: host_toggle_time.py PATH/TO/kestrum [RUNS_PER_DIRECTION]

Alternates entering (one 500 ms wait) and leaving (100 ms and 150 ms, three
times: 750 ms) manner mode in a private state folder, leaving with a small WAV
played into an ALSA file sink. Each run is paired with a run of a bare C
program that only sleeps the same waits the same way (absolute monotonic
deadlines), started the same way, so each pair gives a ratio.

Trace lines are stamped as they arrive on the pipe, which gives the time from
process start to the first confirmation (the started sound, PlaySoundW -> 1,
or the vibrator's first "on") and where the time beyond the waits goes.
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import wave
from dataclasses import dataclass

DIRECTIONS = ("entering", "leaving")
TRACE_TIME = re.compile(rb"^@(\d+) ")
SLEEP = re.compile(rb"^@(\d+) Sleep ms=(\d+)")
SET_MODE = re.compile(rb"^@\d+ SetMannerMode ")
CONFIRMATION = re.compile(rb"^@\d+ (NLedSetDevice .*state=on|PlaySoundW .*-> 1)$")
RELEASE = re.compile(rb"^@\d+ FreeLibrary ")
# Enough time for the detached player of a leaving run to finish its 0.1 s
# sound before the next process starts.
SETTLE_S = 0.2

# It says "start" on stderr on entry, as the program's first trace line does.
BARE_SOURCE = r"""
#include <errno.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char** argv) {
  if (write(2, "start\n", 6) != 6) return 1;
  for (int i = 1; i < argc; ++i) {
    long ms = strtol(argv[i], 0, 10);
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += (ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) { deadline.tv_sec += 1; deadline.tv_nsec -= 1000000000L; }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, 0) == EINTR) {}
  }
  return 0;
}
"""

# The bare program again, linked to what the host program and its stand-in
# phone library load besides libc: first the C++ runtime, then ALSA too.
LINKED_BARES = {"C++ runtime": ("stdc++", "m"), "C++ runtime and ALSA": ("stdc++", "m", "asound")}

PHASES = ("start to first trace line", "reading the mode", "storing it, starting the sound",
          "confirmation", "release to exit")


@dataclass
class Run:
    wall_ms: float
    lines: list  # (ms after start when it arrived, line)

    def first(self, pattern):
        return next(at for at, line in self.lines if pattern.match(line))


def timed_run(command, env):
    """Wall ms from just before the start to the reaped exit; each stderr line
    stamped with the arrival of the read that brought it."""
    started = time.monotonic_ns()
    lines, pending = [], b""
    with subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, bufsize=0) as process:
        while chunk := os.read(process.stderr.fileno(), 65536):
            at = (time.monotonic_ns() - started) / 1e6
            *whole, pending = (pending + chunk).split(b"\n")
            lines += [(at, line) for line in whole]
        status = process.wait()
    wall = (time.monotonic_ns() - started) / 1e6
    if status != 0:
        raise RuntimeError(f"{command[0]} ended with status {status}")
    return Run(wall, lines)


def phases(run):
    """Milliseconds of each stretch of a toggle run, in PHASES order."""
    first = run.lines[0][0]
    set_mode = run.first(SET_MODE)
    confirmed = run.first(CONFIRMATION)
    released = run.first(RELEASE)
    return (first, set_mode - first, confirmed - set_mode, released - confirmed,
            run.wall_ms - released)


# The waits come from the toggle run's own trace, so the bare program always
# sleeps what the program asked for.
def asked_waits(run):
    return [int(sleep[2]) for _, line in run.lines if (sleep := SLEEP.match(line))]


def nominal_ms(runs_of):
    return sum(asked_waits(runs_of[0]))


def wait_errors(lines):
    """(asked ms, traced ms past it) for each Sleep: the time from its line to
    the next trace line, less what was asked."""
    traced = [line for _, line in lines if TRACE_TIME.match(line)]
    errors = []
    for line, following in zip(traced, traced[1:]):
        sleep = SLEEP.match(line)
        if sleep:
            asked = int(sleep[2])
            ended = int(TRACE_TIME.match(following)[1])
            errors.append((asked, ended - int(sleep[1]) - asked))
    return errors


def make_wav(path):
    with wave.open(path, "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(2)
        sound.setframerate(8000)
        sound.writeframes(bytes(1600))


def build_bare(folder, name, libraries=()):
    """The bare program; with libraries, also linked to those (used or not)
    to show what loading them costs at start."""
    source = os.path.join(folder, "bare.c")
    with open(source, "w") as out:
        out.write(BARE_SOURCE)
    program = os.path.join(folder, name)
    link = ["-Wl,--no-as-needed", *(f"-l{library}" for library in libraries)] if libraries else []
    subprocess.run(["/usr/bin/cc", "-O2", "-o", program, source, *link], check=True)
    return program


def sandbox(folder):
    config = os.path.join(folder, "asound.conf")
    with open(config, "w") as out:
        out.write('pcm.!default { type file slave { pcm { type null } } '
                  f'file "{folder}/played.raw" format "raw" }}\n')
    return dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "state"),
                ALSA_CONFIG_PATH=config)


def measure(program, runs):
    """Per direction: the toggle runs and the bare runs, pair by pair; and, per
    linked bare program run without waits, the ms from start to its line."""
    toggles = {direction: [] for direction in DIRECTIONS}
    bares = {direction: [] for direction in DIRECTIONS}
    linked_starts = {name: [] for name in LINKED_BARES}
    with tempfile.TemporaryDirectory() as folder:
        env = sandbox(folder)
        sound = os.path.join(folder, "leave.wav")
        make_wav(sound)
        bare = build_bare(folder, "bare")
        linked = {name: build_bare(folder, f"bare-linked-{index}", libraries)
                  for index, (name, libraries) in enumerate(LINKED_BARES.items())}
        for _ in range(runs):
            for direction in DIRECTIONS:
                toggles[direction].append(timed_run([program, sound], env))
                time.sleep(SETTLE_S)
                waits = [str(ms) for ms in asked_waits(toggles[direction][-1])]
                bares[direction].append(timed_run([bare, *waits], env))
                for name, linked_bare in linked.items():
                    linked_starts[name].append(timed_run([linked_bare], env).lines[0][0])
    return toggles, bares, linked_starts


def spread(samples):
    return statistics.median(samples), min(samples), max(samples)


def paired(toggles, bares, direction):
    """The direction's wall times, its bare runs' and their ratios run by run."""
    walls = [run.wall_ms for run in toggles[direction]]
    bare_walls = [run.wall_ms for run in bares[direction]]
    return walls, bare_walls, [wall / bare for wall, bare in zip(walls, bare_walls)]


def main(argv):
    program = argv[1]
    runs = int(argv[2]) if len(argv) > 2 else 10
    toggles, bares, _ = measure(program, runs)
    for direction, runs_of in toggles.items():
        walls, bare_walls, ratios = paired(toggles, bares, direction)
        first = [run.first(CONFIRMATION) for run in runs_of]
        print(f"{direction}: {len(walls)} runs; wall ms median/min/max %.1f/%.1f/%.1f; "
              % spread(walls) + "bare %.1f/%.1f/%.1f; " % spread(bare_walls) +
              "ratio pair by pair %.4f/%.4f/%.4f; " % spread(ratios) +
              "first confirmation ms %.2f/%.2f/%.2f" % spread(first))


if __name__ == "__main__":
    main(sys.argv)
