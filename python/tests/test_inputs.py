"""Cutting text into the inputs the kernel reads one at a time."""

import vorlan
from vorlan.inputs import kernel_text


def test_line_breaks_outside_brackets_end_inputs():
    assert vorlan.cut_inputs("a = 1\nb = 2") == (["a = 1\r\n", "b = 2"], False)
    assert vorlan.cut_inputs("f(1,\n  2)\ng(\n") == (["f(1,\r\n  2)\r\n", "g(\r\n"], True)
    assert vorlan.cut_inputs("{1, 2\r\n}\r\n3") == (["{1, 2\r\n}\r\n", "3"], False)


def test_strings_and_comments():
    assert vorlan.cut_inputs('"a\n(b"\nc') == (['"a\n(b"\r\n', "c"], False)
    assert vorlan.cut_inputs("/* (\n */ 1\n/# only a comment\n\n2 /# two") == (
        ["/* (\n */ 1\r\n", "2 /# two\r\n"], False)
    assert vorlan.cut_inputs('x = "open')[1]
    assert vorlan.cut_inputs("/* open")[1]
    assert vorlan.cut_inputs("it's(1)\n2") == (["it's(1)\r\n", "2"], False)
    assert kernel_text("1 /# end") == "1 /# end\r\n"


def test_blank_text_has_no_inputs():
    assert vorlan.cut_inputs(" \n\t\n") == ([], False)
