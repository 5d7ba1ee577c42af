"""Expressions held from Python, and the exchange of values with the kernel.

The interface has no way to put a handle into a new expression, so an Expr
keeps its value in a private symbol (Python$Value1, Python$Value2, ...) as
well as the handle the assignment returned. The handle gives the standard
form without evaluating anything again; the symbol lets later inputs name
the value: full_form() evaluates InternalForm(Python$Value7), == evaluates
Same(Python$Value7, Python$Value8). When the Expr dies its handle is freed
and its symbol cleared and reused (see _session); after vorlan.reset()
every Expr is dead and says so instead of touching the kernel.
"""

from __future__ import annotations

import ctypes
import math
import re
import struct
import sys
from decimal import Decimal
from fractions import Fraction
from typing import Any

from . import _library as L
from . import fullform as F
from ._session import Session, session
from .errors import ConversionError, InvalidExpression
from .inputs import cut, kernel_text


class Expr:
    """A kernel value; see the module text for how it is held."""

    __slots__ = ("_session", "_generation", "_handle", "_name", "__weakref__")

    def __init__(self, owner: Session, handle: int, name: str) -> None:
        self._session = owner
        self._generation = owner.generation
        self._handle = handle
        self._name = name

    def __del__(self) -> None:
        owner = getattr(self, "_session", None)
        if owner is not None:
            owner.bury(self._generation, self._handle, self._name)

    def _live(self) -> Session:
        if self._generation != self._session.generation:
            raise InvalidExpression("this expression died with vorlan.reset()")
        return self._session

    @property
    def name(self) -> str:
        """The private symbol that holds the value, for use in input text."""
        self._live()
        return self._name

    def __str__(self) -> str:
        owner = self._live()
        with owner.call():
            return owner.output(self._handle)

    def __repr__(self) -> str:
        try:
            return f"<vorlan.Expr {self}>"
        except InvalidExpression:
            return "<vorlan.Expr (dead after reset)>"

    def full_form(self) -> str:
        """The text of InternalForm: every operator written as a call."""
        owner = self._live()
        with owner.call():
            return owner.run_text(f"InternalForm({self._name})")

    def __eq__(self, other: object) -> bool:
        owner = self._live()
        if isinstance(other, Expr):
            other._live()
            with owner.call():
                return owner.run_text(f"Same({self._name}, {other._name})") == "True"
        try:
            with _Scratch(owner) as scratch:
                return owner.run_text(f"Same({self._name}, {scratch.text(other)})") == "True"
        except ConversionError:
            return NotImplemented

    __hash__ = None  # equality is the kernel's, which a hash could not follow

    def to_python(self) -> Any:
        """The value as a Python value where that is exact; ConversionError otherwise.

        Integers become int, rationals Fraction, machine reals float (every
        bit), arbitrary-precision reals Decimal (every digit the kernel
        shows), complex numbers complex when both parts are exact floats,
        text strings str, byte strings bytes, lists list, True and False
        bool, Null None.
        """
        owner = self._live()
        with owner.call():
            text = owner.run_text(_MARKED.format(self._name))
        return _python(F.parse(text))

    def __int__(self) -> int:
        value = self.to_python()
        if isinstance(value, bool) or not isinstance(value, int):
            raise ConversionError(f"{self} is not an integer")
        return value

    def __float__(self) -> float:
        value = self.to_python()
        if isinstance(value, (complex, str, bytes, list, type(None))):
            raise ConversionError(f"{self} is not a real number")
        return float(value)

    def __complex__(self) -> complex:
        value = self.to_python()
        if isinstance(value, (str, bytes, list, type(None))):
            raise ConversionError(f"{self} is not a number")
        return complex(value)


# The full form with every machine real replaced by its IEEE bits (the full
# form shows machine reals with six digits only) and complex numbers opened
# up, so that their parts get the same treatment.
_MARKED = ("InternalForm(Replace(Replace({}, c?Complex :> Python$Complex(Re(c), Im(c))), "
           "r?Real /? Same(Precision(r), MachinePrecision) :> "
           "Python$Real(ToInteger(ToString(r, BinaryFormat -> \"Real64\"), BinaryFormat -> \"Integer64\"))))")

