"""Cutting program text into the inputs the kernel reads one at a time.

The kernel reads a line break outside brackets as a separator between
inputs, and it only knows CR LF as a line end (a line comment runs up to
one; a lone LF is not white space). Text from Python and notebooks ends
lines with LF, so each input is given to the kernel with its line breaks
outside strings turned into CR LF, the way the vorlan program reads scripts.
"""

from __future__ import annotations

import re
from dataclasses import dataclass

# Characters that end a name: a quote right after a name character is part
# of the name, anywhere else it opens a byte string.
_NAME_ENDS = set(" \t+-*/,;!(){}[]:=<>|&?#^~@\n\r.\"")

_BREAK = re.compile(r"\r\n|\r|\n")


@dataclass
class Piece:
    kind: str  # "break", "comment" (a line comment without its break), "block", "string", "other"
    text: str


def _pieces(text: str) -> tuple[list[Piece], bool]:
    """text as consecutive pieces, and whether it ends in a string or a block comment."""
    pieces: list[Piece] = []
    i, n = 0, len(text)
    while i < n:
        line_break = _BREAK.match(text, i)
        if line_break:
            pieces.append(Piece("break", line_break.group()))
            i = line_break.end()
            continue
        c = text[i]
        if text.startswith("/#", i):
            end = _BREAK.search(text, i)
            end_at = end.start() if end else n
            pieces.append(Piece("comment", text[i:end_at]))
            i = end_at
            continue
        if text.startswith("/*", i):
            end_at = text.find("*/", i + 2)
            if end_at < 0:
                pieces.append(Piece("other", text[i:]))
                return pieces, True
            pieces.append(Piece("block", text[i:end_at + 2]))
            i = end_at + 2
            continue
        if c == '"' or (c == "'" and (i == 0 or text[i - 1] in _NAME_ENDS)):
            k = i + 1
            while k < n and text[k] != c:
                k += 2 if text[k] == "\\" else 1
            if k >= n:
                pieces.append(Piece("string", text[i:]))
                return pieces, True
            pieces.append(Piece("string", text[i:k + 1]))
            i = k + 1
            continue
        pieces.append(Piece("other", c))
        i += 1
    return pieces, False


def _kernel_text(pieces: list[Piece]) -> str:
    out = "".join("\r\n" if p.kind == "break" else p.text for p in pieces)
    return out + "\r\n" if pieces and pieces[-1].kind == "comment" else out


def kernel_text(text: str) -> str:
    """text as the kernel reads it: CR LF line breaks outside strings, a final line comment ended."""
    return _kernel_text(_pieces(text)[0])


def cut(text: str) -> tuple[list[str], bool]:
    """The top-level inputs of text in kernel form, and whether text ends open.

    A line break ends an input when it lies outside brackets, strings and
    comments; inputs of nothing but blanks and comments are left out. The
    second result tells whether the text ends inside a bracket, a string or
    a block comment, so that more lines would continue it.
    """
    pieces, inside = _pieces(text)
    inputs: list[str] = []
    current: list[Piece] = []
    content = False
    depth = 0

    def finish() -> None:
        nonlocal current, content
        if content:
            inputs.append(_kernel_text(current))
        current, content = [], False

    for piece in pieces:
        current.append(piece)
        if piece.kind == "break":
            if depth <= 0:
                finish()
        elif piece.kind == "string":
            content = True
        elif piece.kind == "other" and piece.text not in " \t":
            content = True
            if piece.text in "([{":
                depth += 1
            elif piece.text in ")]}":
                depth -= 1
    finish()
    return inputs, inside or depth > 0
