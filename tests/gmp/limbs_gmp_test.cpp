// Limb primitives against GMP's low-level functions: every product kernel
// size, both Karatsuba branches, long division with and without a shift,
// and the single-limb operations.
#include <gmp.h>
#include <gtest/gtest.h>

#include <vector>

#include "gmp_support.h"
#include "number/limbs.h"

using gmptest::Gen;
using gmptest::Shape;
using Vec = std::vector<Limb>;

namespace {

using gmptest::Bytes;
using gmptest::CheckDivMod;
using gmptest::GmpMul;
using gmptest::MulPlus;

Vec OurMul(const Vec &a, const Vec &b) {
    // Guard limbs around the product catch writes outside it.
    Vec r(a.size() + b.size() + 2, 0x5A5A5A5A5A5A5A5AULL);
    EXPECT_TRUE(Limbs_Mul(r.data() + 1, a.data(), Bytes(a), b.data(), Bytes(b), nullptr));
    EXPECT_EQ(r.front(), 0x5A5A5A5A5A5A5A5AULL);
    EXPECT_EQ(r.back(), 0x5A5A5A5A5A5A5A5AULL);
    return Vec(r.begin() + 1, r.end() - 1);
}

}  // namespace

// Each kernel size k = 1..19 against the long operand lengths that matter:
// k itself (a square of the triangles only), just above, and long passes.
TEST(LimbsGmp, EveryKernelSize) {
    Gen gen(101);
    for (int64_t k = 1; k < KARATSUBA_THRESHOLD; ++k) {
        for (int64_t n : {k, k + 1, k + 2, k + 7, 2 * k + 3, int64_t(64), int64_t(1000)}) {
            for (int s = 0; s < gmptest::SHAPE_COUNT; ++s) {
                Vec a = gen.Limbs(n, static_cast<Shape>(s)), b = gen.Limbs(k, gen.AnyShape());
                ASSERT_EQ(OurMul(a, b), GmpMul(a, b)) << "n=" << n << " k=" << k << " shape=" << s;
                // The operand order must not matter.
                ASSERT_EQ(OurMul(b, a), GmpMul(a, b)) << "swapped n=" << n << " k=" << k;
            }
        }
    }
}

// Products whose shorter operand has 20 limbs or more, split so that both
// the unsplit branch (k <= ceil(n/2)) and the balanced one are taken at the
// top, including the boundaries k = m and k = m + 1.
TEST(LimbsGmp, KaratsubaBranches) {
    Gen gen(102);
    std::vector<std::pair<int64_t, int64_t>> sizes = {
        {20, 20}, {21, 20}, {39, 20}, {40, 20}, {41, 20}, {41, 21}, {100, 20}, {100, 50},
        {100, 51}, {101, 51}, {101, 52}, {257, 129}, {256, 128}, {1000, 999}, {3000, 1500},
        {3000, 1501}, {2999, 2999}, {3000, 21},
    };
    for (int i = 0; i < 60; ++i) sizes.push_back({gen.Between(20, 3000), gen.Between(20, 3000)});
    for (auto [n, k] : sizes) {
        Vec a = gen.Limbs(n, gen.AnyShape()), b = gen.Limbs(k, gen.AnyShape());
        ASSERT_EQ(OurMul(a, b), GmpMul(a, b)) << "n=" << n << " k=" << k;
    }
    // Squares take the same path with both operands the same array, and
    // all-ones squares push every carry of the middle term through.
    for (int64_t n : {20, 33, 64, 127, 1000}) {
        Vec a = gen.Limbs(n, gmptest::SHAPE_ALL_ONES), r(2 * n);
        ASSERT_TRUE(Limbs_Mul(r.data(), a.data(), Bytes(a), a.data(), Bytes(a), nullptr));
        ASSERT_EQ(r, GmpMul(a, a)) << "square n=" << n;
        Vec c = gen.Limbs(n, gen.AnyShape());
        ASSERT_TRUE(Limbs_Mul(r.data(), c.data(), Bytes(c), c.data(), Bytes(c), nullptr));
        ASSERT_EQ(r, GmpMul(c, c)) << "square n=" << n;
    }
}

