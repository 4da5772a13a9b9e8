"""Hostile arguments, broken state files and signals against the real program:
every run ends (by itself or by the signal sent), runs no shell, leaves a valid
stored mode, and never reports a sound that did not start."""
import os
import random
import signal
import subprocess
import time
import unittest

from kestrum_run import PROGRAM, Sandbox

VALID_STATES = (b"0\n", b"1\n")

# The unprivileged 'nobody' user for the child, so that permission bits apply
# even when the tests run as root.
AS_NOBODY = {"cwd": "/", "user": 65534, "group": 65534, "extra_groups": []}


class HostileSoundPaths(Sandbox):
    """Leaving manner mode with a path that cannot be played: PlaySoundW
    says 0, the beep follows, the mode is still flipped and status is 0."""

    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def assert_refused(self, path, as_user=None):
        run = self.run_program(path, **(as_user or {}))
        self.assertEqual(run.status, 0, run.stderr[-500:])
        sounds = run.named("PlaySoundW")
        self.assertEqual(len(sounds), 1)
        self.assertTrue(sounds[0].rest.endswith(" -> 0"), sounds[0].rest[-80:])
        self.assertEqual(len(run.named("MessageBeep")), 1)
        self.assertEqual(self.state(), b"0\n")
        self.assertIsNone(self.played(1, timeout=0.2))
        self.set_state(b"1\n")
        return run

    def write(self, name, content):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as file:
            file.write(content)
        return path

    def test_paths_that_name_no_playable_file(self):
        os.mkfifo(os.path.join(self.folder, "fifo.wav"))
        for path in ("", os.path.join(self.folder, "fifo.wav"), self.folder, "/dev/zero",
                     "/dev/null", "/" + "a" * 65535):
            with self.subTest(path=path[:40]):
                self.assert_refused(path)

    def test_fifo_with_a_writer_is_not_read(self):
        fifo = os.path.join(self.folder, "held.wav")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        writer = os.open(fifo, os.O_WRONLY)
        self.addCleanup(os.close, writer)
        self.assert_refused(fifo)

    def test_64_kib_argument_is_traced_whole_on_one_line(self):
        path = "/" + "b" * 65535
        run = self.assert_refused(path)
        self.assertEqual(run.named("PlaySoundW")[0].rest,
                         f' path="{path}" flags=0x00020001 -> 0')

    def test_broken_wav_files(self):
        whole = os.path.join(self.folder, "whole.wav")
        self.make_wav(whole)
        with open(whole, "rb") as file:
            good = file.read()
        absurd_riff = good[:4] + (0xFFFFFFF0).to_bytes(4, "little") + good[8:]
        data_at = good.index(b"data")
        absurd_data = good[:data_at + 4] + (0xFFFFFFF0).to_bytes(4, "little") + good[data_at + 8:]
        absurd_format = good[:16] + (0x7FFFFFFF).to_bytes(4, "little") + good[20:]
        cases = {"truncated-header.wav": good[:30], "truncated-data.wav": good[:len(good) // 2],
                 "absurd-riff.wav": absurd_riff, "absurd-data.wav": absurd_data,
                 "absurd-format.wav": absurd_format, "empty.wav": b""}
        for name, content in cases.items():
            with self.subTest(name=name):
                self.assert_refused(self.write(name, content))

    def test_unreadable_file(self):
        path = os.path.join(self.folder, "locked.wav")
        self.make_wav(path)
        os.chmod(path, 0)
        as_user = None
        if os.geteuid() == 0:
            # The child must be able to reach its program, state and folder.
            os.chmod(self.folder, 0o755)
            os.makedirs(self.state_home, mode=0o777, exist_ok=True)
            os.chmod(self.state_home, 0o777)
            os.chmod(os.path.dirname(self.state_file), 0o777)
            os.chmod(self.state_file, 0o666)
            as_user = AS_NOBODY
        self.assert_refused(path, as_user)


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


class BrokenStateFile(Sandbox):
    """The stand-in phone reports state it cannot read or store on stderr;
    the program still completes its toggle with status 0."""

    def test_state_that_is_no_regular_file_is_not_read(self):
        folder = os.path.dirname(self.state_file)
        os.makedirs(folder)
        makers = {"fifo": os.mkfifo,
                  "link to /dev/zero": lambda path: os.symlink("/dev/zero", path)}
        for label, make in makers.items():
            with self.subTest(label):
                make(self.state_file)
                run = self.run_program()
                self.assertEqual(run.status, 0, run.stderr)
                self.assertIn(b"garbled manner mode", run.stderr)
                self.assertEqual(run.named("GetMannerMode")[0].rest, " -> 0")
                # The new value replaces the odd file instead of going into it.
                self.assertFalse(os.path.islink(self.state_file))
                self.assertEqual(self.state(), b"1\n")
                os.remove(self.state_file)

    def test_state_that_cannot_be_stored_is_reported(self):
        blocker = os.path.join(self.folder, "not-a-folder")
        with open(blocker, "w") as file:
            file.write("x")
        cases = {"state file is a folder": (None, "cannot store manner mode"),
                 "state home is a file": (blocker, "cannot store manner mode")}
        os.makedirs(self.state_file)
        for label, (state_home, message) in cases.items():
            with self.subTest(label):
                env = dict(self.env, XDG_STATE_HOME=state_home or self.state_home)
                run = self.run_program(env=env)
                self.assertEqual(run.status, 0, run.stderr)
                self.assertEqual(run.named("SetMannerMode")[0].rest, " value=1")
                self.assertIn(message.encode(), run.stderr)
                self.assertEqual(len(run.named("FreeLibrary")), 1)
        self.assertTrue(os.path.isdir(self.state_file))
        with open(blocker) as file:
            self.assertEqual(file.read(), "x")

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

    def test_killed_at_random_moments_leaves_a_valid_mode(self):
        chooser = random.Random(5)
        self.set_state(b"1\n")
        for attempt in range(40):
            with self.subTest(attempt=attempt):
                program = self.start(stderr=subprocess.DEVNULL)
                time.sleep(chooser.uniform(0.0, 0.8))
                program.kill()
                status = program.wait(timeout=10)
                self.assertIn(status, (-signal.SIGKILL, 0))
                self.assertIn(self.state(), VALID_STATES)
        folder = os.path.dirname(self.state_file)
        leftovers = [name for name in os.listdir(folder) if name != "manner-mode"]
        # A kill between creating the new file and renaming it may leave
        # that file behind, never a partial manner-mode.
        self.assertTrue(all(name.startswith(".manner-mode.") for name in leftovers), leftovers)
        # The next whole run clears them.
        self.assertEqual(self.run_program().status, 0)
        self.assertEqual(os.listdir(folder), ["manner-mode"])


class Unattended(Sandbox):
    def test_open_but_silent_stdin_does_not_hold_the_message(self):
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, write_end)
        with subprocess.Popen([self.program_with(None)], stdin=read_end,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=self.env,
                              cwd=self.folder) as program:
            os.close(read_end)
            self.assertEqual(program.wait(timeout=10), 255)
            self.assertIn(b"MessageBoxW", program.stderr.read())


if __name__ == "__main__":
    unittest.main()
