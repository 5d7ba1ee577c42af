// BigFloat arithmetic against MPFR on seeded random operands of 64 to 4,000
// bits with finite accuracies. Each operand is moved to a corner of its
// error interval (its stored value plus or minus almost its whole error
// bound); the result must still lie within the error bound it claims of
// MPFR's value of the same operation on the moved operands. That checks
// the propagated bound and the rounding of quotients and roots together.
// The claimed precision must also not fall far below what the operands
// justify.
#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "mpfr_support.h"
#include "number/bigfloat.h"

namespace {

using mpfr_support::Mpfr;
using mpfr_support::ToMpfr;

// out = stored value of b + side * 0.999 * 2^-accuracy, exactly: a point
// near one end of b's error interval (the stored value itself for an exact
// b).
void Corner(mpfr_ptr out, const BigFloat *b, int side) {
    ToMpfr(out, b);
    if (std::isinf(b->accuracy)) return;
    Mpfr d(32);
    mpfr_set_d(d, side * 0.999, MPFR_RNDN);
    mpfr_mul_2si(d, d, -static_cast<long>(std::floor(b->accuracy)), MPFR_RNDN);
    // 2^-floor(A) >= 2^-A; scale back by the fraction so the point stays
    // inside the interval.
    mpfr_mul_d(d, d, std::exp2(std::floor(b->accuracy) - b->accuracy), MPFR_RNDZ);
    long low = std::min<long>(mpfr_get_exp(d) - 40, 64 * b->exponent);
    long high = std::max<long>(mpfr_get_exp(out), mpfr_get_exp(d)) + 2;
    mpfr_prec_round(out, high - low, MPFR_RNDN);
    ASSERT_EQ(mpfr_add(out, out, d, MPFR_RNDN), 0);
}

// log2 |r - truth|, -inf when they are equal.
double ErrorLog2(const BigFloat *r, mpfr_ptr truth) {
    Mpfr stored, diff(mpfr_get_prec(truth) + 64 * (r->top + 8) + 64);
    ToMpfr(stored, r);
    mpfr_sub(diff, stored, truth, MPFR_RNDA);
    if (mpfr_zero_p(diff)) return -INFINITY;
    Mpfr lg(64);
    mpfr_abs(diff, diff, MPFR_RNDN);
    mpfr_log2(lg, diff, MPFR_RNDU);
    return mpfr_get_d(lg, MPFR_RNDU);
}

struct Gen {
    std::mt19937_64 rng;
    explicit Gen(uint64_t seed) : rng(seed) {}
    int64_t Below(int64_t n) { return static_cast<int64_t>(rng() % static_cast<uint64_t>(n)); }

    // A random value with `bits` bits of precision, its mantissa longer
    // than the precision needs (so the guard rule trims it), at a random
    // scale and sign. Some mantissas have long runs of one bits or zeros.
    void Fill(BigFloat *b, int64_t bits) {
        int64_t n = bits / 64 + 2 + Below(3);
        std::vector<Limb> limbs(n);
        int shape = static_cast<int>(Below(6));
        for (Limb &l : limbs) l = shape == 0 ? ~Limb(0) : shape == 1 ? 0 : rng();
        limbs.back() |= Limb(1) << Below(64);
        BigFloat_Release(b);
        b->limbs = static_cast<Limb *>(std::malloc(n * sizeof(Limb)));
        std::copy(limbs.begin(), limbs.end(), b->limbs);
        b->top = n - 1;
        b->size = n * 8;
        b->exponent = Below(40) - 20 - n;
        b->sign = Below(2) ? 1 : -1;
        b->kind = FloatRegular;
        b->accuracy = INFINITY;
        BigFloat_Normalize(b);
        BigFloat_SetPrecision(b, static_cast<double>(bits), 2);
    }

