#!/usr/bin/python3
"""Wall time of host toggle runs against their fixed waits.

Usage: host_toggle_time.py PATH/TO/kestrum [RUNS_PER_DIRECTION]

Alternates entering (500 ms of waits) and leaving (750 ms) manner mode in a
private state folder, leaving with a small WAV played into a file sink, and
prints per-direction wall times and their ratio to the fixed waits.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
import wave

NOMINAL_MS = {"entering": 500, "leaving": 750}


def make_wav(path):
    with wave.open(path, "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(2)
        sound.setframerate(8000)
        sound.writeframes(bytes(1600))


def main(argv):
    program = argv[1]
    runs = int(argv[2]) if len(argv) > 2 else 10
    with tempfile.TemporaryDirectory() as folder:
        config = os.path.join(folder, "asound.conf")
        with open(config, "w") as out:
            out.write('pcm.!default { type file slave { pcm { type null } } '
                      f'file "{folder}/played.raw" format "raw" }}\n')
        sound = os.path.join(folder, "leave.wav")
        make_wav(sound)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "state"),
                   ALSA_CONFIG_PATH=config)
        times = {"entering": [], "leaving": []}
        for _ in range(runs):
            for direction in ("entering", "leaving"):
                started = time.monotonic()
                subprocess.run([program, sound], env=env, stdin=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=True)
                times[direction].append((time.monotonic() - started) * 1000)
    for direction, samples in times.items():
        nominal = NOMINAL_MS[direction]
        print(f"{direction}: {len(samples)} runs, wall ms median {statistics.median(samples):.1f} "
              f"min {min(samples):.1f} max {max(samples):.1f}; waits {nominal} ms; "
              f"ratio median {statistics.median(samples) / nominal:.3f} "
              f"max {max(samples) / nominal:.3f}")


if __name__ == "__main__":
    main(sys.argv)
