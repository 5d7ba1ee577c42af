// The limb square root against mpn_sqrtrem: every size up to a few hundred
// limbs, the sizes around each threshold the recursion crosses (the
// division's divide-and-conquer path for the top half's root, the squaring
// kernels, Karatsuba, Toom-3 and the transform for the low quotient's
// square), and operands built to sit at the edges of the corrections:
// squares and their neighbours, all-ones limbs, powers of two and four.
// BigInt_Root with k = 2 takes the same path and is checked against
// mpz_sqrtrem on records, aliasing included.
#include <gmp.h>
#include <gtest/gtest.h>

#include <vector>

#include "gmp_support.h"
#include "number/bigint.h"
#include "number/limbs.h"

namespace {

using gmptest::Bytes;
using gmptest::Gen;
using gmptest::GmpMul;
using gmptest::Mpz;
using Vec = std::vector<Limb>;

constexpr Limb GUARD = 0x5A5A5A5A5A5A5A5AULL;

// Checks Limbs_SqrtRem of a (top limb non-zero) against mpn_sqrtrem, with
// guard limbs around both outputs, once with the remainder and once
// without (where the last square is mostly skipped).
void CheckSqrtRem(const Vec &a) {
    auto n = static_cast<int64_t>(a.size()), rn = (n + 1) / 2;
    Vec gs(rn), gr(n);
    mp_size_t grn = mpn_sqrtrem(reinterpret_cast<mp_ptr>(gs.data()), reinterpret_cast<mp_ptr>(gr.data()),
                                reinterpret_cast<mp_srcptr>(a.data()), n);
    for (int64_t j = grn; j < n; ++j) gr[j] = 0;

    Vec s(rn + 2, GUARD), r(n + 2, GUARD);
    int64_t len = Limbs_SqrtRem(s.data() + 1, r.data() + 1, a.data(), Bytes(a));
    ASSERT_EQ(len, grn * 8) << "n=" << n;
    ASSERT_EQ(s.front(), GUARD) << "n=" << n;
    ASSERT_EQ(s.back(), GUARD) << "n=" << n;
    ASSERT_EQ(r.front(), GUARD) << "n=" << n;
    ASSERT_EQ(r.back(), GUARD) << "n=" << n;
    ASSERT_EQ(Vec(s.begin() + 1, s.end() - 1), gs) << "root n=" << n;
    ASSERT_EQ(Vec(r.begin() + 1, r.end() - 1), gr) << "remainder n=" << n;

    // Without the remainder only its being zero is told.
    Vec s2(rn, 0);
    int64_t nonzero = Limbs_SqrtRem(s2.data(), nullptr, a.data(), Bytes(a));
    ASSERT_EQ(nonzero > 0, grn > 0) << "n=" << n;
    ASSERT_EQ(s2, gs) << "root without remainder n=" << n;
}

// x^2 + e for e in {-1, 0, 1}, without zero limbs on top.
Vec SquarePlus(const Vec &x, int e) {
    Vec p = GmpMul(x, x);
    if (e < 0) Limbs_SubLimb(p.data(), p.data(), Bytes(p), 1);
    if (e > 0) Limbs_AddLimb(p.data(), p.data(), Bytes(p), 1);
    while (p.size() > 1 && p.back() == 0) p.pop_back();
    return p;
}

// The operand sizes around each threshold: a root of n limbs splits into
// h = n - n/2 above and n/2 below; the division works on h limbs and the
// square on n/2, so a threshold T on either is crossed by roots of 2T - 1
// to 2T + 1 limbs, operands of twice that give or take one.
std::vector<int64_t> ThresholdSizes() {
    std::vector<int64_t> sizes;
    for (int64_t t : {DIV_DC_THRESHOLD, SQR_KARATSUBA_THRESHOLD, TOOM3_THRESHOLD})
        for (int64_t root = 2 * t - 2; root <= 2 * t + 2; ++root)
            for (int64_t n = 2 * root - 1; n <= 2 * root; ++n) sizes.push_back(n);
    return sizes;
}

}  // namespace

// Every operand size from 1 to 300 limbs in every shape of the generator,
// which covers top limb 1, top limb all ones, odd and even limb counts and
// every normalisation shift.
TEST(SqrtGmp, EverySize) {
    Gen gen(301);
    for (int64_t n = 1; n <= 300; ++n) {
        for (int i = 0; i < 3; ++i) {
            CheckSqrtRem(gen.Limbs(n, gen.AnyShape()));
            if (HasFatalFailure()) return;
        }
    }
}