    // An operand for the differential tests: mostly 64 to 4,000 bits,
    // sometimes an exact integer.
    void Operand(BigFloat *b) {
        if (Below(8) == 0) {
            int64_t v = static_cast<int64_t>(rng() >> Below(64));
            BigFloat_SetSmall(b, Below(2) ? v : -v);
            if (v == 0) BigFloat_SetSmall(b, 3);
            return;
        }
        Fill(b, 64 + Below(3937));
    }
};

// The corners of two operands' error intervals, cycled through.
struct Corners {
    Mpfr x{64}, y{64};
    Corners(const BigFloat *a, const BigFloat *b, int which) {
        Corner(x, a, which & 1 ? 1 : -1);
        Corner(y, b, which & 2 ? 1 : -1);
    }
};

constexpr int ROUNDS = 400;

}  // namespace

TEST(BigFloatMpfr, SumsAndDifferencesStayWithinTheirBound) {
    Gen gen(11);
    for (int i = 0; i < ROUNDS; ++i) {
        LocalFloat a, b, r;
        gen.Operand(a.get());
        // Every third pair nearly cancels: b is a with its low bits changed.
        if (i % 3 == 0 && a->kind == FloatRegular) {
            BigFloat_Copy(b.get(), a.get());
            b->limbs[0] ^= gen.rng();
            BigFloat_Normalize(b.get());
            BigFloat_SetPrecision(b.get(), 64 + gen.Below(3937), 2);
        } else {
            gen.Operand(b.get());
        }
        for (int corner = 0; corner < 4; ++corner) {
            Corners c(a.get(), b.get(), corner);
            Mpfr t(mpfr_get_prec(c.x) + mpfr_get_prec(c.y) + 64 * 64);
            mpfr_sub(t, c.x, c.y, MPFR_RNDN);
            BigFloat_Sub(r.get(), a.get(), b.get());
            ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "sub #" << i;
            mpfr_add(t, c.x, c.y, MPFR_RNDN);
            BigFloat_Add(r.get(), a.get(), b.get());
            ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "add #" << i;
        }
        // Absolute errors add: at most one bit is lost beyond the worse
        // operand's accuracy.
        EXPECT_GE(r->accuracy, std::min(a->accuracy, b->accuracy) - 1.0) << "#" << i;
    }
}

TEST(BigFloatMpfr, ProductsStayWithinTheirBound) {
    Gen gen(12);
    for (int i = 0; i < ROUNDS; ++i) {
        LocalFloat a, b, r;
        gen.Operand(a.get());
        gen.Operand(b.get());
        BigFloat_Mul(r.get(), a.get(), b.get());
        for (int corner = 0; corner < 4; ++corner) {
            Corners c(a.get(), b.get(), corner);
            Mpfr t(mpfr_get_prec(c.x) + mpfr_get_prec(c.y));
            ASSERT_EQ(mpfr_mul(t, c.x, c.y, MPFR_RNDN), 0);
            ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "#" << i << " corner " << corner;
        }
        double p = std::min(BigFloat_Precision(a.get()), BigFloat_Precision(b.get()));
        if (std::isfinite(p)) {
            EXPECT_GE(BigFloat_Precision(r.get()), p - 2) << "#" << i;
        }
        // Aliased forms give the same record.
        LocalFloat s;
        BigFloat_Copy(s.get(), a.get());
        BigFloat_Mul(s.get(), s.get(), b.get());
        EXPECT_EQ(BigFloat_CompareDigits(s.get(), r.get()), 0);
        EXPECT_EQ(s->accuracy, r->accuracy);
    }
}

