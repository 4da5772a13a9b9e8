#!/usr/bin/python3
"""The leave-sound shortcut in the release archive, which the owners' guide
quotes, as the phone would follow it: its count must be the characters after
'#', its line ASCII alone (the phone reads it in its own code page, Notepad
saves UTF-8), its quoted program must be where the cabinet installs
Kestrum.exe, and the image from the cabinet, started with the rest as its
command line, must hand PlaySoundW the guide's sound file.
Usage: guide_shortcut_test.py ARCHIVE CABINET CABEXTRACT CERUNNER"""

import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "packaging"))
import install_layout as layout  # noqa: E402

ARCHIVE = CABINET = CABEXTRACT = CERUNNER = None
SOUND = "\\My Documents\\leave.wav"
SHORTCUT_LINE = re.compile(r"^ {4}(\d+)#(.*)$")


def shortcut(guide_text):
    """The count and the target of the guide's one shortcut line."""
    found = [m for m in map(SHORTCUT_LINE.match, guide_text.splitlines()) if m]
    if len(found) != 1:
        raise AssertionError(f"the guide holds {len(found)} shortcut lines, not 1")
    return int(found[0][1]), found[0][2]


def split_target(target):
    """The shell's reading: the quoted program path, then the rest, after
    the blanks that separate it, as the program's command line."""
    match = re.fullmatch(r'"([^"]*)"(?: +(.*))?', target)
    if not match:
        raise AssertionError(f"the program path is not quoted: {target}")
    return match[1], match[2] or ""


class GuideShortcut(unittest.TestCase):
    def setUp(self):
        with zipfile.ZipFile(ARCHIVE) as archive:
            folder = os.path.basename(ARCHIVE).removesuffix(".zip")
            guide = archive.read(f"{folder}/readme-ja.txt").decode("cp932")
            shipped = archive.read(f"{folder}/Kestrum-sound.lnk").decode("latin-1")
        self.count, self.target = shortcut(guide)
        self.assertEqual(f"{self.count}#{self.target}", shipped)

    def test_count_is_the_characters_after_the_hash(self):
        self.assertEqual(self.count, len(self.target))

    def test_the_line_reads_alike_in_utf8_and_the_phones_code_page(self):
        self.assertTrue(self.target.isascii(), self.target)

    def test_the_installed_image_plays_the_guides_sound(self):
        program, command_line = split_target(self.target)
        self.assertEqual(program, layout.installed_program_path())
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run([CABEXTRACT, "-q", "-d", folder, CABINET], check=True)
            image = os.path.join(folder, layout.PROGRAM_MEMBER)
            run = subprocess.run([CERUNNER, "--mode=1", f"--module-path={program}",
                                  f"--cmdline={command_line}", f"--playable={SOUND}", image],
                                 capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        sounds = [line.split(" ", 1)[1] for line in run.stderr.splitlines()
                  if " PlaySoundW " in line]
        quoted = SOUND.replace("\\", "\\\\")
        self.assertEqual(sounds, [f'PlaySoundW path="{quoted}" flags=0x00020001 -> 1'])


if __name__ == "__main__":
    ARCHIVE, CABINET, CABEXTRACT, CERUNNER = sys.argv[1:5]
    del sys.argv[1:5]
    unittest.main()
