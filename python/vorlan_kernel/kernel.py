"""The Jupyter kernel: notebook cells evaluated by the Vorlan kernel.

A cell is cut into inputs the way the vorlan program reads a script (a line
break outside brackets, strings and comments ends an input), every input is
checked for syntax before any runs, and then they run in order. Each result
other than Null is an execute_result with its standard form as text/plain
and its typeset form as text/latex; Print output is a stdout stream,
messages a stderr stream. An interrupt (SIGINT, the default interrupt mode)
aborts the running input through the kernel's abort poll, skips the rest of
the cell and keeps every definition.
"""

from __future__ import annotations

import re

from ipykernel.kernelbase import Kernel

import vorlan
from vorlan.fullform import FullFormError

from . import reference
from .latex import to_latex

# The characters of a symbol name, to find the name at the cursor.
_NAME_CHAR = re.compile(r"[^\s+\-*/,;!(){}\[\]:=<>|&?#^~@.\"'%\\`]")


class VorlanKernel(Kernel):
    implementation = "vorlan_kernel"
    implementation_version = "0.4.3"
    language_info = {
        "name": "vorlan",
        "mimetype": "text/x-vorlan",
        "file_extension": ".vl",
        "codemirror_mode": "text/plain",
        "pygments_lexer": "text",
    }
    banner = "Vorlan %d.%d.%d-%d, a symbolic computation language" % vorlan.version()
    help_links = []

    def __init__(self, **kwargs) -> None:
        super().__init__(**kwargs)
        self._open_line = False
        vorlan.set_print_handler(self._print)

    # Streams.

    def _stream(self, name: str, text: str) -> None:
        self.send_response(self.iopub_socket, "stream", {"name": name, "text": text})

    def _print(self, text: str) -> None:
        if text:
            self._stream("stdout", text)
            self._open_line = not text.endswith("\n")

    def _end_line(self) -> None:
        if self._open_line:
            self._stream("stdout", "\n")
            self._open_line = False

    def _message(self, message: vorlan.KernelMessage) -> None:
        self._end_line()
        self._stream("stderr", str(message) + "\n")

    def _error(self, ename: str, evalue: str) -> dict:
        content = {"ename": ename, "evalue": evalue, "traceback": [f"{ename}: {evalue}"]}
        self.send_response(self.iopub_socket, "error", content)
        return {"status": "error", "execution_count": self.execution_count, **content}

    # Requests.

    def do_execute(self, code, silent, store_history=True, user_expressions=None, allow_stdin=False,
                   **kwargs):
        inputs, _ = vorlan.cut_inputs(code)
        try:
            for text in inputs:
                vorlan.check_syntax(text)
        except vorlan.SyntaxError as error:
            return self._error("SyntaxError", error.text)
        try:
            with vorlan.messages(self._message):
                for text in inputs:
                    result = vorlan.evaluate(text)
                    self._end_line()
                    if not silent and str(result) != "Null":
                        self._show(result)
                    del result
        except KeyboardInterrupt:
            self._end_line()
            return self._error("Aborted", "the evaluation was stopped; every definition made before stays")
        return {"status": "ok", "execution_count": self.execution_count, "payload": [],
                "user_expressions": {}}

    def _show(self, result: vorlan.Expr) -> None:
        data = {"text/plain": str(result).replace("\r\n", "\n")}
        try:
            data["text/latex"] = "$" + to_latex(result.full_form()) + "$"
        except FullFormError:
            pass  # a form the formatter cannot read is still shown as text
        self.send_response(self.iopub_socket, "execute_result",
                           {"execution_count": self.execution_count, "data": data, "metadata": {}})

    def _name_at(self, code: str, cursor_pos: int) -> tuple[int, int]:
        start = cursor_pos
        while start > 0 and _NAME_CHAR.match(code[start - 1]):
            start -= 1
        end = cursor_pos
        while end < len(code) and _NAME_CHAR.match(code[end]):
            end += 1
        return start, end

    def do_complete(self, code, cursor_pos):
        start, _ = self._name_at(code, cursor_pos)
        prefix = code[start:cursor_pos]
        matches = []
        if prefix and not prefix[0].isdigit():
            matches = vorlan.symbols(prefix + "*")
        return {"status": "ok", "matches": matches, "cursor_start": start, "cursor_end": cursor_pos,
                "metadata": {}}

    def do_inspect(self, code, cursor_pos, detail_level=0, omit_sections=()):
        start, end = self._name_at(code, cursor_pos)
        entry = reference.entries().get(code[start:end])
        data = {"text/plain": entry, "text/markdown": entry} if entry else {}
        return {"status": "ok", "found": bool(entry), "data": data, "metadata": {}}

    def do_is_complete(self, code):
        _, open_ = vorlan.cut_inputs(code)
        return {"status": "incomplete", "indent": ""} if open_ else {"status": "complete"}
