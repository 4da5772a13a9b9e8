"""The program and the stand-in platform together, where the host shows more
than the scenario table: the terminal bell, file names that are no UTF-8, a
missing sound output, and where the player comes from."""
import os
import pathlib
import pty
import re
import shutil
import struct
import subprocess
import unittest

from kestrum_run import PHONE_LIBRARY, PROGRAM, Sandbox


def read_or_end(descriptor):
    """What the terminal has; empty once its last writer is gone."""
    try:
        return os.read(descriptor, 4096)
    except OSError:  # EIO: the program has closed its end
        return b""


def chunk(name, payload):  # no pad byte after an odd payload, as the phone reads it
    return name + struct.pack("<I", len(payload)) + payload


def pcm(channels, bits, rate=8000):
    block = channels * bits // 8
    return chunk(b"fmt ", struct.pack("<HHIIHH", 1, channels, rate, rate * block, block, bits))


class LeaveSound(Sandbox):
    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def test_the_bell_rings_at_a_terminal(self):
        # Once for the beep, once for the default sound of a missing file.
        for words in ([], ["missing.wav"]):
            with self.subTest(words=words):
                self.set_state(b"1\n")
                controller, terminal = pty.openpty()
                self.addCleanup(os.close, controller)
                with subprocess.Popen([PROGRAM, *words], stdin=subprocess.DEVNULL,
                                      stderr=terminal, env=self.env, cwd=self.folder) as program:
                    os.close(terminal)
                    output = b""
                    while chunk := read_or_end(controller):
                        output += chunk
                    self.assertEqual(program.wait(timeout=10), 0)
                self.assertIn(b"\a@", output)
                self.assertEqual(output.count(b"\a"), 1)

    def test_name_that_is_not_utf8_still_plays(self):
        path = os.path.join(os.fsencode(self.folder), b"leave-\xff\xc3.wav")
        samples = self.make_wav(path)
        run = self.run_program(path)
        self.assertEqual(run.status, 0, run.stderr)
        quoted = f'"{self.folder}/leave-\\xff\\xc3.wav"'
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [f" path={quoted} flags=0x00020001 -> 1"])
        self.assert_played(samples)

    def test_a_name_without_its_wav_plays_as_on_the_phone(self):
        samples = self.make_wav(os.path.join(self.folder, "leave.wav"))
        run = self.run_program("leave")
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [' path="leave" flags=0x00020001 -> 1'])
        self.assert_played(samples)

    def test_no_sound_output_means_a_beep_and_nothing_but_the_trace(self):
        path = os.path.join(self.folder, "leave.wav")
        self.make_wav(path)
        with open(self.alsa_config, "w") as config:
            config.write('pcm.!default { type hw card "kestrum_absent" }\n')
        run = self.run_program(path)
        self.assertEqual(run.status, 0, run.stderr)
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [f' path="{path}" flags=0x00020001 host=no-output -> 0'])
        self.assertEqual(len(run.named("MessageBeep")), 1)
        # Every line is a trace line; the sound library says nothing.
        stray = [line for line in run.stderr.splitlines() if not line.startswith(b"@")]
        self.assertEqual(stray, [])

    def test_the_samples_alone_play_however_the_chunks_lie(self):
        samples = self.make_wav(os.path.join(self.folder, "plain.wav"))[:3200]
        data, odd, after = chunk(b"data", samples), chunk(b"JUNK", b"abc"), chunk(b"LIST", b"x")
        # The output gets the samples, then the silence that fills its last period.
        for chunks, played, silence in (((odd, pcm(1, 16), data), samples, b"\0"),
                                        ((pcm(1, 16), odd, data), samples, b"\0"),
                                        ((pcm(2, 8), data, after), samples, b"\x80"),
                                        ((pcm(1, 16), chunk(b"data", b""), after), b"", b"")):
            with self.subTest(chunks=[c[:4] for c in chunks]):
                self.set_state(b"1\n")
                if os.path.exists(self.sink):
                    os.remove(self.sink)
                with open(os.path.join(self.folder, "leave.wav"), "wb") as file:
                    file.write(chunk(b"RIFF", b"WAVE" + b"".join(chunks)))
                run = self.run_program("leave.wav")
                self.assertTrue(run.named("PlaySoundW")[0].rest.endswith(" -> 1"), run.stderr)
                if played:
                    self.assert_played(played, silence)
                else:
                    self.assertFalse(self.played(1, timeout=0.5))

    def test_without_alsa_the_trace_says_so_and_the_beep_sounds(self):
        self.make_wav(os.path.join(self.folder, "leave.wav"))
        alsa = os.path.join(self.folder, "libasound.so.2")
        # No library under ALSA's name, then one without ALSA's calls.
        for make in (lambda: open(alsa, "w").close(), lambda: shutil.copy(PHONE_LIBRARY, alsa)):
            self.set_state(b"1\n")
            make()
            run = self.run_program("leave.wav", env=dict(self.env, LD_LIBRARY_PATH=self.folder))
            self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                             [' path="leave.wav" flags=0x00020001 host=no-alsa -> 0'])
            self.assertEqual(len(run.named("MessageBeep")), 1)

    def test_only_a_file_to_play_loads_a_sound_library(self):
        self.make_wav(os.path.join(self.folder, "leave.wav"))
        loaded = re.compile(f"lib(asound|sndfile).*by {re.escape(PROGRAM)} ")
        for state, loads in ((b"0\n", False), (b"1\n", True)):  # entering, then leaving
            self.set_state(state)
            log = os.path.join(self.folder, f"ld-{loads}")  # one file per process
            self.run_program("leave.wav", env=dict(self.env, LD_DEBUG="files", LD_DEBUG_OUTPUT=log))
            text = "".join(path.read_text(errors="replace")
                           for path in pathlib.Path(self.folder).glob(f"ld-{loads}.*"))
            self.assertEqual(bool(loaded.search(text)), loads, text)

    def test_player_is_not_looked_up_in_path(self):
        decoys = os.path.join(self.folder, "bin")
        os.mkdir(decoys)
        marker = os.path.join(self.folder, "decoy-ran")
        decoy = os.path.join(decoys, "aplay")
        with open(decoy, "w") as script:
            script.write(f"#!/bin/sh\n: > '{marker}'\n")
        os.chmod(decoy, 0o755)
        path = os.path.join(self.folder, "leave.wav")
        samples = self.make_wav(path)
        run = self.run_program(path, env=dict(self.env, PATH=decoys))
        self.assertTrue(run.named("PlaySoundW")[0].rest.endswith("-> 1"), run.stderr)
        self.assertEqual(run.named("MessageBeep"), [])
        self.assert_played(samples)
        self.assertFalse(os.path.exists(marker))


if __name__ == "__main__":
    unittest.main()
