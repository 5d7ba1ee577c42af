"""Typesetting expressions as LaTeX from their full form.

Notebooks show results as mathematics: powers as superscripts, quotients as
fractions, square and n-th roots as radicals, lists in braces, Pi, E and I
as their symbols. The formatter works on the tree of vorlan.fullform, where
every operator is already a call, and puts parentheses only where the
precedence of the enclosing operator needs them.
"""

from __future__ import annotations

from vorlan import fullform as F

# Precedence of what a piece of LaTeX is, from loosest to tightest.
RULE, OR, AND, RELATION, SUM, PRODUCT, UNARY, POWER, ATOM = range(9)

_SYMBOLS = {
    "Pi": r"\pi", "E": r"e", "I": r"i", "Infinity": r"\infty", "ComplexInfinity": r"\tilde{\infty}",
    "GoldenRatio": r"\phi", "EulerMascheroni": r"\gamma", "True": r"\mathrm{True}",
    "False": r"\mathrm{False}", "Indeterminate": r"\mathrm{Indeterminate}",
}
_FUNCTIONS = {
    "Sin": r"\sin", "Cos": r"\cos", "Tan": r"\tan", "Sinh": r"\sinh", "Cosh": r"\cosh",
    "Tanh": r"\tanh", "Log": r"\log", "Exp": r"\exp", "ArcSin": r"\arcsin", "ArcCos": r"\arccos",
    "ArcTan": r"\arctan", "GCD": r"\gcd", "Max": r"\max", "Min": r"\min",
}
_RELATIONS = {
    "Equal": "=", "Unequal": r"\neq", "Less": "<", "Greater": ">", "LessEqual": r"\leq",
    "GreaterEqual": r"\geq", "Same": r"\equiv", "Unsame": r"\not\equiv",
}
_LOGIC = {"And": (AND, r"\land"), "Or": (OR, r"\lor"), "Xor": (OR, r"\veebar")}
_RULES = {"Rule": r"\to", "RuleDelayed": r"\mapsto"}
_TEXT_ESCAPES = {c: "\\" + c for c in "&%$#_{}"} | {
    "\\": r"\textbackslash{}", "~": r"\textasciitilde{}", "^": r"\textasciicircum{}"}


def to_latex(text: str) -> str:
    """The LaTeX of the expression whose full form is text, without math delimiters."""
    return _Latex().form(F.parse(text))[0]


def _text(value: str) -> str:
    return "".join(_TEXT_ESCAPES.get(c, c) for c in value)


def _name(name: str) -> str:
    if name in _SYMBOLS:
        return _SYMBOLS[name]
    if len(name) == 1:
        return name
    return r"\mathrm{" + _text(name) + "}"


def _number(text: str) -> str:
    mantissa, _, exponent = text.partition("e")
    return mantissa if not exponent else rf"{mantissa} \times 10^{{{exponent}}}"


def _negative(node: F.Node) -> bool:
    """Whether node is written with a leading minus sign."""
    if isinstance(node, F.Integer):
        return node.value < 0
    if isinstance(node, F.Real):
        return node.text.startswith("-")
    if isinstance(node, F.Call) and node.is_call("Rational", 2):
        return _negative(node.args[0])
    if isinstance(node, F.Call) and node.is_call("Times") and node.args:
        return _negative(node.args[0])
    if isinstance(node, F.Call) and node.is_call("Complex", 2):
        return _zero(node.args[0]) and _negative(node.args[1])
    return False


def _zero(node: F.Node) -> bool:
    return isinstance(node, F.Integer) and node.value == 0


def _minus_one(node: F.Node) -> bool:
    return isinstance(node, F.Integer) and node.value == -1


def _negated(node: F.Node) -> F.Node:
    """-node for a node that _negative() accepts."""
    if isinstance(node, F.Integer):
        return F.Integer(-node.value)
    if isinstance(node, F.Real):
        return F.Real(node.text[1:])
    if node.is_call("Rational"):
        return F.Call(node.head, (_negated(node.args[0]), node.args[1]))
    if node.is_call("Complex"):
        return F.Call(node.head, (node.args[0], _negated(node.args[1])))
    first, rest = node.args[0], node.args[1:]
    if _minus_one(first):
        return rest[0] if len(rest) == 1 else F.Call(node.head, rest)
    return F.Call(node.head, (_negated(first),) + rest)