// The sizes where the recursion changes path, with random operands and
// with squares and their neighbours, whose corrections are extreme.
TEST(SqrtGmp, AroundThresholds) {
    Gen gen(302);
    for (int64_t n : ThresholdSizes()) {
        CheckSqrtRem(gen.Limbs(n, gmptest::SHAPE_RANDOM));
        CheckSqrtRem(gen.Limbs(n, gmptest::SHAPE_ALL_ONES));
        CheckSqrtRem(gen.Limbs(n, gmptest::SHAPE_TOP_ONE));
        Vec x = gen.Limbs((n + 1) / 2, gen.AnyShape());
        for (int e = -1; e <= 1; ++e) CheckSqrtRem(SquarePlus(x, e));
        if (HasFatalFailure()) return;
    }
}

// Operands that put every level's quotient or remainder at its limit:
// all-ones limbs (the root is all ones and the top half's remainder is
// twice its root), powers of two and of four, (2^k - 1)^2 and its
// neighbours, squares of all-ones and of powers of two plus or minus one.
TEST(SqrtGmp, Adversarial) {
    Gen gen(303);
    std::vector<int64_t> sizes = {1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 31, 32, 33, 63, 64, 65, 119, 120, 121, 240, 241, 1000, 1001};
    for (int64_t n : sizes) {
        CheckSqrtRem(Vec(n, ~Limb(0)));
        for (int b : {0, 1, 2, 62, 63}) {
            Vec p(n, 0);
            p[n - 1] = Limb(1) << b;
            CheckSqrtRem(p);
            Vec m = p;
            Limbs_SubLimb(m.data(), m.data(), Bytes(m), 1);
            while (m.size() > 1 && m.back() == 0) m.pop_back();
            if (m.back() != 0) CheckSqrtRem(m);
        }
        int64_t half = (n + 1) / 2;
        Vec ones(half, ~Limb(0));
        Vec ones2 = ones;
        ones2.back() >>= gen.Below(64);
        Vec pow2(half, 0);
        pow2.back() = Limb(1) << gen.Below(64);
        Vec pow2p = pow2;
        Limbs_AddLimb(pow2p.data(), pow2p.data(), Bytes(pow2p), 1);
        for (const Vec *x : {&ones, &ones2, &pow2, &pow2p})
            for (int e = -1; e <= 1; ++e) CheckSqrtRem(SquarePlus(*x, e));
        // The top half all ones above a random low half.
        Vec t = gen.Limbs(n, gmptest::SHAPE_RANDOM);
        for (int64_t j = n / 2; j < n; ++j) t[j] = ~Limb(0);
        CheckSqrtRem(t);
        if (HasFatalFailure()) return;
    }
}

// Large operands, up to the transform's sizes for the low quotient's
// square, random and squares.
TEST(SqrtGmp, LargeSizes) {
    Gen gen(304);
    std::vector<int64_t> sizes = {3001, 4096, 9999};
    for (int64_t root = 2 * NTT_THRESHOLD - 1; root <= 2 * NTT_THRESHOLD + 1; ++root) sizes.push_back(2 * root);
    for (int64_t n : sizes) {
        CheckSqrtRem(gen.Limbs(n, gmptest::SHAPE_RANDOM));
        Vec x = gen.Limbs(n / 2, gmptest::SHAPE_RANDOM);
        CheckSqrtRem(SquarePlus(x, -1));
        CheckSqrtRem(SquarePlus(x, 0));
        if (HasFatalFailure()) return;
    }
}

// BigInt_Root with k = 2: records of every size class, perfect squares,
// the remainder left out, and the root written over the operand.
TEST(SqrtGmp, BigIntSquareRoots) {
    Gen gen(305);
    for (int i = 0; i < 400; ++i) {
        gmptest::Big a, root, rem;
        int64_t n = gen.Size();
        gen.Fill(a, n == 0 ? 1 : n, gen.AnyShape());
        a->sign = a->kind == IntZero ? 0 : 1;
        if (i % 4 == 0) BigInt_Mul(a, a, a);
        Mpz A, R, M;
        gmptest::ToMpz(A, a);
        mpz_sqrtrem(R, M, A);
        BigInt_Root(root, rem, a, 2);
        ASSERT_TRUE(gmptest::Matches(root, R)) << "#" << i;
        ASSERT_TRUE(gmptest::Matches(rem, M)) << "#" << i;
        BigInt_Root(a, nullptr, a, 2);
        ASSERT_TRUE(gmptest::Matches(a, R)) << "#" << i;
    }
}