// A caller-provided scratch area of the advertised size is enough.
TEST(LimbsGmp, CallerScratch) {
    Gen gen(103);
    for (auto [n, k] : {std::pair<int64_t, int64_t>{20, 20}, {777, 400}, {2000, 60}}) {
        Vec a = gen.Limbs(n, gen.AnyShape()), b = gen.Limbs(k, gen.AnyShape()), r(n + k);
        int64_t bytes = Limbs_MulScratchBytes(Bytes(a), Bytes(b));
        ASSERT_GT(bytes, 0);
        Vec scratch(bytes / 8 + 1, 0xA5A5A5A5A5A5A5A5ULL);
        ASSERT_TRUE(Limbs_Mul(r.data(), a.data(), Bytes(a), b.data(), Bytes(b), scratch.data()));
        EXPECT_EQ(scratch.back(), 0xA5A5A5A5A5A5A5A5ULL) << "scratch overrun n=" << n;
        ASSERT_EQ(r, GmpMul(a, b)) << "n=" << n << " k=" << k;
    }
    EXPECT_EQ(Limbs_MulScratchBytes(19 * 8, 4000 * 8), 0);
}

// Long division against mpn_tdiv_qr, with divisors whose top limb is 1 or
// all ones and dividends of every shape, also shifted by whole limbs.
TEST(LimbsGmp, DivMod) {
    Gen gen(104);
    for (int i = 0; i < 1500; ++i) {
        int64_t B = i < 300 ? gen.Between(1, 4) : gen.Between(1, i < 1400 ? 60 : 1500);
        int64_t A = B + gen.Between(0, i < 1400 ? 60 : 1500);
        int64_t shift = gen.Below(4) == 0 ? gen.Between(1, 3) : 0;
        Shape bs = gen.Below(3) == 0 ? (gen.Below(2) ? gmptest::SHAPE_TOP_ONE : gmptest::SHAPE_TOP_MAX)
                                     : gen.AnyShape();
        Vec a = gen.Limbs(A, gen.AnyShape()), b = gen.Limbs(B, bs);
        if (A > B && gen.Below(5) == 0) {
            // One below an all-ones multiple of the divisor: every quotient
            // digit is at its extreme and the remainder is b - 1.
            Vec p = GmpMul(b, gen.Limbs(A - B, gmptest::SHAPE_ALL_ONES));
            Limbs_SubLimb(p.data(), p.data(), Bytes(p), 1);
            if (p.back() != 0) a = p;
        }

        int64_t qn = A + shift - B + 1;
        Vec q(qn + 1, 0x77), r(B + 1, 0x77);
        ASSERT_EQ(Limbs_DivMod(q.data(), a.data(), Bytes(a), b.data(), Bytes(b), r.data(), shift * 8), 1);
        EXPECT_EQ(q.back(), 0x77u);
        EXPECT_EQ(r.back(), 0x77u);

        Vec as(shift, 0);
        as.insert(as.end(), a.begin(), a.end());
        Vec gq(qn, 0), gr(B, 0);
        mpn_tdiv_qr(reinterpret_cast<mp_ptr>(gq.data()), reinterpret_cast<mp_ptr>(gr.data()), 0,
                    reinterpret_cast<mp_srcptr>(as.data()), as.size(), reinterpret_cast<mp_srcptr>(b.data()), B);
        ASSERT_EQ(Vec(q.begin(), q.end() - 1), gq) << "A=" << A << " B=" << B << " shift=" << shift;
        ASSERT_EQ(Vec(r.begin(), r.end() - 1), gr) << "A=" << A << " B=" << B << " shift=" << shift;
    }
}

