#!/usr/bin/env python3
"""Shows that the ARMv5TE check rejects newer code and accepts the older
instructions the compiler uses. Usage: check_arm_isa_test.py CHECKER CLANG OBJDUMP"""

import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = CLANG = OBJDUMP = None

ARM_PROLOGUE = ".syntax unified\n.arm\n.text\nf:\n"


class CheckArmIsa(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def check(self, source, target="armv7a-none-eabi"):
        path = os.path.join(self.dir.name, "sample")
        with open(path + ".s", "w") as sample:
            sample.write(source + "\n")
        subprocess.run([CLANG, f"--target={target}", "-c", path + ".s", "-o", path + ".o"],
                       check=True)
        return subprocess.run([sys.executable, CHECKER, "--objdump", OBJDUMP, path + ".o"],
                              capture_output=True, text=True)

    def assertRejected(self, *instructions):
        # One object for all: an allowed instruction first, then one offender
        # per word, each of which must be reported on its own.
        body = "".join(f" {instruction}\n" for instruction in instructions)
        result = self.check(ARM_PROLOGUE + " mov r0, r1\n" + body + " bx lr")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.count("not ARMv5TE"), len(instructions), result.stderr)
        for index, instruction in enumerate(instructions):
            self.assertIn(f"0x{4 * (index + 1):x}:", result.stderr, instruction)

    def test_rejects_movw_and_movt(self):
        self.assertRejected("movw r0, #0x1234", "movt r0, #0x1234")

    def test_rejects_v6_and_v7_instructions(self):
        self.assertRejected("rev r0, r1", "uxtb r0, r1", "sxth r0, r1", "ldrex r0, [r1]",
                            "strex r0, r1, [r2]", "dmb ish", "cpsid i", "smlad r0, r1, r2, r3",
                            "bfi r0, r1, #2, #3", "ubfx r0, r1, #1, #2", "wfi", "nop",
                            "sel r0, r1, r2", "ldrexd r0, r1, [r2]", "clrex", "setend be")

    def test_rejects_doubleword_access_to_the_stack(self):
        self.assertRejected("strd r4, r5, [sp, #8]", "ldrdeq r0, r1, [sp], #8")

    def test_rejects_a_call_that_switches_to_thumb(self):
        self.assertRejected("blx f")

    def test_rejects_thumb_code(self):
        result = self.check(".syntax unified\n.thumb\n.text\ng:\n movs r0, #1\n bx lr")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Thumb", result.stderr)

    def test_accepts_armv5te_code(self):
        source = ARM_PROLOGUE + """
 push {r4, r5, lr}
 ldrd r4, r5, [r0]
 strd r4, r5, [r1, #8]
 clz r2, r3
 smlabb r0, r1, r2, r3
 qadd r0, r1, r2
 pld [r0]
 addseq r0, r0, #1
 ldrbne r1, [r2], #1
 ldmdb r0, {r1, r2}
 mov r0, r0
 lsl r0, r1, #2
 blx r3
 svc #0
 bl f
 mrs r0, cpsr
 ldr r0, 1f
 pop {r4, r5, pc}
1: .word 0xe3001234
"""
        result = self.check(source, target="armv5te-none-eabi")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")

    def test_an_object_without_code_is_not_passed_as_clean(self):
        result = self.check(".data\n.word 1", target="armv5te-none-eabi")
        self.assertEqual(result.returncode, 1)
        self.assertIn("no instructions", result.stderr)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    OBJDUMP, CLANG, CHECKER = sys.argv.pop(), sys.argv.pop(), sys.argv.pop()
    unittest.main(verbosity=1)
