"""Every scenario of the table on the host binary, as a process: the calls
with their times (never early, at most LATE_MS late), the exit status as the
shell sees it, the stored mode, and a playable sound really played. A phone
without a default sound has no host counterpart: the bell is always there;
nor has a file named in another case than it is held in: the host's names
compare exactly, as Linux file systems do."""
import os
import subprocess
import sys
import unittest

from kestrum_run import PHONE_LIBRARY, WITHOUT_GETTER, WITHOUT_SETTER, Sandbox

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scenarios"))
import scenario_table  # noqa: E402

SPLIT_WORDS = os.environ["KESTRUM_SPLIT_WORDS"]
LIBRARIES = {"present": PHONE_LIBRARY, "absent": None, "without_getter": WITHOUT_GETTER,
             "without_setter": WITHOUT_SETTER}
# A wait is never shorter than asked; the run may fall this far behind the
# virtual clock (start-up, loading, a busy machine) and take START_UP_MS more.
LATE_MS = 200
START_UP_MS = 1000


def split(command_line):
    words = subprocess.run([SPLIT_WORDS, command_line.encode()], capture_output=True,
                           check=True).stdout
    return words.split(b"\0")[:-1]


def in_time(expected_line, call):
    ms, text = expected_line.split(" ", 1)
    return text == call.name + call.rest and int(ms[1:]) <= call.ms <= int(ms[1:]) + LATE_MS


def side_by_side(expected, actual):
    width = max([len(line) for line in expected] + [8])
    rows = [f"{'expected':{width}} |  actual"]
    for i in range(max(len(expected), len(actual))):
        left = expected[i] if i < len(expected) else ""
        right = f"@{actual[i].ms} {actual[i].name}{actual[i].rest}" if i < len(actual) else ""
        same = i < len(expected) and i < len(actual) and in_time(left, actual[i])
        rows.append(f"{left:{width}} {'|' if same else '!'}  {right}")
    return "\n".join(rows)


class Scenarios(Sandbox):
    def run_scenario(self, scenario):
        if not scenario["default_sound"]:
            self.skipTest("the host always has its default sound, the terminal bell")
        words = split(scenario["command_line"])
        sound = words[0].decode(errors="replace") if words else ""
        held = scenario["playable"] or ""
        if sound != held and sound.casefold() == held.casefold():
            self.skipTest("the host's file names compare exactly, as Linux file systems do")
        self.set_state(f"{scenario['mode']}\n".encode())
        samples = None
        if scenario["playable"] is not None:
            samples = self.make_wav(os.path.join(self.folder, scenario["playable"]))
        if scenario["not_a_wav"] is not None:
            with open(os.path.join(self.folder, scenario["not_a_wav"]), "w") as text:
                text.write("RIFF? no, just text\n")
        run = self.run_program(*words,
                               program=self.program_with(LIBRARIES[scenario["library"]]))

        # The host ends a failed run with a traced exit; that is its status.
        actual = [call for call in run.calls if call.name != "exit"]
        expected = scenario["calls"]
        matches = len(actual) == len(expected) and all(map(in_time, expected, actual))
        self.assertTrue(matches, "\n" + side_by_side(expected, actual))

        self.assertEqual(run.status, scenario["status"] & 0xFF, run.stderr)
        self.assertEqual(self.state(), f"{scenario['mode_after']}\n".encode())
        self.assertLess(run.seconds * 1000, int(expected[-1].split(" ")[0][1:]) + START_UP_MS)
        if any(" PlaySoundW " in line and line.endswith("-> 1") and "plays=default" not in line
               for line in scenario["calls"]):
            self.assert_played(samples)


def scenario_test(scenario):
    return lambda self: self.run_scenario(scenario)


for each in scenario_table.load(os.environ["KESTRUM_VERSION"]):
    setattr(Scenarios, f"test_{each['name']}", scenario_test(each))

if __name__ == "__main__":
    unittest.main()
