#!/usr/bin/env python3
"""Generates the embedded collation tables.

Reads the Unicode collation element table (allkeys.txt) and writes
src/kernel/unicode_blocks.cpp, which holds the two tables the kernel unpacks
at start-up, each compressed as one block:

  index table    0x110000 little-endian signed 32-bit positions, one per code
                 point, counted in 8-byte elements from the start of the
                 element table; 0 for a code point without its own list.
  element table  element 0 (all weights 0, count 1), then one list per code
                 point that has a single-code-point entry, in code point
                 order. An element is four little-endian 16-bit fields:
                 primary, secondary, tertiary weight and, in the first
                 element of a list only, the number of elements in it.

A block is the unpacked size as an unsigned 64-bit little-endian value, the
five property bytes 5D 00 00 00 04 (lc=3, lp=0, pb=2, a 64 MiB dictionary)
and the raw LZMA stream, without the size field of the LZMA-alone header.

Only single code points are kept: contractions (entries of several code
points) and the computed implicit weights are not part of the tables. The
script checks the counts and a set of rows that the kernel's collation
relies on, and refuses to write when the data differ.

    tools/gen_collation_tables.py [--data FILE] [--out FILE] [--check]

--check writes nothing: it compares what it would write with the file and
exits 0 when they are identical, 1 when they differ, and 77 (the test's
skip status) when the data file is not there. The output depends on nothing
but the data file and the LZMA encoder's settings, which are fixed here.
"""

import argparse
import collections
import lzma
import os
import re
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_DATA = os.path.join(ROOT, "..", "shared", "data", "allkeys-14.0.0.txt")
DEFAULT_OUT = os.path.join(ROOT, "src", "kernel", "unicode_blocks.cpp")
SKIP = 77
CODE_POINTS = 0x110000
DICTIONARY = 1 << 26
PROPERTIES = bytes([0x5D]) + struct.pack("<I", DICTIONARY)

# Rows the collation depends on: code point -> [(primary, secondary,
# tertiary)]; None for a code point that must have no list.
EXPECTED_ROWS = {
    0x0009: [(0x0201, 0x0020, 0x0002)],
    0x0020: [(0x0209, 0x0020, 0x0002)],
    0x002D: [(0x020D, 0x0020, 0x0002)],
    0x0030: [(0x206B, 0x0020, 0x0002)],
    0x0031: [(0x206C, 0x0020, 0x0002)],
    0x0041: [(0x2075, 0x0020, 0x0008)],
    0x0061: [(0x2075, 0x0020, 0x0002)],
    0x0062: [(0x208F, 0x0020, 0x0002)],
    0x007A: [(0x236F, 0x0020, 0x0002)],
    0x00E4: [(0x2075, 0x0020, 0x0002), (0x0000, 0x002B, 0x0002)],
    0x00DF: [(0x22B6, 0x0020, 0x0004), (0x0000, 0x0118, 0x0004), (0x22B6, 0x0020, 0x0004)],
    0x03A9: [(0x2435, 0x0020, 0x0008)],
    0xFFFD: [(0xFFFD, 0x0020, 0x0002)],
    0x4E00: None,
    0x0378: None,
}
EXPECTED_LISTS = 32958
EXPECTED_ELEMENTS = 38159
EXPECTED_LENGTHS = {1: 28981, 2: 3077, 3: 655, 4: 208, 5: 16, 6: 15, 7: 2, 8: 3, 18: 1}

LINE = re.compile(r"^([0-9A-F]{4,6})\s*;\s*((?:\[[.*][0-9A-F]{4}\.[0-9A-F]{4}\.[0-9A-F]{4}\])+)")
ELEMENT = re.compile(r"\[[.*]([0-9A-F]{4})\.([0-9A-F]{4})\.([0-9A-F]{4})\]")


def parse(path):
    """Returns {code point: [(primary, secondary, tertiary)]} of the
    single-code-point entries."""
    lists = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = LINE.match(line)
            if not m:
                continue
            cp = int(m.group(1), 16)
            if cp in lists:
                raise ValueError("code point %04X listed twice" % cp)
            lists[cp] = [tuple(int(w, 16) for w in e) for e in ELEMENT.findall(m.group(2))]
    return lists


def check(lists):
    """Returns the list of the ways the data differ from what the kernel
    expects (empty when they agree)."""
    problems = []
    for cp, row in EXPECTED_ROWS.items():
        if lists.get(cp) != row:
            problems.append("U+%04X: expected %s, found %s" % (cp, row, lists.get(cp)))
    if len(lists) != EXPECTED_LISTS:
        problems.append("%d lists instead of %d" % (len(lists), EXPECTED_LISTS))
    elements = 1 + sum(len(v) for v in lists.values())
    if elements != EXPECTED_ELEMENTS:
        problems.append("%d elements instead of %d" % (elements, EXPECTED_ELEMENTS))
    lengths = dict(collections.Counter(len(v) for v in lists.values()))
    if lengths != EXPECTED_LENGTHS:
        problems.append("list lengths %s instead of %s" % (sorted(lengths.items()), sorted(EXPECTED_LENGTHS.items())))
    return problems


def tables(lists):
    """Returns the unpacked index and element tables as bytes."""
    index = [0] * CODE_POINTS
    elements = [struct.pack("<4H", 0, 0, 0, 1)]
    position = 1
    for cp in sorted(lists):
        index[cp] = position
        for k, (p, s, t) in enumerate(lists[cp]):
            elements.append(struct.pack("<4H", p, s, t, len(lists[cp]) if k == 0 else 0))
        position += len(lists[cp])
    return struct.pack("<%di" % CODE_POINTS, *index), b"".join(elements)


def block(data):
    """Returns one compressed block of data."""
    options = {"id": lzma.FILTER_LZMA1, "preset": 9 | lzma.PRESET_EXTREME,
               "dict_size": DICTIONARY, "lc": 3, "lp": 0, "pb": 2}
    stream = lzma.compress(data, format=lzma.FORMAT_RAW, filters=[options])
    return struct.pack("<Q", len(data)) + PROPERTIES + stream


def array(name, data):
    rows = []
    for i in range(0, len(data), 16):
        rows.append("    " + " ".join("0x%02X," % b for b in data[i:i + 16]))
    return ("const unsigned char %s[%d] = {\n" % (name, len(data)) + "\n".join(rows) + "\n};\n"
            "const size_t %sSize = sizeof %s;\n" % (name, name))


def render(index_block, element_block):
    return ("// Generated by tools/gen_collation_tables.py from the Unicode collation\n"
            "// element table; do not edit.\n"
            "#include \"kernel/unicode_blocks.h\"\n\n"
            + array("kCollationIndexBlock", index_block) + "\n"
            + array("kCollationElementBlock", element_block))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--out", default=DEFAULT_OUT)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    if not os.path.exists(args.data):
        print("no data file at %s" % args.data, file=sys.stderr)
        return SKIP if args.check else 2
    lists = parse(args.data)
    problems = check(lists)
    if problems:
        for p in problems:
            print("%s: %s" % (args.data, p), file=sys.stderr)
        print("refusing to write the tables", file=sys.stderr)
        return 1
    index, elements = tables(lists)
    text = render(block(index), block(elements))
    if args.check:
        try:
            with open(args.out, encoding="utf-8") as f:
                same = f.read() == text
        except OSError:
            same = False
        if not same:
            print("%s is not what the generator writes" % args.out, file=sys.stderr)
        return 0 if same else 1
    with open(args.out, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
