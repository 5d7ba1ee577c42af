"""Vorlan, the symbolic computation language, from Python.

    >>> import vorlan
    >>> x = vorlan.evaluate("2^100 + 1/3")
    >>> str(x), x.to_python()

The kernel is a shared library with one kernel state per process, and it is
not thread-safe: the package drives the one kernel of this process, which
belongs to the thread that first uses it (other threads get ThreadError).
vorlan.reset() drops every definition and every Expr at once.
"""

from __future__ import annotations

import contextlib
from typing import Callable, Iterator

from . import fullform as _fullform
from ._session import VALUE_PREFIX
from ._session import session as _session
from .errors import (ConversionError, InvalidExpression, KernelBusy, KernelMessage, SyntaxError,
                     ThreadError, VorlanError)
from .expr import Expr, _Scratch, check_syntax, evaluate, get, set
from .inputs import cut as cut_inputs

__all__ = [
    "ConversionError", "Expr", "InvalidExpression", "KernelBusy", "KernelMessage", "SyntaxError",
    "ThreadError", "VorlanError", "check_syntax", "cut_inputs", "evaluate", "get", "messages",
    "reset", "set", "set_print_handler", "symbols", "version",
]


def reset() -> None:
    """Drops every definition; every Expr held so far becomes invalid."""
    _session().reset()


def symbols(pattern: str = "*") -> list[str]:
    """The names of the symbols that match the wildcard pattern, built-in or not, sorted.

    The private symbols that hold Expr values are left out.
    """
    owner = _session()
    with _Scratch(owner) as scratch:
        text = owner.run_text(f"InternalForm(Symbols({scratch.text(pattern)}))")
    tree = _fullform.parse(text)
    names = [node.name for node in tree.args if isinstance(node, _fullform.Symbol)]
    return sorted(name for name in names if not name.startswith(VALUE_PREFIX))


def version() -> tuple[int, int, int, int]:
    """The kernel's version: major, minor, release, build."""
    word = _session().lib.Kernel_Version()
    return tuple((word >> shift) & 0xFFFF for shift in (48, 32, 16, 0))


def set_print_handler(handler: Callable[[str], object] | None) -> Callable[[str], object] | None:
    """Sends Print output to handler (None: sys.stdout); returns the previous handler.

    The handler gets one piece of text per Print argument, as the kernel
    gives them: nothing separates the pieces, and no line break ends them.
    The default output to sys.stdout ends an open line when the call ends.
    """
    owner = _session()
    previous, owner.print_handler = owner.print_handler, handler
    return previous


@contextlib.contextmanager
def messages(handler: Callable[[KernelMessage], object] | None = None) -> Iterator[list[KernelMessage]]:
    """Collects the kernel's messages in the yielded list instead of issuing warnings.

    With a handler, each message is also passed to it as it arrives.
    """
    owner = _session()
    collected: list[KernelMessage] = []

    def sink(message: KernelMessage) -> None:
        collected.append(message)
        if handler is not None:
            handler(message)

    owner.message_sinks.append(sink)
    try:
        yield collected
    finally:
        owner.message_sinks.remove(sink)
