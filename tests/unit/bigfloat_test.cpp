// BigFloat records: normalisation and the guard bits, conversions to and
// from doubles at the edges of the double range, the special kinds, error
// propagation through sums, products and quotients, comparison within
// the error bounds, and the elementary kernels' special arguments and
// identities (their digits are checked against MPFR in the differential
// tests).
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "kernel/state.h"
#include "kernel_fixture.h"
#include "number/bigfloat.h"
#include "number/bigfloat_functions.h"
#include "number/bigint.h"
#include "number/constants.h"

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// A pool record that returns itself to the pool.
struct Float {
    BigFloat *p = BigFloat_New();
    Float() = default;
    explicit Float(double x) { BigFloat_FromDouble(p, x); }
    Float(const Float &) = delete;
    Float &operator=(const Float &) = delete;
    ~Float() { BigFloat_Free(p); }
    BigFloat *operator->() const { return p; }
    operator BigFloat *() const { return p; }
};

// x = sign * limbs * 2^(64*exponent) with the given accuracy, normalised.
void Set(BigFloat *x, std::vector<Limb> limbs, int64_t exponent, double accuracy, int64_t sign = 1) {
    x->limbs = static_cast<Limb *>(std::realloc(x->limbs, limbs.size() * sizeof(Limb)));
    std::copy(limbs.begin(), limbs.end(), x->limbs);
    x->top = static_cast<int64_t>(limbs.size()) - 1;
    x->size = static_cast<int64_t>(limbs.size()) * 8;
    x->exponent = exponent;
    x->sign = sign;
    x->kind = FloatRegular;
    x->accuracy = accuracy;
    BigFloat_Normalize(x);
}

// x = v exactly, then given the accuracy.
void SetValue(BigFloat *x, int64_t v, double accuracy) {
    BigFloat_SetSmall(x, v);
    BigFloat_SetAccuracy(x, accuracy);
}

}  // namespace

TEST(BigFloat, NormaliseDropsLimbsBelowTheGuardBits) {
    Float x;
    // Ten limbs, the top one at 2^0: accuracy 100 plus 12 guard bits needs
    // two limbs below the point, so the eight lowest go.
    std::vector<Limb> limbs(10);
    for (size_t i = 0; i < limbs.size(); ++i) limbs[i] = 100 + i;
    Set(x, limbs, -9, 100);
    EXPECT_EQ(x->top, 2);
    EXPECT_EQ(x->size, 24);
    EXPECT_EQ(x->exponent, -2);
    EXPECT_EQ(x->limbs[0], 107u);
    EXPECT_EQ(x->limbs[2], 109u);
    // Accuracy 116 + 12 = 128 bits still fits in two limbs; 117 needs three.
    Set(x, limbs, -9, 116);
    EXPECT_EQ(x->top, 2);
    Set(x, limbs, -9, 117);
    EXPECT_EQ(x->top, 3);
    // Exact values keep every non-zero limb; zero limbs at either end go.
    Set(x, {0, 0, 5, 0, 7, 0, 0}, -3, INF, -1);
    EXPECT_EQ(x->top, 2);
    EXPECT_EQ(x->exponent, -1);
    EXPECT_EQ(x->limbs[1], 0u);
    EXPECT_EQ(x->sign, -1);
    EXPECT_EQ(x->kind, FloatRegular);
    // A value whose every limb lies below the accuracy keeps its top limb.
    Set(x, {1, 2, 3}, -10, -100);
    EXPECT_EQ(x->top, 0);
    EXPECT_EQ(x->limbs[0], 3u);
    EXPECT_EQ(x->exponent, -8);
}

TEST(BigFloat, NormaliseSetsKindMagnitudeAndRange) {
    Float x;
    Set(x, {1, 0}, 0, INF, -1);
    EXPECT_EQ(x->kind, FloatUnit);
    EXPECT_EQ(x->magnitude, 0.0);
    Set(x, {1}, 1, INF);
    EXPECT_EQ(x->kind, FloatRegular);
    EXPECT_EQ(x->magnitude, 64.0);
    Set(x, {0, 3}, -1, 50);
    EXPECT_NEAR(x->magnitude, std::log2(3.0), 1e-13);
    EXPECT_NEAR(BigFloat_Precision(x), 50 + std::log2(3.0), 1e-13);
    // All zero limbs: a zero whose magnitude is minus its accuracy.
    Set(x, {0, 0, 0}, -7, 40, -1);
    EXPECT_EQ(x->kind, FloatZero);
    EXPECT_EQ(x->sign, 0);
    EXPECT_EQ(x->exponent, 0);
    EXPECT_EQ(x->top, 0);
    EXPECT_EQ(x->magnitude, -40.0);
    // The exponent range: the top limb at the limit still fits.
    Set(x, {0, 9}, BIGFLOAT_EXPONENT_LIMIT - 2, INF, -1);
    EXPECT_EQ(x->kind, FloatRegular);
    BigFloat_Scale(x, 64);
    EXPECT_EQ(x->kind, FloatOverflow);
    EXPECT_EQ(x->sign, -1);
    Set(x, {9}, -BIGFLOAT_EXPONENT_LIMIT, INF);
    EXPECT_EQ(x->kind, FloatRegular);
    BigFloat_Scale(x, -1);
    EXPECT_EQ(x->kind, FloatUnderflow);
    EXPECT_EQ(x->sign, 1);
}

