"""The runner refuses or stops what a phone would, and what it does not
simulate (another base, imports from another library): copies of the real
Kestrum.exe are patched here, run through the cerunner command, and the
runner's exit status and message are checked. Also covers the command's
own statuses. Needs python3-pefile, so run it with /usr/bin/python3."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

RUNNER = IMAGE = None
RAN_TO_EXIT, BAD_OPTIONS, REFUSED, STOPPED = 0, 2, 3, 4


def arm_words(*words):
    return b"".join(struct.pack("<I", w) for w in words)


class PatchedImage:
    """A scratch copy of the image. Header fields are edited through pefile;
    other bytes are written at the file offsets pefile finds, after pefile
    has written its structures back (it would overwrite some of them)."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "Patched.exe")
        shutil.copyfile(IMAGE, self.path)
        self.pe = pefile.PE(self.path)
        self.patches = []

    def set_bytes_at_rva(self, rva, data):
        self.patches.append((self.pe.get_offset_from_rva(rva), data))

    def write_at_entry(self, code):
        self.set_bytes_at_rva(self.pe.OPTIONAL_HEADER.AddressOfEntryPoint, code)

    def imports(self):
        return self.pe.DIRECTORY_ENTRY_IMPORT[0]

    def section(self, name):
        return next(s for s in self.pe.sections if s.Name.rstrip(b"\0") == name)

    def rename_import(self, old, new):
        assert len(old) == len(new)
        entry = next(i for i in self.imports().imports if i.name == old)
        self.set_bytes_at_rva(entry.hint_name_table_rva + 2, new)

    def save(self):
        data = bytearray(self.pe.write())
        self.pe.close()
        for offset, patch in self.patches:
            data[offset:offset + len(patch)] = patch
        with open(self.path, "wb") as out:
            out.write(data)
        return self.path


