#include "kernel_fixture.h"

#include <cmath>

#include "eval/arith.h"
#include "eval/evaluate.h"
#include "number/complex.h"
#include "number/rational.h"
#include "number/real.h"
#include "syntax/grammar.h"

namespace {

class ArithTest : public KernelTest {
protected:
    // The value of a text; a new reference.
    static Object *Eval(const char16_t *text) {
        Object *e = Parser_ParseText(text);
        EXPECT_NE(e, nullptr) << Narrow(text);
        return Evaluate_TopLevel(e);
    }
    static Object *Real(double x) { return Real_FromDouble(x); }
    static Object *Half() { return Rational_Make(Int(1), Int(2)); }
    static std::string Shown(Object *o) { return o ? Narrow(StandardText(o)) : "<null>"; }

    // Classifies the infinity of a text; the signs are 9 when not set.
    struct Classified {
        int kind, re, im;
    };
    static Classified Classify(const char16_t *text) {
        Object *x = Eval(text);
        Classified c{0, 9, 9};
        c.kind = Infinity_Classify(x, &c.re, &c.im);
        Object_Release(x);
        return c;
    }
};

using PairOperation = Object *(*)(Object *, Object *, uint64_t);

// ---- Pairs that do not combine --------------------------------------------------

TEST_F(ArithTest, TryOnlyReturnsNullAndReleasesBothOperands) {
    struct Case {
        PairOperation pair;
        const char16_t *a, *b;
    };
    const Case cases[] = {
        {Arith_PlusPair, u"x", u"y"},          {Arith_PlusPair, u"2", u"x"},
        {Arith_PlusPair, u"1/2", u"f(x)"},     {Arith_PlusPair, u"x", u"f(x)"},
        {Arith_PlusPair, u"f(x)", u"g(x)"},    {Arith_PlusPair, u"2*x", u"3*y"},
        {Arith_PlusPair, u"\"s\"", u"1"},      {Arith_PlusPair, u"0.0", u"x"},
        {Arith_PlusPair, u"2", u"Pi"},         {Arith_TimesPair, u"x", u"y"},
        {Arith_TimesPair, u"2", u"x"},         {Arith_TimesPair, u"1/2", u"x"},
        {Arith_TimesPair, u"2", u"f(x)"},      {Arith_TimesPair, u"x", u"f(x)"},
        {Arith_TimesPair, u"Infinity", u"f(x)"}, {Arith_TimesPair, u"x", u"Infinity"},
        {Arith_TimesPair, u"2", u"Pi"},        {Arith_TimesPair, u"2", u"x + y"},
    };
    for (const Case &c : cases) {
        Object *a = Eval(c.a), *b = Eval(c.b);
        int64_t refsA = a->refs, refsB = b->refs;
        std::vector<int64_t> before = PoolCounts();
        EXPECT_EQ(c.pair(Object_AddRef(a), Object_AddRef(b), ARITH_TRY_ONLY), nullptr) << Narrow(c.a) << ", " << Narrow(c.b);
        EXPECT_EQ(a->refs, refsA) << Narrow(c.a);
        EXPECT_EQ(b->refs, refsB) << Narrow(c.b);
        EXPECT_EQ(PoolCounts(), before) << Narrow(c.a) << ", " << Narrow(c.b);
        Object_Release(a);
        Object_Release(b);
    }
}

TEST_F(ArithTest, WithoutTheFlagAnUncombinedPairComesOutInCanonicalOrder) {
    EXPECT_EQ(Shown(Arith_PlusPair(Sym(u"y"), Sym(u"x"), 0)), "x + y");
    EXPECT_EQ(Shown(Arith_PlusPair(Call(u"f", Sym(u"x")), Int(2), 0)), "2 + f(x)");
    EXPECT_EQ(Shown(Arith_TimesPair(Sym(u"b"), Sym(u"a"), 0)), "a*b");
    EXPECT_EQ(Shown(Arith_TimesPair(Call(u"f", Sym(u"x")), Half(), 0)), "1/2*f(x)");
    // The unevaluated form is final: evaluating it again leaves it alone.
    Object *sum = Arith_PlusPair(Sym(u"y"), Sym(u"x"), 0);
    EXPECT_EQ(Shown(Object_Evaluate(sum)), "x + y");
}

// ---- Combinations only the builders reach ---------------------------------------

// The evaluator flattens sums and products before Plus and Times see them;
// the builders, used by the rest of the kernel, can hand one in whole.
TEST_F(ArithTest, ANestedSumOrProductTakesTheOtherOperandInAndIsEvaluatedAgain) {
    EXPECT_EQ(Shown(Arith_PlusPair(Int(1), Eval(u"2 + x"), ARITH_TRY_ONLY)), "3 + x");
    EXPECT_EQ(Shown(Arith_PlusPair(Sym(u"x"), Eval(u"x + y"), ARITH_TRY_ONLY)), "2*x + y");
    EXPECT_EQ(Shown(Arith_PlusPair(Eval(u"a + b"), Eval(u"c - a"), 0)), "b + c");
    EXPECT_EQ(Shown(Arith_TimesPair(Int(3), Eval(u"2*x"), ARITH_TRY_ONLY)), "6*x");
    EXPECT_EQ(Shown(Arith_TimesPair(Eval(u"2*x"), Eval(u"1/2*y"), 0)), "x*y");
    EXPECT_EQ(Shown(Arith_TimesPair(Int(0), Eval(u"x*y"), 0)), "0");
    EXPECT_EQ(Shown(Arith_Plus(Eval(u"x + 1"), Int(-1))), "x");
}

TEST_F(ArithTest, BuildersCollectTermsAndFactorsInEitherOrder) {
    EXPECT_EQ(Shown(Arith_Plus(Eval(u"3*x*y"), Eval(u"x*y"))), "4*x*y");
    EXPECT_EQ(Shown(Arith_Plus(Eval(u"x*y"), Eval(u"3*x*y"))), "4*x*y");
    EXPECT_EQ(Shown(Arith_Plus(Eval(u"x*y"), Eval(u"x*y"))), "2*x*y");
    EXPECT_EQ(Shown(Arith_Plus(Eval(u"f(x)"), Eval(u"-f(x)"))), "0");
    EXPECT_EQ(Shown(Arith_Plus(Eval(u"2*f(x)"), Eval(u"f(x)"))), "3*f(x)");
    EXPECT_EQ(Shown(Arith_Times(Eval(u"f(x)"), Eval(u"f(x)^2"))), "f(x)^3");
    EXPECT_EQ(Shown(Arith_Times(Eval(u"f(x)^n"), Eval(u"f(x)"))), "f(x)^(1 + n)");
    EXPECT_EQ(Shown(Arith_Times(Sym(u"x"), Eval(u"x^2"))), "x^3");
}

// ---- Infinities ---------------------------------------------------------------

TEST_F(ArithTest, InfinityClassifyTellsTheKindsOfDirections) {
    Classified c = Classify(u"f(1)");
    EXPECT_EQ(c.kind, 0);
    EXPECT_EQ(Classify(u"DirectedInfinity(1, 2)").kind, 0);
    EXPECT_EQ(Classify(u"ComplexInfinity").kind, 4);
    c = Classify(u"-Infinity");
    EXPECT_EQ(c.kind, 1);
    EXPECT_EQ(c.re, -1);
    EXPECT_EQ(c.im, 9);
    c = Classify(u"DirectedInfinity(x)");
    EXPECT_EQ(c.kind, 8);
    c = Classify(u"DirectedInfinity(Sin(x))");
    EXPECT_EQ(c.kind, 8);

    // Directions built directly, so that no normalisation interferes.
    Object *directed = Call(u"DirectedInfinity", Complex_Make(Int(3), Int(-4)));
    int re = 9, im = 9;
    EXPECT_EQ(Infinity_Classify(directed, &re, &im), 2);
    EXPECT_EQ(re, 1);
    EXPECT_EQ(im, -1);
    EXPECT_EQ(Infinity_Classify(directed, nullptr, nullptr), 2);
    Object_Release(directed);

    directed = Call(u"DirectedInfinity", Eval(u"3 - 2*Pi"));
    EXPECT_EQ(Infinity_Classify(directed, &re, nullptr), 1);
    EXPECT_EQ(re, -1);
    Object_Release(directed);

    directed = Call(u"DirectedInfinity", Eval(u"Pi*I"));
    EXPECT_EQ(Infinity_Classify(directed, &re, &im), 2);
    EXPECT_EQ(re, 0);
    EXPECT_EQ(im, 1);
    Object_Release(directed);
}

// ---- Numeric absorption ----------------------------------------------------------

TEST_F(ArithTest, AbsorbEvaluatesAtThePrecisionOfTheInexactPartner) {
    Object *u = Real(1.5);
    Object *v = Arith_Absorb(u, Sym(u"Pi"));
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(Real_IsMachine(v));
    EXPECT_DOUBLE_EQ(AsReal(v)->value, M_PI);
    Object_Release(v);
    Object_Release(u);

    u = Eval(u"Calculate(2, 40)");
    ASSERT_TRUE(Real_IsBig(u)) << Shown(Object_AddRef(u));
    v = Arith_Absorb(u, Eval(u"1 + Pi"));
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(Real_IsBig(v));
    EXPECT_GE(Object_Precision(v), 49.0);
    Object_Release(v);
    Object_Release(u);

    // Something without a numeric value is released and nothing returned.
    u = Real(1.5);
    std::vector<int64_t> before = PoolCounts();
    EXPECT_EQ(Arith_Absorb(u, Eval(u"f(x)")), nullptr);
    EXPECT_EQ(PoolCounts(), before);
    Object_Release(u);
}

// ---- Ownership ----------------------------------------------------------------

TEST_F(ArithTest, RepeatedArithmeticDoesNotGrowThePools) {
    const char16_t *inputs[] = {
        u"Plus(1, 2, x, x)", u"3*x + 2*x - 5*x", u"x^2*x^3*y/y", u"Infinity - Infinity", u"-2*Infinity",
        u"(1.5 + Pi)*(2 + I)", u"Subtract(a, b) + Divide(6, 4)", u"Times(0.0, x, Indeterminate)",
        u"(1/2 + I)*Infinity*(1 + 2*I)", u"Plus(-1/3, x, y, Infinity)", u"Plus(1, x, -Infinity, Infinity)",
        u"1.0e-300*1.0e-300", u"1.5*(1/10^400)", u"Calculate(Pi*I, 20)", u"DirectedInfinity(I) == 1",
    };
    for (const char16_t *text : inputs) Object_Release(Eval(text));
    std::vector<int64_t> before = PoolCounts();
    for (int round = 0; round < 3; ++round)
        for (const char16_t *text : inputs) Object_Release(Eval(text));
    EXPECT_EQ(PoolCounts(), before);
}

}  // namespace
