#!/usr/bin/python3
"""The first vibration after leaving manner mode with crafted sound files:
PlaySoundW answers, and the vibration follows, only once the phone's reader
has walked the file's chunks to its format and data, and each of these files
makes that walk long in its own way. Each ends in a playable format and data
chunk, so the walk is whole and the sound plays.

Usage: benchmarks/crafted_sounds.py PROGRAM [RUNS] prints the table of ms
from process start to the first vibration (RUNS defaults to 3, after one
that is not counted). The files are written into a temporary folder: about
1 GiB of disk, and 4 GiB more that stay holes.
"""
import os
import random
import re
import statistics
import struct
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import host_toggle_time  # noqa: E402

VIBRATION = re.compile(rb"^@\d+ NLedSetDevice .*state=on")
SAMPLES = bytes(3200)
TAIL = (b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 16000, 2, 16) +
        b"data" + struct.pack("<I", len(SAMPLES)) + SAMPLES)
MIB = 1 << 20
RUNS = 3


def header(tail_at):
    return b"RIFF" + struct.pack("<I", tail_at + len(TAIL) - 8) + b"WAVE"


def jump(at, to):
    """A chunk at at whose size takes the walk to to, backwards as a negative size."""
    return b"JUNK" + struct.pack("<I", (to - at - 8) % (1 << 32))


def far_jumps(path, size):
    """Chunk i of the first half leads to chunk i of the second, which leads
    back to chunk i + 1: every step of the walk lands half the file away."""
    half = size // 2
    steps = (half - 12) // 8
    low = bytearray(half)
    high = bytearray(size - half)
    for i in range(steps):
        at_low, at_high = 12 + 8 * i, half + 8 * i
        onwards = at_low + 8 if i + 1 < steps else size
        low[at_low:at_low + 8] = jump(at_low, at_high)
        high[8 * i:8 * i + 8] = jump(at_high, onwards)
    low[:12] = header(size)
    with open(path, "wb") as file:
        file.write(low + high + TAIL)


def random_order(path, size):
    """Each chunk leads to one chosen at random, and the last to the format:
    no window the host reads holds the next step."""
    steps = (size - 12) // 8
    order = list(range(1, steps))
    random.Random(1).shuffle(order)  # the same file every run
    body = bytearray(8 * steps)
    at = 12
    for to in [12 + 8 * i for i in order] + [12 + 8 * steps]:
        body[at - 12:at - 4] = jump(at, to)
        at = to
    with open(path, "wb") as file:
        file.write(header(12 + 8 * steps) + body + TAIL)


def every_8_bytes(path, size):
    """Empty chunks back to back: a step for every 8 bytes of the file."""
    block = b"JUNK\0\0\0\0" * (MIB // 8)
    steps = (size - 12) // 8
    with open(path, "wb") as file:
        file.write(header(12 + 8 * steps))
        for done in range(0, steps, len(block) // 8):
            file.write(block[:8 * min(len(block) // 8, steps - done)])
        file.write(TAIL)


def sparse(path, size):
    """A hole, which reads as empty chunks named by zeros, to the end."""
    tail_at = 12 + 8 * ((size - 12 - len(TAIL)) // 8)
    with open(path, "wb") as file:
        file.write(header(tail_at))
        file.seek(tail_at)
        file.write(TAIL)


FILES = (("far jumps back and forth, 16 MiB", far_jumps, 16 * MIB),
         ("jumps in a random order, 16 MiB", random_order, 16 * MIB),
         ("empty chunks back to back, 16 MiB", every_8_bytes, 16 * MIB),
         ("empty chunks back to back, 1 GiB", every_8_bytes, 1024 * MIB),
         ("sparse, a hole of 4 GiB less 4 KiB", sparse, 4096 * MIB - 4096))


def first_vibrations(program, runs, path, env, state):
    """ms from process start; a first run, not counted, reads the new file
    into the page cache."""
    times = []
    for _ in range(runs + 1):
        with open(state, "w") as stored:
            stored.write("1\n")  # leaving manner mode
        run = host_toggle_time.traced_run([program, path], env)
        times.append(run.first(VIBRATION))
    return times[1:]


def print_table(program, runs):
    print("| file | ms median | min | max |")
    print("|---|---:|---:|---:|")
    with tempfile.TemporaryDirectory() as folder:
        env = host_toggle_time.sandbox(folder)
        state = os.path.join(env["XDG_STATE_HOME"], "kestrum", "manner-mode")
        os.makedirs(os.path.dirname(state))
        path = os.path.join(folder, "crafted.wav")
        for name, make, size in FILES:
            make(path, size)
            os.sync()  # no writing back of the new file during the runs
            times = first_vibrations(program, runs, path, env, state)
            os.remove(path)
            print(f"| {name} | {statistics.median(times):.1f} | {min(times):.1f} | "
                  f"{max(times):.1f} |")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    print_table(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else RUNS)