class HostileImages(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="cerunner-")
        self.image = PatchedImage(self.folder)

    def tearDown(self):
        shutil.rmtree(self.folder)

    def run_image(self, *options):
        path = self.image.save()
        return subprocess.run([RUNNER, "--mode=1", *options, path], capture_output=True,
                              text=True, timeout=60)

    def assert_outcome(self, status, message, *options):
        result = self.run_image(*options)
        self.assertEqual(result.returncode, status, result.stderr)
        self.assertIn(message, result.stderr)
        return result

    # Instructions the PXA270 does not have, and states it must not reach.
    def test_instructions_newer_than_armv5te_are_undefined(self):
        for word in (0xE3010234, 0xE6BF0F31, 0xF57FF05F, 0xE1920F9F):  # movw, rev, dmb, ldrex
            with self.subTest(word=hex(word)):
                self.image = PatchedImage(self.folder)
                self.image.write_at_entry(arm_words(word))
                self.assert_outcome(STOPPED, "non-ARMv5TE instruction 0x%08x" % word)

    def test_switch_to_thumb2_code_is_stopped(self):
        # add ip, pc, #1; bx ip; then a Thumb-2 movw.
        self.image.write_at_entry(arm_words(0xE28FC001, 0xE12FFF1C, 0x0034F241))
        self.assert_outcome(STOPPED, "Thumb state")

    def test_ldrd_on_a_four_aligned_stack_faults(self):
        self.image.write_at_entry(arm_words(0xE1CD00D0))  # ldrd r0, r1, [sp]
        self.assert_outcome(STOPPED, "LDRD/STRD 4-byte read of 0x037ffff4 not 8-byte aligned")

    def test_ldrd_on_an_eight_aligned_address_runs(self):
        # sub sp, sp, #4; ldrd r0, r1, [sp]; b .
        self.image.write_at_entry(arm_words(0xE24DD004, 0xE1CD00D0, 0xEAFFFFFE))
        self.assert_outcome(STOPPED, "instruction budget of 100 exceeded", "--budget=100")

    def test_misaligned_word_read_faults(self):
        self.image.write_at_entry(arm_words(0xE59D0001))  # ldr r0, [sp, #1]
        self.assert_outcome(STOPPED, "misaligned 4-byte read of 0x037ffff5")

    def test_null_read_faults(self):
        self.image.write_at_entry(arm_words(0xE3A00000, 0xE5900000))  # mov r0,#0; ldr r0,[r0]
        self.assert_outcome(STOPPED, "read of unmapped memory 0x00000000")

    def test_write_into_code_faults(self):
        self.image.write_at_entry(arm_words(0xE50F0008))  # str r0, [pc, #-8]
        self.assert_outcome(STOPPED, "write to read-only memory")

    def test_stack_overflow_is_named(self):
        # sub sp, sp, #0x10000; str r0, [sp]
        self.image.write_at_entry(arm_words(0xE24DD801, 0xE58D0000))
        self.assert_outcome(STOPPED, "stack overflow")

    def test_software_interrupt_is_stopped(self):
        self.image.write_at_entry(arm_words(0xEF000000))
        self.assert_outcome(STOPPED, "processor exception")

    def test_return_from_the_entry_ends_the_process_with_its_value(self):
        self.image.write_at_entry(arm_words(0xE3A0002A, 0xE12FFF1E))  # mov r0,#42; bx lr
        result = self.assert_outcome(RAN_TO_EXIT, "ExitThread status=42 by=return")
        self.assertIn("status=42", result.stdout)

    def test_call_that_does_not_interwork_is_caught_with_thumb_libraries(self):
        slot = self.image.imports().imports[0].address  # a virtual address, as pefile gives it
        # ldr ip, [pc, #8]; ldr ip, [ip]; mov lr, pc; mov pc, ip; .word slot
        self.image.write_at_entry(arm_words(0xE59FC008, 0xE59CC000, 0xE1A0E00F, 0xE1A0F00C, slot))
        self.assert_outcome(STOPPED, "(Thumb code) entered in ARM state: the call did not interwork",
                            "--thumb-libraries")

    def test_write_to_the_loaders_table_faults(self):
        data = self.image.section(b".data")
        table = self.image.pe.OPTIONAL_HEADER.ImageBase + data.VirtualAddress + \
            (data.Misc_VirtualSize + 3) // 4 * 4
        self.image.write_at_entry(arm_words(0xE59F1000, 0xE5810000, table))  # ldr r1, =table; str r0, [r1]
        self.assert_outcome(STOPPED, "the loader keeps its section table there")

    def test_endless_loop_stops_at_the_budget(self):
        self.image.write_at_entry(arm_words(0xEAFFFFFE))  # b .
        result = self.assert_outcome(STOPPED, "instruction budget of 5000 exceeded", "--budget=5000")
        self.assertIn("instructions=5000 ", result.stdout)

    # What the loader refuses before anything runs, and what binds but is not simulated.
    def test_imports_bind_only_to_coredlls_exports(self):
        # The platform's table of COREDLL's exports decides: it has no exit, so
        # an image that imports it never starts on a phone. CloseHandle binds;
        # the program calls it only where it calls MessageBoxW, without the library.
        for old, new, options, status, message in (
                (b"Sleep", b"exit\0", (), REFUSED, "ERROR_BAD_EXE_FORMAT: imports COREDLL.dll!exit, "
                                                   "which COREDLL's export table lacks"),
                (b"MessageBoxW", b"MessageBoxX", (), REFUSED, "imports COREDLL.dll!MessageBoxX,"),
                (b"MessageBoxW", b"CloseHandle", (), RAN_TO_EXIT, "TerminateProcess"),
                (b"MessageBoxW", b"CloseHandle", ("--phone-library=absent",), STOPPED,
                 "COREDLL.dll!CloseHandle is not simulated")):
            with self.subTest(new=new, options=options):
                self.image = PatchedImage(self.folder)
                self.image.rename_import(old, new)
                result = self.assert_outcome(status, message, *options)
                if status == REFUSED:
                    self.assertNotIn("@0 ", result.stderr, "nothing may run before the refusal")

    def test_other_library_is_refused(self):
        name_rva = self.image.imports().struct.Name
        self.image.set_bytes_at_rva(name_rva, b"COREDLX.dll")
        self.assert_outcome(REFUSED, "imports from COREDLX.dll; only COREDLL.dll")

    def test_imports_by_ordinal_bind_only_to_coredlls_ordinals(self):
        # The first import is LoadLibraryW, COREDLL's ordinal 528; 553 is CloseHandle.
        for ordinal, status, message in ((528, RAN_TO_EXIT, "LoadLibraryW name="),
                                         (3000, REFUSED, "COREDLL.dll ordinal 3000, which"),
                                         (0x10000 + 528, REFUSED, "COREDLL.dll ordinal 66064,"),
                                         (553, STOPPED, "COREDLL.dll!CloseHandle is not simulated")):
            with self.subTest(ordinal=ordinal):
                self.image = PatchedImage(self.folder)
                descriptor = self.image.imports().struct
                for table in (descriptor.OriginalFirstThunk, descriptor.FirstThunk):
                    self.image.set_bytes_at_rva(table, arm_words(0x80000000 | ordinal))
                self.assert_outcome(status, message)

    def test_section_table_is_read_after_a_full_optional_header(self):
        # The loader ignores SizeOfOptionalHeader, so a wrong one changes nothing.
        self.image.pe.FILE_HEADER.SizeOfOptionalHeader = 0xF0
        self.assert_outcome(RAN_TO_EXIT, "TerminateProcess process=0x00000042 status=0")

    def test_wrong_headers_are_refused(self):
        cases = [
            (lambda pe: setattr(pe.FILE_HEADER, "Machine", 0x01C4), "machine 0x01c4"),
            (lambda pe: setattr(pe.OPTIONAL_HEADER, "ImageBase", 0x00400000), "image base"),
            (lambda pe: setattr(pe.OPTIONAL_HEADER, "MajorSubsystemVersion", 6),
             "ERROR_OLD_WIN_VERSION: needs Windows CE 6.2, newer than the phone's 5.2"),
            (lambda pe: setattr(pe.OPTIONAL_HEADER, "AddressOfEntryPoint",
                                pe.OPTIONAL_HEADER.AddressOfEntryPoint | 1), "Thumb state"),
        ]
        for patch, message in cases:
            with self.subTest(message=message):
                self.image = PatchedImage(self.folder)
                patch(self.image.pe)
                self.assert_outcome(REFUSED, message)


class Command(unittest.TestCase):
    def test_bad_options_and_unreadable_images_have_their_own_status(self):
        missing = os.path.join(tempfile.gettempdir(), "no-such.exe")
        folder = tempfile.gettempdir()
        for arguments, status, message in (
                (["--mode=on", IMAGE], BAD_OPTIONS, "--mode: must be"),
                (["--help"], RAN_TO_EXIT, ""),
                ([missing], REFUSED, f"cannot read image {missing}: No such file or directory\n"),
                ([folder], REFUSED, f"cerunner: cannot read image {folder}: Is a directory\n")):
            with self.subTest(arguments=arguments):
                result = subprocess.run([RUNNER, *arguments], capture_output=True, text=True,
                                        timeout=60)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message, result.stderr)
                # Only help and a finished run print to stdout.
                self.assertEqual(result.stdout.startswith("Usage: cerunner"), status == RAN_TO_EXIT)


if __name__ == "__main__":
    RUNNER, IMAGE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