_SYMBOL_VALUES = {"True": True, "False": False, "Null": None}


def _exact_float(value: Any) -> float:
    """value as a float when no digit is lost."""
    if isinstance(value, float):
        return value
    if isinstance(value, (int, Fraction)) and not isinstance(value, bool):
        converted = float(value)
        if math.isfinite(converted) and Fraction(converted) == value:
            return converted
    raise ConversionError(f"complex part {value} has no exact float")


def _python(node: F.Node) -> Any:
    if isinstance(node, F.Integer):
        return node.value
    if isinstance(node, F.Real):
        return Decimal(node.text)
    if isinstance(node, (F.String, F.Bytes)):
        return node.value
    if isinstance(node, F.Symbol) and node.name in _SYMBOL_VALUES:
        return _SYMBOL_VALUES[node.name]
    if isinstance(node, F.Call):
        if node.is_call("List"):
            return [_python(arg) for arg in node.args]
        if node.is_call("Rational", 2):
            return Fraction(_python(node.args[0]), _python(node.args[1]))
        if node.is_call("Python$Real", 1) and isinstance(node.args[0], F.Integer):
            return struct.unpack("<d", struct.pack("<q", node.args[0].value))[0]
        if node.is_call("Python$Complex", 2):
            return complex(_exact_float(_python(node.args[0])), _exact_float(_python(node.args[1])))
    raise ConversionError("no exact Python value for an expression of this kind")


class _Scratch:
    """Private symbols that carry Python values into one input text.

    Integers, fractions, True, False, None and lists are written as text
    (integers of any size). Floats, strings and bytes go through
    Kernel_SetValue, which takes them exactly: every bit of a double
    (a decimal text of 17 digits would be read as an arbitrary-precision
    real) and any character of a string, without escaping. Use it inside
    Session.call(); the symbols are cleared and reused when it ends.
    """

    def __init__(self, owner: Session) -> None:
        self.owner = owner
        self.names: list[str] = []
        self._call = owner.call()

    def __enter__(self) -> "_Scratch":
        self._call.__enter__()
        return self

    def __exit__(self, *exc) -> Any:
        try:
            for name in self.names:
                self.owner.give_back(name)
        except BaseException:
            self._call.__exit__(*sys.exc_info())
            raise
        return self._call.__exit__(*exc)

    def text(self, value: Any) -> str:
        """Input text that evaluates to value."""
        if isinstance(value, Expr):
            return value.name
        if value is None or isinstance(value, bool):
            return {None: "Null", True: "True", False: "False"}[value]
        if isinstance(value, int):
            return str(value) if value >= 0 else f"({value})"
        if isinstance(value, Fraction):
            return f"({value.numerator}/{value.denominator})"
        if isinstance(value, complex):
            return f"({self.text(value.real)} + {self.text(value.imag)}*I)"
        if isinstance(value, (list, tuple)):
            return "{" + ", ".join(self.text(item) for item in value) + "}"
        if isinstance(value, (float, str, bytes)):
            name = self.owner.take_name()
            self.names.append(name)
            store(self.owner, name, value)
            return name
        raise ConversionError(f"the kernel takes no value of type {type(value).__name__}")


def store(owner: Session, name: str, value: float | str | bytes | int) -> None:
    """Kernel_SetValue of one machine value (inside Session.call())."""
    key = L.to_kernel(name)
    if isinstance(value, float):
        data = ctypes.c_double(value)
        owner.lib.Kernel_SetValue(key, L.VALUE_DOUBLE, ctypes.byref(data), 8)
    elif isinstance(value, int):
        data = ctypes.c_int64(value)
        owner.lib.Kernel_SetValue(key, L.VALUE_INTEGER, ctypes.byref(data), 8)
    else:
        code = L.VALUE_UTF8 if isinstance(value, str) else L.VALUE_BYTES
        raw = value.encode("utf-8", "surrogatepass") if isinstance(value, str) else value
        buffer = ctypes.create_string_buffer(raw, len(raw) or 1)
        owner.lib.Kernel_SetValue(key, code, buffer, len(raw))


