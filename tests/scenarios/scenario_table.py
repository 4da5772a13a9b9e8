#!/usr/bin/python3
"""Reads scenarios.toml beside this file: each scenario with its fragments
expanded, the project's version filled in and its defaults set. As a
script, writes the table as C++ initialisers for the test binaries:
scenario_table.py PROJECT_VERSION OUTPUT.inc"""

import os
import sys
import tomllib

TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scenarios.toml")
LIBRARIES = ("present", "absent", "without_getter", "without_setter")
FIELDS = {"name", "library", "mode", "command_line", "playable", "not_a_wav", "default_sound",
          "calls", "status", "mode_after"}
VERSION = "@PROJECT_VERSION@"


def expand(calls, fragments, name, version):
    """The calls with fragments expanded and, given a version, its placeholder
    filled in."""
    lines = []
    for call in calls:
        if call.startswith("*"):
            if call[1:] not in fragments:
                raise ValueError(f"{name}: no fragment {call}")
            lines.extend(fragments[call[1:]])
        else:
            lines.append(call)
    return [line.replace(VERSION, version) for line in lines] if version else lines


def load(version=None, path=TABLE):
    """version: the project's, for those who compare the calls."""
    with open(path, "rb") as table:
        data = tomllib.load(table)
    fragments = data.get("fragments", {})
    scenarios, names = [], set()
    for scenario in data["scenario"]:
        name = scenario["name"]
        if name in names or not name.isidentifier():
            raise ValueError(f"{name}: names must be unique identifiers")
        names.add(name)
        if set(scenario) - FIELDS:
            raise ValueError(f"{name}: unknown fields {sorted(set(scenario) - FIELDS)}")
        scenario = dict(scenario, calls=expand(scenario["calls"], fragments, name, version))
        scenario.setdefault("library", "present")
        scenario.setdefault("playable", None)
        scenario.setdefault("not_a_wav", None)
        scenario.setdefault("default_sound", True)
        if not isinstance(scenario["default_sound"], bool):
            raise ValueError(f"{name}: default_sound must be true or false")
        files = [scenario[key] for key in ("playable", "not_a_wav") if scenario[key] is not None]
        if not all(isinstance(path, str) for path in files) or len(set(files)) < len(files):
            raise ValueError(f"{name}: playable and not_a_wav must be two different paths")
        if scenario["library"] not in LIBRARIES:
            raise ValueError(f"{name}: library must be one of {LIBRARIES}")
        # What the phone offers, as the runners set a phone up.
        scenario["library_present"] = scenario["library"] != "absent"
        scenario["has_getter"] = scenario["library"] != "without_getter"
        scenario["has_setter"] = scenario["library"] != "without_setter"
        scenarios.append(scenario)
    return scenarios


def cxx_string(text, prefix=""):
    """A C++ literal of text; universal character names keep it ASCII."""
    out = []
    for char in text:
        if char in '"\\':
            out.append("\\" + char)
        elif " " <= char <= "~":
            out.append(char)
        else:
            out.append(f"\\U{ord(char):08X}")
    return f'{prefix}"{"".join(out)}"'


def cxx_int(value):
    """-2**31 has no literal of its own in C++."""
    return "(-2147483647 - 1)" if value == -2**31 else str(value)


def cxx_bool(value):
    return "true" if value else "false"


def cxx_file(path):
    return cxx_string(path, "u") if path is not None else "nullptr"


def cxx_initialiser(scenario):
    flags = (cxx_bool(scenario[key]) for key in ("library_present", "has_getter", "has_setter"))
    calls = ",\n     ".join(cxx_string(call) for call in scenario["calls"])
    return (f'{{"{scenario["name"]}", {", ".join(flags)}, {cxx_int(scenario["mode"])}, '
            f'{cxx_string(scenario["command_line"], "u")}, {cxx_file(scenario["playable"])}, '
            f'{cxx_file(scenario["not_a_wav"])}, {cxx_bool(scenario["default_sound"])},\n'
            f'    {{{calls}}},\n    {cxx_int(scenario["status"])}, {cxx_int(scenario["mode_after"])}}},\n')


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    lines = [f"// Made from {os.path.basename(TABLE)} by {os.path.basename(argv[0])}.\n"]
    lines += [cxx_initialiser(scenario) for scenario in load(argv[1])]
    with open(argv[2], "w", encoding="ascii") as out:
        out.writelines(lines)


if __name__ == "__main__":
    main(sys.argv)
