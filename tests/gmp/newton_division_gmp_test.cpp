// Newton's reciprocal and the division built on it, against GMP: the
// reciprocal's two-sided bound at every recursion shape, and long division
// at and around the threshold, in unbalanced shapes and with the operands
// that push the block estimates to the ends of their error range.
#include <gmp.h>
#include <gtest/gtest.h>

#include <vector>

#include "gmp_support.h"
#include "number/limbs.h"
#include "number/newton_division.h"

using gmptest::CheckDivMod;
using gmptest::Gen;
using gmptest::GmpMul;
using gmptest::Mpz;
using gmptest::MulPlus;
using Vec = std::vector<Limb>;

namespace {

using gmptest::kGuard;

void Import(mpz_ptr z, const Vec &v) { mpz_import(z, v.size(), -1, sizeof(Limb), 0, 0, v.data()); }

// Checks d X < B^(2m) <= d (X + 2) for the reciprocal X of d (m limbs,
// normalised), with guards around x and the scratch sized exactly.
void CheckReciprocal(const Vec &d) {
    auto m = static_cast<int64_t>(d.size());
    Vec x(m + 3, kGuard), scratch(Newton_ReciprocalScratchLimbs(m) + 1, kGuard);
    Newton_Reciprocal(x.data() + 1, d.data(), m, scratch.data());
    ASSERT_EQ(x.front(), kGuard) << "m=" << m;
    ASSERT_EQ(x.back(), kGuard) << "m=" << m;
    ASSERT_EQ(scratch.back(), kGuard) << "scratch overrun m=" << m;
    ASSERT_EQ(x[m + 1], 1u) << "top limb m=" << m;
    Mpz X, D, P, Bp;
    Import(X, Vec(x.begin() + 1, x.end() - 1));
    Import(D, d);
    mpz_set_ui(Bp, 1);
    mpz_mul_2exp(Bp, Bp, 128 * m);
    mpz_mul(P, D, X);
    ASSERT_LT(mpz_cmp(P, Bp), 0) << "d X >= B^(2m), m=" << m;
    mpz_add(P, P, D);
    mpz_add(P, P, D);
    ASSERT_GE(mpz_cmp(P, Bp), 0) << "d (X + 2) < B^(2m), m=" << m;
}

// A normalised divisor of m limbs in one of the shapes that put the
// reciprocal at its extremes: B^m - 1 (reciprocal just above B^m), B^m / 2
// (just below 2 B^m), a power of two with a low all-ones run, and top
// halves of ones over random limbs.
Vec Divisor(Gen &gen, int64_t m, int kind) {
    Vec d;
    switch (kind) {
    case 0: d = Vec(m, ~Limb(0)); break;
    case 1:
        d = Vec(m, 0);
        d[m - 1] = Limb(1) << 63;
        break;
    case 2:
        d = Vec(m, 0);
        d[m - 1] = Limb(1) << 63;
        for (int64_t j = 0; j < m / 2; ++j) d[j] = ~Limb(0);
        break;
    case 3:
        d = gen.Limbs(m, gmptest::SHAPE_RANDOM);
        for (int64_t j = m / 2; j < m; ++j) d[j] = ~Limb(0);
        break;
    case 4:
        d = Vec(m, ~Limb(0));
        d[m - 1] = Limb(1) << 63;
        break;
    default: d = gen.Limbs(m, gen.AnyShape()); break;
    }
    d[m - 1] |= Limb(1) << 63;
    return d;
}

}  // namespace

// Every length up to a few recursion levels, then lengths around the
// schoolbook base and its doublings (where the split h = m - (m - 1)/2
// changes parity) and into the transform's sizes.
TEST(NewtonDivisionGmp, ReciprocalBound) {
    Gen gen(401);
    std::vector<int64_t> sizes;
    for (int64_t m = 1; m <= 4 * NEWTON_RECIPROCAL_BASE; ++m) sizes.push_back(m);
    for (int64_t base : {8 * NEWTON_RECIPROCAL_BASE, 16 * NEWTON_RECIPROCAL_BASE, int64_t(1000), int64_t(4096)})
        for (int64_t m = base - 2; m <= base + 2; ++m) sizes.push_back(m);
    sizes.push_back(NTT_THRESHOLD + 1);
    sizes.push_back(3 * NTT_THRESHOLD);
    for (int64_t m : sizes) {
        for (int kind = 0; kind < 6; ++kind) {
            if (m > 1000 && kind % 2 == 1) continue;
            CheckReciprocal(Divisor(gen, m, kind));
            if (HasFatalFailure()) return;
        }
    }
}