TEST(BigFloat, DoublesRoundTripWithTheirPrecision) {
    std::mt19937_64 rng(7);
    std::vector<double> values = {1.0, -1.0, 0.1, -3.5e-300, DBL_MAX, -DBL_MAX, DBL_MIN, DBL_MIN / 3,
                                  std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
                                  1e300 * 1e7, 123456789.0};
    // Random bit patterns, and random subnormals (exponent field zero).
    for (int i = 0; i < 1000; ++i) values.push_back(std::bit_cast<double>(rng()));
    for (int i = 0; i < 1000; ++i) values.push_back(std::bit_cast<double>(rng() >> 12 | (rng() & uint64_t(1) << 63)));
    for (double v : values) {
        if (!std::isfinite(v) || v == 0.0) continue;
        Float x(v);
        ASSERT_EQ(BigFloat_ToDouble(x), v) << v;
        // 53 bits for normal numbers: precision 1 + log2(mantissa).
        int e;
        double m = std::frexp(std::fabs(v), &e);
        double mantissa = std::fabs(v) >= DBL_MIN ? std::ldexp(m, 53) : std::ldexp(std::fabs(v), 1074);
        ASSERT_NEAR(BigFloat_Precision(x), 1 + std::log2(mantissa), 1e-9) << v;
        ASSERT_NEAR(x->magnitude, std::log2(std::fabs(v)), 1e-9) << v;
    }
    Float zero(0.0), nan(NAN), inf(-INF);
    EXPECT_EQ(zero->kind, FloatZero);
    EXPECT_EQ(zero->accuracy, 1023.0);
    EXPECT_EQ(nan->kind, FloatIndeterminate);
    EXPECT_EQ(inf->kind, FloatOverflow);
    EXPECT_EQ(inf->sign, -1);
    EXPECT_EQ(BigFloat_ToDouble(inf), -INF);
    EXPECT_TRUE(std::isnan(BigFloat_ToDouble(nan)));
    BigFloat_SetSpecial(inf, FloatUnderflow, -1);
    EXPECT_TRUE(std::signbit(BigFloat_ToDouble(inf)));
    EXPECT_EQ(BigFloat_ToDouble(inf), 0.0);
}

TEST(BigFloat, ToDoubleTruncatesAtTheEdges) {
    Float x, one;
    BigFloat_SetSmall(one, 1);
    // 1 + 2^-60 and -(1 + 2^-60) truncate toward zero.
    Set(x, {uint64_t(1) << 4, 1}, -1, INF);
    EXPECT_EQ(BigFloat_ToDouble(x), 1.0);
    x->sign = -1;
    EXPECT_EQ(BigFloat_ToDouble(x), -1.0);
    // 2^64 - 1 truncates to the largest double below 2^64.
    Set(x, {~Limb(0)}, 0, INF);
    EXPECT_EQ(BigFloat_ToDouble(x), std::nextafter(0x1p64, 0.0));
    // 2^1024 overflows; 2^1023 * (2 - 2^-60) truncates to DBL_MAX.
    BigFloat_Copy(x, one);
    BigFloat_Scale(x, 1024);
    EXPECT_EQ(BigFloat_ToDouble(x), INF);
    Set(x, {~Limb(0) << 4}, 0, INF);
    BigFloat_Scale(x, 1023 - 63);
    EXPECT_EQ(BigFloat_ToDouble(x), DBL_MAX);
    // 1.75 * 2^-1074 keeps only the bit at 2^-1074; 2^-1075 vanishes.
    Set(x, {7}, 0, INF);
    BigFloat_Scale(x, -1076);
    EXPECT_EQ(BigFloat_ToDouble(x), std::numeric_limits<double>::denorm_min());
    BigFloat_Scale(x, -2);
    EXPECT_EQ(BigFloat_ToDouble(x), 0.0);
    // A subnormal with more bits than fit keeps the top ones.
    Set(x, {0xFFFF}, 0, INF);
    BigFloat_Scale(x, -1074 - 8);
    EXPECT_EQ(BigFloat_ToDouble(x), std::ldexp(255.0, -1074));
}

TEST(BigFloat, ScaleIsExactAndMovesTheBound) {
    for (int64_t k : {-1000, -129, -64, -63, -1, 1, 5, 63, 64, 65, 700}) {
        Float x(-0.3), y;
        BigFloat_Copy(y, x);
        BigFloat_Scale(y, k);
        EXPECT_EQ(y->accuracy, x->accuracy - static_cast<double>(k)) << k;
        EXPECT_NEAR(y->magnitude, x->magnitude + static_cast<double>(k), 1e-9) << k;
        EXPECT_DOUBLE_EQ(BigFloat_Precision(y), BigFloat_Precision(x)) << k;
        BigFloat_Scale(y, -k);
        EXPECT_EQ(BigFloat_CompareDigits(x, y), 0) << k;
        EXPECT_EQ(y->top, x->top) << k;
    }
}

