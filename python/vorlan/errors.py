"""The exceptions and the warning class of the package."""

from __future__ import annotations

import builtins


class VorlanError(Exception):
    """Base of the package's errors."""


class SyntaxError(VorlanError):  # noqa: A001 - the name users expect: vorlan.SyntaxError
    """The kernel could not read an input; args[0] is the kernel's text."""

    def __init__(self, text: str, source: str = "") -> None:
        super().__init__(text)
        self.text = text
        self.source = source


class ThreadError(VorlanError):
    """The kernel was called from a thread other than the one that owns it."""


class KernelBusy(VorlanError):
    """The kernel was called from inside one of its own callbacks."""


class InvalidExpression(VorlanError):
    """The expression died with a reset of the kernel."""


class ConversionError(VorlanError, builtins.ValueError):
    """An expression without an exact Python value, or a Python value the kernel cannot take."""


class KernelMessage(UserWarning):
    """One message of the kernel: Symbol::Tag: text."""

    def __init__(self, symbol: str, tag: str, text: str) -> None:
        super().__init__(f"{symbol}::{tag}: {text}")
        self.symbol = symbol
        self.tag = tag
        self.text = text

    def __eq__(self, other: object) -> bool:
        return (isinstance(other, KernelMessage)
                and (self.symbol, self.tag, self.text) == (other.symbol, other.tag, other.text))

    def __hash__(self) -> int:
        return hash((self.symbol, self.tag, self.text))
