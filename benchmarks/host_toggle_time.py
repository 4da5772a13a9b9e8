#!/usr/bin/python3
"""Wall time of host toggle runs against their fixed waits.

Usage: host_toggle_time.py PATH/TO/kestrum [RUNS_PER_DIRECTION]

Alternates entering (500 ms of waits) and leaving (750 ms) manner mode in a
private state folder, leaving with a small WAV played into a file sink, and
prints per-direction wall times and their ratio to the fixed waits, and how
much longer than asked each kind of wait took by the program's own trace.
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import wave

NOMINAL_MS = {"entering": 500, "leaving": 750}
TRACE_TIME = re.compile(rb"^@(\d+) ")
SLEEP = re.compile(rb"^@(\d+) Sleep ms=(\d+)")


def make_wav(path):
    with wave.open(path, "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(2)
        sound.setframerate(8000)
        sound.writeframes(bytes(1600))


def wait_errors(trace):
    """(asked ms, traced ms past it) for each Sleep: the time from its line to
    the next trace line, less what was asked."""
    lines = [line for line in trace.split(b"\n") if TRACE_TIME.match(line)]
    errors = []
    for line, following in zip(lines, lines[1:]):
        sleep = SLEEP.match(line)
        if sleep:
            asked = int(sleep[2])
            ended = int(TRACE_TIME.match(following)[1])
            errors.append((asked, ended - int(sleep[1]) - asked))
    return errors


def measure(program, runs):
    """Wall ms per direction and the wait errors, keyed by the asked ms."""
    times = {"entering": [], "leaving": []}
    errors = {}
    with tempfile.TemporaryDirectory() as folder:
        config = os.path.join(folder, "asound.conf")
        with open(config, "w") as out:
            out.write('pcm.!default { type file slave { pcm { type null } } '
                      f'file "{folder}/played.raw" format "raw" }}\n')
        sound = os.path.join(folder, "leave.wav")
        make_wav(sound)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "state"),
                   ALSA_CONFIG_PATH=config)
        for _ in range(runs):
            for direction in ("entering", "leaving"):
                started = time.monotonic()
                done = subprocess.run([program, sound], env=env, stdin=subprocess.DEVNULL,
                                      stderr=subprocess.PIPE, check=True)
                times[direction].append((time.monotonic() - started) * 1000)
                for asked, error in wait_errors(done.stderr):
                    errors.setdefault(asked, []).append(error)
    return times, errors


def main(argv):
    program = argv[1]
    runs = int(argv[2]) if len(argv) > 2 else 10
    times, errors = measure(program, runs)
    for direction, samples in times.items():
        nominal = NOMINAL_MS[direction]
        print(f"{direction}: {len(samples)} runs, wall ms median {statistics.median(samples):.1f} "
              f"min {min(samples):.1f} max {max(samples):.1f}; waits {nominal} ms; "
              f"ratio median {statistics.median(samples) / nominal:.3f} "
              f"max {max(samples) / nominal:.3f}")
    for asked, samples in sorted(errors.items()):
        print(f"Sleep {asked} ms: {len(samples)} waits, traced ms over asked median "
              f"{statistics.median(samples)} min {min(samples)} max {max(samples)}")


if __name__ == "__main__":
    main(sys.argv)
