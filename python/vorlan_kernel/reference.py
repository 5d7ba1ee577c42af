"""The reference entries of the built-ins, from docs/builtins.md.

Each entry runs from its line "## Name" to the line before the next "## ".
The file is looked for beside the repository this package runs from, then
in the documentation directory of the prefix the kernel library was
installed into (PREFIX/share/doc/vorlan), then in the usual system places;
VORLAN_BUILTINS_DOC names it explicitly.
"""

from __future__ import annotations

import functools
import os
from pathlib import Path

from vorlan import _library
from vorlan._session import session


def _candidates() -> list[Path]:
    named = os.environ.get("VORLAN_BUILTINS_DOC")
    if named:
        return [Path(named)]
    here = Path(__file__).resolve().parent.parent.parent
    places = [here / "docs" / "builtins.md"]
    library = _library.path_of(session().lib)
    if library is not None:
        for prefix in list(library.parents)[1:3]:
            places.append(prefix / "share" / "doc" / "vorlan" / "builtins.md")
    places += [Path("/usr/local/share/doc/vorlan/builtins.md"), Path("/usr/share/doc/vorlan/builtins.md")]
    return places


@functools.lru_cache(maxsize=1)
def entries() -> dict[str, str]:
    """Every entry by name; empty when no reference file is found."""
    for place in _candidates():
        if place.is_file():
            return parse(place.read_text(encoding="utf-8"))
    return {}


def parse(text: str) -> dict[str, str]:
    found: dict[str, str] = {}
    name, lines = None, []
    for line in text.splitlines():
        if line.startswith("## "):
            if name:
                found[name] = "\n".join(lines).strip() + "\n"
            name, lines = line[3:].strip(), [line]
        elif name:
            lines.append(line)
    if name:
        found[name] = "\n".join(lines).strip() + "\n"
    return found
