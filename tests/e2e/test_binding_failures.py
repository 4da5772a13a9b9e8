"""A missing phone library on the host, beyond the scenario table: how the
message shows and waits, and that the current folder is not searched (the
host looks beside the program, then by the system's search)."""
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import unittest

from kestrum_run import PHONE_LIBRARY, Sandbox

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scenarios"))
import scenario_table  # noqa: E402

# The box's caption and text as the scenario table expects MessageBoxW to get them.
MESSAGE_BOX = re.compile(r'MessageBoxW style=\S+ caption="([^"]*)" text="([^"]*)"$')
MESSAGE_CAPTION, MESSAGE_TEXT = next(
    match.groups() for scenario in scenario_table.load(os.environ["KESTRUM_VERSION"])
    for line in scenario["calls"]
    if (match := MESSAGE_BOX.search(line)))


class BindingFailures(Sandbox):
    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def assert_nothing_signalled(self, run):
        for name in ("SetMannerMode", "NLedSetDevice", "PlaySoundW", "MessageBeep"):
            self.assertEqual(run.named(name), [], name)
        self.assertEqual(self.state(), b"1\n")

    def test_missing_library_message_is_shown_on_stderr(self):
        run = self.run_program("sound.wav", program=self.program_with(None))
        self.assertIn(f"[{MESSAGE_CAPTION}]\n{MESSAGE_TEXT}\n".encode(), run.stderr)
        self.assertEqual([c.rest for c in run.named("exit")], [" status=-1"])
        self.assertEqual(run.stdout, b"")

    def test_message_waits_for_enter_at_a_terminal(self):
        controller, terminal = pty.openpty()
        self.addCleanup(os.close, controller)
        with subprocess.Popen([self.program_with(None)], stdin=terminal, stderr=subprocess.PIPE,
                              env=self.env, cwd=self.folder) as program:
            os.close(terminal)
            with self.assertRaises(subprocess.TimeoutExpired):
                program.wait(timeout=0.5)
            self.assertEqual(select.select([program.stderr], [], [], 0)[0], [program.stderr])
            os.write(controller, b"\n")
            self.assertEqual(program.wait(timeout=10), 255)
            self.assertIn(MESSAGE_TEXT.encode(), program.stderr.read())

    def test_library_in_the_current_folder_is_not_loaded(self):
        shutil.copy(PHONE_LIBRARY, os.path.join(self.folder, "shphonelib.dll"))
        run = self.run_program(program=self.program_with(None), cwd=self.folder)
        self.assertEqual(run.status, 255)
        self.assertEqual(len(run.named("MessageBoxW")), 1)
        self.assert_nothing_signalled(run)



if __name__ == "__main__":
    unittest.main()