TEST(BigFloatMpfr, QuotientsStayWithinTheirBound) {
    Gen gen(13);
    for (int i = 0; i < ROUNDS; ++i) {
        LocalFloat a, b, r;
        gen.Operand(a.get());
        gen.Operand(b.get());
        BigFloat_Div(r.get(), a.get(), b.get());
        ASSERT_EQ(r->kind, FloatRegular) << "#" << i;
        for (int corner = 0; corner < 4; ++corner) {
            Corners c(a.get(), b.get(), corner);
            // Correctly rounded far beyond the result's own bits.
            Mpfr t(64 * (r->top + 1) + 256);
            mpfr_div(t, c.x, c.y, MPFR_RNDN);
            ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "#" << i << " corner " << corner;
        }
        double p = std::min(BigFloat_Precision(a.get()), BigFloat_Precision(b.get()));
        if (std::isfinite(p)) {
            EXPECT_GE(BigFloat_Precision(r.get()), p - 2) << "#" << i;
            // The mantissa is not computed to far more bits than it keeps.
            EXPECT_LE(64 * (r->top + 1), p + 3 * 64) << "#" << i;
        } else {
            EXPECT_GE(BigFloat_Precision(r.get()), 128) << "#" << i;
        }
    }
}

TEST(BigFloatMpfr, SquareRootsStayWithinTheirBound) {
    Gen gen(14);
    for (int i = 0; i < ROUNDS; ++i) {
        LocalFloat a, r;
        gen.Operand(a.get());
        a->sign = a->sign < 0 ? 1 : a->sign;
        BigFloat_Sqrt(r.get(), a.get());
        ASSERT_GE(r->kind, FloatUnit) << "#" << i;
        for (int side = -1; side <= 1; side += 2) {
            Mpfr x(64);
            Corner(x, a.get(), side);
            Mpfr t(64 * (r->top + 1) + 256);
            mpfr_sqrt(t, x, MPFR_RNDN);
            ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "#" << i << " side " << side;
        }
        double p = BigFloat_Precision(a.get());
        if (std::isfinite(p)) {
            EXPECT_GE(BigFloat_Precision(r.get()), p) << "#" << i;
        }
    }
}

TEST(BigFloatMpfr, ExactRootsAndQuotientsOfIntegers) {
    Gen gen(15);
    for (int i = 0; i < 200; ++i) {
        // n^2 for a random n of up to 1,500 bits: the root is n, exactly.
        LocalFloat n, sq, r;
        // n is an odd integer above 1, so that (n^2 + 1) / n is not exact.
        gen.Fill(n.get(), 64 + gen.Below(1500));
        BigFloat_SetAccuracy(n.get(), INFINITY);
        n->sign = 1;
        n->exponent = 0;
        n->limbs[0] |= 3;
        BigFloat_Normalize(n.get());
        BigFloat_Mul(sq.get(), n.get(), n.get());
        BigFloat_Sqrt(r.get(), sq.get());
        ASSERT_TRUE(std::isinf(r->accuracy)) << "#" << i;
        ASSERT_EQ(BigFloat_CompareDigits(r.get(), n.get()), 0) << "#" << i;
        // n^2 / n = n exactly; (n^2 + 1) / n is not exact.
        BigFloat_Div(r.get(), sq.get(), n.get());
        ASSERT_TRUE(std::isinf(r->accuracy)) << "#" << i;
        ASSERT_EQ(BigFloat_CompareDigits(r.get(), n.get()), 0) << "#" << i;
        LocalFloat one, sq1;
        BigFloat_SetSmall(one.get(), 1);
        BigFloat_Add(sq1.get(), sq.get(), one.get());
        BigFloat_Div(r.get(), sq1.get(), n.get());
        ASSERT_TRUE(std::isfinite(r->accuracy)) << "#" << i;
        Mpfr x(64), y(64), t(64 * (r->top + 1) + 256);
        ToMpfr(x, sq1.get());
        ToMpfr(y, n.get());
        mpfr_div(t, x, y, MPFR_RNDN);
        ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "#" << i;
        // The square root of a non-square is inexact but close.
        BigFloat_Sqrt(r.get(), sq1.get());
        ASSERT_TRUE(std::isfinite(r->accuracy)) << "#" << i;
        Mpfr s(64 * (r->top + 1) + 256);
        mpfr_sqrt(s, x, MPFR_RNDN);
        ASSERT_LE(ErrorLog2(r.get(), s), -r->accuracy) << "#" << i;
        EXPECT_GE(BigFloat_Precision(r.get()), static_cast<double>(BigFloat_TopBit(sq1.get()) + 64)) << "#" << i;
    }
}

