// The fixed-point cores against MPFR: e^x, ln x, sin/cos and arctan of
// seeded random stored values (taken as exact) at 53 to 4,000 bits must
// lie within their claimed bound of the correctly rounded value at a far
// higher precision, and must claim about the precision asked for: the a
// priori counts of lost units may not be so generous that the result
// falls short. The arguments cover tiny and large magnitudes, both signs,
// values near 1 for the logarithm and near the ends of the cores' ranges.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "number/fixed_series.h"
#include "vorlan.h"

namespace {

// r = the stored value of b exactly.
void ToMpfr(mpfr_t r, const BigFloat *b) {
    if (b->kind == FloatZero) {
        mpfr_set_zero(r, 1);
        return;
    }
    mpz_t z;
    mpz_init(z);
    mpz_import(z, static_cast<size_t>(b->top + 1), -1, sizeof(Limb), 0, 0, b->limbs);
    mpfr_set_prec(r, static_cast<mpfr_prec_t>((b->top + 2) * 64));
    mpfr_set_z(r, z, MPFR_RNDN);
    mpfr_mul_2si(r, r, 64 * b->exponent, MPFR_RNDN);
    if (b->sign < 0) mpfr_neg(r, r, MPFR_RNDN);
    mpz_clear(z);
}

// Passes when |b - truth| <= 2^-accuracy(b).
::testing::AssertionResult WithinBound(const BigFloat *b, mpfr_t truth) {
    if (b->kind < 0) return ::testing::AssertionFailure() << "kind " << b->kind;
    mpfr_t ours, diff;
    mpfr_init2(ours, 64);
    mpfr_init2(diff, mpfr_get_prec(truth) + 64 * (b->top + 4));
    ToMpfr(ours, b);
    mpfr_sub(diff, ours, truth, MPFR_RNDN);
    double errorLog2 = -INFINITY;
    if (!mpfr_zero_p(diff)) {
        mpfr_abs(diff, diff, MPFR_RNDN);
        mpfr_log2(diff, diff, MPFR_RNDU);
        errorLog2 = mpfr_get_d(diff, MPFR_RNDU);
    }
    mpfr_clear(ours);
    mpfr_clear(diff);
    if (errorLog2 <= -b->accuracy) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "error 2^" << errorLog2 << " exceeds the bound 2^" << -b->accuracy;
}

class FixedSeriesMpfrTest : public ::testing::Test {
protected:
    void SetUp() override {
        Kernel_Initialize();
        // e^(2^40) lies far beyond MPFR's default exponent range.
        mpfr_set_emax(mpfr_get_emax_max());
        mpfr_set_emin(mpfr_get_emin_min());
    }
    void TearDown() override {
        Kernel_Terminate();
        mpfr_free_cache();
    }
};

// An exact random value of about `bits` bits with magnitude in
// [2^lo, 2^hi), of the given sign.
void RandomValue(BigFloat *dst, std::mt19937_64 &rng, double bits, int lo, int hi, int sign) {
    int64_t limbs = static_cast<int64_t>(bits / 64) + 1;
    BigFloat_Release(dst);
    dst->limbs = static_cast<Limb *>(std::malloc(limbs * sizeof(Limb)));
    for (int64_t i = 0; i < limbs; ++i) dst->limbs[i] = rng();
    dst->limbs[limbs - 1] |= Limb(1) << 63;
    dst->top = limbs - 1;
    dst->size = limbs * 8;
    dst->exponent = -limbs;
    dst->sign = sign;
    dst->kind = FloatRegular;
    dst->accuracy = INFINITY;
    BigFloat_Normalize(dst);
    BigFloat_Scale(dst, lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo)));
}

const double kBits[] = {53, 200, 333, 1100, 1300, 3322, 4000};

// The cases of one core: for each precision, a few arguments from each
// magnitude range; `check` computes ours and MPFR's values and compares.
template <typename Check>
void RunCases(uint64_t seed, std::initializer_list<std::pair<int, int>> ranges, bool bothSigns, Check check) {
    std::mt19937_64 rng(seed);
    for (double bits : kBits) {
        for (auto [lo, hi] : ranges) {
            for (int i = 0; i < 4; ++i) {
                LocalFloat x;
                RandomValue(x.get(), rng, bits + 64 * static_cast<double>(rng() % 3), lo, hi,
                            bothSigns && (i & 1) ? -1 : 1);
                mpfr_t xm, t;
                mpfr_init2(xm, 64);
                mpfr_init2(t, static_cast<mpfr_prec_t>(bits) + 200);
                ToMpfr(xm, x.get());
                check(x.get(), xm, t, bits);
                mpfr_clear(xm);
                mpfr_clear(t);
            }
        }
    }
}

