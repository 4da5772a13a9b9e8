"""Hostile arguments, a state folder that cannot be written and signals
against the real program: every run ends (by itself or by the signal sent),
runs no shell, leaves a valid stored mode, and never reports a sound that did
not start."""
import os
import signal
import subprocess
import time
import unittest

from kestrum_run import PROGRAM, Sandbox

# The unprivileged 'nobody' user for the child, so that permission bits apply
# even when the tests run as root.
AS_NOBODY = {"cwd": "/", "user": 65534, "group": 65534, "extra_groups": []}


class HostileSoundPaths(Sandbox):
    """Leaving manner mode with a path that names no playable sound: the
    mode is still flipped, status is 0, and no sound file is played."""

    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def leave(self, path):
        run = self.run_program(path)
        self.assertEqual(run.status, 0, run.stderr[-500:])
        self.assertEqual(self.state(), b"0\n")
        self.assertIsNone(self.played(1, timeout=0.2))
        sounds = run.named("PlaySoundW")
        self.assertEqual(len(sounds), 1)
        return run, sounds[0].rest

    def test_fifo_with_a_writer_is_not_read(self):
        fifo = os.path.join(self.folder, "held.wav")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        writer = os.open(fifo, os.O_WRONLY)
        self.addCleanup(os.close, writer)
        run, sound = self.leave(fifo)
        self.assertTrue(sound.endswith(" -> 0"), sound)
        self.assertEqual(len(run.named("MessageBeep")), 1)

    def test_64_kib_argument_is_traced_whole_on_one_line(self):
        path = "/" + "b" * 65535
        run, sound = self.leave(path)
        self.assertEqual(sound, f' path="{path}" flags=0x00020001 plays=default -> 1')
        self.assertEqual(run.named("MessageBeep"), [])


class AwkwardButPlayablePaths(Sandbox):
    """Names a shell or an option parser would misread reach the player as
    one plain file name."""

    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def assert_plays(self, path, cwd=None):
        samples = self.make_wav(os.path.join(cwd or self.folder, path))
        run = self.run_program(path, cwd=cwd)
        self.assertEqual(run.status, 0, run.stderr)
        self.assertEqual(len(run.named("PlaySoundW")), 1, run.stderr)
        self.assertTrue(run.named("PlaySoundW")[0].rest.endswith(" -> 1"))
        self.assertEqual(run.named("MessageBeep"), [])
        self.assert_played(samples)
        return run

    def test_leading_dash_is_not_an_option(self):
        for name in ("-leave.wav", "--help"):
            with self.subTest(name=name):
                self.set_state(b"1\n")
                if os.path.exists(self.sink):
                    os.remove(self.sink)
                self.assert_plays(name)

    def test_control_characters_stay_in_the_name_and_off_the_trace_lines(self):
        name = "leave\n@0 exit status=0\t\x1b[31m\x7f.wav"
        run = self.assert_plays(name)
        lines = run.stderr.split(b"\n")
        self.assertFalse(any(line.startswith(b"@0 exit") for line in lines))
        self.assertIn(b'\\x0a@0 exit status=0\\x09\\x1b[31m\\x7f.wav"', run.stderr)

    def test_shell_syntax_runs_nothing(self):
        for name in ("$(touch pwned)", ";touch pwned", "`touch pwned`", "a|touch pwned", "&touch pwned"):
            with self.subTest(name=name):
                folder = os.path.join(self.folder, name)
                os.mkdir(folder)
                self.set_state(b"1\n")
                if os.path.exists(self.sink):
                    os.remove(self.sink)
                self.assert_plays(os.path.join(folder, "x.wav"))
                self.run_program(name)
                time.sleep(0.2)
                self.assertFalse(os.path.exists(os.path.join(self.folder, "pwned")))
                self.assertFalse(os.path.exists(os.path.join(folder, "pwned")))


class UnwritableState(Sandbox):
    """The stand-in phone reports a state it cannot store on stderr; the
    program still completes its toggle with status 0."""

    def test_read_only_state_folder_keeps_the_old_value(self):
        self.set_state(b"1\n")
        folder = os.path.dirname(self.state_file)
        os.chmod(folder, 0o555)
        self.addCleanup(os.chmod, folder, 0o700)
        options = {}
        if os.geteuid() == 0:
            os.chmod(self.folder, 0o755)
            os.chmod(self.state_home, 0o755)
            os.chmod(self.state_file, 0o644)
            options = AS_NOBODY
        run = self.run_program(**options)
        self.assertEqual(run.status, 0, run.stderr)
        self.assertIn(b"cannot store manner mode", run.stderr)
        self.assertEqual(self.state(), b"1\n")


class Interrupted(Sandbox):
    """A run cut short ends by the signal or finishes; the stored mode is
    always one whole value."""

    def start(self, stderr=subprocess.PIPE):
        return subprocess.Popen([PROGRAM], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=stderr, env=self.env, cwd=self.folder)

    def test_signal_during_the_vibration(self):
        for signum in (signal.SIGINT, signal.SIGTERM):
            for before, after in ((b"1\n", b"0\n"), (b"0\n", b"1\n")):
                with self.subTest(signal=signum.name, before=before):
                    self.set_state(before)
                    program = self.start()
                    with program:
                        seen = b""
                        while b"state=on" not in seen:
                            line = program.stderr.readline()
                            self.assertNotEqual(line, b"", "ended before the vibration")
                            seen += line
                        program.send_signal(signum)
                        status = program.wait(timeout=10)
                    self.assertIn(status, (-signum, 0))
                    self.assertEqual(self.state(), after)


if __name__ == "__main__":
    unittest.main()