TEST(BigFloat, PrecisionAndAccuracySetters) {
    Float x;
    BigFloat_SetSmall(x, 1000);
    BigFloat_SetPrecision(x, 30, 10);
    EXPECT_NEAR(BigFloat_Precision(x), 30 * LOG2_10, 1e-9);
    BigFloat_SetPrecision(x, 20, 2);
    EXPECT_NEAR(BigFloat_Precision(x), 20, 1e-9);
    BigFloat_SetPrecision(x, INF, 10);
    EXPECT_EQ(x->accuracy, INF);
    // A zero keeps its accuracy whatever precision it is given.
    Float z(0.0);
    BigFloat_SetPrecision(z, 50, 10);
    EXPECT_EQ(z->accuracy, 1023.0);
    BigFloat_SetAccuracy(z, 10);
    EXPECT_EQ(z->magnitude, -10.0);
    // From integer records, special kinds included.
    BigInt *big = BigInt_New();
    BigInt_SetSmall(big, -5);
    BigInt_Shift(big, big, 200);
    BigFloat_FromBigInt(x, big);
    EXPECT_EQ(x->accuracy, INF);
    EXPECT_EQ(x->sign, -1);
    EXPECT_EQ(BigFloat_TopBit(x), 202);
    BigInt_SetInfinite(big, -1);
    BigFloat_FromBigInt(x, big);
    EXPECT_EQ(x->kind, FloatOverflow);
    EXPECT_EQ(x->sign, -1);
    BigInt_SetIndeterminate(big);
    BigFloat_FromBigInt(x, big);
    EXPECT_EQ(x->kind, FloatIndeterminate);
    BigInt_Free(big);
}

TEST(BigFloat, SpecialKindsInSumsAndProducts) {
    Float over, under, nan, x(2.5), zero, r;
    BigFloat_SetSpecial(over, FloatOverflow, 1);
    BigFloat_SetSpecial(under, FloatUnderflow, -1);
    BigFloat_SetSpecial(nan, FloatIndeterminate, 0);
    BigFloat_SetZero(zero, 30);
    auto expect = [&](int64_t kind, int64_t sign, const char *what) {
        EXPECT_EQ(r->kind, kind) << what;
        EXPECT_EQ(r->sign, sign) << what;
    };
    BigFloat_Add(r, nan, x), expect(FloatIndeterminate, 0, "nan + x");
    BigFloat_Add(r, over, x), expect(FloatOverflow, 1, "over + x");
    BigFloat_Sub(r, x, over), expect(FloatOverflow, -1, "x - over");
    BigFloat_Sub(r, over, over), expect(FloatIndeterminate, 0, "over - over");
    BigFloat_Add(r, over, over), expect(FloatOverflow, 1, "over + over");
    BigFloat_Add(r, under, x), expect(FloatRegular, 1, "under + x");
    EXPECT_EQ(BigFloat_CompareDigits(r, x), 0);
    BigFloat_Sub(r, under, x), expect(FloatRegular, -1, "under - x");
    BigFloat_Add(r, under, zero), expect(FloatUnderflow, -1, "under + zero");
    BigFloat_Mul(r, nan, zero), expect(FloatIndeterminate, 0, "nan * zero");
    BigFloat_Mul(r, over, zero), expect(FloatIndeterminate, 0, "over * zero");
    BigFloat_Mul(r, over, under), expect(FloatIndeterminate, 0, "over * under");
    BigFloat_Negate(x, x);
    BigFloat_Mul(r, over, x), expect(FloatOverflow, -1, "over * -x");
    BigFloat_Mul(r, x, under), expect(FloatUnderflow, 1, "-x * -under");
    BigFloat_Div(r, x, zero), expect(FloatOverflow, -1, "-x / zero");
    BigFloat_Div(r, zero, zero), expect(FloatIndeterminate, 0, "zero / zero");
    BigFloat_Div(r, x, over), expect(FloatUnderflow, -1, "-x / over");
    BigFloat_Div(r, x, under), expect(FloatOverflow, 1, "-x / -under");
    BigFloat_Div(r, over, over), expect(FloatIndeterminate, 0, "over / over");
    BigFloat_Sqrt(r, x), expect(FloatIndeterminate, 0, "sqrt(-x)");
    BigFloat_Sqrt(r, over), expect(FloatOverflow, 1, "sqrt(over)");
    BigFloat_PowerSmall(r, nan, 0), expect(FloatIndeterminate, 0, "nan^0");
    BigFloat_PowerSmall(r, over, -3), expect(FloatUnderflow, 1, "over^-3");
}

TEST(BigFloat, CancellationLeavesAZeroOfKnownAccuracy) {
    Float x, r;
    Set(x, {0x123456789ABCDEF, 0xFEDCBA9876543210}, -1, 120);
    BigFloat_Sub(r, x, x);
    EXPECT_EQ(r->kind, FloatZero);
    EXPECT_EQ(r->accuracy, 119.0);  // two equal errors add: one bit lost
    EXPECT_EQ(r->magnitude, -119.0);
    // Partial cancellation: the result keeps the absolute error, so its
    // precision falls by the bits that cancelled.
    Float y;
    BigFloat_Copy(y, x);
    y->limbs[0] ^= 0xFF;  // differs from x at 2^-57 .. 2^-64
    BigFloat_Sub(r, x, y);
    EXPECT_LT(BigFloat_Precision(r), 119 - 55);
    EXPECT_GT(BigFloat_Precision(r), 119 - 65);
    // A zero of finite accuracy lends its error bound to an exact operand.
    Float zero, one;
    BigFloat_SetZero(zero, 10);
    BigFloat_SetSmall(one, 1);
    BigFloat_Add(r, one, zero);
    EXPECT_EQ(r->kind, FloatUnit);
    EXPECT_EQ(r->accuracy, 10.0);
    BigFloat_Sub(r, zero, one);
    EXPECT_EQ(r->sign, -1);
    EXPECT_EQ(r->accuracy, 10.0);
    // The exact zero is neutral.
    BigFloat_SetZero(zero, INF);
    BigFloat_Add(r, one, zero);
    EXPECT_EQ(r->accuracy, INF);
}

