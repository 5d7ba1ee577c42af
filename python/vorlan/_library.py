"""Finding and loading libvorlan.so, and the text conversions of its interface.

The library is found in this order: the file named by the environment
variable VORLAN_LIBRARY; the build tree of the repository when this package
is imported from its source directory (python/../build/libvorlan.so); the
installed libvorlan.so.0 through the dynamic loader's search path.
"""

from __future__ import annotations

import ctypes
import os
from pathlib import Path

# Kernel_BindCallback types.
PRINT_CALLBACK = 1
MESSAGE_CALLBACK = 2
SYNTAX_ERROR_CALLBACK = 3
ABORT_CALLBACK = 5

# Kernel_GetValue / Kernel_SetValue type codes.
VALUE_INTEGER = 1
VALUE_DOUBLE = 2
VALUE_UTF8 = 3
VALUE_BYTES = 4

# The callback types. Texts arrive as pointers to UTF-16 code units, which
# ctypes.c_wchar_p would misread: wchar_t has 32 bits on this platform.
_Text = ctypes.POINTER(ctypes.c_uint16)
TextCallback = ctypes.CFUNCTYPE(None, _Text)
MessageCallback = ctypes.CFUNCTYPE(None, _Text, _Text, _Text)
AbortCallback = ctypes.CFUNCTYPE(ctypes.c_int64)


def _candidates() -> list[str]:
    named = os.environ.get("VORLAN_LIBRARY")
    if named:
        return [named]
    found = []
    built = Path(__file__).resolve().parent.parent.parent / "build" / "libvorlan.so"
    if (built.parent.parent / "python" / "vorlan").is_dir() and built.exists():
        found.append(str(built))
    return found + ["libvorlan.so.0"]


def load() -> ctypes.CDLL:
    """Loads the library and declares the twelve functions' prototypes."""
    errors = []
    for name in _candidates():
        try:
            lib = ctypes.CDLL(name)
            break
        except OSError as error:
            errors.append(str(error))
    else:
        raise ImportError("cannot load the Vorlan kernel library (set VORLAN_LIBRARY to its path): "
                          + "; ".join(errors))
    i64, ptr = ctypes.c_int64, ctypes.c_void_p
    prototypes = {
        "Kernel_Initialize": ([], i64),
        "Kernel_Terminate": ([], i64),
        "Kernel_Reset": ([], i64),
        "Kernel_Version": ([], i64),
        "Kernel_InputExpression": ([ptr], i64),
        "Kernel_EvaluateExpression": ([i64], i64),
        "Kernel_OutputExpression": ([i64], _Text),
        "Kernel_DuplicateExpression": ([i64], i64),
        "Kernel_FreeExpression": ([i64], i64),
        "Kernel_GetValue": ([ptr, i64, ptr, ctypes.POINTER(i64)], i64),
        "Kernel_SetValue": ([ptr, i64, ptr, i64], i64),
        "Kernel_BindCallback": ([i64, ptr], i64),
    }
    for name, (arguments, result) in prototypes.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = result
    return lib


def path_of(lib: ctypes.CDLL) -> Path | None:
    """The file the dynamic loader mapped for lib, from /proc/self/maps."""
    wanted = os.path.basename(lib._name)
    stem = wanted.split(".so")[0]
    try:
        with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
            for line in maps:
                fields = line.split(maxsplit=5)
                if len(fields) == 6 and os.path.basename(fields[5].strip()).startswith(stem + ".so"):
                    return Path(fields[5].strip())
    except OSError:
        pass
    return None


def to_kernel(text: str) -> ctypes.Array:
    """text as zero-terminated UTF-16, in a buffer that lives as long as the result."""
    return ctypes.create_string_buffer(text.encode("utf-16-le", "surrogatepass") + b"\0\0")


def from_kernel(pointer) -> str:
    """The zero-terminated UTF-16 text at pointer (the empty text for a null pointer)."""
    if not pointer:
        return ""
    length = 0
    while pointer[length]:
        length += 1
    raw = ctypes.string_at(ctypes.cast(pointer, ctypes.c_void_p), 2 * length)
    return raw.decode("utf-16-le", "surrogatepass")
