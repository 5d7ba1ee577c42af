// The numeric constants and the exp/log kernels: machine values, the
// precision of arbitrary-precision results, the caches, and identities
// that tie the constants and kernels together (their digits are checked
// against MPFR in the differential tests).
#include <cmath>
#include <limits>

#include "kernel_fixture.h"
#include "eval/numeric.h"
#include "number/bigfloat_functions.h"
#include "number/constants.h"
#include "number/real.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

const char16_t *const kConstantNames[] = {u"Pi", u"E", u"EulerMascheroni", u"GoldenRatio", u"GoldenAngle",
                                          u"MachinePrecision"};

// x as a BigFloat of `bits` bits of precision.
void Inexact(BigFloat *dst, int64_t x, double bits) {
    BigFloat_SetSmall(dst, x);
    BigFloat_SetPrecision(dst, bits, 2);
}

// True when a and b agree within their error bounds and both carry at
// least `bits` bits of precision.
::testing::AssertionResult Agree(const BigFloat *a, const BigFloat *b, double bits) {
    if (BigFloat_Compare(a, b) != 0)
        return ::testing::AssertionFailure() << BigFloat_ToDouble(a) << " differs from " << BigFloat_ToDouble(b);
    if (BigFloat_Precision(a) < bits || BigFloat_Precision(b) < bits)
        return ::testing::AssertionFailure() << "precisions " << BigFloat_Precision(a) << ", "
                                             << BigFloat_Precision(b) << " below " << bits;
    return ::testing::AssertionSuccess();
}

using ConstantsTest = KernelTest;

TEST_F(ConstantsTest, MachineValues) {
    const double expected[] = {3.141592653589793,  2.718281828459045,  0.5772156649015329,
                               1.6180339887498947, 2.3999632297286535, 15.954589770191003};
    for (int i = 0; i < 6; ++i) {
        Ref r(Constant_Numeric(Sym(kConstantNames[i]), NUMERIC_MACHINE, 0));
        ASSERT_TRUE(Real_IsMachine(r.get())) << Narrow(kConstantNames[i]);
        EXPECT_EQ(AsReal(r.get())->value, expected[i]) << Narrow(kConstantNames[i]);
    }
    // The context's mode decides a context request.
    kernel.numbers.numeric = {NUMERIC_MACHINE, 0.0};
    Ref pi(Constant_Numeric(Sym(u"Pi"), NUMERIC_CONTEXT, 0));
    EXPECT_TRUE(Real_IsMachine(pi.get()));
}

TEST_F(ConstantsTest, OtherObjectsPassThrough) {
    Object *x = Sym(u"x");
    Object *r = Constant_Numeric(x, NUMERIC_PRECISION, 30);
    EXPECT_EQ(r, x);
    Object_Release(r);
    Object *two = Int(2);
    r = Constant_Numeric(two, NUMERIC_MACHINE, 0);
    EXPECT_EQ(r, two);
    Object_Release(r);
    LocalFloat b;
    Ref infinity(Sym(u"Infinity"));
    EXPECT_FALSE(Constant_BigFloat(infinity.get(), 100, b.get()));
}

TEST_F(ConstantsTest, ArbitraryPrecisionHasExactlyTheRequestedDigits) {
    for (const char16_t *name : kConstantNames) {
        for (double digits : {16.0, 30.0, 50.0, 137.5, 400.0}) {
            Ref r(Constant_Numeric(Sym(name), NUMERIC_PRECISION, digits));
            ASSERT_TRUE(Real_IsBig(r.get())) << Narrow(name);
            EXPECT_NEAR(Object_Precision(r.get()), digits, 1e-9) << Narrow(name) << " at " << digits;
            Ref machine(Constant_Numeric(Sym(name), NUMERIC_MACHINE, 0));
            EXPECT_NEAR(BigFloat_ToDouble(AsReal(r.get())->big), AsReal(machine.get())->value,
                        4e-16 * AsReal(machine.get())->value)
                << Narrow(name);
        }
        // Accuracy requests count digits after the point.
        Ref r(Constant_Numeric(Sym(name), NUMERIC_ACCURACY, 40));
        EXPECT_NEAR(Object_Accuracy(r.get()), 40.0, 1e-9) << Narrow(name);
    }
    // The context's digit target; a negative or non-finite request means 53 bits.
    kernel.numbers.numeric = {NUMERIC_PRECISION, 45.0};
    Ref context(Constant_Numeric(Sym(u"E"), NUMERIC_CONTEXT, 0));
    EXPECT_NEAR(Object_Precision(context.get()), 45.0, 1e-9);
    for (double odd : {-1.0, kInf, std::nan("")}) {
        Ref r(Constant_Numeric(Sym(u"GoldenRatio"), NUMERIC_PRECISION, odd));
        EXPECT_NEAR(Object_Precision(r.get()), 53.0 / LOG2_10, 1e-9);
    }
    // Internal users of e receive one digit more than they ask for.
    LocalFloat e;
    Ref symbol(Sym(u"E"));
    ASSERT_TRUE(Constant_BigFloat(symbol.get(), 200, e.get()));
    EXPECT_NEAR(BigFloat_Precision(e.get()), 200 + LOG2_10, 1e-9);
}