TEST(BigFloat, ResultsKeepOnlyTheLimbsTheirAccuracyNeeds) {
    // A tiny exact term added to a 100-bit value does not stretch the sum
    // down to the term's scale.
    Float x, tiny, r;
    SetValue(x, 5, 100);
    SetValue(tiny, 1, INF);
    BigFloat_Scale(tiny, -100000);
    BigFloat_Add(r, x, tiny);
    EXPECT_LE(r->top, 2);
    EXPECT_EQ(r->accuracy, 100.0);
    BigFloat_Sub(r, tiny, x);
    EXPECT_LE(r->top, 2);
    EXPECT_EQ(r->sign, -1);
    // A 10,000-bit exact integer times a 60-bit value gives a short product.
    Float big;
    SetValue(big, 3, INF);
    BigFloat_PowerSmall(big, big, 6300);
    ASSERT_GT(big->top, 150);
    SetValue(x, 7, 60);
    BigFloat_Mul(r, big, x);
    EXPECT_LE(r->top, 3);
    EXPECT_NEAR(BigFloat_Precision(r), BigFloat_Precision(x), 1e-9);
    // So does a quotient.
    BigFloat_Div(r, big, x);
    EXPECT_LE(r->top, 4);
    EXPECT_NEAR(BigFloat_Precision(r), BigFloat_Precision(x), 1e-6);
}

TEST(BigFloat, ErrorPropagationFollowsTheOperands) {
    Float a, b, r;
    // Sums: absolute errors add.
    SetValue(a, 3, 40);
    SetValue(b, -1000, 50);
    BigFloat_Add(r, a, b);
    EXPECT_DOUBLE_EQ(r->accuracy, 40 - std::log2(1 + std::exp2(-10.0)));
    EXPECT_EQ(BigFloat_ToDouble(r), -997.0);
    SetValue(b, 1, INF);
    BigFloat_Add(r, a, b);
    EXPECT_EQ(r->accuracy, 40.0);
    // Products: relative errors add. P(a) = 40 + log2 3, P(b) = 50 + log2 1000.
    SetValue(b, 1000, 50);
    BigFloat_Mul(r, a, b);
    double l = BigFloat_Precision(a) - BigFloat_Precision(b);
    EXPECT_DOUBLE_EQ(r->accuracy, 40 - b->magnitude - std::log2(1 + std::exp2(l)));
    EXPECT_EQ(BigFloat_ToDouble(r), 3000.0);
    BigFloat_Mul(r, b, a);
    EXPECT_DOUBLE_EQ(r->accuracy, 40 - b->magnitude - std::log2(1 + std::exp2(l)));
    // An exact factor scales the other's error.
    SetValue(b, 8, INF);
    BigFloat_Mul(r, a, b);
    EXPECT_DOUBLE_EQ(r->accuracy, 37.0);
    // A zero of finite accuracy times an exact value.
    BigFloat_SetZero(a, 20);
    BigFloat_Mul(r, a, b);
    EXPECT_EQ(r->kind, FloatZero);
    EXPECT_DOUBLE_EQ(r->accuracy, 17.0);
    // Quotients: the precision is about that of the less precise operand.
    SetValue(a, 1, 100);
    SetValue(b, 3, 200);
    BigFloat_Div(r, a, b);
    EXPECT_NEAR(BigFloat_Precision(r), 100, 0.01);
    EXPECT_LE(BigFloat_Precision(r), 100);
    EXPECT_NEAR(BigFloat_ToDouble(r), 1.0 / 3, 1e-16);
    // Exact operands: exact when the division comes out, else 128 bits.
    SetValue(a, 3, INF);
    SetValue(b, -64, INF);
    BigFloat_Div(r, a, b);
    EXPECT_EQ(r->accuracy, INF);
    EXPECT_EQ(BigFloat_ToDouble(r), -3.0 / 64);
    BigFloat_Div(r, b, a);
    EXPECT_DOUBLE_EQ(BigFloat_Precision(r), 128);
    // Roots gain a bit of precision; an exact square has an exact root.
    SetValue(a, 2, 100);
    BigFloat_Sqrt(r, a);
    EXPECT_NEAR(BigFloat_Precision(r), 102, 0.01);
    EXPECT_NEAR(BigFloat_ToDouble(r), std::sqrt(2.0), 1e-15);
    SetValue(a, 1 << 20, INF);
    BigFloat_Scale(a, -64 * 3);
    BigFloat_Sqrt(r, a);
    EXPECT_EQ(r->accuracy, INF);
    EXPECT_EQ(BigFloat_ToDouble(r), std::ldexp(1.0, 10 - 96));
    BigFloat_SetZero(a, 80);
    BigFloat_Sqrt(r, a);
    EXPECT_EQ(r->accuracy, 40.0);
}

