"""Host toggle runs: timed by hyperfine against a bare process that only does
the same waits, and traced here for what hyperfine cannot see.

Both directions run the same command, `kestrum leave.wav`, in a private state
folder; the state file written before each run picks the direction: entering
(one 500 ms wait) or leaving (100 and 150 ms, three times, with the WAV played
into an ALSA file sink).

Trace lines are stamped as they arrive on the pipe, which gives the time from
process start to the first confirmation (the started sound, PlaySoundW -> 1,
or the vibrator's first "on"), where the time beyond the waits goes and how
long each wait overran.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import wave
from dataclasses import dataclass

# The manner mode stored before a run of each direction.
DIRECTIONS = {"entering": "0\n", "leaving": "1\n"}
WARMUP_RUNS = 3
TRACE_TIME = re.compile(rb"^@(\d+) ")
SLEEP = re.compile(rb"^@(\d+) Sleep ms=(\d+)")
SET_MODE = re.compile(rb"^@\d+ SetMannerMode ")
CONFIRMATION = re.compile(rb"^@\d+ (NLedSetDevice .*state=on|PlaySoundW .*-> 1)$")
RELEASE = re.compile(rb"^@\d+ FreeLibrary ")
PHASES = ("start to first trace line", "reading the mode", "storing it, starting the sound",
          "confirmation", "release to exit")

# Absolute monotonic deadlines, as the program's waits are.
BARE_SOURCE = r"""
#include <errno.h>
#include <stdlib.h>
#include <time.h>
int main(int argc, char** argv) {
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


@dataclass
class Run:
    wall_ms: float
    lines: list  # (ms after start when it arrived, line)

    def first(self, pattern):
        return next(at for at, line in self.lines if pattern.match(line))


def traced_run(command, env):
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
    if status != 0:
        raise RuntimeError(f"{command[0]} ended with status {status}")
    return Run((time.monotonic_ns() - started) / 1e6, lines)


def phases(run):
    """Milliseconds of each stretch of a toggle run, in PHASES order."""
    first = run.lines[0][0]
    set_mode = run.first(SET_MODE)
    confirmed = run.first(CONFIRMATION)
    released = run.first(RELEASE)
    return (first, set_mode - first, confirmed - set_mode, released - confirmed,
            run.wall_ms - released)


# Taken from a toggle run's own trace, so the bare process always sleeps what
# the program asked for.
def asked_waits(run):
    return [int(sleep[2]) for _, line in run.lines if (sleep := SLEEP.match(line))]


def wait_errors(lines):
    """(asked ms, traced ms past it) for each Sleep: the time from its line to
    the next trace line, less what was asked."""
    traced = [line for _, line in lines if TRACE_TIME.match(line)]
    errors = []
    for line, following in zip(traced, traced[1:]):
        if sleep := SLEEP.match(line):
            asked = int(sleep[2])
            errors.append((asked, int(TRACE_TIME.match(following)[1]) - int(sleep[1]) - asked))
    return errors


def write(path, text):
    with open(path, "w") as out:
        out.write(text)
    return path


def make_wav(path):
    with wave.open(path, "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(2)
        sound.setframerate(8000)
        sound.writeframes(bytes(1600))
    return path


def build_bare(folder):
    program = os.path.join(folder, "bare")
    subprocess.run(["/usr/bin/cc", "-O2", "-o", program,
                    write(os.path.join(folder, "bare.c"), BARE_SOURCE)], check=True)
    return program


def sandbox(folder):
    config = write(os.path.join(folder, "asound.conf"),
                   'pcm.!default { type file slave { pcm { type null } } '
                   f'file "{folder}/played.raw" format "raw" }}\n')
    return dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "state"),
                ALSA_CONFIG_PATH=config)


def hyperfine(benchmarks, runs, env, exports):
    """One hyperfine run of (name, prepare, command) triples; its own report
    goes to stderr, its tables to exports.md and exports.json."""
    command = ["hyperfine", "-N", "--style", "basic", "--time-unit", "millisecond",
               "--warmup", str(WARMUP_RUNS), "--runs", str(runs),
               "--export-markdown", exports + ".md", "--export-json", exports + ".json"]
    for name, prepare, benchmark in benchmarks:
        command += ["--command-name", name, "--prepare", prepare, benchmark]
    subprocess.run(command, env=env, stdout=sys.stderr, check=True)


def measure(program, runs, exports):
    """Per direction, the traced toggle runs; then hyperfine's run of the
    toggles and the bare process, exported to exports.md and exports.json."""
    traced = {direction: [] for direction in DIRECTIONS}
    with tempfile.TemporaryDirectory() as folder:
        env = sandbox(folder)
        sound = make_wav(os.path.join(folder, "leave.wav"))
        state = os.path.join(env["XDG_STATE_HOME"], "kestrum", "manner-mode")
        os.makedirs(os.path.dirname(state))
        before = {direction: write(os.path.join(folder, direction), mode)
                  for direction, mode in DIRECTIONS.items()}
        for _ in range(runs):
            for direction in DIRECTIONS:
                shutil.copyfile(before[direction], state)
                traced[direction].append(traced_run([program, sound], env))
        bare = build_bare(folder)
        benchmarks = []
        for direction in DIRECTIONS:
            # The bare process gets the same preparation, so each of a pair
            # starts after the same work.
            prepare = shlex.join(["cp", before[direction], state])
            waits = [str(ms) for ms in asked_waits(traced[direction][0])]
            benchmarks += [(f"kestrum, {direction}", prepare, shlex.join([program, sound])),
                           (f"bare, sleeps {'+'.join(waits)} ms", prepare,
                            shlex.join([bare, *waits]))]
        hyperfine(benchmarks, runs, env, exports)
    return traced
