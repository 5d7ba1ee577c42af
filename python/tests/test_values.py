"""Python values out of the kernel and into it."""

import math
from decimal import Decimal
from fractions import Fraction

import pytest

import vorlan


@pytest.mark.parametrize("text, value", [
    ("2^200", 2 ** 200),
    ("-7", -7),
    ("30!", math.factorial(30)),
    ("6/4", Fraction(3, 2)),
    ("-3/4", Fraction(-3, 4)),
    ("0.1 + 0.2", 0.1 + 0.2),
    ("-0.0", -0.0),
    ("1.5*2^300", 1.5 * 2.0 ** 300),
    ("Calculate(Pi, 30)", Decimal("3.14159265358979323846264338328")),
    ("(2 + 3*I)*(1 - I)", 5 + 1j),
    ("1/2 + 1.5*I", 0.5 + 1.5j),
    ('"tab\\there é ∞ 😀"', "tab\there é ∞ 😀"),
    ('"quote \\" and \\\\"', 'quote " and \\'),
    ("'bytes'", b"bytes"),
    ("{1, {2/3, {}}, \"x\"}", [1, [Fraction(2, 3), []], "x"]),
    ("{True, False, Null}", [True, False, None]),
])
def test_exact_conversions(text, value):
    converted = vorlan.evaluate(text).to_python()
    assert converted == value and type(converted) is type(value)
    if isinstance(value, float):
        assert math.copysign(1, converted) == math.copysign(1, value)


@pytest.mark.parametrize("text", ["x + 1", "f(2)", "Pi", "ComplexInfinity", "{1, y}", "(1/3)*I + 1"])
def test_no_exact_python_value(text):
    with pytest.raises(vorlan.ConversionError):
        vorlan.evaluate(text).to_python()


def test_number_protocols():
    assert int(vorlan.evaluate("2^70")) == 2 ** 70
    assert float(vorlan.evaluate("1/4")) == 0.25
    assert complex(vorlan.evaluate("I")) == 1j
    with pytest.raises(vorlan.ConversionError):
        int(vorlan.evaluate("1/2"))


@pytest.mark.parametrize("value", [
    0, -1, 2 ** 63 - 1, -(2 ** 63) + 1, 2 ** 63, -(2 ** 100), 10 ** 50,
    0.1, -0.0, 1e300, 5e-324,
    "", "héllo\n\"quoted\" 😀", b"\x00\xff raw",
])
def test_set_and_get_round_trip(value):
    vorlan.set("v", value)
    got = vorlan.get("v")
    assert got == value and type(got) is type(value)


def test_set_of_structured_values():
    vorlan.set("q", Fraction(-2, 6))
    assert str(vorlan.evaluate("q")) == "-1/3"
    vorlan.set("c", 1.5 - 2j)
    assert vorlan.get("c") == 1.5 - 2j
    vorlan.set("l", [1, 2.5, "x", (Fraction(1, 2), [b"b"]), True, None])
    assert vorlan.get("l") == [1, 2.5, "x", [Fraction(1, 2), [b"b"]], True, None]
    assert str(vorlan.evaluate("Length(l)")) == "6"
    vorlan.set("e", vorlan.evaluate("x^2"))
    assert str(vorlan.evaluate("e /: x -> 3")) == "9"
    with pytest.raises(vorlan.ConversionError):
        vorlan.set("bad", object())


def test_get_of_symbolic_values_gives_expressions():
    vorlan.evaluate("w = a + b")
    got = vorlan.get("w")
    assert isinstance(got, vorlan.Expr) and str(got) == "a + b"
    assert isinstance(vorlan.get("unassigned"), vorlan.Expr)
    assert vorlan.get("big") is not None


def test_set_respects_protection_and_checks_names():
    with vorlan.messages() as seen:
        vorlan.set("Pi", 3)
    assert [(m.symbol, m.tag) for m in seen] == [("Define", "Protected")]
    assert str(vorlan.evaluate("Pi")) == "Pi"
    for name in ["a+b", "1x", "", "x y", "f(x)"]:
        with pytest.raises(ValueError):
            vorlan.set(name, 1)


def test_scratch_symbols_do_not_pile_up():
    from vorlan._session import session
    for _ in range(20):
        vorlan.set("l", [0.5, "s", b"b"])
        assert vorlan.evaluate("l") == [0.5, "s", b"b"]
    assert session().names_made < 10
