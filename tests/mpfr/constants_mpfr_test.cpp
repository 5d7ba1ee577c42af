// The constants and the exp/log kernels against MPFR: every value must lie
// within its own claimed error bound of the true value, and must claim the
// precision it was asked for (or, for the kernels, the precision the
// argument justifies), at precisions up to 100,000 digits for the
// constants and 1,000 for the kernels.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
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
        // The logarithm at 64 bits of the difference rounded up: at the
        // truth's precision it would cost more than the constant.
        mpfr_t d64;
        mpfr_init2(d64, 64);
        mpfr_abs(d64, diff, MPFR_RNDU);
        mpfr_log2(d64, d64, MPFR_RNDU);
        errorLog2 = mpfr_get_d(d64, MPFR_RNDU);
        mpfr_clear(d64);
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

// The true value of a constant at a precision: one of MPFR's functions.
using Truth = int (*)(mpfr_ptr, mpfr_rnd_t);

// Checks v against the truth, which holds more bits than every request:
// within the bound, and exactly the requested precision, so the bound is
// no wider than the request.
void CheckValue(const BigFloat *v, mpfr_t truth, double bits, const char *what) {
    EXPECT_TRUE(WithinBound(v, truth)) << what << " at " << bits << " bits";
    EXPECT_NEAR(BigFloat_Precision(v), bits, 1e-6) << what << " at " << bits << " bits";
}

// Checks compute at each of the digit counts, which rise, so that each
// recomputes the cache, and the cache itself each time. Then, from a cleared cache, around the cache that
// a request of cacheDigits leaves: a request 1 bit below what it holds and
// one at exactly that (both answered from it, the cache unchanged), a
// smaller request after them (from the cache too), and one 1 bit above
// (recomputed).
void CheckConstant(void (*compute)(BigFloat *, double), BigFloat *cache, Truth truth,
                   std::initializer_list<double> digits, double cacheDigits) {
    mpfr_t t;
    mpfr_init2(t, static_cast<mpfr_prec_t>(std::max(digits) * LOG2_10) + 256);
    truth(t, MPFR_RNDN);
    for (double d : digits) {
        LocalFloat v;
        compute(v.get(), d * LOG2_10);
        CheckValue(v.get(), t, d * LOG2_10, "rising request");
        // The cache's own bound, not hidden by the guard bits the request
        // does not see.
        EXPECT_TRUE(WithinBound(cache, t)) << "the cache after " << d << " digits";
    }
    NumberState_ClearCaches(kernel.numbers);
    {
        LocalFloat v;
        compute(v.get(), cacheDigits * LOG2_10);
    }
    Limb *limbs = cache->limbs;
    double held = BigFloat_Precision(cache);
    for (double bits : {held - 1.0, held, held / 3.0}) {
        LocalFloat v;
        compute(v.get(), bits);
        CheckValue(v.get(), t, bits, "from the cache");
        EXPECT_EQ(cache->limbs, limbs);
        EXPECT_EQ(BigFloat_Precision(cache), held);
    }
    LocalFloat v;
    compute(v.get(), held + 1.0);
    CheckValue(v.get(), t, held + 1.0, "beyond the cache");
    EXPECT_GE(BigFloat_Precision(cache), held + 1.0);
    mpfr_clear(t);
}

int ExpOne(mpfr_ptr r, mpfr_rnd_t rnd) {
    mpfr_set_ui(r, 1, rnd);
    return mpfr_exp(r, r, rnd);
}

TEST_F(ConstantsMpfrTest, PiAndE) {
    CheckConstant(Constant_Pi, &kernel.numbers.caches.pi, mpfr_const_pi,
                  {10, 50, 100, 333, 1000, 3000, 10000, 31623, 100000}, 10000);
    CheckConstant(Constant_E, &kernel.numbers.caches.e, ExpOne, {10, 50, 100, 333, 1000, 3000, 10000, 31623, 100000},
                  10000);
}

TEST_F(ConstantsMpfrTest, Ln2AndEuler) {
    CheckConstant(Constant_Ln2, &kernel.numbers.caches.ln2, mpfr_const_log2,
                  {10, 50, 100, 333, 1000, 3000, 10000, 100000}, 10000);
    CheckConstant(Constant_EulerGamma, &kernel.numbers.caches.euler, mpfr_const_euler,
                  {10, 50, 100, 333, 1000, 3000, 100000}, 3000);
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
