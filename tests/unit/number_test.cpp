// Rational and Complex objects, arbitrary-precision Real objects, the
// number-pair arithmetic and numeric evaluation, below the language.
#include <cmath>
#include <limits>

#include "eval/compare.h"
#include "eval/numeric.h"
#include "kernel_fixture.h"
#include "number/bigfloat.h"
#include "number/complex.h"
#include "number/number_text.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "number/real.h"

namespace {

class NumberTest : public KernelTest {
protected:
    static Object *Q(int64_t n, int64_t d) { return Rational_Make(Int(n), Int(d)); }
    static Object *R(double x) { return Real_FromDouble(x); }
    static Object *Big(const char16_t *digits, double precision = -1) {
        return Real_FromDecimalText(digits, precision);
    }
    static Object *Z(Object *re, Object *im) { return Complex_Make(re, im); }
    static std::string Text(Object *o) { return Narrow(StandardText(o)); }
};

TEST_F(NumberTest, RationalsAreKeptInLowestTerms) {
    EXPECT_EQ(Text(Q(6, -4)), "-3/2");
    EXPECT_EQ(Text(Q(4, 2)), "2");
    EXPECT_EQ(Text(Q(0, 5)), "0");
    EXPECT_EQ(Text(Q(1, 0)), "ComplexInfinity");
    EXPECT_EQ(Text(Q(-6, -9)), "2/3");
    // -2^63 / -1 does not fit a word: the quotient continues as a big integer.
    EXPECT_EQ(Text(Rational_Make(Int(INT64_MIN), Int(-1))), "9223372036854775808");
    Object *big = Integer_FromText(u"123456789012345678901234567890", 10);
    EXPECT_EQ(Text(Rational_Make(big, Integer_FromText(u"246913578024691357802469135780", 10))), "1/2");
}

TEST_F(NumberTest, ExactArithmeticStaysExact) {
    EXPECT_EQ(Text(Number_Add(Q(1, 2), Q(1, 2))), "1");
    EXPECT_EQ(Text(Number_Multiply(Q(1, 3), Int(3))), "1");
    EXPECT_EQ(Text(Number_Add(Q(1, 2), Int(-3))), "-5/2");
    EXPECT_EQ(Text(Number_Negate(Q(1, 2))), "-1/2");
    Object *q = Q(1, 3);
    EXPECT_DOUBLE_EQ(Number_ToDouble(q), 1.0 / 3);
    Object_Release(q);
    // A fraction of two numbers beyond the double range still converts.
    Object *huge = Rational_Make(Integer_FromText(std::u16string(400, u'7'), 10),
                                 Integer_FromText(u"3" + std::u16string(399, u'0'), 10));
    EXPECT_NEAR(Number_ToDouble(huge), 70.0 / 27, 1e-12);
    Object_Release(huge);
}

// An intermediate product beyond the limb limit saturates: a huge
// numerator gives Overflow, a huge denominator Underflow, both Indeterminate.
TEST_F(NumberTest, RationalOverflowSaturates) {
    kernel.numbers.limbLimit = 2;
    auto big = [] { return Integer_FromText(u"1267650600228229401496703205376", 10); };  // 2^100
    EXPECT_EQ(Text(Number_Multiply(Rational_Make(big(), Int(3)), Rational_Make(big(), Int(5)))), "Overflow");
    EXPECT_EQ(Text(Number_Multiply(Rational_Make(Int(-3), big()), Rational_Make(Int(5), big()))), "-Underflow");
    EXPECT_EQ(Text(Number_Add(Rational_Make(Int(1), big()), Rational_Make(Int(1), Number_Add(big(), Int(1))))),
              "Underflow");
    EXPECT_EQ(Host().messages.size(), 3u);
    kernel.numbers.limbLimit = BIGINT_LIMB_LIMIT;
}

TEST_F(NumberTest, ComplexNormalisation) {
    EXPECT_EQ(Text(Z(Int(2), Int(0))), "2");
    EXPECT_EQ(Text(Z(Int(2), R(0.0))), "2+0.0*I");
    EXPECT_EQ(Text(Z(Int(1), Real_NewSaturated(SUB_UNDERFLOW, 1))), "1+0.0*I");
    EXPECT_EQ(Text(Z(Int(0), Real_NewSaturated(SUB_UNDERFLOW, 1))), "ComplexUnderflow");
    EXPECT_EQ(Text(Z(Real_NewSaturated(SUB_OVERFLOW, -1), Int(1))), "ComplexOverflow");
    EXPECT_EQ(Text(Z(Int(1), Sym(u"x"))), "Indeterminate");
    EXPECT_EQ(Text(Number_Multiply(Complex_MakeImaginary(Int(1)), Complex_MakeImaginary(Int(1)))), "-1");
}

TEST_F(NumberTest, ComplexSaturatedValues) {
    auto co = [] { return Complex_NewSaturated(SUB_OVERFLOW); };
    auto cu = [] { return Complex_NewSaturated(SUB_UNDERFLOW); };
    EXPECT_EQ(Text(Number_Add(co(), cu())), "ComplexOverflow");
    EXPECT_EQ(Text(Number_Add(cu(), cu())), "ComplexUnderflow");
    EXPECT_EQ(Text(Number_Add(cu(), Int(0))), "ComplexUnderflow");
    EXPECT_EQ(Text(Number_Add(cu(), Int(2))), "2.0+0.0*I");
    EXPECT_EQ(Text(Number_Multiply(co(), cu())), "Indeterminate");
    EXPECT_EQ(Text(Number_Multiply(cu(), Int(5))), "ComplexUnderflow");
    EXPECT_EQ(Text(Number_Multiply(co(), Q(1, 2))), "ComplexOverflow");
}

TEST_F(NumberTest, RealSubtypeConversions) {
    Object *o = R(0.75);
    Real_SetSubtype(o, SUB_BIG);
    EXPECT_TRUE(Real_IsBig(o));
    EXPECT_DOUBLE_EQ(Number_ToDouble(o), 0.75);
    Real_SetSubtype(o, SUB_MACHINE);
    EXPECT_DOUBLE_EQ(AsReal(o)->value, 0.75);
    Object_Release(o);

    // A value beyond the double range becomes Overflow, a tiny one Underflow.
    BigFloat b = {};
    BigFloat_SetSmall(&b, 3);
    BigFloat_Scale(&b, 5000);
    o = Real_FromBigFloat(&b);
    Real_SetSubtype(o, SUB_MACHINE);
    EXPECT_EQ(Object_Subtype(o), SUB_OVERFLOW);
    Object_Release(o);
    BigFloat_Scale(&b, -10000);
    o = Real_FromBigFloat(&b);
    Real_SetSubtype(o, SUB_MACHINE);
    EXPECT_EQ(Object_Subtype(o), SUB_UNDERFLOW);
    Object_Release(o);
    BigFloat_Release(&b);

    EXPECT_EQ(Text(Real_Normalize(R(std::nan("")))), "Indeterminate");
    EXPECT_EQ(Text(Real_Normalize(R(-HUGE_VAL))), "-Overflow");
    // Demotion only when the precision is at most machine precision.
    Object *low = Real_Normalize(Big(u"1.25", 10), REAL_DEMOTE);
    EXPECT_TRUE(Real_IsMachine(low));
    Object *high = Real_Normalize(Big(u"1.25", 30), REAL_DEMOTE);
    EXPECT_TRUE(Real_IsBig(high));
    Object_Release(low);
    Object_Release(high);
}

TEST_F(NumberTest, RealPairRules) {
    // Machine with arbitrary precision: machine precision wins.
    Object *sum = Number_Add(R(1.5), Big(u"2.0000000000000000000000000", 25));
    EXPECT_TRUE(Real_IsMachine(sum));
    Object_Release(sum);
    // A machine sum beyond the double range continues in arbitrary precision.
    Object *over = Number_Add(R(1e308), R(1e308));
    ASSERT_TRUE(Real_IsBig(over));
    EXPECT_NEAR(Object_Precision(over), kMachinePrecision, 0.7);
    Object_Release(over);
    // Cancellation leaves a zero that knows its accuracy.
    Object *x = Big(u"1.2345678901234567890123456789", -1);
    Object *zero = Number_Add(Object_AddRef(x), Number_Negate(Object_AddRef(x)));
    ASSERT_TRUE(Real_IsBig(zero));
    EXPECT_EQ(AsReal(zero)->big->kind, FloatZero);
    EXPECT_DOUBLE_EQ(AsReal(zero)->big->magnitude, -AsReal(zero)->big->accuracy);
    Object_Release(zero);
    // An exact operand meets an arbitrary-precision one without losing its
    // precision: 1/3 * 3.000... keeps about 30 digits.
    Object *third = Number_Multiply(Q(1, 3), Big(u"3.00000000000000000000000000000", -1));
    EXPECT_NEAR(Object_Precision(third), 30.0, 0.6);
    Object_Release(x);
    Object_Release(third);
    // Saturated reals in sums.
    EXPECT_EQ(Text(Number_Add(Real_NewSaturated(SUB_OVERFLOW, 1), Int(5))), "Overflow");
    EXPECT_EQ(Text(Number_Add(Real_NewSaturated(SUB_UNDERFLOW, 1), Real_NewSaturated(SUB_UNDERFLOW, -1))),
              "ComplexUnderflow");
    EXPECT_EQ(Text(Number_Multiply(Real_NewSaturated(SUB_OVERFLOW, 1), Int(-2))), "-Overflow");
    EXPECT_EQ(Text(Number_Multiply(Real_NewSaturated(SUB_OVERFLOW, 1), Real_NewSaturated(SUB_UNDERFLOW, 1))),
              "Indeterminate");
}

TEST_F(NumberTest, NumbersCompareAcrossClasses) {
    auto bits = [](Object *a, Object *b, uint64_t request) {
        uint64_t r = Compare(a, b, request);
        Object_Release(a);
        Object_Release(b);
        return r;
    };
    EXPECT_TRUE(bits(Q(1, 3), R(0.34), CMP_REQ_NUMERIC) & CMP_LESS);
    EXPECT_TRUE(bits(Q(1, 2), R(0.5), CMP_REQ_NUMERIC) & CMP_EQUAL);
    EXPECT_TRUE(bits(Q(1, 2), R(0.5), CMP_REQ_ORDER) & CMP_BEFORE);
    EXPECT_TRUE(bits(Q(2, 3), Q(3, 4), CMP_REQ_NUMERIC) & CMP_LESS);
    EXPECT_TRUE(bits(Int(1), Q(3, 4), CMP_REQ_ORDER) & CMP_AFTER);
    // Arbitrary-precision values equal within their error but with other
    // digits are numerically equal and ordered by the digits.
    uint64_t r = bits(Big(u"1.0000000000000000000001", 20), Big(u"1.0000000000000000000002", 20),
                      CMP_REQ_NUMERIC | CMP_REQ_ORDER);
    EXPECT_TRUE(r & CMP_EQUAL);
    EXPECT_TRUE(r & CMP_BEFORE);
    // Complex numbers: ordered by real, then imaginary part; never less.
    r = bits(Z(Int(1), Int(2)), Z(Int(1), Int(3)), CMP_REQ_NUMERIC | CMP_REQ_ORDER);
    EXPECT_TRUE(r & CMP_BEFORE);
    EXPECT_TRUE(r & CMP_UNEQUAL);
    EXPECT_FALSE(r & (CMP_LESS | CMP_GREATER));
    EXPECT_TRUE(r & CMP_FIRST_UNORDERED);
    r = bits(Int(1), Complex_MakeImaginary(Int(1)), CMP_REQ_ORDER);
    EXPECT_TRUE(r & CMP_AFTER);
}

TEST_F(NumberTest, NumericContextIsRestored) {
    kernel.numbers.numeric = {NUMERIC_MACHINE, 0};
    Object *e = Call(u"Plus", Sym(u"Pi"), Int(1));
    Object *v = Numeric_Evaluate(e, NUMERIC_PRECISION, 40);
    EXPECT_EQ(kernel.numbers.numeric.mode, NUMERIC_MACHINE);
    ASSERT_TRUE(Real_IsBig(v));
    EXPECT_DOUBLE_EQ(Object_Precision(v), 40.0);
    Object_Release(v);
}

// A real cut to d digits reads its precision back with rounding in the last
// bits; asked for d digits again, it has them, whatever d and the size of
// the value.
TEST_F(NumberTest, ARealCutToDigitsHasThoseDigits) {
    for (int64_t scale : {-40, 0, 25}) {
        for (double d = 1; d <= 80; d += 0.375) {
            Object *x = Call(u"Times", Call(u"Power", Int(10), Int(scale)), Sym(u"Pi"));
            Object *cut = Object_Evaluate(Call(u"Calculate", x, R(d)));
            ASSERT_TRUE(Real_IsBig(cut)) << d;
            Object *again = Object_Evaluate(Call(u"Calculate", Object_AddRef(cut), R(d)));
            EXPECT_TRUE(Host().messages.empty()) << "10^" << scale << " Pi to " << d << " digits";
            EXPECT_NEAR(Object_Precision(again), d, 1e-6);
            Host().messages.clear();
            Object_Release(cut);
            Object_Release(again);
        }
    }
}

TEST_F(NumberTest, HashAndSameOfNewClasses) {
    Object *a = Q(2, 3), *b = Q(4, 6), *c = Z(Int(1), Q(1, 2)), *d = Z(Int(1), Q(1, 2));
    EXPECT_TRUE(Object_Same(a, b));
    EXPECT_EQ(Object_Hash(a, 7), Object_Hash(b, 7));
    EXPECT_TRUE(Object_Same(c, d));
    EXPECT_EQ(Object_Hash(c, 7), Object_Hash(d, 7));
    EXPECT_FALSE(Object_Same(a, c));
    Object *e = Big(u"1.50", -1), *f = Big(u"1.500", -1);
    EXPECT_FALSE(Object_Same(e, f));  // same value, other accuracy
    for (Object *o : {a, b, c, d, e, f}) Object_Release(o);
}

TEST_F(NumberTest, NoObjectOutlivesArithmetic) {
    std::vector<int64_t> before = PoolCounts();
    Object *r = Number_Add(Number_Multiply(Q(3, 7), Z(R(1.5), Q(1, 3))), Big(u"2.5000000000000000000000", -1));
    Object_Release(r);
    Object_Release(Number_Add(Real_NewSaturated(SUB_OVERFLOW, 1), Real_NewSaturated(SUB_OVERFLOW, -1)));
    EXPECT_EQ(PoolCounts(), before);
}

}  // namespace