TEST_F(FixedSeriesMpfrTest, ExpWithinBoundAndPrecise) {
    RunCases(1, {{-80, -20}, {-4, 1}, {1, 12}, {30, 40}}, true, [](const BigFloat *x, mpfr_t xm, mpfr_t t, double bits) {
        LocalFloat r;
        FixedSeries_Exp(r.get(), x, bits);
        mpfr_exp(t, xm, MPFR_RNDN);
        EXPECT_TRUE(WithinBound(r.get(), t)) << "exp at " << bits << " bits";
        EXPECT_GE(BigFloat_Precision(r.get()), bits - 8) << "exp at " << bits << " bits";
    });
}

TEST_F(FixedSeriesMpfrTest, LogWithinBoundAndAccurate) {
    RunCases(2, {{-300, 300}, {-1, 1}, {0, 1}}, false, [](const BigFloat *x, mpfr_t xm, mpfr_t t, double bits) {
        LocalFloat r;
        FixedSeries_Log(r.get(), x, bits);
        mpfr_log(t, xm, MPFR_RNDN);
        EXPECT_TRUE(WithinBound(r.get(), t)) << "log at " << bits << " bits";
        EXPECT_GE(r->accuracy, bits - 8) << "log at " << bits << " bits";
    });
    // Just above and below 1, where ln x is tiny.
    std::mt19937_64 rng(3);
    for (double bits : kBits) {
        for (int sign : {-1, 1}) {
            LocalFloat x, one;
            RandomValue(x.get(), rng, bits, -int(bits / 2), -10, sign);
            BigFloat_SetSmall(one.get(), 1);
            BigFloat_Add(x.get(), x.get(), one.get());
            mpfr_t xm, t;
            mpfr_init2(xm, 64);
            mpfr_init2(t, static_cast<mpfr_prec_t>(bits) + 200);
            ToMpfr(xm, x.get());
            LocalFloat r;
            FixedSeries_Log(r.get(), x.get(), bits);
            mpfr_log(t, xm, MPFR_RNDN);
            EXPECT_TRUE(WithinBound(r.get(), t)) << "log near 1 at " << bits << " bits";
            EXPECT_GE(r->accuracy, bits - 8);
            mpfr_clear(xm);
            mpfr_clear(t);
        }
    }
}

TEST_F(FixedSeriesMpfrTest, SinCosWithinBoundAndPrecise) {
    RunCases(4, {{-90, -20}, {-8, -1}, {-1, 0}}, true, [](const BigFloat *y, mpfr_t ym, mpfr_t t, double bits) {
        LocalFloat s, c, alone;
        FixedSeries_SinCos(s.get(), c.get(), y, bits);
        mpfr_sin(t, ym, MPFR_RNDN);
        EXPECT_TRUE(WithinBound(s.get(), t)) << "sin at " << bits << " bits";
        EXPECT_GE(BigFloat_Precision(s.get()), bits - 8) << "sin at " << bits << " bits";
        // The sine alone may take the other path; it must agree as well.
        FixedSeries_SinCos(alone.get(), nullptr, y, bits);
        EXPECT_TRUE(WithinBound(alone.get(), t)) << "sin alone at " << bits << " bits";
        mpfr_cos(t, ym, MPFR_RNDN);
        EXPECT_TRUE(WithinBound(c.get(), t)) << "cos at " << bits << " bits";
        EXPECT_GE(c->accuracy, bits - 8) << "cos at " << bits << " bits";
    });
}

TEST_F(FixedSeriesMpfrTest, ArcTanWithinBoundAndPrecise) {
    RunCases(5, {{-90, -20}, {-3, 0}, {0, 1}, {1, 40}}, true, [](const BigFloat *x, mpfr_t xm, mpfr_t t, double bits) {
        LocalFloat r;
        FixedSeries_ArcTan(r.get(), x, bits);
        mpfr_atan(t, xm, MPFR_RNDN);
        EXPECT_TRUE(WithinBound(r.get(), t)) << "arctan at " << bits << " bits";
        EXPECT_GE(BigFloat_Precision(r.get()), bits - 8) << "arctan at " << bits << " bits";
    });
}

}  // namespace