// A request of no more precision than the cache holds copies the cache; a
// larger one replaces it with a more precise value.
TEST_F(ConstantsTest, CachesServeSmallerRequests) {
    // ln 2 first: the Euler-Mascheroni constant needs a logarithm.
    BigFloat *caches[] = {&kernel.numbers.caches.ln2, &kernel.numbers.caches.pi, &kernel.numbers.caches.e,
                          &kernel.numbers.caches.euler};
    void (*compute[])(BigFloat *, double) = {Constant_Ln2, Constant_Pi, Constant_E, Constant_EulerGamma};
    for (int i = 0; i < 4; ++i) {
        BigFloat *cache = caches[i];
        EXPECT_EQ(cache->limbs, nullptr) << i;
        LocalFloat v50, v30, v100;
        compute[i](v50.get(), 50 * LOG2_10);
        Limb *computed = cache->limbs;
        double cachedBits = BigFloat_Precision(cache);
        EXPECT_GE(cachedBits, 50 * LOG2_10);
        compute[i](v30.get(), 30 * LOG2_10);
        EXPECT_EQ(cache->limbs, computed) << i;
        EXPECT_EQ(BigFloat_Precision(cache), cachedBits) << i;
        EXPECT_NEAR(BigFloat_Precision(v30.get()), 30 * LOG2_10, 1e-9);
        EXPECT_TRUE(Agree(v30.get(), v50.get(), 30 * LOG2_10));
        compute[i](v100.get(), 100 * LOG2_10);
        EXPECT_GE(BigFloat_Precision(cache), 100 * LOG2_10) << i;
        EXPECT_TRUE(Agree(v100.get(), v50.get(), 50 * LOG2_10));
    }
    // Real requests share the caches.
    Ref pi(Constant_Numeric(Sym(u"Pi"), NUMERIC_PRECISION, 60));
    Limb *computed = kernel.numbers.caches.pi.limbs;
    Ref again(Constant_Numeric(Sym(u"Pi"), NUMERIC_PRECISION, 20));
    EXPECT_EQ(kernel.numbers.caches.pi.limbs, computed);
    // A reset drops them.
    Kernel_Reset();
    for (BigFloat *cache : caches) EXPECT_EQ(cache->limbs, nullptr);
}

// The constants against each other and against exp and log at 300 digits:
// each identity fails when one side is off in any digit.
TEST_F(ConstantsTest, IdentitiesBetweenConstantsAndKernels) {
    const double bits = 300 * LOG2_10;
    LocalFloat phi, lhs, rhs, angle, pi, one, x, e, ln2;
    Ref golden(Sym(u"GoldenRatio")), goldenAngle(Sym(u"GoldenAngle")), precision(Sym(u"MachinePrecision"));
    ASSERT_TRUE(Constant_BigFloat(golden.get(), bits, phi.get()));
    // phi^2 = phi + 1.
    BigFloat_Mul(lhs.get(), phi.get(), phi.get());
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Add(rhs.get(), phi.get(), one.get());
    EXPECT_TRUE(Agree(lhs.get(), rhs.get(), bits - 4));
    // GoldenAngle = 2 pi (2 - phi).
    ASSERT_TRUE(Constant_BigFloat(goldenAngle.get(), bits, angle.get()));
    Constant_Pi(pi.get(), bits);
    BigFloat_SetSmall(rhs.get(), 2);
    BigFloat_Sub(rhs.get(), rhs.get(), phi.get());
    BigFloat_Mul(rhs.get(), rhs.get(), pi.get());
    BigFloat_Scale(rhs.get(), 1);
    EXPECT_TRUE(Agree(angle.get(), rhs.get(), bits - 4));
    // exp 1 = e, log e = 1, log 2 = ln 2.
    Inexact(x.get(), 1, bits + 8);
    BigFloat_Exp(lhs.get(), x.get());
    Constant_E(e.get(), bits);
    EXPECT_TRUE(Agree(lhs.get(), e.get(), bits));
    BigFloat_Log(lhs.get(), e.get());
    EXPECT_TRUE(Agree(lhs.get(), x.get(), bits - 4));
    Inexact(x.get(), 2, bits + 8);
    BigFloat_Log(lhs.get(), x.get());
    Constant_Ln2(ln2.get(), bits);
    EXPECT_TRUE(Agree(lhs.get(), ln2.get(), bits));
    // MachinePrecision = 53 log 2 / log 10, with log 10 from the kernel.
    Inexact(x.get(), 10, bits + 8);
    BigFloat_Log(rhs.get(), x.get());
    BigFloat_SetSmall(x.get(), 53);
    BigFloat_Mul(lhs.get(), ln2.get(), x.get());
    BigFloat_Div(rhs.get(), lhs.get(), rhs.get());
    ASSERT_TRUE(Constant_BigFloat(precision.get(), bits, lhs.get()));
    EXPECT_TRUE(Agree(lhs.get(), rhs.get(), bits - 4));
}