// Divisor and quotient lengths at, around and well past the threshold,
// one of them below it while the other is far above, and quotients many
// times the divisor (full blocks after an odd first one).
TEST(NewtonDivisionGmp, SizesAroundThreshold) {
    Gen gen(402);
    const int64_t T = DIV_NEWTON_THRESHOLD;
    std::vector<std::pair<int64_t, int64_t>> sizes;  // divisor limbs, quotient limbs
    for (int64_t B : {T - 1, T, T + 1})
        for (int64_t qn : {T - 1, T, T + 1, B - 1, B, B + 1, 2 * B, 3 * B + 7})
            sizes.push_back({B, qn});
    for (int64_t qn : {int64_t(1), T - 1, T, 2 * T + 2}) sizes.push_back({2 * T + 1, qn});
    sizes.push_back({4 * T, 1});
    sizes.push_back({4 * T, T / 2});
    sizes.push_back({T / 2, 6 * T});
    sizes.push_back({NTT_THRESHOLD + 5, NTT_THRESHOLD + 5});
    sizes.push_back({20000, 30000});
    for (int i = 0; i < 6; ++i) sizes.push_back({gen.Between(T, 3 * T), gen.Between(T, 4 * T)});
    gmptest::CheckDivModShapes(gen, sizes);
}

// Operands at the ends of the estimate's range: divisors B^n - 1, B^(n-1)
// (top limb 1, normalised by a 63-bit shift), B^n / 2 and top halves of
// ones; dividends q d - 1, q d, q d + d - 1 with quotients of all-ones
// limbs (every block at its largest), and all-ones dividends. Each output
// is also requested alone, and the dividend shifted by whole limbs.
TEST(NewtonDivisionGmp, Adversarial) {
    Gen gen(403);
    const int64_t T = DIV_NEWTON_THRESHOLD;
    for (int i = 0; i < 24; ++i) {
        int64_t B = gen.Between(T, 2 * T);
        int64_t qn = gen.Below(2) ? gen.Between(T, 2 * B) : gen.Between(T, B + 5);
        Vec b;
        switch (i % 6) {
        case 0: b = Vec(B, ~Limb(0)); break;
        case 1:
            b = Vec(B, 0);
            b[B - 1] = 1;
            break;
        case 2:
            b = Vec(B, 0);
            b[B - 1] = Limb(1) << 63;
            break;
        case 3:
            b = gen.Limbs(B, gmptest::SHAPE_RANDOM);
            for (int64_t j = B / 2; j < B; ++j) b[j] = ~Limb(0);
            break;
        case 4: b = gen.Limbs(B, gmptest::SHAPE_TOP_ONE); break;
        default: b = gen.Limbs(B, gen.AnyShape()); break;
        }
        gmptest::CheckAdversarialDivision(gen, b, qn);
        if (HasFatalFailure()) return;
    }
}

// Newton_Divide called directly at sizes far below the threshold, where
// blocks of one limb and reciprocals at the schoolbook base occur: every
// divisor shape, quotients from one limb to a few divisors, windows whose
// top limbs sit just below the divisor, and the scratch sized exactly.
TEST(NewtonDivisionGmp, DirectAtSmallSizes) {
    Gen gen(404);
    for (int64_t n : {int64_t(1), int64_t(2), int64_t(3), int64_t(5), NEWTON_RECIPROCAL_BASE - 1,
                      NEWTON_RECIPROCAL_BASE, NEWTON_RECIPROCAL_BASE + 1, int64_t(100), int64_t(300)}) {
        for (int64_t qn : {int64_t(1), int64_t(2), int64_t(3), n - 1, n, n + 1, 2 * n + 3, 5 * n}) {
            if (qn < 1) continue;
            for (int kind = 0; kind < 6; ++kind) {
                Vec d = Divisor(gen, n, kind);
                int64_t wn = n + qn;
                Vec w = gen.Limbs(wn, kind % 2 ? gmptest::SHAPE_ALL_ONES : gmptest::SHAPE_RANDOM);
                // The top n limbs just below d: d - 1 or d minus a random limb.
                Vec top = d;
                Limbs_SubLimb(top.data(), top.data(), gmptest::Bytes(top), kind < 3 ? 1 : (gen.Word() >> 1) | 1);
                std::copy(top.begin(), top.end(), w.begin() + qn);
                Vec gq(qn + 1), gr(n);  // GMP writes one quotient limb more, here zero
                mpn_tdiv_qr(reinterpret_cast<mp_ptr>(gq.data()), reinterpret_cast<mp_ptr>(gr.data()), 0,
                            reinterpret_cast<mp_srcptr>(w.data()), wn, reinterpret_cast<mp_srcptr>(d.data()), n);
                Vec q(qn + 1, kGuard), scratch(Newton_DivideScratchLimbs(wn, n) + 1, kGuard);
                Newton_Divide(q.data(), w.data(), wn, d.data(), n, scratch.data());
                ASSERT_EQ(q.back(), kGuard) << "n=" << n << " qn=" << qn;
                ASSERT_EQ(scratch.back(), kGuard) << "scratch overrun n=" << n << " qn=" << qn;
                gq.pop_back();
                ASSERT_EQ(Vec(q.begin(), q.end() - 1), gq) << "quotient n=" << n << " qn=" << qn << " kind=" << kind;
                ASSERT_EQ(Vec(w.begin(), w.begin() + n), gr) << "remainder n=" << n << " qn=" << qn;
                ASSERT_EQ(Vec(w.begin() + n, w.end()), Vec(qn, 0)) << "limbs above n=" << n << " qn=" << qn;
            }
        }
    }
}