// Divisors long enough for the divide-and-conquer path, around its
// thresholds and up to 3,000 limbs, with quotients from one limb to
// thousands: the odd first block, full blocks and every recursion depth.
TEST(LimbsGmp, DivModLargeSizes) {
    Gen gen(108);
    const int64_t T = DIV_DC_THRESHOLD;
    std::vector<std::pair<int64_t, int64_t>> sizes;  // divisor limbs, quotient limbs
    for (int64_t B : {T - 1, T, T + 1, 2 * T - 1, 2 * T, 2 * T + 1, int64_t(255), int64_t(256), int64_t(1001)})
        for (int64_t qn : {int64_t(1), int64_t(2), int64_t(19), int64_t(20), B - 1, B, B + 1, 2 * B + 3, 5 * B / 2})
            sizes.push_back({B, qn});
    sizes.push_back({3000, 3000});
    sizes.push_back({2999, 1});
    sizes.push_back({3000, 40});
    sizes.push_back({120, 4000});
    for (int i = 0; i < 40; ++i) sizes.push_back({gen.Between(T, 3000), gen.Between(1, 3000)});
    gmptest::CheckDivModShapes(gen, sizes);
}

// Operands that push the block estimates to their limits: divisors with top
// limb 1 or all ones, all-ones divisors, divisors whose high half is all
// ones; dividends just below a multiple of the divisor (every quotient limb
// at its extreme), exact multiples, and remainder b - 1. Both outputs are
// also requested alone, and the dividend shifted by whole limbs.
TEST(LimbsGmp, DivModLargeAdversarial) {
    Gen gen(109);
    for (int i = 0; i < 120; ++i) {
        int64_t B = gen.Below(3) == 0 ? gen.Between(DIV_DC_THRESHOLD, 3000) : gen.Between(DIV_DC_THRESHOLD, 400);
        int64_t qn = gen.Below(2) ? gen.Between(1, 2 * B + 5) : gen.Between(B / 2, 3 * B);
        Vec b;
        switch (gen.Below(5)) {
        case 0: b = gen.Limbs(B, gmptest::SHAPE_TOP_ONE); break;
        case 1: b = gen.Limbs(B, gmptest::SHAPE_TOP_MAX); break;
        case 2: b = gen.Limbs(B, gmptest::SHAPE_ALL_ONES); break;
        case 3:
            b = gen.Limbs(B, gmptest::SHAPE_RANDOM);
            for (int64_t j = B / 2; j < B; ++j) b[j] = ~Limb(0);
            break;
        default:
            // 2^(64B - 1) plus a low all-ones run: the normalised top half
            // is a power of two while the low half is as large as it gets.
            b = Vec(B, 0);
            b[B - 1] = Limb(1) << 63;
            for (int64_t j = 0; j < B / 2; ++j) b[j] = ~Limb(0);
            break;
        }
        gmptest::CheckAdversarialDivision(gen, b, qn);
        if (HasFatalFailure()) return;
    }
}

// Single-limb operations on long arrays, in place and out of place.
TEST(LimbsGmp, SingleLimbOperations) {
    Gen gen(105);
    for (int i = 0; i < 400; ++i) {
        int64_t n = gen.Between(1, 300);
        Vec a = gen.Limbs(n, gen.AnyShape()), b = gen.Limbs(n, gen.AnyShape());
        Limb m = gen.Below(4) == 0 ? ~Limb(0) : gen.Word() >> gen.Below(64);
        if (m == 0) m = 1;

        Vec ours(n), theirs(n);
        Limb c1 = Limbs_MulLimb(ours.data(), a.data(), n * 8, m);
        Limb c2 = mpn_mul_1(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n, m);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);

        ours = b, theirs = b;
        c1 = Limbs_SubMulLimb(ours.data(), a.data(), n * 8, m);
        c2 = mpn_submul_1(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n, m);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);

        ours = a;
        Limb r1 = Limbs_DivLimb(ours.data(), ours.data(), n * 8, m);
        Limb r2 = mpn_divrem_1(reinterpret_cast<mp_ptr>(theirs.data()), 0, reinterpret_cast<mp_srcptr>(a.data()), n, m);
        ASSERT_EQ(ours, theirs) << "m=" << m;
        ASSERT_EQ(r1, r2);

        ours = a;
        c1 = Limbs_Negate(ours.data(), ours.data(), n * 8);
        c2 = mpn_neg(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);

        int s = static_cast<int>(gen.Between(1, 63));
        c1 = Limbs_ShiftLeft(ours.data(), a.data(), n * 8, s);
        c2 = mpn_lshift(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n, s);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);
        ours = a;
        c1 = Limbs_ShiftRight(ours.data(), ours.data(), n * 8, s);
        c2 = mpn_rshift(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n, s);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);
    }
}

