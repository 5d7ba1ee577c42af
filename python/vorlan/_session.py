"""The one kernel of this process and every call into it.

The library holds one kernel state per process and is not re-entrant, so
this module keeps one Session. It belongs to the thread that first uses it:
a call from any other thread raises ThreadError instead of corrupting the
kernel, and a call from inside a kernel callback (a Print handler that
evaluates, say) raises KernelBusy.

Every call into the library goes through Session.call(), which also
  - flushes the handles and private symbols of Expr objects that died since
    the last call: an object may die on another thread or inside a callback,
    where the kernel cannot be called, so death only queues the release;
  - turns SIGINT into an abort: for the duration of the call a Python handler
    only raises a flag, which the kernel's abort poll returns (an exception
    raised inside a ctypes callback would be swallowed); after the call the
    previous handler is back and KeyboardInterrupt is raised;
  - re-raises, after the call, an exception that a Print or message handler
    raised inside its callback, where ctypes would have swallowed it.
"""

from __future__ import annotations

import contextlib
import ctypes
import os
import signal
import sys
import threading
import warnings
from typing import Callable, Iterator

from . import _library as L
from .errors import KernelBusy, KernelMessage, SyntaxError, ThreadError

# Private symbols hold the values of Expr objects. The tokenizer reads '$'
# inside names, while the kernel's own temporary symbols only ever append
# '$' and digits to a user's name, so no program clashes with these unless
# it spells them out.
VALUE_PREFIX = "Python$Value"


