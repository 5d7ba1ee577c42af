#!/usr/bin/env python3
"""The vorlan host's interactive session, driven through a pseudo-terminal:
UTF-8 input, Ctrl-C during long evaluations and at the prompt, Tab
completion, ?Name, and history kept across sessions.

    interactive.py VORLAN
"""
import os
import pty
import select
import sys
import tempfile
import time

VORLAN = sys.argv[1]


class Session:
    def __init__(self, home):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.environ["HOME"] = home
            os.environ["TERM"] = "dumb"
            os.execv(VORLAN, [VORLAN])
        self.out = b""
        self.wait_for(b"in> ")

    def read(self, seconds):
        end = time.time() + seconds
        while time.time() < end:
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    data = os.read(self.fd, 65536)
                except OSError:
                    return
                if not data:
                    return
                self.out += data

    def wait_for(self, text, seconds=20):
        """Reads until text appears after what was seen so far."""
        start = len(self.out)
        end = time.time() + seconds
        while time.time() < end:
            if text in self.out[start:]:
                return self.out[start:]
            self.read(0.05)
        fail("timed out waiting for %r; the session showed %r" % (text, self.out[-400:]))

    def send(self, text):
        os.write(self.fd, text.encode("utf-8"))

    def enter(self, text, expect):
        """Sends one line and waits for the next prompt; expect must be in
        what came back."""
        mark = len(self.out)
        self.send(text + "\r")
        self.wait_for(b"in> ")
        got = self.out[mark:].decode("utf-8", "replace")
        if expect not in got:
            fail("%r gave %r, expected %r in it" % (text, got, expect))
        return got

    def interrupt_after(self, text, seconds):
        mark = len(self.out)
        self.send(text + "\r")
        self.read(seconds)
        self.send("\x03")
        # The poll comes within one large step (a squaring of the power);
        # under the sanitizers on a busy machine that may take a while.
        self.wait_for(b"in> ", 120)
        got = self.out[mark:].decode("utf-8", "replace")
        if "Aborted" not in got:
            fail("Ctrl-C during %r gave %r" % (text, got))

    def close(self):
        self.send("\x04")
        self.read(1)
        _, status = os.waitpid(self.pid, 0)
        return status


def fail(why):
    print("FAIL: " + why)
    sys.exit(1)


with tempfile.TemporaryDirectory() as home:
    s = Session(home)
    s.enter("g = 7", "7")
    s.enter('{"é", "Ω", "😀"}', '{"é", "Ω", "😀"}')
    # Ctrl-C stops a long power, a long loop, and the text of a huge result;
    # the session and its definitions stay.
    for text in ["3^(10^8)", "Nest(# + 1 &, 0, 10^12)"]:
        s.interrupt_after(text, 1.0)
    # The text of a 47-million-digit integer takes seconds: Ctrl-C stops it.
    s.send("h = 3^(10^8);\r")
    s.wait_for(b"in> ", 120)
    s.interrupt_after("h", 0.5)
    s.enter("g + 1", "8")
    # At the prompt Ctrl-C drops the line, also a continued input.
    s.send("1 + ")
    s.read(0.3)
    s.send("\x03")
    s.read(0.3)
    s.enter("2 + 3", "5")
    s.send("{1,\r")
    s.read(0.3)
    s.send("\x03")
    s.read(0.3)
    s.enter("4 + 4", "8")
    # Tab completes built-in names and the session's own.
    s.enter("myCounter = 41", "41")
    s.send("Lengt\t")
    s.read(0.5)
    s.enter("({1, 2})", "2")
    s.send("myCou\t")
    s.read(0.5)
    s.enter(" + 1", "42")
    # ?Name shows the reference entry.
    s.enter("?Abs", "Attributes: Listable, NumericFunction, Protected")
    s.enter("?NoSuchThing", "No reference entry")
    # A multi-line entry, for the history.
    s.send("{10,\r")
    s.wait_for(b"..> ")
    s.enter("20}", "{10, 20}")
    if s.close() != 0:
        fail("exit status")

    with open(os.path.join(home, ".vorlan_history"), "rb") as f:
        history = f.read()
    if b"myCounter" not in history or b"\r" in history or b"\\015" in history:
        fail("history file %r" % history)

    # A new session recalls the multi-line entry whole and runs it again.
    s = Session(home)
    s.send("\x1b[A")
    s.read(0.5)
    got = s.enter("", "{10, 20}")
    if "^M" in got:
        fail("recalled entry shows ^M: %r" % got)
    s.close()
print("ok")
