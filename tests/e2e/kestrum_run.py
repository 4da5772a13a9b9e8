"""Runs the built kestrum program in a sandbox of its own and reads its trace.

Each sandbox has its own state folder (XDG_STATE_HOME) and an ALSA
configuration that sends the default device to a file, so runs need no sound
card and tests can read back what was played.
"""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import wave
from dataclasses import dataclass

TRACE_LINE = re.compile(r"^@(\d+) (\S+)(.*)$")
PROGRAM = os.environ["KESTRUM_PROGRAM"]
PHONE_LIBRARY = os.path.join(os.path.dirname(PROGRAM), "shphonelib.dll")
WITHOUT_GETTER = os.environ["KESTRUM_PHONE_WITHOUT_GETTER"]
WITHOUT_SETTER = os.environ["KESTRUM_PHONE_WITHOUT_SETTER"]


@dataclass
class Call:
    ms: int
    name: str
    rest: str


@dataclass
class Run:
    status: int
    stdout: bytes
    stderr: bytes
    seconds: float

    @property
    def calls(self):
        found = []
        for line in self.stderr.split(b"\n"):
            match = TRACE_LINE.match(line.decode("utf-8", "surrogateescape"))
            if match:
                found.append(Call(int(match[1]), match[2], match[3]))
        return found

    def named(self, name):
        return [call for call in self.calls if call.name == name]


class Sandbox(unittest.TestCase):
    """A test case with a fresh folder, state home and sound sink per test."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kestrum-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.state_home = os.path.join(self.folder, "state")
        self.state_file = os.path.join(self.state_home, "kestrum", "manner-mode")
        self.sink = os.path.join(self.folder, "played.raw")
        self.alsa_config = os.path.join(self.folder, "asound.conf")
        with open(self.alsa_config, "w") as config:
            config.write('pcm.!default { type file slave { pcm { type null } } '
                         f'file "{self.sink}" format "raw" }}\n')
        self.env = dict(os.environ, XDG_STATE_HOME=self.state_home,
                        ALSA_CONFIG_PATH=self.alsa_config, HOME=self.folder)

    def run_program(self, *words, program=PROGRAM, cwd=None, env=None, **options):
        """options go to subprocess.run (user and group, say)."""
        started = time.monotonic()
        done = subprocess.run([program, *words], stdin=subprocess.DEVNULL, capture_output=True,
                              env=env or self.env, cwd=cwd or self.folder, timeout=30, **options)
        return Run(done.returncode, done.stdout, done.stderr, time.monotonic() - started)

    def program_with(self, library):
        """A copy of the program in a folder of its own, with library (or
        none) beside it as shphonelib.dll."""
        folder = tempfile.mkdtemp(dir=self.folder, prefix="bin-")
        program = shutil.copy(PROGRAM, folder)
        if library:
            shutil.copy(library, os.path.join(folder, "shphonelib.dll"))
        return program

    def set_state(self, content):
        os.makedirs(os.path.dirname(self.state_file), exist_ok=True)
        with open(self.state_file, "wb") as state:
            state.write(content)

    def state(self):
        try:
            with open(self.state_file, "rb") as state:
                return state.read()
        except FileNotFoundError:
            return None

    def make_wav(self, path, frames=4000, rate=8000):
        """A 16-bit mono PCM WAV; returns its sample bytes."""
        samples = bytes((i * 7 + 3) % 251 for i in range(frames * 2))
        with open(path, "wb") as file, wave.open(file, "wb") as sound:
            sound.setnchannels(1)
            sound.setsampwidth(2)
            sound.setframerate(rate)
            sound.writeframes(samples)
        return samples

    def played(self, expected_length, timeout=10.0):
        """The bytes the sound sink received, once at least expected_length
        have arrived (the player outlives the program) or the time is up."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if os.path.exists(self.sink) and os.path.getsize(self.sink) >= expected_length:
                time.sleep(0.05)
                break
            time.sleep(0.02)
        if not os.path.exists(self.sink):
            return None
        with open(self.sink, "rb") as sink:
            return sink.read()

    def assert_played(self, samples, silence=b"\0"):
        """The samples reached the sound system whole; the device pads the
        last period with silence."""
        played = self.played(len(samples))
        self.assertIsNotNone(played, "nothing reached the sound system")
        self.assertEqual(played[:len(samples)], samples)
        self.assertEqual(played[len(samples):].strip(silence), b"")