TEST(BigFloat, PowersByRepeatedProducts) {
    Float a, r;
    SetValue(a, -3, INF);
    BigFloat_PowerSmall(r, a, 0);
    EXPECT_EQ(r->kind, FloatUnit);
    BigFloat_PowerSmall(r, a, 33);
    EXPECT_EQ(r->accuracy, INF);
    EXPECT_EQ(r->sign, -1);
    EXPECT_EQ(BigFloat_ToDouble(r), -std::pow(3.0, 33));
    BigFloat_PowerSmall(r, a, -2);
    EXPECT_DOUBLE_EQ(BigFloat_ToDouble(r), 1.0 / 9);
    EXPECT_NEAR(BigFloat_Precision(r), 128, 1e-9);
    // An inexact base loses about log2(n) bits of precision.
    SetValue(a, 3, 60);
    BigFloat_PowerSmall(r, a, 16);
    EXPECT_NEAR(BigFloat_Precision(r), BigFloat_Precision(a) - 4, 0.5);
    // Exponent range: 2^(2^62) overflows, 2^-(2^62) underflows.
    SetValue(a, 2, INF);
    BigFloat_PowerSmall(r, a, int64_t(1) << 62);
    EXPECT_EQ(r->kind, FloatOverflow);
    BigFloat_PowerSmall(r, a, -(int64_t(1) << 62));
    EXPECT_EQ(r->kind, FloatUnderflow);
    BigFloat_PowerSmall(r, a, INT64_MIN);
    EXPECT_EQ(r->kind, FloatUnderflow);
}

TEST(BigFloat, ComparisonWithinTheErrorBounds) {
    Float a, b;
    SetValue(a, 1000, 10);
    SetValue(b, 1000, 10);
    EXPECT_EQ(BigFloat_Compare(a, b), 0);
    // 1000 + 2^-11 cannot be told from 1000 at accuracy 10; 1000 + 2^-8 can.
    Float eps;
    SetValue(eps, 1, INF);
    BigFloat_Scale(eps, -11);
    BigFloat_Add(b, b, eps);
    EXPECT_EQ(BigFloat_Compare(a, b), 0);
    EXPECT_EQ(BigFloat_CompareDigits(a, b), -1);
    EXPECT_EQ(BigFloat_CompareDigits(b, a), 1);
    BigFloat_Scale(eps, 3);
    BigFloat_Add(b, b, eps);
    EXPECT_EQ(BigFloat_Compare(a, b), -1);
    EXPECT_EQ(BigFloat_Compare(b, a), 1);
    // Exact values differ by any amount.
    SetValue(a, 1, INF);
    SetValue(b, 1, INF);
    BigFloat_Scale(eps, -3000);
    BigFloat_Add(b, b, eps);
    EXPECT_EQ(BigFloat_Compare(a, b), -1);
    // Very different scales are decided from the top bits.
    BigFloat_Scale(a, 1 << 20);
    EXPECT_EQ(BigFloat_Compare(a, eps), 1);
    BigFloat_Negate(a, a);
    EXPECT_EQ(BigFloat_Compare(a, eps), -1);
    EXPECT_EQ(BigFloat_CompareDigits(eps, a), 1);
    // Special kinds take their places on the number line.
    Float over, under, nan, zero;
    BigFloat_SetSpecial(over, FloatOverflow, -1);
    BigFloat_SetSpecial(under, FloatUnderflow, 1);
    BigFloat_SetSpecial(nan, FloatIndeterminate, 0);
    EXPECT_EQ(BigFloat_Compare(over, a), -1);
    EXPECT_EQ(BigFloat_Compare(under, eps), -1);
    EXPECT_EQ(BigFloat_Compare(under, a), 1);
    EXPECT_EQ(BigFloat_Compare(under, zero), 1);
    EXPECT_EQ(BigFloat_CompareDigits(zero, under), -1);
    BigFloat_SetZero(zero, 5);
    EXPECT_EQ(BigFloat_Compare(under, zero), 0);
    EXPECT_EQ(BigFloat_Compare(over, over), 0);
    EXPECT_EQ(BigFloat_Compare(nan, zero), -2);
    EXPECT_EQ(BigFloat_CompareDigits(a, nan), -2);
}

TEST(BigFloat, DestinationMayBeAnOperand) {
    Float a(1.25), b(-0.5), r;
    BigFloat_Add(r, a, b);
    BigFloat_Add(a, a, b);
    EXPECT_EQ(BigFloat_CompareDigits(a, r), 0);
    EXPECT_EQ(a->accuracy, r->accuracy);
    BigFloat_Div(r, b, a);
    BigFloat_Div(b, b, a);
    EXPECT_EQ(BigFloat_CompareDigits(b, r), 0);
    BigFloat_Sqrt(r, a);
    BigFloat_Sqrt(a, a);
    EXPECT_EQ(BigFloat_CompareDigits(a, r), 0);
    BigFloat_Mul(a, a, a);
    EXPECT_NEAR(BigFloat_ToDouble(a), 0.75, 1e-15);
    // A zero-initialised record works as a destination and as a source.
    BigFloat local{};
    BigFloat_Copy(&local, a);
    EXPECT_EQ(BigFloat_CompareDigits(&local, a), 0);
    BigFloat_Release(&local);
    EXPECT_EQ(local.limbs, nullptr);
}

// ---- Elementary kernels ---------------------------------------------------------

