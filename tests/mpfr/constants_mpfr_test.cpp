// The constants and the exp/log kernels against MPFR: every value must lie
// within its own claimed error bound of the true value, and must claim the
// precision it was asked for (or, for the kernels, the precision the
// argument justifies), at precisions up to 1,000 digits and 3,000 for pi
// and e.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "kernel/state.h"
#include "number/bigfloat_functions.h"
#include "number/constants.h"
#include "mpfr_support.h"
#include "vorlan.h"

namespace {

using mpfr_support::ToMpfr;

// Passes when |b - truth| <= 2^-accuracy(b); truth is exact to far more
// bits than b claims.
::testing::AssertionResult WithinBound(const BigFloat *b, mpfr_t truth) {
    if (b->kind != FloatRegular && b->kind != FloatUnit)
        return ::testing::AssertionFailure() << "kind " << b->kind;
    mpfr_t ours, diff;
    mpfr_init2(ours, 64);
    mpfr_init2(diff, mpfr_get_prec(truth) + 64);
    ToMpfr(ours, b);
    mpfr_sub(diff, ours, truth, MPFR_RNDN);
    bool ok = true;
    double errorLog2 = -INFINITY;
    if (!mpfr_zero_p(diff)) {
        mpfr_abs(diff, diff, MPFR_RNDN);
        mpfr_log2(diff, diff, MPFR_RNDU);
        errorLog2 = mpfr_get_d(diff, MPFR_RNDU);
        ok = errorLog2 <= -b->accuracy;
    }
    mpfr_clear(ours);
    mpfr_clear(diff);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "error 2^" << errorLog2 << " exceeds the bound 2^" << -b->accuracy;
}

class ConstantsMpfrTest : public ::testing::Test {
protected:
    void SetUp() override { Kernel_Initialize(); }
    void TearDown() override {
        Kernel_Terminate();
        mpfr_free_cache();
    }
};

const double kDigits[] = {10, 50, 100, 333, 1000};

// Checks compute at each of the digit counts: the true value within the
// bound and exactly the requested precision. The requests rise, so each
// recomputes its cache; a falling request after them is served from it.
void CheckConstant(void (*compute)(BigFloat *, double), int (*truth)(mpfr_ptr, mpfr_rnd_t),
                   std::initializer_list<double> digits) {
    for (double d : digits) {
        double bits = d * LOG2_10;
        LocalFloat v;
        compute(v.get(), bits);
        mpfr_t t;
        mpfr_init2(t, static_cast<mpfr_prec_t>(bits) + 128);
        truth(t, MPFR_RNDN);
        EXPECT_TRUE(WithinBound(v.get(), t)) << d << " digits";
        EXPECT_NEAR(BigFloat_Precision(v.get()), bits, 1e-6) << d << " digits";
        mpfr_clear(t);
    }
    LocalFloat v;
    compute(v.get(), 20 * LOG2_10);
    mpfr_t t;
    mpfr_init2(t, 256);
    truth(t, MPFR_RNDN);
    EXPECT_TRUE(WithinBound(v.get(), t)) << "from the cache";
    mpfr_clear(t);
}

TEST_F(ConstantsMpfrTest, PiAndE) {
    CheckConstant(Constant_Pi, mpfr_const_pi, {10, 50, 100, 333, 1000, 3000});
    CheckConstant(
        Constant_E,
        [](mpfr_ptr r, mpfr_rnd_t rnd) {
            mpfr_set_ui(r, 1, rnd);
            return mpfr_exp(r, r, rnd);
        },
        {10, 50, 100, 333, 1000, 3000});
}

TEST_F(ConstantsMpfrTest, EulerAndLn2) {
    CheckConstant(Constant_EulerGamma, mpfr_const_euler, {10, 50, 100, 333, 1000});
    CheckConstant(Constant_Ln2, mpfr_const_log2, {10, 50, 100, 333, 1000});
}

// A random value of `bits` bits of precision, value in [2^lo, 2^hi), with
// the given sign.
void RandomFloat(BigFloat *dst, std::mt19937_64 &rng, double bits, int lo, int hi, int sign) {
    int64_t limbs = static_cast<int64_t>(bits / 64) + 2;
    BigFloat_SetSmall(dst, 1);
    BigFloat mantissa{};
    mantissa.sign = sign;
    mantissa.kind = FloatRegular;
    mantissa.top = limbs - 1;
    mantissa.size = limbs * 8;
    mantissa.limbs = static_cast<Limb *>(std::malloc(mantissa.size));
    for (int64_t i = 0; i < limbs; ++i) mantissa.limbs[i] = rng();
    mantissa.limbs[limbs - 1] |= Limb(1) << 63;
    mantissa.exponent = -limbs;
    mantissa.accuracy = INFINITY;
    BigFloat_Normalize(&mantissa);
    int shift = lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo));
    BigFloat_Scale(&mantissa, shift);
    BigFloat_SetPrecision(&mantissa, bits, 2);
    BigFloat_Copy(dst, &mantissa);
    BigFloat_Release(&mantissa);
}

// exp and log of random arguments: within the bound of the true function
// of the argument's stored value, and as precise as the argument allows
// (e^x keeps x's accuracy as its precision, ln x keeps x's precision as
// its accuracy), less a few bits.
TEST_F(ConstantsMpfrTest, ExpAndLogAtRandomArguments) {
    std::mt19937_64 rng(20240611);
    for (double d : kDigits) {
        double bits = d * LOG2_10;
        for (int round = 0; round < 6; ++round) {
            LocalFloat x, y;
            mpfr_t xm, t;
            mpfr_init2(xm, 64);
            mpfr_init2(t, static_cast<mpfr_prec_t>(bits) + 256);

            // exp on [-2^12, 2^12) and tiny arguments.
            int lo = round < 2 ? -60 : -4, hi = round < 2 ? -40 : 12;
            RandomFloat(x.get(), rng, bits, lo, hi, round % 2 ? -1 : 1);
            ToMpfr(xm, x.get());
            BigFloat_Exp(y.get(), x.get());
            mpfr_exp(t, xm, MPFR_RNDN);
            EXPECT_TRUE(WithinBound(y.get(), t)) << "exp at " << d << " digits, round " << round;
            EXPECT_GE(BigFloat_Precision(y.get()), x->accuracy - 8) << "exp at " << d << " digits";

            // log on (2^-200, 2^200), and at 1 + r for a tiny r, where
            // y - 1 cancels.
            if (round < 4) {
                RandomFloat(x.get(), rng, bits, -200, 200, 1);
            } else {
                LocalFloat one;
                BigFloat_SetSmall(one.get(), 1);
                RandomFloat(x.get(), rng, bits, -60, -40, round % 2 ? -1 : 1);
                BigFloat_Add(x.get(), x.get(), one.get());
            }
            ToMpfr(xm, x.get());
            BigFloat_Log(y.get(), x.get());
            mpfr_log(t, xm, MPFR_RNDN);
            EXPECT_TRUE(WithinBound(y.get(), t)) << "log at " << d << " digits, round " << round;
            EXPECT_GE(y->accuracy, BigFloat_Precision(x.get()) - 8) << "log at " << d << " digits";

            mpfr_clear(xm);
            mpfr_clear(t);
        }
    }
}

}  // namespace
