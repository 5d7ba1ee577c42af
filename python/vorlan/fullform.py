"""Reading the kernel's full form (the text of InternalForm) into a tree.

The full form writes every compound expression as head(arguments) and
every atom as itself: integers and reals as digits with an optional sign
(reals with a point and maybe an exponent, "1.5e100"), text strings in
double quotes, byte strings in single quotes, symbols as their names. Both
the conversion to Python values and the LaTeX formatter of the notebook
kernel work on this tree, so neither has to know the standard form's
operators.
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from typing import Union


@dataclass(frozen=True)
class Integer:
    value: int


@dataclass(frozen=True)
class Real:
    text: str  # the digits as the kernel wrote them


@dataclass(frozen=True)
class String:
    value: str


@dataclass(frozen=True)
class Bytes:
    value: bytes


@dataclass(frozen=True)
class Symbol:
    name: str


@dataclass(frozen=True)
class Call:
    head: "Node"
    args: tuple["Node", ...]

    def is_call(self, name: str, count: int | None = None) -> bool:
        return (isinstance(self.head, Symbol) and self.head.name == name
                and (count is None or len(self.args) == count))


Node = Union[Integer, Real, String, Bytes, Symbol, Call]

_TOKEN = re.compile(r"""
    (?P<space>\s+)
  | (?P<number>-?\d+(?P<point>\.\d+)?(?:e-?\d+)?)
  | (?P<string>"(?:[^"\\]|\\.)*")
  | (?P<bytes>'(?:[^'\\]|\\.)*')
  | (?P<punct>[(),])
  | (?P<name>[^\s(),"']+(?:'[^\s(),"']*)*)
""", re.VERBOSE | re.DOTALL)

_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0"}
_ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|.)", re.DOTALL)


def _unescape(body: str) -> str:
    def one(match: re.Match) -> str:
        code = match.group(1)
        if code.startswith("x") and len(code) == 3:
            return chr(int(code[1:], 16))
        return _ESCAPES.get(code, code)
    return _ESCAPE.sub(one, body)


class FullFormError(ValueError):
    """Text that is not a full form."""


def parse(text: str) -> Node:
    tokens = []
    at = 0
    while at < len(text):
        match = _TOKEN.match(text, at)
        if not match:
            raise FullFormError(f"unexpected {text[at:at + 20]!r} in full form")
        at = match.end()
        if match.lastgroup != "space":
            tokens.append(match)
    position = 0

    def atom(match: re.Match) -> Node:
        kind, value = match.lastgroup, match.group()
        if kind == "number":
            return Real(value) if match.group("point") else Integer(int(value))
        if kind == "string":
            return String(_unescape(value[1:-1]))
        if kind == "bytes":
            return Bytes(_unescape(value[1:-1]).encode("latin-1"))
        if kind == "name":
            return Symbol(value)
        raise FullFormError(f"unexpected {value!r} in full form")

    def expression() -> Node:
        nonlocal position
        if position >= len(tokens):
            raise FullFormError("full form ends early")
        node = atom(tokens[position])
        position += 1
        while position < len(tokens) and tokens[position].group() == "(":
            position += 1
            args: list[Node] = []
            if position < len(tokens) and tokens[position].group() == ")":
                position += 1
            else:
                while True:
                    args.append(expression())
                    if position >= len(tokens):
                        raise FullFormError("full form ends early")
                    separator = tokens[position].group()
                    position += 1
                    if separator == ")":
                        break
                    if separator != ",":
                        raise FullFormError(f"unexpected {separator!r} in full form")
            node = Call(node, tuple(args))
        return node

    tree = expression()
    if position != len(tokens):
        raise FullFormError("text after the full form")
    return tree