namespace {

using BigFloatFunctions = KernelTest;

using Unary = void (*)(BigFloat *, const BigFloat *);

// x = v * 2^shift with `bits` bits of precision.
void Inexact(BigFloat *x, int64_t v, double bits, int64_t shift = 0) {
    BigFloat_SetSmall(x, v);
    BigFloat_Scale(x, shift);
    BigFloat_SetPrecision(x, bits, 2);
}

// a and b agree within their bounds, and a carries at least `bits` bits.
::testing::AssertionResult Agree(const BigFloat *a, const BigFloat *b, double bits) {
    if (a->kind < 0 || b->kind < 0) return ::testing::AssertionFailure() << "kinds " << a->kind << ", " << b->kind;
    if (BigFloat_Compare(a, b) != 0)
        return ::testing::AssertionFailure() << BigFloat_ToDouble(a) << " differs from " << BigFloat_ToDouble(b);
    if (a->accuracy < bits) return ::testing::AssertionFailure() << "accuracy " << a->accuracy << " below " << bits;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(BigFloatFunctions, SpecialArguments) {
    LocalFloat x, r;
    struct Case {
        Unary f;
        int64_t zeroKind, underflowKind, overflowKind;  // results for +0 (accuracy 50), +Underflow, +Overflow
    };
    // Odd functions keep a zero and FloatUnderflow; sin, cos and tan of a
    // huge value say nothing; cos and cosh of a tiny one are 1.
    const Case cases[] = {
        {BigFloat_Sin, FloatZero, FloatUnderflow, FloatIndeterminate},
        {BigFloat_Cos, FloatUnit, FloatUnit, FloatIndeterminate},
        {BigFloat_Tan, FloatZero, FloatUnderflow, FloatIndeterminate},
        {BigFloat_ArcTan, FloatZero, FloatUnderflow, FloatRegular},
        {BigFloat_ArcSin, FloatZero, FloatUnderflow, FloatIndeterminate},
        {BigFloat_ArcCos, FloatRegular, FloatRegular, FloatIndeterminate},
        {BigFloat_Sinh, FloatZero, FloatUnderflow, FloatOverflow},
        {BigFloat_Cosh, FloatUnit, FloatUnit, FloatOverflow},
        {BigFloat_Tanh, FloatZero, FloatUnderflow, FloatUnit},
        {BigFloat_ArSinh, FloatZero, FloatUnderflow, FloatOverflow},
        {BigFloat_ArCosh, FloatIndeterminate, FloatIndeterminate, FloatOverflow},
        {BigFloat_ArTanh, FloatZero, FloatUnderflow, FloatIndeterminate},
    };
    for (const Case &c : cases) {
        int i = static_cast<int>(&c - cases);
        BigFloat_SetZero(x.get(), 50);
        c.f(r.get(), x.get());
        EXPECT_EQ(r->kind, c.zeroKind) << i;
        // A zero's error bound comes through: at most what the interval forces.
        if (r->kind >= 0) {
            EXPECT_GE(r->accuracy, 49) << i;
        }
        BigFloat_SetSpecial(x.get(), FloatUnderflow, 1);
        c.f(r.get(), x.get());
        EXPECT_EQ(r->kind, c.underflowKind) << i;
        BigFloat_SetSpecial(x.get(), FloatOverflow, 1);
        c.f(r.get(), x.get());
        EXPECT_EQ(r->kind, c.overflowKind) << i;
        BigFloat_SetSpecial(x.get(), FloatIndeterminate, 0);
        c.f(r.get(), x.get());
        EXPECT_EQ(r->kind, FloatIndeterminate) << i;
        // An exact argument has no exact value to give.
        BigFloat_SetSmall(x.get(), 1);
        BigFloat_Scale(x.get(), -1);
        c.f(r.get(), x.get());
        EXPECT_EQ(r->kind, FloatIndeterminate) << i;
    }
    // Domains: |x| > 1 for arcsin, arccos, artanh (and 1 itself), x < 1 for
    // arcosh.
    Inexact(x.get(), 3, 100, -1);
    for (Unary f : {BigFloat_ArcSin, BigFloat_ArcCos, BigFloat_ArTanh}) {
        f(r.get(), x.get());
        EXPECT_EQ(r->kind, FloatIndeterminate);
    }
    Inexact(x.get(), 1, 100);
    BigFloat_ArTanh(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    Inexact(x.get(), 1, 100, -1);
    BigFloat_ArCosh(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    // The angle of the origin, and of two exact coordinates.
    LocalFloat y;
    BigFloat_SetZero(x.get(), 60);
    BigFloat_SetZero(y.get(), 60);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_SetSmall(x.get(), 1);
    BigFloat_SetSmall(y.get(), 1);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    // One exact coordinate lends no error; an exact zero beside a positive
    // exact x is the exact angle 0.
    Inexact(x.get(), 2, 100);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    EXPECT_EQ(r->kind, FloatRegular);
    EXPECT_GE(r->accuracy, 100);
    BigFloat_SetSmall(x.get(), 5);
    BigFloat_SetSmall(y.get(), 0);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    EXPECT_EQ(r->kind, FloatZero);
    EXPECT_EQ(r->accuracy, INF);
    // Roots: n = 0 and negative radicands are indeterminate, an exact 1
    // stays 1, a zero's root keeps a share of its accuracy.
    Inexact(x.get(), -2, 100);
    BigFloat_Root(r.get(), x.get(), 3);
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_Root(r.get(), x.get(), 0);
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_SetSmall(x.get(), 1);
    BigFloat_Root(r.get(), x.get(), 7);
    EXPECT_EQ(r->kind, FloatUnit);
    EXPECT_EQ(r->accuracy, INF);
    BigFloat_SetZero(x.get(), 90);
    BigFloat_Root(r.get(), x.get(), 3);
    EXPECT_EQ(r->kind, FloatZero);
    EXPECT_EQ(r->accuracy, 30);
    // cos of a zero known to 50 bits is 1 known to about 100 bits.
    BigFloat_SetZero(x.get(), 50);
    BigFloat_Cos(r.get(), x.get());
    EXPECT_GE(r->accuracy, 100);
    // A zero known to 2 bits: sinh, tan, arcsin and artanh grow faster
    // than their argument, so the bound widens to f(1/4); tan and artanh
    // of a zero whose interval reaches the pole or the edge give up.
    BigFloat_SetZero(x.get(), 2);
    const std::pair<Unary, double> growing[] = {{BigFloat_Sinh, std::sinh(0.25)}, {BigFloat_Tan, std::tan(0.25)},
                                                {BigFloat_ArcSin, std::asin(0.25)}, {BigFloat_ArTanh, std::atanh(0.25)}};
    for (const auto &[f, bound] : growing) {
        f(r.get(), x.get());
        EXPECT_EQ(r->kind, FloatZero);
        EXPECT_NEAR(std::exp2(-r->accuracy), bound, 1e-12);
    }
    BigFloat_SetZero(x.get(), -1);
    BigFloat_Tan(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_SetZero(x.get(), 0);
    BigFloat_ArTanh(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    // arccos of a zero, written over the zero itself.
    BigFloat_SetZero(x.get(), 100);
    BigFloat_ArcCos(r.get(), x.get());
    BigFloat_ArcCos(x.get(), x.get());
    EXPECT_EQ(x->accuracy, r->accuracy);
    EXPECT_LT(r->accuracy, 100);
    // tanh of a huge value is +-1, still inexact.
    Inexact(x.get(), 1, 60, 2000);
    BigFloat_Tanh(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatUnit);
    EXPECT_TRUE(std::isfinite(r->accuracy));
}

// Arguments without accuracy left must not cost their magnitude: the
// value 10^100000 known to 50 digits (accuracy about -332000 bits).
TEST_F(BigFloatFunctions, ArgumentsWithoutAccuracyStayCheap) {
    LocalFloat x, ten, r;
    BigFloat_SetSmall(ten.get(), 10);
    BigFloat_SetPrecision(ten.get(), 60 * LOG2_10, 2);
    BigFloat_PowerSmall(x.get(), ten.get(), 100000);
    BigFloat_SetPrecision(x.get(), 50 * LOG2_10, 2);
    ASSERT_LT(x->accuracy, -330000);
    for (Unary f : {BigFloat_Sin, BigFloat_Cos}) {
        f(r.get(), x.get());
        EXPECT_EQ(r->kind, FloatZero);
        EXPECT_LE(r->accuracy, 0);
    }
    BigFloat_Tan(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatIndeterminate);
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    BigFloat_Sinh(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatOverflow);
    BigFloat_Negate(x.get(), x.get());
    BigFloat_Exp(r.get(), x.get());
    EXPECT_EQ(r->kind, FloatUnderflow);
    // arctan is -pi/2 within 10^-100000, far below the 166 bits of pi/2.
    BigFloat_ArcTan(r.get(), x.get());
    LocalFloat halfPi;
    Constant_Pi(halfPi.get(), 200);
    BigFloat_Scale(halfPi.get(), -1);
    BigFloat_Negate(halfPi.get(), halfPi.get());
    EXPECT_TRUE(Agree(r.get(), halfPi.get(), 150));
    // ln keeps the argument's precision as its accuracy.
    BigFloat_Negate(x.get(), x.get());
    BigFloat_Log(r.get(), x.get());
    EXPECT_NEAR(BigFloat_ToDouble(r.get()), 100000 * std::log(10.0), 1e-6);
    EXPECT_GE(r->accuracy, 160);
    // The reciprocal, 10^-100000 known to 50 digits, has an accuracy of
    // 332000 bits, which the functions that are about constant there
    // (e^x, cosh x, cos x, arccos x) need not reach.
    LocalFloat one;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Div(x.get(), one.get(), x.get());
    ASSERT_GT(x->accuracy, 330000);
    for (Unary f : {BigFloat_Exp, BigFloat_Cosh, BigFloat_Cos}) {
        f(r.get(), x.get());
        EXPECT_TRUE(Agree(r.get(), one.get(), 160));
    }
    BigFloat_ArcCos(r.get(), x.get());
    BigFloat_Negate(halfPi.get(), halfPi.get());
    EXPECT_TRUE(Agree(r.get(), halfPi.get(), 160));
}

// Identities between the kernels at 300 bits: the values agree within
// their bounds, and each bound is about as tight as the argument allows.
TEST_F(BigFloatFunctions, KernelsAgreeWithEachOther) {
    const double bits = 300;
    LocalFloat x, a, b, c, one, r;
    BigFloat_SetSmall(one.get(), 1);
    for (int64_t v : {-7, 1, 3, 5, 11, 1000003}) {
        Inexact(x.get(), v, bits, -2);
        // sin^2 + cos^2 = 1, tan = sin / cos, even past the reduction.
        BigFloat_Sin(a.get(), x.get());
        BigFloat_Cos(b.get(), x.get());
        BigFloat_Mul(c.get(), a.get(), a.get());
        BigFloat_Mul(r.get(), b.get(), b.get());
        BigFloat_Add(r.get(), r.get(), c.get());
        EXPECT_TRUE(Agree(r.get(), one.get(), bits - 30)) << v;
        BigFloat_Div(c.get(), a.get(), b.get());
        BigFloat_Tan(r.get(), x.get());
        EXPECT_TRUE(Agree(r.get(), c.get(), bits - 40)) << v;
        // The angle of (cos x, sin x) is x reduced into (-pi, pi].
        BigFloat_ArcTan2(r.get(), a.get(), b.get());
        BigFloat_Sin(c.get(), r.get());
        EXPECT_TRUE(Agree(c.get(), a.get(), bits - 40)) << v;
        // cosh^2 - sinh^2 = 1 and tanh = sinh / cosh, for the small ones.
        if (std::abs(v) < 100) {
            BigFloat_Sinh(a.get(), x.get());
            BigFloat_Cosh(b.get(), x.get());
            BigFloat_Mul(c.get(), a.get(), a.get());
            BigFloat_Mul(r.get(), b.get(), b.get());
            BigFloat_Sub(r.get(), r.get(), c.get());
            EXPECT_TRUE(Agree(r.get(), one.get(), bits - 40)) << v;
            BigFloat_Div(c.get(), a.get(), b.get());
            BigFloat_Tanh(r.get(), x.get());
            EXPECT_TRUE(Agree(r.get(), c.get(), bits - 30)) << v;
            // The inverse hyperbolic functions undo them.
            BigFloat_ArSinh(r.get(), a.get());
            EXPECT_TRUE(Agree(r.get(), x.get(), bits - 30)) << v;
            BigFloat_ArTanh(r.get(), c.get());
            EXPECT_TRUE(Agree(r.get(), x.get(), bits - 40)) << v;
            BigFloat_ArCosh(r.get(), b.get());
            a->sign = 1;
            BigFloat_Copy(c.get(), x.get());
            c->sign = 1;
            EXPECT_TRUE(Agree(r.get(), c.get(), bits - 40)) << v;
        }
    }
    // arcsin, arccos and arctan undo sin, cos and tan on their ranges.
    for (int64_t v : {-5, -1, 1, 3, 6}) {
        Inexact(x.get(), v, bits, -2);
        BigFloat_Sin(a.get(), x.get());
        BigFloat_ArcSin(r.get(), a.get());
        EXPECT_TRUE(Agree(r.get(), x.get(), bits - 30)) << v;
        BigFloat_Tan(a.get(), x.get());
        BigFloat_ArcTan(r.get(), a.get());
        EXPECT_TRUE(Agree(r.get(), x.get(), bits - 30)) << v;
        x->sign = 1;
        BigFloat_Cos(a.get(), x.get());
        BigFloat_ArcCos(r.get(), a.get());
        EXPECT_TRUE(Agree(r.get(), x.get(), bits - 30)) << v;
    }
    // The quadrants of the angle: (-1, 1) is 3 pi/4, (-1, -1) is -3 pi/4,
    // (-1, 0) is pi.
    LocalFloat pi, y;
    Constant_Pi(pi.get(), bits + 20);
    Inexact(x.get(), -1, bits);
    Inexact(y.get(), 1, bits);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    BigFloat_SetSmall(c.get(), 3);
    BigFloat_Mul(c.get(), c.get(), pi.get());
    BigFloat_Scale(c.get(), -2);
    EXPECT_TRUE(Agree(r.get(), c.get(), bits - 4));
    BigFloat_Negate(y.get(), y.get());
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    BigFloat_Negate(c.get(), c.get());
    EXPECT_TRUE(Agree(r.get(), c.get(), bits - 4));
    BigFloat_SetZero(y.get(), bits);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    EXPECT_TRUE(Agree(r.get(), pi.get(), bits - 4));
    // Roots: r^n = x, for square roots, small and large indices and
    // negative ones.
    Inexact(x.get(), 7, bits, 3);
    for (int64_t n : {2, 3, -2, -5, 17, 250}) {
        BigFloat_Root(r.get(), x.get(), n);
        BigFloat_PowerSmall(c.get(), r.get(), n);
        EXPECT_TRUE(Agree(c.get(), x.get(), bits - 20 - std::log2(std::abs(static_cast<double>(n))) - 6)) << n;
    }
}

TEST_F(BigFloatFunctions, DestinationMayBeTheArgument) {
    LocalFloat x, r;
    for (Unary f : {BigFloat_Sin, BigFloat_Cos, BigFloat_Tan, BigFloat_ArcTan, BigFloat_ArcSin, BigFloat_ArcCos,
                    BigFloat_Sinh, BigFloat_Cosh, BigFloat_Tanh, BigFloat_ArSinh, BigFloat_ArTanh, BigFloat_Exp,
                    BigFloat_Log}) {
        Inexact(x.get(), 3, 200, -2);
        f(r.get(), x.get());
        f(x.get(), x.get());
        EXPECT_EQ(BigFloat_CompareDigits(x.get(), r.get()), 0);
        EXPECT_EQ(x->accuracy, r->accuracy);
    }
    Inexact(x.get(), 5, 200, -1);
    BigFloat_ArCosh(r.get(), x.get());
    BigFloat_ArCosh(x.get(), x.get());
    EXPECT_EQ(BigFloat_CompareDigits(x.get(), r.get()), 0);
    Inexact(x.get(), 5, 200, -1);
    BigFloat_Root(r.get(), x.get(), 5);
    BigFloat_Root(x.get(), x.get(), 5);
    EXPECT_EQ(BigFloat_CompareDigits(x.get(), r.get()), 0);
    LocalFloat y;
    Inexact(x.get(), 5, 200, -1);
    Inexact(y.get(), -2, 200);
    BigFloat_ArcTan2(r.get(), y.get(), x.get());
    BigFloat_ArcTan2(y.get(), y.get(), x.get());
    EXPECT_EQ(BigFloat_CompareDigits(y.get(), r.get()), 0);
}