TEST_F(ConstantsTest, ExpAndLogInvertEachOther) {
    LocalFloat x, y, back, sum, product, ex, ey;
    for (int64_t v : {-700, -3, 1, 5, 123456789}) {
        for (int64_t shift : {-80, -10, 0}) {
            Inexact(x.get(), v, 200);
            BigFloat_Scale(x.get(), shift);
            BigFloat_Exp(y.get(), x.get());
            ASSERT_EQ(y->kind, FloatRegular);
            // The result's precision is the argument's accuracy.
            EXPECT_NEAR(BigFloat_Precision(y.get()), x->accuracy, 8) << v << " " << shift;
            BigFloat_Log(back.get(), y.get());
            EXPECT_TRUE(Agree(back.get(), x.get(), 0)) << v << " " << shift;
            EXPECT_GE(back->accuracy, x->accuracy - 8) << v << " " << shift;
        }
    }
    // e^(a+b) = e^a e^b.
    Inexact(x.get(), 7, 300);
    BigFloat_Scale(x.get(), -3);
    Inexact(y.get(), -13, 300);
    BigFloat_Scale(y.get(), -5);
    BigFloat_Add(sum.get(), x.get(), y.get());
    BigFloat_Exp(sum.get(), sum.get());
    BigFloat_Exp(ex.get(), x.get());
    BigFloat_Exp(ey.get(), y.get());
    BigFloat_Mul(product.get(), ex.get(), ey.get());
    EXPECT_TRUE(Agree(sum.get(), product.get(), 290));
    // log(x y) = log x + log y, across the reduction by powers of 2.
    Inexact(x.get(), 3, 300);
    BigFloat_Scale(x.get(), 200);
    Inexact(y.get(), 5, 300);
    BigFloat_Scale(y.get(), -300);
    BigFloat_Mul(product.get(), x.get(), y.get());
    BigFloat_Log(product.get(), product.get());
    BigFloat_Log(ex.get(), x.get());
    BigFloat_Log(ey.get(), y.get());
    BigFloat_Add(sum.get(), ex.get(), ey.get());
    EXPECT_TRUE(Agree(sum.get(), product.get(), 290));
}

TEST_F(ConstantsTest, ExpAndLogSpecialArguments) {
    LocalFloat x, r;
    BigFloat_SetSmall(x.get(), 2);  // exact
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_SetSpecial(x.get(), FloatIndeterminate, 0);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_SetSpecial(x.get(), FloatOverflow, -1);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatUnderflow);
    EXPECT_EQ(r->sign, 1);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_SetSpecial(x.get(), FloatOverflow, 1);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    EXPECT_EQ(r->sign, 1);
    BigFloat_SetSpecial(x.get(), FloatUnderflow, 1);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatUnit);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    EXPECT_EQ(r->sign, -1);
    // A zero known to 100 bits: e^0 is 1 to 100 bits, log 0 is -Overflow.
    BigFloat_SetZero(x.get(), 100);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(BigFloat_ToDouble(r.get()), 1.0);
    EXPECT_NEAR(r->accuracy, 100, 1);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    EXPECT_EQ(r->sign, -1);
    Inexact(x.get(), -5, 100);
    BigFloat_Log(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    // Arguments far beyond the exponent range saturate at once.
    Inexact(x.get(), 1, 100);
    BigFloat_Scale(x.get(), 70);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    BigFloat_Negate(x.get(), x.get());
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatUnderflow);
    // Exactly a power of 2: the series is empty, ln x = e ln 2.
    Inexact(x.get(), 1, 150);
    BigFloat_Scale(x.get(), -40);
    BigFloat_Log(r.get(), x.get());
    LocalFloat expected, forty;
    Constant_Ln2(expected.get(), 160);
    BigFloat_SetSmall(forty.get(), -40);
    BigFloat_Mul(expected.get(), expected.get(), forty.get());
    EXPECT_TRUE(Agree(r.get(), expected.get(), 140));
}

}  // namespace
