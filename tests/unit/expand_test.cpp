#include "kernel_fixture.h"

#include <random>
#include <string>
#include <vector>

#include "eval/evaluate.h"
#include "eval/expand.h"
#include "eval/native_args.h"
#include "syntax/grammar.h"

namespace {

Object *Int(int64_t v) { return Integer_FromSmall(v); }

// head[args...] evaluated; takes over the arguments.
Object *Evaluated(BuiltinSymbol head, const std::vector<Object *> &args) {
    Object *e = Expression_NewSized(Builtin(head), int64_t(args.size()));
    for (size_t i = 0; i < args.size(); ++i) AsExpression(e)->elements[i + 1] = args[i];
    return Object_Evaluate(e);
}

bool IsPowerOfSum(Object *e, int64_t *n) {
    return Native_IsCall(e, SYM_Power) && Expression_Length(e) == 2 && Native_IsCall(Expression_At(e, 1), SYM_Plus) &&
           Expression_Length(Expression_At(e, 1)) >= 2 && Native_SmallInteger(Expression_At(e, 2), 1, INT64_MAX, n);
}

// The expansion written out one sum at a time: a sum expands its terms and
// sums again; a product expands its factors, multiplies, and distributes
// its first sum, each term's product with the other factors evaluated and
// expanded again; a power s^n with s = a + r is the sum of Binomial(n, i)
// Expand(r^(n - i)) Expand(a^i), each summand evaluated and expanded, the
// powers expanded as they are built (r^1 by the same rule, r^0 as it is,
// so that a zeroth power is evaluated only in the summand). It is
// exponential in the number of sums of a product, so only small inputs go
// through it. Consumes e.
Object *Reference(Object *e) {
    if (!Object_IsExpression(e)) return e;
    Ref held(e);
    int64_t length = Expression_Length(e);
    if (Native_IsCall(e, SYM_Plus)) {
        std::vector<Object *> terms;
        for (int64_t i = 1; i <= length; ++i) terms.push_back(Reference(Object_AddRef(Expression_At(e, i))));
        return Evaluated(SYM_Plus, terms);
    }
    if (Native_IsCall(e, SYM_Times)) {
        std::vector<Object *> factors;
        for (int64_t i = 1; i <= length; ++i) factors.push_back(Reference(Object_AddRef(Expression_At(e, i))));
        Ref p(Evaluated(SYM_Times, factors));
        int64_t n;
        if (!Native_IsCall(p.get(), SYM_Times)) {
            bool more = Native_IsCall(p.get(), SYM_Plus) || IsPowerOfSum(p.get(), &n);
            return more && !Object_Same(p.get(), e) ? Reference(p.release()) : p.release();
        }
        int64_t first = 1, m = Expression_Length(p.get());
        while (first <= m && !Native_IsCall(Expression_At(p.get(), first), SYM_Plus)) ++first;
        if (first > m) return p.release();
        Object *sum = Expression_At(p.get(), first);
        std::vector<Object *> terms;
        for (int64_t i = 1; i <= Expression_Length(sum); ++i) {
            std::vector<Object *> product;
            for (int64_t k = 1; k <= m; ++k)
                product.push_back(Object_AddRef(k == first ? Expression_At(sum, i) : Expression_At(p.get(), k)));
            terms.push_back(Reference(Evaluated(SYM_Times, product)));
        }
        return Evaluated(SYM_Plus, terms);
    }
    int64_t n;
    if (!IsPowerOfSum(e, &n)) return held.release();
    Object *s = Expression_At(e, 1);
    Object *a = Expression_At(s, 1);
    std::vector<Object *> rest;
    for (int64_t i = 2; i <= Expression_Length(s); ++i) rest.push_back(Object_AddRef(Expression_At(s, i)));
    Ref r(Evaluated(SYM_Plus, rest));
    std::vector<Object *> summands;
    Ref binomial(Int(1));
    for (int64_t i = 0; i <= n; ++i) {
        Object *rPower = Reference(Expression_New(Builtin(SYM_Power), Object_AddRef(r.get()), Int(n - i)));
        Object *aPower = Reference(Expression_New(Builtin(SYM_Power), Object_AddRef(a), Int(i)));
        summands.push_back(Reference(Evaluated(SYM_Times, {Object_AddRef(binomial.get()), rPower, aPower})));
        binomial.reset(Integer_DivMod(Integer_Multiply(binomial.release(), Int(n - i)), Int(i + 1), nullptr));
    }
    return Evaluated(SYM_Plus, summands);
}

class ExpandTest : public KernelTest {
protected:
    static Object *Eval(const std::string &text) {
        std::u16string wide(text.begin(), text.end());
        Object *e = Parser_ParseText(wide.c_str());
        EXPECT_NE(e, nullptr) << text;
        if (!e) return Builtin(SYM_Null);
        return Evaluate_TopLevel(e);
    }
    // Expands the value of text both ways and expects the same result.
    static void ExpectAsReference(const std::string &text) {
        Object *e = Eval(text);
        Object *expected = Reference(Object_AddRef(e));
        Object *got = Builtin_Expand(Expression_New(Builtin(SYM_Expand), e));
        EXPECT_TRUE(Object_Same(got, expected)) << text << "\n  expected " << Narrow(StandardText(Object_AddRef(expected)))
                                                << "\n  got      " << Narrow(StandardText(Object_AddRef(got)));
        Object_Release(got);
        Object_Release(expected);
    }
    static std::u16string Run(const std::string &text) {
        std::u16string wide(text.begin(), text.end());
        return EvaluateText(wide.c_str());
    }
};

// Random polynomial-like inputs: sums, products and powers of sums nested
// one in another, with rational coefficients, cancelling terms, and the factors
// that expansion leaves alone (negative and fractional powers of sums,
// calls holding sums).
class Inputs {
public:
    explicit Inputs(unsigned seed) : random_(seed) {}
    std::string Expression() {
        std::string e = Product(1);
        if (Pick(3) == 0) e += " + " + Product(1);
        if (Pick(6) == 0) e = "(" + e + ")^2";
        return e;
    }

private:
    size_t Pick(size_t n) { return random_() % n; }
    std::string Atom() {
        static const char *const atoms[] = {"x", "y", "z", "x", "y", "2", "(-1)", "3", "(1/2)", "(-2/3)"};
        return atoms[Pick(std::size(atoms))];
    }
    std::string Monomial() {
        std::string m = Atom();
        if (Pick(3) == 0) m += "^" + std::to_string(2 + Pick(2));
        if (Pick(2) == 0) m += "*" + Atom();
        return m;
    }
    std::string Sum(int depth) {
        size_t n = 2 + Pick(2);
        std::string s = "(";
        for (size_t i = 0; i < n; ++i) s += (i ? " + " : "") + (depth > 0 && Pick(3) == 0 ? Product(depth - 1) : Monomial());
        return s + ")";
    }
    std::string Factor(int depth) {
        switch (Pick(10)) {
        case 0: return Monomial();
        case 1: return Sum(depth) + "^(-1)";
        case 2: return Sum(depth) + "^(1/2)";
        case 3: return "f(" + Sum(depth) + ")";
        case 4:
        case 5: return Sum(depth) + "^" + std::to_string(depth > 0 ? 2 : 2 + Pick(2));
        default: return Sum(depth);
        }
    }
    std::string Product(int depth) {
        size_t n = 1 + Pick(3);
        std::string p;
        for (size_t i = 0; i < n; ++i) p += (i ? "*" : "") + Factor(depth);
        return p;
    }
    std::mt19937 random_;
};

// The expansion against the one-sum-at-a-time form on random inputs: the
// same canonical sum, term for term.
TEST_F(ExpandTest, AgreesWithExpandingOneSumAtATime) {
    Inputs inputs(2024);
    for (int round = 0; round < 300; ++round) {
        ExpectAsReference(inputs.Expression());
    }
}

// Sums whose terms meet powers of the other sums of a product, where a
// term and a sum may cancel, and products whose expanded factors multiply
// to a sum or to a power.
TEST_F(ExpandTest, TermsThatMeetTheOtherSums) {
    const char *const texts[] = {
        "(c + 1/(z - 1))*(z - 1)",
        "(c + a/(z - 1))*(z - 1)*(d + e)",
        "(c + (z - 1)^(-1/2))*(z - 1)^(1/2)*(c - (z - 1)^(-1/2))",
        "(1 + 1/(a + b))*(a + b)",
        "(1 + x)^(1/2)*((1 + x)^(1/2) + y)",
        "(y + (1 + x)^(1/2))*(z + (1 + x)^(1/2))",
        "(1 + x*(1 + y))*(1 + x + x*y)",
        "(a + b)^(-2)*(a + b + c)^2",
    };
    for (const char *text : texts) ExpectAsReference(text);
}

// Inexact numbers in the sums: the zeroth powers of inexact terms stay as
// factors 1.0 wherever the expansion one sum at a time meets them.
TEST_F(ExpandTest, ZerothPowersOfInexactTerms) {
    const char *const texts[] = {"(0.5 + x)^2", "(x + y + 0.5)^3", "(0.5 + x + y + z)^4", "(2.5 + x)^2*(y + 1)"};
    for (const char *text : texts) ExpectAsReference(text);
}

// Every term of (1 + x + y + z)^20: 1771 distinct monomials, each with the
// multinomial coefficient 20!/(i! j! k! (20 - i - j - k)!).
TEST_F(ExpandTest, PowerOfFourTermsHasEveryMultinomialCoefficient) {
    Object *sum = Eval("Expand((1 + x + y + z)^20)");
    ASSERT_TRUE(Native_IsCall(sum, SYM_Plus));
    ASSERT_EQ(Expression_Length(sum), 1771);
    auto factorial = [](int64_t n) {
        int64_t f = 1;
        for (int64_t i = 2; i <= n; ++i) f *= i;
        return f;
    };
    Object *symbols[3] = {Sym(u"x"), Sym(u"y"), Sym(u"z")};
    std::vector<bool> seen(21 * 21 * 21, false);
    for (int64_t t = 1; t <= 1771; ++t) {
        Object *term = Expression_At(sum, t);
        int64_t coefficient = 1, exponents[3] = {0, 0, 0};
        int64_t n = Native_IsCall(term, SYM_Times) ? Expression_Length(term) : 1;
        for (int64_t i = 1; i <= n; ++i) {
            Object *f = n == 1 && !Native_IsCall(term, SYM_Times) ? term : Expression_At(term, i);
            if (Object_IsInteger(f)) {
                coefficient = AsInteger(f)->small;
                continue;
            }
            Object *base = Native_IsCall(f, SYM_Power) ? Expression_At(f, 1) : f;
            int64_t k = Native_IsCall(f, SYM_Power) ? AsInteger(Expression_At(f, 2))->small : 1;
            for (int v = 0; v < 3; ++v)
                if (base == symbols[v]) exponents[v] = k;
        }
        int64_t i = exponents[0], j = exponents[1], k = exponents[2], rest = 20 - i - j - k;
        ASSERT_GE(rest, 0);
        EXPECT_EQ(coefficient, factorial(20) / factorial(i) / factorial(j) / factorial(k) / factorial(rest))
            << "x^" << i << " y^" << j << " z^" << k;
        size_t key = size_t((i * 21 + j) * 21 + k);
        EXPECT_FALSE(seen[key]);
        seen[key] = true;
    }
    for (Object *s : symbols) Object_Release(s);
    Object_Release(sum);
}

// Large expansions: many terms, a sum that collapses, a long product of
// sums, and deep nesting, none of which may recurse per term or per sum.
TEST_F(ExpandTest, LargeAndDeepInputs) {
    std::string symbols;
    for (int i = 1; i <= 10000; ++i) symbols += (i > 1 ? " + s" : "s") + std::to_string(i);
    EXPECT_EQ(Run("Length(Expand((" + symbols + ")*(a + b)))"), u"20000");

    std::string powers = "1";
    for (int i = 1; i <= 10000; ++i) powers += " + x^" + std::to_string(i);
    EXPECT_EQ(Run("Expand((" + powers + ")*(1 - x))"), u"1 - x^10001");

    std::string product, factorial;
    for (int i = 1; i <= 200; ++i) {
        product += (i > 1 ? "*(x + " : "(x + ") + std::to_string(i) + ")";
        factorial += (i > 1 ? ", " : "") + std::to_string(i);
    }
    EXPECT_EQ(Run("e = Expand(" + product + "); {Length(e), e[1] - Times(" + factorial + "), e[200], e[201]}"),
              u"{201, 0, 20100*x^199, x^200}");

    std::string nested = "x";
    for (int i = 0; i < 1000; ++i) nested = "x*(1 + " + nested + ")";
    EXPECT_EQ(Run("e = Expand(" + nested + "); {Length(e), e[1], e[1001]}"), u"{1001, x, x^1001}");
}

}  // namespace
