#!/usr/bin/env python3
"""Bernoulli(0) to Bernoulli(N) from the vorlan program against an
independent computation: the Akiyama-Tanigawa recurrence over exact
fractions. Usage: bernoulli_check.py VORLAN [N]."""
import os
import subprocess
import sys
import tempfile
from fractions import Fraction


def akiyama_tanigawa(n):
    """B(0) .. B(n), with B(1) = -1/2."""
    a = [Fraction(0)] * (n + 1)
    out = []
    for m in range(n + 1):
        a[m] = Fraction(1, m + 1)
        for j in range(m, 0, -1):
            a[j - 1] = j * (a[j - 1] - a[j])
        out.append(-a[0] if m == 1 else a[0])
    return out


def main():
    vorlan = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    with tempfile.NamedTemporaryFile("w", suffix=".vl", delete=False) as f:
        f.write("".join(f"Bernoulli({m})\n" for m in range(n + 1)))
        script = f.name
    try:
        lines = subprocess.run([vorlan, script], capture_output=True, text=True, check=True).stdout.split("\n")
    finally:
        os.unlink(script)
    want = akiyama_tanigawa(n)
    bad = 0
    for m in range(n + 1):
        got = Fraction(lines[m]) if m < len(lines) and lines[m] else None
        if got != want[m]:
            bad += 1
            print(f"Bernoulli({m}): got {lines[m][:60] if m < len(lines) else None}, want {str(want[m])[:60]}")
    print(f"{n + 1 - bad} of {n + 1} agree")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
