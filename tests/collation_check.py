#!/usr/bin/env python3
"""Checks the kernel's string order against an independent collation.

Reads the Unicode collation element table itself, builds 1,000 words from
mixed case, accented letters (precomposed and combining), Greek, Cyrillic,
digits, punctuation, spaces, characters without an entry of their own and a
few controls, sorts them here by the four-level rules, and compares the
result with what `vorlan` prints for Sort of the same list.

The rules, applied to the single-code-point entries only: at each of the
levels 0, 1 and 2 a word is the sequence of the nonzero weights of that
level in the collation elements of its characters (a character without an
entry has no weights there); at level 3 it is the sequence of the numbers
of elements of its characters (1 for a character without an entry). Words
compare level by level, each level as a sequence in which running out
comes first. Words that tie at all four levels come in the order of their
UTF-8 bytes.

    tests/collation_check.py VORLAN [--data FILE] [--seed N] [--count N]

Exits 0 when the orders agree, 1 when they differ (naming the first place),
77 (the test's skip status) when the data file is not there.
"""

import argparse
import os
import random
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_DATA = os.path.join(ROOT, "..", "shared", "data", "allkeys-14.0.0.txt")
SKIP = 77


def read_table(path):
    """{code point: [(primary, secondary, tertiary), ...]} of the entries
    that map one code point."""
    table = {}
    entry = re.compile(r"^([0-9A-Fa-f]+)\s*;\s*(\[.*?\])\s*(#|$)")
    weights = re.compile(r"\[[.*]([0-9A-Fa-f]+)\.([0-9A-Fa-f]+)\.([0-9A-Fa-f]+)\]")
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = entry.match(line)
            if m:
                table[int(m.group(1), 16)] = [tuple(int(w, 16) for w in e) for e in weights.findall(m.group(2))]
    return table


def sort_key(table, word):
    levels = ([], [], [], [])
    for ch in word:
        elements = table.get(ord(ch), [])
        for e in elements:
            for level in range(3):
                if e[level]:
                    levels[level].append(e[level])
        levels[3].append(len(elements) or 1)
    return tuple(tuple(level) for level in levels) + (word.encode("utf-8"),)


PIECES = (
    list("abcdefghijklmnopqrstuvwxyz") * 3 + list("ABCDEFGHIJKLMNOPQRSTUVWXYZ") * 2
    + list("0123456789") + list(" -_.:;!?'()[]/") + ["\\", "\""]
    + list("äÄáàâãåæçéèêëíïñóöøœßúüÿÉÖÜ") + ["e\u0301", "a\u0308", "o\u0302", "\u0301"]
    + list("αβγδΩωπΣσς") + list("абвгдЖжЯя") + list("€$£¥©®")
    + ["\u4e00", "\u4e01", "\u0378", "\u4e8c", "\U0001F600", "\U00010400", "\t", "\0", "\u00a0", "\ufffd"]
)


def words(seed, count):
    rng = random.Random(seed)
    result = set()
    while len(result) < count:
        # Some words share a long start with an earlier one, so that the
        # later levels and the tie-break get their turn.
        if result and rng.random() < 0.3:
            base = rng.choice(sorted(result))
            word = base[:rng.randrange(len(base) + 1)] + "".join(rng.choice(PIECES) for _ in range(rng.randrange(3)))
        else:
            word = "".join(rng.choice(PIECES) for _ in range(rng.randrange(1, 9)))
        result.add(word)
    words = sorted(result)
    rng.shuffle(words)
    return words


def literal(word):
    """The word as the kernel writes a text string in its standard form
    (and reads it back)."""
    out = ['"']
    for ch in word:
        c = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\"":
            out.append("\\\"")
        elif c == 0:
            out.append("\\0")
        elif 7 <= c <= 13:
            out.append("\\" + "abtnvfr"[c - 7])
        elif c < 32 or 127 <= c <= 160:
            out.append("\\x%02X" % c)
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("vorlan")
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--count", type=int, default=1000)
    args = parser.parse_args()
    if not os.path.exists(args.data):
        print("no data file at %s" % args.data, file=sys.stderr)
        return SKIP
    table = read_table(args.data)
    ws = words(args.seed, args.count)
    expected = sorted(ws, key=lambda w: sort_key(table, w))
    with tempfile.NamedTemporaryFile("w", suffix=".vl", encoding="utf-8", delete=False) as f:
        f.write("Sort({" + ", ".join(literal(w) for w in ws) + "})\n")
        script = f.name
    try:
        run = subprocess.run([args.vorlan, script], capture_output=True, timeout=120)
    finally:
        os.unlink(script)
    if run.returncode != 0:
        print("vorlan failed (%d): %s" % (run.returncode, run.stderr.decode("utf-8", "replace")), file=sys.stderr)
        return 1
    printed = run.stdout.decode("utf-8").rstrip("\n")
    wanted = "{" + ", ".join(literal(w) for w in expected) + "}"
    if printed == wanted:
        print("%d words in the same order" % len(ws))
        return 0
    # No word holds a comma, so the separators are the only '", "'.
    got = printed[1:-1].split(", ") if printed.startswith("{") else [printed]
    want = [literal(w) for w in expected]
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            print("first difference at %d: kernel %s, expected %s" % (i + 1, g, w), file=sys.stderr)
            break
    else:
        print("lengths differ: kernel %d, expected %d" % (len(got), len(want)), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
