#!/usr/bin/env python3
"""Fails unless every instruction in the given ARM ELF files is ARMv5TE in ARM
mode. The phones' PXA270 faults on anything newer (movw/movt, Thumb-2, v6
media, barriers, exclusives), and a disassembler alone lets some through, so
each mnemonic must be on an ARMv5TE list as well. Doubleword loads and stores
on the stack are refused too: the platform keeps it 4-byte aligned only."""

import argparse
import re
import subprocess
import sys

CONDITIONS = ["", "eq", "ne", "cs", "hs", "cc", "lo", "mi", "pl", "vs", "vc", "hi", "ls", "ge",
              "lt", "gt", "le", "al"]

# Data processing and multiplies, which also have a flag-setting form.
WITH_FLAGS = """and eor sub rsb add adc sbc rsc orr mov bic mvn lsl lsr asr ror rrx
mul mla umull umlal smull smlal""".split()

WITHOUT_FLAGS = """tst teq cmp cmn clz
smlabb smlabt smlatb smlatt smlawb smlawt smulbb smulbt smultb smultt smulwb smulwt
smlalbb smlalbt smlaltb smlaltt qadd qsub qdadd qdsub
ldr str ldrb strb ldrh strh ldrsb ldrsh ldrd strd ldrt strt ldrbt strbt
ldm ldmia ldmib ldmda ldmdb stm stmia stmib stmda stmdb push pop swp swpb
b bl bx blx mrs msr svc
cdp ldc stc mcr mrc mcrr mrrc""".split()

# Unconditional only.
UNCONDITIONAL = """bkpt pld cdp2 ldc2 stc2 mcr2 mrc2 trap""".split()

DATA = {".word", ".short", ".byte"}

# The platform aligns the stack to 4 bytes only; doubleword access to it faults.
STACK_DOUBLEWORD = re.compile(r"^(ldrd|strd)(%s)$" % "|".join(CONDITIONS))
STACK_BASE = re.compile(r"\[sp\b")

REGISTER = re.compile(r"^(r\d+|sb|sl|fp|ip|sp|lr|pc)$")
# "  addr: bytes<TAB>mnemonic<TAB>operands", one instruction or datum a line.
INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s*((?:[0-9a-f]{2} ?)+)\s*\t(\S+)\s*(.*)$")
THUMB_MAPPING = re.compile(r"\s\$t(\.\d+)?$")


def allowed_mnemonics():
    allowed = set(UNCONDITIONAL) | DATA
    for base in WITHOUT_FLAGS + WITH_FLAGS:
        allowed.update(base + cond for cond in CONDITIONS)
    for base in WITH_FLAGS:
        allowed.update(base + "s" + cond for cond in CONDITIONS)
    return allowed


def run(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def thumb_faults(objdump, path):
    table = run(objdump, "-t", path)
    if any(THUMB_MAPPING.search(line) for line in table.splitlines()):
        return [f"{path}: holds Thumb code"]
    return []


def instruction_faults(objdump, path, allowed):
    listing = run(objdump, "-d", "--triple=armv5te-none-eabi", "--mcpu=xscale", path)
    faults = []
    seen = 0
    for line in listing.splitlines():
        match = INSTRUCTION.match(line)
        if not match:
            continue
        seen += 1
        address, encoding, mnemonic, operands = match.groups()
        operand = operands.split("@")[0].strip()
        # blx to a label switches to Thumb, and the image has none.
        newer = mnemonic not in allowed
        to_thumb = mnemonic == "blx" and not REGISTER.match(operand)
        on_stack = STACK_DOUBLEWORD.match(mnemonic) and STACK_BASE.search(operand)
        if newer or to_thumb or on_stack:
            word = "".join(reversed(encoding.split()))
            faults.append(f"{path}: 0x{address}: {word} {mnemonic} {operand}".rstrip())
    # A listing this script cannot read must not pass as a clean one.
    if seen == 0:
        faults.append(f"{path}: no instructions found in the disassembly")
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    allowed = allowed_mnemonics()
    faults = []
    for path in args.files:
        faults += thumb_faults(args.objdump, path)
        faults += instruction_faults(args.objdump, path, allowed)
    for fault in faults[:20]:
        print(f"not ARMv5TE: {fault}", file=sys.stderr)
    if len(faults) > 20:
        print(f"... and {len(faults) - 20} more", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
