#include "kernel_fixture.h"

#include "syntax/formatter.h"

namespace {

class OperatorFormatTest : public KernelTest {
protected:
    static Object *Plus(Object *a, Object *b, Object *c = nullptr) { return Call(u"Plus", a, b, c); }
    static Object *Times(Object *a, Object *b, Object *c = nullptr) { return Call(u"Times", a, b, c); }
    static Object *Power(Object *a, Object *b) { return Call(u"Power", a, b); }
    static Object *Reciprocal(Object *b, int64_t e) { return Power(b, Int(e)); }
    static Object *Infinity(int64_t direction) { return Call(u"DirectedInfinity", Int(direction)); }

    // The standard form of e, which is consumed, checking that every
    // formatter popped what it pushed.
    static std::string Show(Object *e) {
        std::string text = Narrow(StandardText(e));
        EXPECT_EQ(kernel.format.contextTop, 0) << text;
        EXPECT_EQ(kernel.format.formTop, 0) << text;
        return text;
    }
};

TEST_F(OperatorFormatTest, SumsTurnLeadingMinusSignsIntoSubtraction) {
    EXPECT_EQ(Show(Plus(Sym(u"a"), Times(Int(-1), Sym(u"b")))), "a - b");
    EXPECT_EQ(Show(Plus(Times(Int(-1), Sym(u"x")), Sym(u"y"))), "-x + y");
    EXPECT_EQ(Show(Plus(Sym(u"a"), Int(-2))), "a - 2");
    EXPECT_EQ(Show(Plus(Sym(u"a"), Times(Int(-2), Sym(u"b")), Int(3))), "a - 2*b + 3");
    EXPECT_EQ(Show(Plus(Sym(u"a"), Times(Int(-1), Power(Sym(u"x"), Int(-1))))), "a - 1/x");
    EXPECT_EQ(Show(Plus(Sym(u"a"), Infinity(-1))), "a - Infinity");
    // A negated sum keeps its parentheses; a rule is grouped inside a sum.
    EXPECT_EQ(Show(Plus(Sym(u"a"), Times(Int(-1), Plus(Sym(u"b"), Sym(u"c"))))), "a - (b + c)");
    EXPECT_EQ(Show(Plus(Call(u"Rule", Sym(u"a"), Sym(u"b")), Sym(u"c"))), "(a -> b) + c");
    EXPECT_EQ(Show(Plus(Sym(u"a"), Plus(Sym(u"b"), Sym(u"c")))), "a + b + c");
}

TEST_F(OperatorFormatTest, SubtractionGroupsToTheLeft) {
    EXPECT_EQ(Show(Call(u"Subtract", Sym(u"a"), Call(u"Subtract", Sym(u"b"), Sym(u"c")))), "a - (b - c)");
    EXPECT_EQ(Show(Call(u"Subtract", Call(u"Subtract", Sym(u"a"), Sym(u"b")), Sym(u"c"))), "a - b - c");
    EXPECT_EQ(Show(Call(u"Subtract", Sym(u"a"), Plus(Sym(u"b"), Sym(u"c")))), "a - (b + c)");
    EXPECT_EQ(Show(Call(u"Subtract", Sym(u"a"), Times(Sym(u"b"), Sym(u"c")))), "a - b*c");
    EXPECT_EQ(Show(Times(Call(u"Subtract", Sym(u"a"), Sym(u"b")), Sym(u"c"))), "(a - b)*c");
}

TEST_F(OperatorFormatTest, ProductsPlaceSignsAndCoefficients) {
    EXPECT_EQ(Show(Times(Sym(u"x"), Int(-2))), "x*(-2)");
    EXPECT_EQ(Show(Times(Int(-2), Sym(u"x"))), "-2*x");
    EXPECT_EQ(Show(Times(Int(-1), Sym(u"x"))), "-x");
    EXPECT_EQ(Show(Times(Int(2), Sym(u"x"), Sym(u"y"))), "2*x*y");
    EXPECT_EQ(Show(Times(Int(-1), Int(-1))), "-(-1)");
    EXPECT_EQ(Show(Times(Plus(Sym(u"a"), Sym(u"b")), Sym(u"c"))), "(a + b)*c");
    EXPECT_EQ(Show(Power(Times(Int(-1), Sym(u"x")), Int(2))), "(-x)^2");
}

TEST_F(OperatorFormatTest, ProductsWriteNegativePowersAsFractions) {
    EXPECT_EQ(Show(Times(Int(2), Reciprocal(Sym(u"x"), -1))), "2/x");
    EXPECT_EQ(Show(Times(Int(-1), Reciprocal(Sym(u"x"), -1))), "-1/x");
    EXPECT_EQ(Show(Times(Sym(u"x"), Reciprocal(Sym(u"y"), -2))), "x/y^2");
    EXPECT_EQ(Show(Times(Sym(u"x"), Reciprocal(Sym(u"y"), -1), Reciprocal(Sym(u"z"), -1))), "x/(y*z)");
    EXPECT_EQ(Show(Times(Reciprocal(Sym(u"x"), -1), Reciprocal(Sym(u"y"), -1))), "1/(x*y)");
    EXPECT_EQ(Show(Times(Sym(u"x"), Reciprocal(Sym(u"y"), -1), Reciprocal(Sym(u"z"), -3))), "x/(y*z^3)");
    EXPECT_EQ(Show(Times(Reciprocal(Sym(u"y"), -1), Sym(u"x"), Sym(u"w"))), "x*w/y");
    EXPECT_EQ(Show(Times(Sym(u"x"), Reciprocal(Plus(Sym(u"y"), Sym(u"z")), -1))), "x/(y + z)");
    // A product or a quotient as the divisor keeps its parentheses.
    EXPECT_EQ(Show(Times(Sym(u"x"), Reciprocal(Times(Sym(u"y"), Sym(u"z")), -1))), "x/(y*z)");
    EXPECT_EQ(Show(Times(Sym(u"x"), Reciprocal(Reciprocal(Sym(u"y"), -1), -1))), "x/(1/y)");
}

TEST_F(OperatorFormatTest, PowersGroupBaseAndExponent) {
    EXPECT_EQ(Show(Power(Sym(u"a"), Power(Sym(u"b"), Sym(u"c")))), "a^b^c");
    EXPECT_EQ(Show(Power(Power(Sym(u"a"), Sym(u"b")), Sym(u"c"))), "(a^b)^c");
    EXPECT_EQ(Show(Power(Sym(u"a"), Times(Sym(u"b"), Sym(u"c")))), "a^(b*c)");
    EXPECT_EQ(Show(Power(Int(-2), Sym(u"a"))), "(-2)^a");
    EXPECT_EQ(Show(Power(Sym(u"a"), Times(Int(-1), Sym(u"b")))), "a^(-b)");
    EXPECT_EQ(Show(Power(Sym(u"a"), Infinity(-1))), "a^(-Infinity)");
    EXPECT_EQ(Show(Call(u"Factorial", Power(Sym(u"a"), Sym(u"b")))), "(a^b)!");
}

TEST_F(OperatorFormatTest, NegativeExponentsMakeReciprocals) {
    EXPECT_EQ(Show(Power(Sym(u"x"), Int(-1))), "1/x");
    EXPECT_EQ(Show(Power(Sym(u"x"), Int(-2))), "1/x^2");
    EXPECT_EQ(Show(Power(Plus(Sym(u"a"), Sym(u"b")), Int(-1))), "1/(a + b)");
    EXPECT_EQ(Show(Power(Int(-2), Int(-1))), "1/(-2)");
    EXPECT_EQ(Show(Power(Int(-2), Int(-3))), "1/(-2)^3");
    EXPECT_EQ(Show(Power(Times(Sym(u"x"), Sym(u"y")), Int(-1))), "1/(x*y)");
    EXPECT_EQ(Show(Power(Power(Sym(u"x"), Int(-1)), Int(-1))), "1/(1/x)");
    EXPECT_EQ(Show(Power(Power(Sym(u"x"), Int(-1)), Int(2))), "(1/x)^2");
    EXPECT_EQ(Show(Call(u"Factorial", Power(Sym(u"x"), Int(-1)))), "(1/x)!");
    // The denominator flag stays with the product's own factors.
    EXPECT_EQ(Show(Times(Sym(u"a"), Power(Call(u"f", Power(Sym(u"x"), Int(-1))), Int(-1)))), "a/f(1/x)");
}

TEST_F(OperatorFormatTest, InfixOperatorsGroupByPrecedence) {
    EXPECT_EQ(Show(Call(u"Equal", Sym(u"a"), Call(u"Less", Sym(u"b"), Sym(u"c")))), "a == (b < c)");
    EXPECT_EQ(Show(Call(u"Equal", Plus(Sym(u"a"), Sym(u"b")), Sym(u"c"))), "a + b == c");
    EXPECT_EQ(Show(Call(u"Unequal", Sym(u"a"), Sym(u"b"), Sym(u"c"))), "a != b != c");
    EXPECT_EQ(Show(Call(u"LessEqual", Sym(u"a"), Call(u"GreaterEqual", Sym(u"b"), Sym(u"c")))), "a <= (b >= c)");
    EXPECT_EQ(Show(Call(u"Greater", Sym(u"a"), Sym(u"b"))), "a > b");
    EXPECT_EQ(Show(Call(u"Rule", Sym(u"a"), Call(u"Rule", Sym(u"b"), Sym(u"c")))), "a -> (b -> c)");
    EXPECT_EQ(Show(Call(u"RuleDelayed", Call(u"Rule", Sym(u"a"), Sym(u"b")), Sym(u"c"))), "(a -> b) :> c");
    EXPECT_EQ(Show(Call(u"Rule", Sym(u"a"), Call(u"And", Sym(u"b"), Sym(u"c")))), "a -> b && c");
    EXPECT_EQ(Show(Call(u"And", Sym(u"a"), Call(u"Or", Sym(u"b"), Sym(u"c")))), "a && (b || c)");
    EXPECT_EQ(Show(Call(u"Xor", Sym(u"a"), Sym(u"b"), Sym(u"c"))), "a !! b !! c");
    EXPECT_EQ(Show(Call(u"Not", Call(u"And", Sym(u"a"), Sym(u"b")))), "!(a && b)");
    EXPECT_EQ(Show(Call(u"And", Call(u"Not", Sym(u"a")), Sym(u"b"))), "!a && b");
    EXPECT_EQ(Show(Call(u"Not", Call(u"Equal", Sym(u"a"), Sym(u"b")))), "!a == b");
    EXPECT_EQ(Show(Call(u"Span", Sym(u"a"), Plus(Sym(u"b"), Int(1)), Sym(u"c"))), "a..b + 1..c");
    EXPECT_EQ(Show(Call(u"Span", Sym(u"a"), Call(u"Span", Sym(u"b"), Sym(u"c")))), "a..(b..c)");
    EXPECT_EQ(Show(Call(u"Join", Plus(Sym(u"a"), Sym(u"b")), Sym(u"c"))), "(a + b)~c");
    EXPECT_EQ(Show(Power(Call(u"Join", Sym(u"a"), Sym(u"b")), Sym(u"c"))), "a~b^c");
    EXPECT_EQ(Show(Call(u"Factorial", Call(u"Factorial", Sym(u"a")))), "a!!");
    EXPECT_EQ(Show(Call(u"Factorial", Int(-2))), "(-2)!");
    EXPECT_EQ(Show(Call(u"Factorial", Call(u"Join", Sym(u"a"), Sym(u"b")))), "(a~b)!");
}

TEST_F(OperatorFormatTest, CallsPartsAndListsBracketTheirOperands) {
    EXPECT_EQ(Show(Expression_New(Call(u"f", Sym(u"x")), Sym(u"y"))), "f(x)(y)");
    EXPECT_EQ(Show(Expression_New(Plus(Sym(u"a"), Sym(u"b")), Sym(u"x"))), "(a + b)(x)");
    EXPECT_EQ(Show(Call(u"Part", Plus(Sym(u"a"), Sym(u"b")), Int(1))), "(a + b)[1]");
    EXPECT_EQ(Show(Call(u"Part", Sym(u"x"), Int(1), Int(-2))), "x[1,-2]");
    EXPECT_EQ(Show(Call(u"Part", Call(u"Part", Sym(u"x"), Int(1)), Int(2))), "x[1][2]");
    EXPECT_EQ(Show(Call(u"Part", Call(u"f", Sym(u"x")), Plus(Sym(u"i"), Int(1)))), "f(x)[i + 1]");
    EXPECT_EQ(Show(Call(u"List")), "{}");
    EXPECT_EQ(Show(Call(u"List", Int(-1), Call(u"Rule", Sym(u"a"), Sym(u"b")), Call(u"List"))), "{-1, a -> b, {}}");
    EXPECT_EQ(Show(Power(Call(u"List", Sym(u"a")), Int(2))), "{a}^2");
    EXPECT_EQ(Show(Call(u"f", Plus(Sym(u"a"), Sym(u"b")), Int(-1))), "f(a + b, -1)");
}

TEST_F(OperatorFormatTest, AtomLikeLayouts) {
    EXPECT_EQ(Show(Call(u"Slot")), "#");
    EXPECT_EQ(Show(Call(u"Slot", Int(2))), "#2");
    EXPECT_EQ(Show(Call(u"Slot", Int(-1))), "Slot(-1)");
    EXPECT_EQ(Show(Call(u"Slot", Sym(u"x"))), "Slot(x)");
    EXPECT_EQ(Show(Call(u"DirectedInfinity")), "ComplexInfinity");
    EXPECT_EQ(Show(Infinity(1)), "Infinity");
    EXPECT_EQ(Show(Infinity(0)), "ComplexInfinity");
    EXPECT_EQ(Show(Infinity(-1)), "-Infinity");
    EXPECT_EQ(Show(Times(Sym(u"x"), Infinity(-1))), "x*(-Infinity)");
    EXPECT_EQ(Show(Call(u"DirectedInfinity", Sym(u"d"))), "DirectedInfinity(d)");
    EXPECT_EQ(Show(Call(u"Any", Sym(u"Integer"))), "?Integer");
    EXPECT_EQ(Show(Call(u"AnySequence", Sym(u"h"))), "??h");
    EXPECT_EQ(Show(Call(u"AnyNullSequence", Sym(u"h"))), "???h");
    EXPECT_EQ(Show(Call(u"Pattern", Sym(u"x"), Sym(u"Any"))), "Pattern(x, Any)");
    EXPECT_EQ(Show(Call(u"Any", Call(u"f", Sym(u"x")))), "Any(f(x))");
}

TEST_F(OperatorFormatTest, FormattersDeclineWhatTheyDoNotLayOut) {
    EXPECT_EQ(Show(Sym(u"Plus")), "Plus");
    EXPECT_EQ(Show(Call(u"Plus", Sym(u"a"))), "Plus(a)");
    EXPECT_EQ(Show(Expression_New(Call(u"Plus", Sym(u"a")), Sym(u"b"))), "Plus(a)(b)");
    EXPECT_EQ(Show(Expression_New(Call(u"List", Sym(u"a")), Sym(u"b"))), "{a}(b)");
    EXPECT_EQ(Show(Call(u"Power", Sym(u"a"), Sym(u"b"), Sym(u"c"))), "Power(a, b, c)");
    EXPECT_EQ(Show(Call(u"Not", Sym(u"a"), Sym(u"b"))), "Not(a, b)");
    EXPECT_EQ(Show(Call(u"Rule", Sym(u"a"))), "Rule(a)");
    EXPECT_EQ(Show(Call(u"Equal", Sym(u"a"))), "Equal(a)");
    EXPECT_EQ(Show(Call(u"Minus", Sym(u"a"))), "Minus(a)");
    Object *e = Plus(Sym(u"a"), Times(Int(-1), Call(u"List", Sym(u"b"))));
    EXPECT_EQ(Narrow(Format_Full(e)), "Plus(a, Times(-1, List(b)))");
    Object_Release(e);
}

TEST_F(OperatorFormatTest, InternalFormSwitchesToTheFullForm) {
    EXPECT_EQ(Show(Call(u"InternalForm", Plus(Sym(u"a"), Sym(u"b")))), "Plus(a, b)");
    EXPECT_EQ(Show(Times(Sym(u"c"), Call(u"InternalForm", Plus(Sym(u"a"), Int(-2))))), "c*Plus(a, -2)");
    EXPECT_EQ(Show(Call(u"InternalForm", Call(u"InternalForm", Sym(u"x")))), "InternalForm(x)");
    EXPECT_EQ(Show(Call(u"List", Call(u"InternalForm", Sym(u"x")), Plus(Sym(u"a"), Sym(u"b")))), "{x, a + b}");
}

// Each nested operator pushes a context; nesting past the stack's capacity
// is cut off with the marker and every level still pops what it pushed.
TEST_F(OperatorFormatTest, DeepNestingIsCutAndLeavesTheStacksBalanced) {
    const int depth = 10000;
    Object *right = Sym(u"x"), *left = Sym(u"x"), *grouped = Sym(u"x"), *mixed = Sym(u"x");
    for (int i = 0; i < depth; ++i) {
        right = Plus(Sym(u"a"), right);
        left = Plus(left, Times(Int(-1), Sym(u"b")));
        grouped = Power(grouped, Sym(u"c"));
        switch (i % 5) {
        case 0: mixed = Times(Int(2), Power(mixed, Int(-2))); break;
        case 1: mixed = Call(u"List", mixed, Call(u"Part", Sym(u"y"), Int(1))); break;
        case 2: mixed = Call(u"InternalForm", Call(u"f", mixed)); break;
        case 3: mixed = Call(u"Rule", Call(u"Not", mixed), Sym(u"z")); break;
        default: mixed = Call(u"Subtract", Sym(u"d"), mixed); break;
        }
    }
    std::u16string cut = Format_CutMarker;
    std::string text = Show(right);
    EXPECT_EQ(text.substr(0, 8), "a + a + ");
    EXPECT_NE(text.find(Narrow(cut)), std::string::npos);
    text = Show(left);
    EXPECT_EQ(text.substr(text.size() - 8), " - b - b");
    EXPECT_NE(text.find(Narrow(cut)), std::string::npos);
    text = Show(grouped);
    EXPECT_EQ(text.substr(0, 3), "(((");
    EXPECT_EQ(text.substr(text.size() - 3), ")^c");
    text = Show(mixed);
    EXPECT_NE(text.find(Narrow(cut)), std::string::npos);
}

}  // namespace