def _wrapped(text: str) -> str:
    """Input text that evaluates text exactly as the kernel would read it alone.

    Inside brackets line breaks are white space, so text of several
    top-level inputs becomes Output of each, which is what the kernel reads
    such text as.
    """
    inputs, _ = cut(text)
    parts = [f"({piece}\r\n)" for piece in inputs]
    return parts[0] if len(parts) == 1 else "Output(" + ", ".join(parts) + ")"


def evaluate(text: str) -> Expr:
    """Evaluates text; vorlan.SyntaxError carries the kernel's text when it cannot be read."""
    owner = session()
    source = kernel_text(text)
    with owner.call():
        check = owner.parse(source)
        if not check:
            return None  # aborted while reading; call() raises KeyboardInterrupt
        owner.lib.Kernel_FreeExpression(check)
        name = owner.take_name()
        handle = owner.run(f"{name} = {_wrapped(text)}")
        if not handle:
            owner.give_back(name)
            return None  # aborted; call() raises KeyboardInterrupt
        result = Expr(owner, handle, name)
    return result


def check_syntax(text: str) -> None:
    """Raises vorlan.SyntaxError when the kernel cannot read text; evaluates nothing."""
    owner = session()
    with owner.call():
        handle = owner.parse(kernel_text(text))
        if handle:
            owner.lib.Kernel_FreeExpression(handle)


_NAME = re.compile(r"[^\s\d+\-*/,;!(){}\[\]:=<>|&?#^~@.\"'%\\`][^\s+\-*/,;!(){}\[\]:=<>|&?#^~@.\"'%\\`]*")
_INT64 = 2 ** 63 - 1


def _checked(name: str) -> str:
    if not _NAME.fullmatch(name):
        raise ValueError(f"{name!r} is not a symbol name")
    return name


def set(name: str, value: Any) -> None:  # noqa: A001 - vorlan.set mirrors vorlan.get
    """Assigns value to the symbol name, as name = value would.

    Integers of 64 bits, floats, strings and bytes go through
    Kernel_SetValue; larger integers, fractions, complex numbers, lists and
    Expr objects through input text.
    """
    owner = session()
    _checked(name)
    if isinstance(value, (float, str, bytes)) or (
            isinstance(value, int) and not isinstance(value, bool) and -_INT64 <= value <= _INT64):
        with owner.call():
            store(owner, name, value)
        return
    with _Scratch(owner) as scratch:
        owner.run_text(f"{name} = {scratch.text(value)}")


def get(name: str) -> Any:
    """The value of the symbol name as a Python value, or as an Expr when it has none.

    Strings and byte strings come through Kernel_GetValue, integers of 64
    bits and machine reals too; larger integers through their text.
    """
    owner = session()
    key = L.to_kernel(_checked(name))
    address, length = ctypes.c_void_p(), ctypes.c_int64()
    with owner.call():
        code = owner.lib.Kernel_GetValue(key, L.VALUE_UTF8, ctypes.byref(address), ctypes.byref(length))
        if code in (L.VALUE_UTF8, L.VALUE_BYTES):
            raw = ctypes.string_at(address, length.value) if length.value else b""
            return raw.decode("utf-8", "surrogatepass") if code == L.VALUE_UTF8 else raw
        kind = owner.run_text(f"If(Head({name}) === Real, Precision({name}), Head({name}))")
        if kind == "Integer":
            number = ctypes.c_int64()
            owner.lib.Kernel_GetValue(key, L.VALUE_INTEGER, ctypes.byref(number), None)
            if abs(number.value) != _INT64:
                return number.value
            return int(owner.run_text(name))
        if kind == "MachinePrecision":
            number = ctypes.c_double()
            owner.lib.Kernel_GetValue(key, L.VALUE_DOUBLE, ctypes.byref(number), None)
            return number.value
    value = evaluate(name)
    try:
        return value.to_python()
    except ConversionError:
        return value
