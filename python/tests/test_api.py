"""Evaluation, the life of Expr objects, reset and the thread guard."""

import gc
from fractions import Fraction
import threading

import pytest

import vorlan


def live_private_values():
    """How many private value symbols hold a value now."""
    return int(str(vorlan.evaluate('Length(Select(Symbols("Python$Value*"), (Head(#) =!= Symbol) &))')))


def test_evaluate_gives_standard_and_full_form():
    x = vorlan.evaluate("(x + 1)^2 + Sqrt(2)")
    assert str(x) == "2^(1/2) + (1 + x)^2"
    assert x.full_form() == "Plus(Power(2, Rational(1, 2)), Power(Plus(1, x), 2))"
    assert repr(vorlan.evaluate("1/2")) == "<vorlan.Expr 1/2>"
    assert str(vorlan.evaluate("1/0")) == "ComplexInfinity"


def test_inputs_over_several_lines_and_comments():
    assert str(vorlan.evaluate("{1,\n 2}")) == "{1, 2}"
    assert str(vorlan.evaluate("1 + 2 /# a comment")) == "3"
    assert str(vorlan.evaluate("a = 1\nb = a + 1\n")) == "1\r\n2"
    assert vorlan.get("b") == 2
    assert str(vorlan.evaluate('"two\nlines"')) == '"two\\nlines"'


def test_syntax_errors_carry_the_kernel_text():
    for text in ["1 +", "f(", "", "   "]:
        with pytest.raises(vorlan.SyntaxError) as caught:
            vorlan.evaluate(text)
        assert caught.value.text
    with pytest.raises(vorlan.SyntaxError):
        vorlan.check_syntax("{1, 2")
    vorlan.check_syntax("undefinedName = 1")
    assert str(vorlan.evaluate("undefinedName")) == "undefinedName"


def test_equality_is_the_kernel_same():
    assert vorlan.evaluate("1 + 1") == vorlan.evaluate("2")
    assert vorlan.evaluate("x + y") == vorlan.evaluate("y + x")
    assert vorlan.evaluate("1") != vorlan.evaluate("1.0")
    assert vorlan.evaluate("1/2") == Fraction(1, 2)
    assert vorlan.evaluate("0.1 + 0.2") == 0.1 + 0.2
    assert vorlan.evaluate('"a"') == "a"
    assert vorlan.evaluate("{1, 2}") == [1, 2]
    assert (vorlan.evaluate("1") == object()) is False
    with pytest.raises(TypeError):
        hash(vorlan.evaluate("1"))


def test_values_are_named_in_later_inputs():
    x = vorlan.evaluate("Expand((a + b)^2)")
    y = vorlan.evaluate(f"{x.name} /: a -> 1")
    assert str(y) == "1 + 2*b + b^2"


def test_dead_values_release_their_symbols_and_names_are_reused():
    before = live_private_values()
    values = [vorlan.evaluate(f"{{{i}, {i}}}") for i in range(50)]
    assert live_private_values() == before + 50
    names = {v.name for v in values}
    del values
    gc.collect()
    assert live_private_values() == before
    again = [vorlan.evaluate(str(i)) for i in range(50)]
    assert {v.name for v in again} <= names | {f"Python$Value{i}" for i in range(1, 60)}
    assert [int(v) for v in again] == list(range(50))


def test_reset_invalidates_values_and_definitions():
    vorlan.evaluate("f(n?) := n^2")
    x = vorlan.evaluate("f(3)")
    vorlan.reset()
    with pytest.raises(vorlan.InvalidExpression):
        str(x)
    with pytest.raises(vorlan.InvalidExpression):
        x.to_python()
    assert "dead" in repr(x)
    del x  # its symbol belongs to the old kernel: nothing to release
    gc.collect()
    assert str(vorlan.evaluate("f(3)")) == "f(3)"
    with vorlan.messages() as seen:
        assert str(vorlan.evaluate("Pi = 3; Pi")) == "Pi"  # built-ins are registered afresh
    assert [m.tag for m in seen] == ["Protected"]
    assert live_private_values() == 0


def test_another_thread_is_refused():
    vorlan.evaluate("1")
    errors = []

    def other():
        try:
            vorlan.evaluate("1 + 1")
        except vorlan.ThreadError as error:
            errors.append(error)
    thread = threading.Thread(target=other)
    thread.start()
    thread.join()
    assert len(errors) == 1
    assert str(vorlan.evaluate("2 + 2")) == "4"


def test_values_dying_on_another_thread_are_released_by_the_owner():
    before = live_private_values()
    holder = [vorlan.evaluate("{1, 2, 3}")]
    thread = threading.Thread(target=holder.clear)
    thread.start()
    thread.join()
    gc.collect()
    assert live_private_values() == before


def test_the_kernel_is_not_called_from_its_callbacks():
    seen = []

    def handler(text):
        seen.append(text)
        vorlan.evaluate("1")
    vorlan.set_print_handler(handler)
    with pytest.raises(vorlan.KernelBusy):
        vorlan.evaluate('Print("x"); Nest(# + 1 &, 0, 10^9)')
    assert seen == ["x"]
    vorlan.set_print_handler(None)
    assert str(vorlan.evaluate("1 + 1")) == "2"


def test_version():
    assert vorlan.version() == (0, 4, 3, 2)