class _Latex:
    def form(self, node: F.Node) -> tuple[str, int]:
        """The LaTeX of node and its precedence."""
        if isinstance(node, F.Integer):
            return str(node.value), UNARY if node.value < 0 else ATOM
        if isinstance(node, F.Real):
            return _number(node.text), UNARY if node.text.startswith("-") else ATOM
        if isinstance(node, F.String):
            return r"\text{“" + _text(node.value) + r"”}", ATOM
        if isinstance(node, F.Bytes):
            return r"\text{‘" + _text(node.value.decode("latin-1")) + r"’}", ATOM
        if isinstance(node, F.Symbol):
            return _name(node.name), ATOM
        head = node.head.name if isinstance(node.head, F.Symbol) else None
        args = node.args
        if head == "List":
            return r"\left\{" + ", ".join(self.at(a, RULE) for a in args) + r"\right\}", ATOM
        if head == "Rational" and len(args) == 2:
            if _negative(args[0]):
                return "-" + self.fraction(_negated(args[0]), args[1]), UNARY
            return self.fraction(args[0], args[1]), ATOM
        if head == "Complex" and len(args) == 2:
            if _zero(args[0]):
                return self.product((args[1], F.Symbol("I")))
            return self.sum((args[0], F.Call(F.Symbol("Times"), (args[1], F.Symbol("I")))))
        if head == "Plus" and args:
            return self.sum(args)
        if head == "Times" and args:
            return self.product(args)
        if head == "Power" and len(args) == 2:
            return self.power(*args)
        if head in _RELATIONS and len(args) >= 2:
            return f" {_RELATIONS[head]} ".join(self.at(a, SUM) for a in args), RELATION
        if head in _LOGIC and args:
            level, sign = _LOGIC[head]
            return f" {sign} ".join(self.at(a, level + 1) for a in args), level
        if head == "Not" and len(args) == 1:
            return r"\lnot " + self.at(args[0], UNARY), UNARY
        if head in _RULES and len(args) == 2:
            return f"{self.at(args[0], RULE + 1)} {_RULES[head]} {self.at(args[1], RULE)}", RULE
        if head == "Factorial" and len(args) == 1:
            return self.at(args[0], ATOM) + "!", POWER
        if head == "Abs" and len(args) == 1:
            return r"\left|" + self.at(args[0], RULE) + r"\right|", ATOM
        if head == "Sqrt" and len(args) == 1:
            return r"\sqrt{" + self.at(args[0], RULE) + "}", ATOM
        if head == "DirectedInfinity" and not args:
            return r"\tilde{\infty}", ATOM
        if head == "Hold" and len(args) == 1:
            return self.form(args[0])
        name = _FUNCTIONS.get(head) if head else None
        if name is None:
            name = self.at(node.head, ATOM)
        return name + r"\left(" + ", ".join(self.at(a, RULE) for a in args) + r"\right)", ATOM

    def at(self, node: F.Node, level: int) -> str:
        """node's LaTeX, in parentheses when it binds more loosely than level."""
        text, own = self.form(node)
        return text if own >= level else r"\left(" + text + r"\right)"

    def fraction(self, numerator: F.Node, denominator: F.Node) -> str:
        return r"\frac{" + self.at(numerator, RULE) + "}{" + self.at(denominator, RULE) + "}"

    def sum(self, terms) -> tuple[str, int]:
        terms = [t for t in terms if not _zero(t)] or [F.Integer(0)]
        out = self.at(terms[0], SUM)
        for term in terms[1:]:
            if _negative(term):
                out += " - " + self.at(_negated(term), SUM + 1)
            else:
                out += " + " + self.at(term, SUM + 1)
        return out, SUM

    def product(self, factors) -> tuple[str, int]:
        if _negative(F.Call(F.Symbol("Times"), tuple(factors))):
            rest = _negated(F.Call(F.Symbol("Times"), tuple(factors)))
            return "-" + self.at(rest, PRODUCT), UNARY
        above, below = [], []
        factors = [f for f in factors if f != F.Integer(1)] or [F.Integer(1)]
        for factor in factors:
            if isinstance(factor, F.Call) and factor.is_call("Rational", 2):
                if not (isinstance(factor.args[0], F.Integer) and factor.args[0].value == 1):
                    above.append(factor.args[0])
                below.append(factor.args[1])
            elif (isinstance(factor, F.Call) and factor.is_call("Power", 2) and _negative(factor.args[1])):
                exponent = _negated(factor.args[1])
                below.append(factor.args[0] if isinstance(exponent, F.Integer) and exponent.value == 1
                             else F.Call(factor.head, (factor.args[0], exponent)))
            else:
                above.append(factor)
        if below:
            top = self.juxtaposed(above) if above else "1"
            return r"\frac{" + top + "}{" + self.juxtaposed(below) + "}", ATOM
        return self.juxtaposed(above), PRODUCT

    def juxtaposed(self, factors) -> str:
        """Factors side by side; a dot keeps two numbers apart."""
        if len(factors) == 1:
            return self.at(factors[0], RULE)
        out = ""
        for factor in factors:
            text = self.at(factor, PRODUCT + 1 if out else PRODUCT)
            if out:
                out += r" \cdot " if text[0].isdigit() else r"\,"
            out += text
        return out

    def power(self, base: F.Node, exponent: F.Node) -> tuple[str, int]:
        if isinstance(exponent, F.Call) and exponent.is_call("Rational", 2):
            top, bottom = exponent.args
            if isinstance(top, F.Integer) and abs(top.value) == 1:
                index = "" if bottom == F.Integer(2) else "[" + self.at(bottom, RULE) + "]"
                root = r"\sqrt" + index + "{" + self.at(base, RULE) + "}"
                return (root, ATOM) if top.value == 1 else (r"\frac{1}{" + root + "}", ATOM)
        if _negative(exponent):
            positive = _negated(exponent)
            inner = base if positive == F.Integer(1) else F.Call(F.Symbol("Power"), (base, positive))
            return r"\frac{1}{" + self.at(inner, RULE) + "}", ATOM
        if isinstance(base, F.Symbol) and base.name == "E":
            return "e^{" + self.at(exponent, RULE) + "}", POWER
        return self.at(base, ATOM) + "^{" + self.at(exponent, RULE) + "}", POWER
