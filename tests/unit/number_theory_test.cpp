// The numeric methods of the number theory functions against independent
// references: the gamma function of the C library on the real axis, known
// digits of Gamma at thirds, exact factorials and Fibonacci numbers at
// integer points, and the identities the functions satisfy in the complex
// plane (reflection, the recurrences); and the results that must come at
// once from the sizes alone.
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "kernel_fixture.h"

namespace {

class NumberTheoryTest : public KernelTest {
protected:
    // Whether the numeric expression text evaluates to True.
    static bool Holds(const std::u16string &text) { return EvaluateText(text.c_str()) == u"True"; }
    static std::u16string Wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }
    // The input text of a machine real: 15 digits (more would make an
    // arbitrary-precision real) and the exponent without a plus sign.
    static std::string Machine(double v) {
        char text[40];
        std::snprintf(text, sizeof text, "%.15g", v);
        std::string s = text;
        if (size_t e = s.find("e+"); e != std::string::npos) s.erase(e + 1, 1);
        return s;
    }
};

TEST_F(NumberTheoryTest, MachineFactorialFollowsTheLibraryGamma) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> x(-30.0, 170.0);
    for (int i = 0; i < 200; ++i) {
        double v = std::strtod(Machine(x(random)).c_str(), nullptr);
        std::string text = "Abs(Factorial(" + Machine(v) + ")/(" + Machine(std::tgamma(v + 1)) + ") - 1) < 1.0e-13";
        ASSERT_TRUE(Holds(Wide(text))) << text;
    }
}

TEST_F(NumberTheoryTest, ArbitraryPrecisionFactorialMatchesKnownDigits) {
    // (1/3)! = Gamma(1/3)/3 and (-1/3)! = Gamma(2/3).
    EXPECT_EQ(EvaluateText(u"Factorial(Calculate(1/3, 40))").substr(0, 36), u"0.8929795115692492112185643136582258");
    EXPECT_EQ(EvaluateText(u"Factorial(Calculate(-1/3, 40))").substr(0, 36), u"1.3541179394264004169452880281545137");
    // Half-integers against the exact multiples of Sqrt(Pi), and integers
    // against the exact factorials, at several precisions and sizes.
    for (const char16_t *text : {
             u"Abs(Factorial(Calculate(7/2, 60)) - Calculate(105/16*Sqrt(Pi), 70)) < 10^(-55)",
             u"Abs(Factorial(Calculate(-7/2, 60)) - Calculate(Factorial(-7/2), 70)) < 10^(-55)",
             u"Abs(Factorial(Calculate(1000, 50))/Factorial(1000) - 1) < 10^(-45)",
             u"Abs(Factorial(Calculate(3, 200)) - 6) < 10^(-190)",
             u"Abs(Factorial(Calculate(1/10^20, 30)) - 1) < 10^(-19)",
         })
        EXPECT_TRUE(Holds(text)) << Narrow(text);
    // A machine value beyond the double range continues in arbitrary
    // precision with about the argument's digits.
    EXPECT_TRUE(Holds(u"Abs(Factorial(300.0)/Factorial(300) - 1) < 10^(-10)"));
    EXPECT_TRUE(Holds(u"Abs(Factorial(-300.5)*Factorial(300.5) - Pi*(-300.5)/Sin(Pi*(-300.5))) < 10^(-8)*Abs(Factorial(-300.5)*Factorial(300.5))"));
}

TEST_F(NumberTheoryTest, ComplexFactorialSatisfiesItsIdentities) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> part(-6.0, 6.0);
    for (int i = 0; i < 100; ++i) {
        double re = part(random), im = part(random);
        std::string zs = "(" + Machine(re) + (im < 0 ? " - " : " + ") + Machine(std::fabs(im)) + "*I)";
        // z! = z (z - 1)!, and z! (-z)! = pi z / sin(pi z).
        std::string recurrence = "Abs(Factorial(" + zs + ")/(" + zs + "*Factorial(" + zs + " - 1)) - 1) < 1.0e-12";
        std::string reflection = "Abs(Factorial(" + zs + ")*Factorial(-" + zs + ")*Sin(Pi*" + zs + ")/(Pi*" + zs +
                                 ") - 1) < 1.0e-12";
        ASSERT_TRUE(Holds(Wide(recurrence))) << recurrence;
        ASSERT_TRUE(Holds(Wide(reflection))) << reflection;
    }
    // On the real axis it is the real gamma function.
    EXPECT_TRUE(Holds(u"Abs(Factorial(2.5 + 0.0*I) - Factorial(2.5)) < 1.0e-13"));
}

TEST_F(NumberTheoryTest, BinetFormulaInterpolatesTheFibonacciNumbers) {
    EXPECT_TRUE(Holds(u"Abs(Fibonacci(Calculate(80, 40)) - Fibonacci(80)) < 10^(-15)"));
    EXPECT_TRUE(Holds(u"Abs(Fibonacci(-31.0) - Fibonacci(-31)) < 1.0e-6"));
    // F(z + 1) = F(z) + F(z - 1) everywhere, machine and arbitrary precision.
    for (const char16_t *z : {u"2.3", u"-1.7", u"0.4 + 1.2*I", u"Calculate(13/7, 30)", u"Calculate(3/2 - 2*I, 30)"}) {
        std::u16string zs = z;
        std::u16string text = u"Abs(Fibonacci(" + zs + u" + 1) - Fibonacci(" + zs + u") - Fibonacci(" + zs + u" - 1)) < 1.0e-12";
        EXPECT_TRUE(Holds(text)) << Narrow(text);
    }
}

TEST_F(NumberTheoryTest, InexactBinomialIsTheQuotientOfFactorials) {
    EXPECT_TRUE(Holds(u"Abs(Binomial(Calculate(40, 30), 20) - Binomial(40, 20)) < 10^(-15)"));
    EXPECT_TRUE(Holds(u"Abs(Binomial(2.5, 1.5) - 2.5) < 1.0e-13"));
}

TEST_F(NumberTheoryTest, HugeArgumentsOverflowFromTheirSizes) {
    // Each of these would need more limbs than the limit allows; the answer
    // must come from the size estimate, not after the work.
    for (const char16_t *text : {u"Factorial(10^12)", u"Fibonacci(10^15)", u"Binomial(10^15, 10^14)",
                                 u"Binomial(2^100, 2^40)"}) {
        Host() = HostRecord();
        EXPECT_EQ(EvaluateText(text), u"Overflow") << Narrow(text);
        ASSERT_EQ(Host().messages.size(), 1u) << Narrow(text);
        EXPECT_EQ(Host().messages[0], u"Integer::Overflow: Integer overflow during computation with integers detected.");
    }
}

}  // namespace