class Session:
    def __init__(self) -> None:
        self.lib = L.load()
        self.owner: int | None = None
        self.generation = 0  # raised by every reset; Expr objects of older ones are dead
        self.busy = False
        self.interrupted = False
        self.failure: BaseException | None = None  # raised by a handler inside a callback
        self.syntax_error = ""
        self.print_handler: Callable[[str], object] | None = None
        self.open_line = False  # the default Print output ended without a line break
        self.message_sinks: list[Callable[[KernelMessage], object]] = []
        self.free_names: list[str] = []
        self.names_made = 0
        self.dead: list[tuple[int, int, str]] = []  # (generation, handle, name) to release
        # ctypes callbacks must outlive their binding.
        self._callbacks = (
            L.TextCallback(self._on_print),
            L.MessageCallback(self._on_message),
            L.TextCallback(self._on_syntax_error),
            L.AbortCallback(self._poll_abort),
        )
        self.lib.Kernel_Initialize()
        self._bind()

    def _bind(self) -> None:
        types = (L.PRINT_CALLBACK, L.MESSAGE_CALLBACK, L.SYNTAX_ERROR_CALLBACK, L.ABORT_CALLBACK)
        for kind, function in zip(types, self._callbacks):
            self.lib.Kernel_BindCallback(kind, ctypes.cast(function, ctypes.c_void_p))

    # Callbacks: they run inside a library call and must not call back in.

    def _guarded(self, action: Callable[[], object]) -> None:
        try:
            action()
        except BaseException as error:  # noqa: B036 - ctypes would swallow it
            if self.failure is None:
                self.failure = error
            self.interrupted = True  # stop the evaluation as soon as it polls

    def _on_print(self, text) -> None:
        piece = L.from_kernel(text).replace("\r\n", "\n")
        handler = self.print_handler
        if handler is not None:
            self._guarded(lambda: handler(piece))
            return
        if piece:
            self._guarded(lambda: sys.stdout.write(piece))
            self.open_line = not piece.endswith("\n")

    def _on_message(self, text, symbol, tag) -> None:
        message = KernelMessage(L.from_kernel(symbol), L.from_kernel(tag),
                                L.from_kernel(text).replace("\r\n", "\n"))
        if self.message_sinks:
            sink = self.message_sinks[-1]
            self._guarded(lambda: sink(message))
        else:
            self._end_line()
            self._guarded(lambda: _warn(message))

    def _on_syntax_error(self, text) -> None:
        self.syntax_error = L.from_kernel(text)

    def _poll_abort(self) -> int:
        return 1 if self.interrupted else 0

    def _on_sigint(self, signum, frame) -> None:
        self.interrupted = True

    def _end_line(self) -> None:
        if self.open_line:
            self.open_line = False
            self._guarded(lambda: sys.stdout.write("\n"))

    # The gate of every call.

    @contextlib.contextmanager
    def call(self) -> Iterator[None]:
        """Runs the block as one use of the kernel; see the module text."""
        me = threading.get_ident()
        if self.owner is None:
            self.owner = me
        elif self.owner != me:
            raise ThreadError("the Vorlan kernel is used by another thread; there is one kernel "
                              "per process, and only the thread that first used it may call it")
        if self.busy:
            raise KernelBusy("the Vorlan kernel cannot be called from inside one of its callbacks")
        self.busy = True
        self.interrupted = False
        self.failure = None
        previous = None
        if threading.current_thread() is threading.main_thread():
            previous = signal.signal(signal.SIGINT, self._on_sigint)
        try:
            self._release_dead()
            yield
        finally:
            if previous is not None:
                signal.signal(signal.SIGINT, previous)
            self.busy = False
            self._end_line()
        if self.failure is not None:
            failure, self.failure = self.failure, None
            raise failure
        if self.interrupted:
            self.interrupted = False
            raise KeyboardInterrupt

    # Primitives; each must run inside call().

    def parse(self, text: str) -> int:
        """The handle of text read by the kernel; SyntaxError with the kernel's text."""
        self.syntax_error = ""
        handle = self.lib.Kernel_InputExpression(L.to_kernel(text))
        if not handle:
            if self.interrupted:
                return 0
            raise SyntaxError(self.syntax_error or "Empty input", text)
        return handle

    def run(self, text: str) -> int:
        """Parses and evaluates text; the result handle, or 0 when aborted."""
        handle = self.parse(text)
        return self.lib.Kernel_EvaluateExpression(handle) if handle else 0

    def output(self, handle: int) -> str:
        return L.from_kernel(self.lib.Kernel_OutputExpression(handle))

    def run_text(self, text: str) -> str:
        """The standard form of text's value (the empty text when aborted)."""
        handle = self.run(text)
        if not handle:
            return ""
        try:
            return self.output(handle)
        finally:
            self.lib.Kernel_FreeExpression(handle)

    # Private value symbols.

    def take_name(self) -> str:
        if self.free_names:
            return self.free_names.pop()
        self.names_made += 1
        return f"{VALUE_PREFIX}{self.names_made}"

    def give_back(self, name: str) -> None:
        """Clears a private symbol now (inside call()) and puts it on the free list."""
        self.run_text(f"Clear({name})")
        self.free_names.append(name)

    def bury(self, generation: int, handle: int, name: str) -> None:
        """Queues the release of a dead Expr; safe from any thread and any callback."""
        if generation == self.generation:
            self.dead.append((generation, handle, name))

    def _release_dead(self) -> None:
        while self.dead:
            generation, handle, name = self.dead.pop()
            if generation != self.generation:
                continue
            if handle:
                self.lib.Kernel_FreeExpression(handle)
            self.give_back(name)

    def reset(self) -> None:
        """Kernel_Reset: every definition and every handle goes."""
        with self.call():
            self.lib.Kernel_Reset()
            self.generation += 1
            self.free_names.clear()
            self.dead.clear()
            self.names_made = 0


_PACKAGE = os.path.dirname(os.path.abspath(__file__)) + os.sep


def _warn(message: KernelMessage) -> None:
    """Issues message as a warning attributed to the first caller outside this package."""
    frame, level = sys._getframe(0), 1
    while frame is not None and frame.f_code.co_filename.startswith(_PACKAGE):
        frame, level = frame.f_back, level + 1
    warnings.warn(message, stacklevel=level)


_session: Session | None = None
_creating = threading.Lock()


def session() -> Session:
    """The process's kernel, started on first use."""
    global _session
    if _session is None:
        with _creating:
            if _session is None:
                _session = Session()
    return _session
