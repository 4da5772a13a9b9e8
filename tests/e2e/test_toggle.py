"""The program and the stand-in phone library together, where the host shows
more than the scenario table: the state file from its absence on, garbled
state, where it lives, and how real sound files and outputs are handled."""
import os
import pty
import subprocess
import unittest

from kestrum_run import PROGRAM, Sandbox


class Toggle(Sandbox):
    def test_two_runs_flip_the_mode_and_back(self):
        entering = self.run_program()
        self.assertEqual(entering.status, 0, entering.stderr)
        self.assertEqual(self.state(), b"1\n")
        leaving = self.run_program()
        self.assertEqual(leaving.status, 0, leaving.stderr)
        self.assertEqual(self.state(), b"0\n")
        for run in (entering, leaving):
            self.assertEqual(run.stdout, b"")
            self.assertEqual(len(run.named("GetMannerMode")), 1)
            self.assertEqual(len(run.named("FreeLibrary")), 1)
        self.assertEqual(entering.named("GetMannerMode")[0].rest, " -> 0")
        self.assertEqual(entering.named("SetMannerMode")[0].rest, " value=1")
        self.assertEqual(leaving.named("GetMannerMode")[0].rest, " -> 1")
        self.assertEqual(leaving.named("SetMannerMode")[0].rest, " value=0")

    def test_garbled_or_empty_state_is_reported_and_read_as_off(self):
        for stored in (b"manner mode: on\n", b""):
            with self.subTest(stored=stored):
                self.set_state(stored)
                run = self.run_program()
                self.assertEqual(run.status, 0, run.stderr)
                self.assertIn(b"garbled manner mode", run.stderr)
                self.assertEqual(run.named("GetMannerMode")[0].rest, " -> 0")
                self.assertEqual(self.state(), b"1\n")

    def test_state_defaults_to_the_home_state_folder(self):
        env = dict(self.env)
        del env["XDG_STATE_HOME"]
        run = self.run_program(env=env)
        self.assertEqual(run.status, 0, run.stderr)
        with open(os.path.join(self.folder, ".local", "state", "kestrum", "manner-mode")) as state:
            self.assertEqual(state.read(), "1\n")


def read_or_end(descriptor):
    """What the terminal has; empty once its last writer is gone."""
    try:
        return os.read(descriptor, 4096)
    except OSError:  # EIO: the program has closed its end
        return b""


class LeaveSound(Sandbox):
    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def test_the_bell_rings_at_a_terminal(self):
        controller, terminal = pty.openpty()
        self.addCleanup(os.close, controller)
        with subprocess.Popen([PROGRAM], stdin=subprocess.DEVNULL, stderr=terminal,
                              env=self.env, cwd=self.folder) as program:
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

    def test_no_sound_output_means_a_beep_and_nothing_but_the_trace(self):
        path = os.path.join(self.folder, "leave.wav")
        self.make_wav(path)
        with open(self.alsa_config, "w") as config:
            config.write('pcm.!default { type hw card "kestrum_absent" }\n')
        run = self.run_program(path)
        self.assertEqual(run.status, 0, run.stderr)
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [f' path="{path}" flags=0x00020001 -> 0'])
        self.assertEqual(len(run.named("MessageBeep")), 1)
        # Every line is a trace line; the sound library says nothing.
        stray = [line for line in run.stderr.splitlines() if not line.startswith(b"@")]
        self.assertEqual(stray, [])

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

    def test_file_that_is_not_a_wav_beeps(self):
        path = os.path.join(self.folder, "notes.wav")
        with open(path, "w") as text:
            text.write("RIFF? no, just text\n")
        run = self.run_program(path)
        self.assertEqual(run.named("PlaySoundW")[0].rest.endswith("-> 0"), True)
        self.assertEqual(len(run.named("MessageBeep")), 1)
        self.assertIsNone(self.played(1, timeout=0.3))


if __name__ == "__main__":
    unittest.main()
