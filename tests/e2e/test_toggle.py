"""The program and the stand-in phone library together: each run flips the
stored manner mode and gives its confirmation with the right timing."""
import os
import unittest

from kestrum_run import Sandbox

# A wait is never shorter than asked and at most LATE_MS longer; a whole run
# may take up to START_UP_MS more for starting and loading.
LATE_MS = 200
START_UP_MS = 1000


class Toggle(Sandbox):
    def assert_wait(self, start_ms, end_ms, nominal_ms):
        self.assertGreaterEqual(end_ms - start_ms, nominal_ms)
        self.assertLess(end_ms - start_ms, nominal_ms + LATE_MS)

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

    def test_entering_is_one_long_pulse_without_sound(self):
        run = self.run_program(os.path.join(self.folder, "ignored.wav"))
        self.assertEqual(run.status, 0, run.stderr)
        pulses = run.vibrator()
        self.assertEqual([state for _, state in pulses], ["on", "off"])
        self.assert_wait(pulses[0][0], pulses[1][0], 500)
        self.assertEqual(run.named("PlaySoundW") + run.named("MessageBeep"), [])
        self.assertLess(run.seconds * 1000, 500 + START_UP_MS)

    def test_leaving_is_three_short_pulses_after_the_sound(self):
        self.set_state(b"1\n")
        run = self.run_program()
        self.assertEqual(run.status, 0, run.stderr)
        pulses = run.vibrator()
        self.assertEqual([state for _, state in pulses], ["on", "off"] * 3)
        ends = pulses[1:] + [(run.named("FreeLibrary")[0].ms, "released")]
        for (start, state), (end, _) in zip(pulses, ends):
            self.assert_wait(start, end, 100 if state == "on" else 150)
        names = [call.name for call in run.calls]
        self.assertLess(names.index("MessageBeep"), names.index("NLedSetDevice"))
        self.assertLess(run.seconds * 1000, 750 + START_UP_MS)

    def test_any_nonzero_stored_mode_counts_as_on(self):
        for stored in (b"2\n", b"-1\n"):
            self.set_state(stored)
            run = self.run_program()
            self.assertEqual(run.status, 0, run.stderr)
            self.assertEqual(run.named("SetMannerMode")[0].rest, " value=0")
            self.assertEqual(self.state(), b"0\n")

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


class LeaveSound(Sandbox):
    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def test_playable_wav_plays_without_beep(self):
        path = os.path.join(self.folder, "leave.wav")
        samples = self.make_wav(path)
        run = self.run_program(path, "ignored-second-word")
        self.assertEqual(run.status, 0, run.stderr)
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [f' path="{path}" flags=0x00020001 -> 1'])
        self.assertEqual(run.named("MessageBeep"), [])
        self.assert_played(samples)

    def test_missing_wav_beeps_once(self):
        path = os.path.join(self.folder, "missing.wav")
        run = self.run_program(path)
        self.assertEqual(run.status, 0, run.stderr)
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [f' path="{path}" flags=0x00020001 -> 0'])
        # The bell ends the call's own line.
        self.assertEqual([c.rest for c in run.named("MessageBeep")], [" type=0x00000000\a"])
        self.assertEqual(self.state(), b"0\n")

    def test_path_with_blanks_arrives_whole(self):
        folder = os.path.join(self.folder, "my sounds")
        os.mkdir(folder)
        path = os.path.join(folder, "leave tone.wav")
        samples = self.make_wav(path)
        run = self.run_program(path)
        self.assertEqual([c.rest for c in run.named("PlaySoundW")],
                         [f' path="{path}" flags=0x00020001 -> 1'])
        self.assert_played(samples)

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
        # Every line is a trace line, the bell's included; the sound library says nothing.
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