// Additions and subtractions of unequal lengths, with the carry and borrow
// running through the longer operand's upper limbs.
TEST(LimbsGmp, AddSubUnequalLengths) {
    Gen gen(106);
    for (int i = 0; i < 1000; ++i) {
        int64_t n = gen.Between(1, 70), k = gen.Between(1, n);
        Vec a = gen.Limbs(n, gen.AnyShape()), b = gen.Limbs(k, gen.AnyShape());
        Vec ours(n), theirs(n);
        Limb c1 = Limbs_Add(ours.data(), a.data(), n * 8, b.data(), k * 8);
        Limb c2 = mpn_add(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n,
                          reinterpret_cast<mp_srcptr>(b.data()), k);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);
        ours = a;
        c1 = Limbs_Sub(ours.data(), ours.data(), n * 8, b.data(), k * 8);
        c2 = mpn_sub(reinterpret_cast<mp_ptr>(theirs.data()), reinterpret_cast<mp_srcptr>(a.data()), n,
                     reinterpret_cast<mp_srcptr>(b.data()), k);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(c1, c2);
        int want = mpn_cmp(reinterpret_cast<mp_srcptr>(a.data()), reinterpret_cast<mp_srcptr>(b.data()), k);
        Vec a2(a.begin(), a.begin() + k);
        ASSERT_EQ(Limbs_Compare(a2.data(), k * 8, b.data(), k * 8), (want > 0) - (want < 0));
    }
}

// The bit length of |x - y*2^(64e)| in the lower unit, for both signs of e.
TEST(LimbsGmp, DifferenceBits) {
    Gen gen(107);
    for (int i = 0; i < 1000; ++i) {
        int64_t xn = gen.Between(1, 12), yn = gen.Between(1, 12), e = gen.Between(-4, 4);
        Vec x = gen.Limbs(xn, gen.AnyShape()), y = gen.Limbs(yn, gen.AnyShape());
        if (gen.Below(4) == 0) {
            // Nearly equal terms: the difference collapses across limbs.
            int64_t d = e >= 0 ? e : -e;
            Vec &low = e >= 0 ? x : y, &high = e >= 0 ? y : x;
            low.assign(d, 0);
            low.insert(low.end(), high.begin(), high.end());
            low[gen.Below(static_cast<int64_t>(low.size()))] ^= Limb(1) << gen.Below(64);
        }
        gmptest::Mpz X, Y, D;
        mpz_import(X, x.size(), -1, 8, 0, 0, x.data());
        mpz_import(Y, y.size(), -1, 8, 0, 0, y.data());
        if (e >= 0)
            mpz_mul_2exp(Y, Y, 64 * e);
        else
            mpz_mul_2exp(X, X, 64 * -e);
        mpz_sub(D, X, Y);
        int64_t want = mpz_sgn(D.z) == 0 ? 0 : static_cast<int64_t>(mpz_sizeinbase(D, 2)) * mpz_sgn(D.z);
        ASSERT_EQ(Limbs_DifferenceBits(x.data(), Bytes(x), y.data(), Bytes(y), e), want)
            << "xn=" << x.size() << " yn=" << y.size() << " e=" << e;
    }
}
