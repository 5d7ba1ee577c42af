"""Messages, Print output and Ctrl-C."""

import os
import signal
import threading
import time
import warnings

import pytest

import vorlan

LONG = "Nest(# + 1 &, 0, 10^12)"


def test_messages_are_warnings_from_the_callers_line():
    with pytest.warns(vorlan.KernelMessage) as record:
        result = vorlan.evaluate("{1}[5]")
    assert str(result) == "{1}[5]"
    message = record[0].message
    assert (message.symbol, message.tag) == ("Part", "Position")
    assert message.text == "Part 5 of {1} does not exist."
    assert str(message) == "Part::Position: Part 5 of {1} does not exist."
    assert record[0].filename == __file__


def test_messages_are_collected_in_order_and_handed_on():
    handed = []
    with vorlan.messages(handed.append) as seen:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            vorlan.evaluate("{1}[5]; Pi = 3; {}[1]")
    assert [(m.symbol, m.tag) for m in seen] == [("Part", "Position"), ("Define", "Protected"),
                                                 ("Part", "Position")]
    assert handed == seen


def test_a_warning_filter_that_raises_raises_after_the_call():
    with warnings.catch_warnings():
        warnings.simplefilter("error", vorlan.KernelMessage)
        with pytest.raises(vorlan.KernelMessage):
            vorlan.evaluate("{1}[5]")
    assert str(vorlan.evaluate("1 + 1")) == "2"


def test_print_goes_to_stdout_and_ends_its_line(capsys):
    assert str(vorlan.evaluate('Print("a", 1 + 1, Null); Print("b"); 3')) == "3"
    vorlan.evaluate('Print("line\\n")')
    assert capsys.readouterr().out == "a2b\nline\n"


def test_print_to_a_handler_gets_each_piece():
    pieces = []
    previous = vorlan.set_print_handler(pieces.append)
    try:
        vorlan.evaluate('Print("a", x^2, "é"); Print(); Print({1})')
    finally:
        vorlan.set_print_handler(previous)
    assert pieces == ["a", "x^2", "é", "{1}"]


def test_a_failing_print_handler_stops_the_evaluation_and_raises():
    def fail(text):
        raise LookupError(text)
    vorlan.set_print_handler(fail)
    started = time.monotonic()
    with pytest.raises(LookupError, match="stop"):
        vorlan.evaluate('Print("stop"); ' + LONG)
    assert time.monotonic() - started < 30
    vorlan.set_print_handler(None)


def interrupt_soon(delay=0.3):
    timer = threading.Timer(delay, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    return timer


def test_ctrl_c_aborts_the_evaluation_and_keeps_definitions():
    vorlan.evaluate("kept = 42; square(n?) := n^2")
    before = signal.getsignal(signal.SIGINT)
    interrupt_soon()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        vorlan.evaluate("partial = 1; " + LONG)
    assert time.monotonic() - started < 10
    assert signal.getsignal(signal.SIGINT) is before
    assert vorlan.get("kept") == 42
    assert vorlan.get("partial") == 1
    assert str(vorlan.evaluate("square(5)")) == "25"


def test_ctrl_c_stops_long_number_computations():
    interrupt_soon()
    with pytest.raises(KeyboardInterrupt):
        vorlan.evaluate("3^(10^10)")
    assert str(vorlan.evaluate("3^4")) == "81"


def test_ctrl_c_between_evaluations_is_python_s_own():
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        vorlan.evaluate("1 + 1")
        with pytest.raises(KeyboardInterrupt):
            os.kill(os.getpid(), signal.SIGINT)
            time.sleep(1)
    finally:
        signal.signal(signal.SIGINT, previous)
