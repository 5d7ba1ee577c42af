"""The typeset form of results, from the kernel's full form."""

import pytest

import vorlan
from vorlan_kernel.latex import to_latex


@pytest.mark.parametrize("text, latex", [
    ("x^2 + 1", r"1 + x^{2}"),
    ("(x + 1)^2", r"\left(1 + x\right)^{2}"),
    ("Hold(x^y^z)", r"x^{y^{z}}"),
    ("Hold((x^y)^z)", r"\left(x^{y}\right)^{z}"),
    ("E^x", r"e^{x}"),
    ("-3/4", r"-\frac{3}{4}"),
    ("a/b", r"\frac{a}{b}"),
    ("-x/(2*y)", r"-\frac{x}{2\,y}"),
    ("(a + b)/(c + d)", r"\frac{a + b}{c + d}"),
    ("x^(-2)", r"\frac{1}{x^{2}}"),
    ("Sqrt(2)", r"\sqrt{2}"),
    ("2^(1/3)", r"\sqrt[3]{2}"),
    ("1/Sqrt(x)", r"\frac{1}{\sqrt{x}}"),
    ("2*Sqrt(3)", r"2\,\sqrt{3}"),
    ("x^(2/3)", r"x^{\frac{2}{3}}"),
    ("{1, 2/3, {}}", r"\left\{1, \frac{2}{3}, \left\{\right\}\right\}"),
    ("2*Pi*I", r"2\,i\,\pi"),
    ("1 - I", r"1 - i"),
    ("5 + I", r"5 + i"),
    ("(1/2)*I", r"\frac{i}{2}"),
    ("-I", r"-i"),
    ("a - 2*b", r"a - 2\,b"),
    ("Hold(2*3)", r"2 \cdot 3"),
    ("Sin(x)^2", r"\sin\left(x\right)^{2}"),
    ("f(x, y)", r"f\left(x, y\right)"),
    ("myFunction(1)", r"\mathrm{myFunction}\left(1\right)"),
    ("n!", r"n!"),
    ("x -> 1", r"x \to 1"),
    ("a <= b", r"a \leq b"),
    ("a && (b || c)", r"a \land \left(b \lor c\right)"),
    ('"50% of #_x"', r"\text{“50\% of \#\_x”}"),
    ("1/0", r"\tilde{\infty}"),
    ("2.5*x", r"2.5\,x"),
    ("Calculate(3*10^400, 5)", r"3.0000 \times 10^{400}"),
])
def test_constructs(text, latex):
    assert to_latex(vorlan.evaluate(text).full_form()) == latex