// Long square roots, 10^3 to 10^5 digits, where the root recurses through
// every path of the limb square root: the stored root is the true root of
// the stored operand truncated below its lowest set bit (MPFR's root rounded
// toward zero to the same bits), the true root lies within the claimed
// bound, and the bound keeps the operand's precision. An exact square of
// that size has an exact root, and one more than it an inexact one.
TEST(BigFloatMpfr, LongSquareRootsAreTruncatedTrueRoots) {
    Gen gen(17);
    for (int64_t digits : {1000, 1001, 10000, 12345, 100000}) {
        auto bits = static_cast<int64_t>(std::ceil(static_cast<double>(digits) * std::log2(10.0)));
        LocalFloat a, r;
        gen.Fill(a.get(), bits);
        a->sign = 1;
        BigFloat_Sqrt(r.get(), a.get());
        ASSERT_EQ(r->kind, FloatRegular) << digits;
        Mpfr x(64), t(64 * (r->top + 1) + 256), stored(64);
        ToMpfr(x, a.get());
        mpfr_sqrt(t, x, MPFR_RNDN);
        EXPECT_LE(ErrorLog2(r.get(), t), -r->accuracy) << digits;
        EXPECT_GE(BigFloat_Precision(r.get()), BigFloat_Precision(a.get())) << digits;
        // The root's unit need not fall on a limb boundary: compare down
        // to its lowest set bit, below which a truncated root has zeros.
        int64_t low = 0;
        while (r->limbs[low] == 0) ++low;
        int64_t lowBit = 64 * (r->exponent + low) + std::countr_zero(r->limbs[low]);
        Mpfr truncated(BigFloat_TopBit(r.get()) - lowBit + 1);
        mpfr_sqrt(truncated, x, MPFR_RNDZ);
        ToMpfr(stored, r.get());
        EXPECT_EQ(mpfr_cmp(stored, truncated), 0) << digits;

        LocalFloat n, sq, one;
        BigFloat_Copy(n.get(), a.get());
        BigFloat_SetAccuracy(n.get(), INFINITY);
        n->exponent = 0;
        n->limbs[0] |= 3;
        BigFloat_Normalize(n.get());
        BigFloat_Mul(sq.get(), n.get(), n.get());
        BigFloat_Sqrt(r.get(), sq.get());
        EXPECT_TRUE(std::isinf(r->accuracy)) << digits;
        EXPECT_EQ(BigFloat_CompareDigits(r.get(), n.get()), 0) << digits;
        BigFloat_SetSmall(one.get(), 1);
        BigFloat_Add(sq.get(), sq.get(), one.get());
        BigFloat_Sqrt(r.get(), sq.get());
        EXPECT_TRUE(std::isfinite(r->accuracy)) << digits;
        ToMpfr(x, sq.get());
        Mpfr s(64 * (r->top + 1) + 256);
        mpfr_sqrt(s, x, MPFR_RNDN);
        EXPECT_LE(ErrorLog2(r.get(), s), -r->accuracy) << digits;
    }
}

TEST(BigFloatMpfr, PowersStayWithinTheirBound) {
    Gen gen(16);
    for (int i = 0; i < 100; ++i) {
        LocalFloat a, r;
        gen.Fill(a.get(), 64 + gen.Below(1000));
        int64_t n = gen.Below(41) - 20;
        BigFloat_PowerSmall(r.get(), a.get(), n);
        for (int side = -1; side <= 1; side += 2) {
            Mpfr x(64);
            Corner(x, a.get(), side);
            Mpfr t(64 * (r->top + 1) + 64 * 64);
            mpfr_pow_si(t, x, n, MPFR_RNDN);
            ASSERT_LE(ErrorLog2(r.get(), t), -r->accuracy) << "#" << i << " n " << n;
        }
    }
}
