"""The main runs under valgrind's memcheck: no invalid access, no use of
undefined values, no definite leak, and the same status as without it."""
import os
import shutil
import unittest

from kestrum_run import PROGRAM, WITHOUT_GETTER, WITHOUT_SETTER, Sandbox

VALGRIND = shutil.which("valgrind")
# 99 is outside the program's own statuses (0 and 255), so a memcheck error
# can never pass for a normal end.
MEMCHECK = ["--error-exitcode=99", "--leak-check=full",
            "--errors-for-leak-kinds=definite", "--trace-children=no", "--quiet"]


@unittest.skipIf(VALGRIND is None, "valgrind is not installed")
class Memcheck(Sandbox):
    def memcheck(self, *words, program=PROGRAM, status=0):
        run = self.run_program(*MEMCHECK, program, *words, program=VALGRIND)
        self.assertEqual(run.status, status, run.stderr.decode("utf-8", "replace")[-3000:])
        return run

    def test_entering_and_leaving(self):
        wav = os.path.join(self.folder, "leave.wav")
        self.make_wav(wav)
        self.set_state(b"0\n")
        entering = self.memcheck(wav)
        self.assertEqual(self.state(), b"1\n")
        leaving = self.memcheck(wav)
        self.assertTrue(leaving.named("PlaySoundW")[0].rest.endswith(" -> 1"))
        self.assertEqual(len(entering.named("NLedSetDevice")), 2)
        self.assertEqual(self.state(), b"0\n")
        self.set_state(b"1\n")
        without_argument = self.memcheck()
        self.assertEqual(len(without_argument.named("MessageBeep")), 1)

    def test_hostile_arguments(self):
        for word in (b"", b"/" + b"a" * 65535, b"leave-\xff\xc3\xed\xa0\x80.wav"):
            with self.subTest(length=len(word)):
                self.set_state(b"1\n")
                run = self.memcheck(word)
                self.assertTrue(run.named("PlaySoundW")[0].rest.endswith(" plays=default -> 1"))

    def test_binding_failures(self):
        for label, library in (("library missing", None), ("getter missing", WITHOUT_GETTER),
                               ("setter missing", WITHOUT_SETTER)):
            with self.subTest(label):
                run = self.memcheck(program=self.program_with(library), status=255)
                self.assertEqual([c.rest for c in run.named("exit")], [" status=-1"])


if __name__ == "__main__":
    unittest.main()
