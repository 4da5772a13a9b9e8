"""Prints where a phone's installer puts the program, as the text of a C
string literal, for cmake/InstalledProgram.cmake. Refuses a path that is
not printable ASCII, which the literal would have to encode."""

import sys

import install_layout as layout


def c_literal_text(text):
    if not (text.isascii() and text.isprintable()):
        raise ValueError(f"{text!r} is not printable ASCII")
    return text.replace("\\", "\\\\").replace('"', '\\"')


if __name__ == "__main__":
    try:
        sys.stdout.write(c_literal_text(layout.installed_program_path()))
    except ValueError as error:
        sys.exit(f"installed_program.py: {error}")
