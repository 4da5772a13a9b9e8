"""A missing phone library or entry point ends the run with status 255 (-1)
and leaves the stored manner mode as it was."""
import os
import pty
import select
import shutil
import subprocess
import unittest

from kestrum_run import PHONE_LIBRARY, WITHOUT_GETTER, WITHOUT_SETTER, Sandbox

MESSAGE_TEXT = "shphonelib.dll がロードできませんでした。W-ZERO3シリーズ以外には対応していません。"
MESSAGE_CAPTION = "Kestrum 1.0.0 by id:dorvil"


class BindingFailures(Sandbox):
    def setUp(self):
        super().setUp()
        self.set_state(b"1\n")

    def assert_nothing_signalled(self, run):
        for name in ("SetMannerMode", "NLedSetDevice", "PlaySoundW", "MessageBeep"):
            self.assertEqual(run.named(name), [], name)
        self.assertEqual(self.state(), b"1\n")

    def test_missing_library_shows_the_message_and_changes_nothing(self):
        run = self.run_program("sound.wav", program=self.program_with(None))
        self.assertEqual(run.status, 255)
        self.assertIn(f"[{MESSAGE_CAPTION}]\n{MESSAGE_TEXT}\n".encode(), run.stderr)
        self.assertEqual([c.rest for c in run.named("MessageBoxW")],
                         [f' style=0x00000010 caption="{MESSAGE_CAPTION}" text="{MESSAGE_TEXT}"'])
        self.assertEqual([c.rest for c in run.named("exit")], [" status=-1"])
        self.assertEqual(run.named("GetProcAddressW") + run.named("FreeLibrary"), [])
        self.assert_nothing_signalled(run)
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

    def test_missing_getter_ends_silently_after_release(self):
        run = self.run_program(program=self.program_with(WITHOUT_GETTER))
        self.assertEqual(run.status, 255)
        self.assertEqual([call.name for call in run.calls],
                         ["LoadLibraryW", "GetProcAddressW", "FreeLibrary", "exit"])
        self.assertTrue(run.calls[1].rest.endswith("-> null"))
        self.assertNotIn(MESSAGE_CAPTION.encode(), run.stderr)
        self.assert_nothing_signalled(run)

    def test_missing_setter_reads_once_and_changes_nothing(self):
        run = self.run_program(program=self.program_with(WITHOUT_SETTER))
        self.assertEqual(run.status, 255)
        self.assertEqual([call.name for call in run.calls],
                         ["LoadLibraryW", "GetProcAddressW", "GetMannerMode", "GetProcAddressW",
                          "FreeLibrary", "exit"])
        self.assertEqual(run.named("GetMannerMode")[0].rest, " -> 1")
        self.assertNotIn(MESSAGE_CAPTION.encode(), run.stderr)
        self.assert_nothing_signalled(run)


if __name__ == "__main__":
    unittest.main()
