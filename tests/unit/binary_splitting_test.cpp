// Binary splitting against sums built term by term from their definitions,
// over ranges of every length around the switch between the direct loop
// and the recursion, so that both paths and their joins are compared
// exactly.
#include <cstdint>

#include "kernel_fixture.h"
#include "number/binary_splitting.h"
#include "number/bigint.h"

namespace {

using BinarySplittingTest = KernelTest;

// term k of the sum is a(k) prod_(j=first)^(k) p(j)/q(j) with
// p(j) = -(2j+1) (two words: 1 and 2j+1), q(j) = 3 j^2 + 5 (one word) and
// a(k) = 7 - 2k: signs, several words and a changing a(k) at once.
class TestSeries final : public FactorSeries {
public:
    void Factors(int64_t k, SeriesFactors *f) const override {
        Limb j = static_cast<Limb>(k);
        f->p[0] = 1;
        f->p[1] = 2 * j + 1;
        f->pCount = 2;
        f->pNegative = true;
        f->q[0] = 3 * j * j + 5;
        f->qCount = 1;
        f->a = 7 - 2 * k;
    }
};

void Small(BigInt *dst, int64_t v) { BigInt_SetSmall(dst, v); }

// dst = a*b + c. Writes dst (not an operand).
void MulAdd(BigInt *dst, const BigInt *a, const BigInt *b, const BigInt *c) {
    BigInt_Mul(dst, a, b);
    BigInt_Add(dst, dst, c);
}

TEST_F(BinarySplittingTest, SeriesMatchesItsDefinition) {
    for (int64_t first : {1, 5, 1000}) {
        for (int64_t length = 1; length <= 40; ++length) {
            int64_t last = first + length;
            // P and Q as products; T = sum_k a(k) (prod_(j<=k) p(j)) (prod_(j>k) q(j)).
            LocalInt p, q, t, prefix, suffix, term, factor, next;
            Small(p.get(), 1);
            Small(q.get(), 1);
            BigInt_SetZero(t.get());
            for (int64_t k = first; k < last; ++k) {
                Small(factor.get(), -(2 * k + 1));
                BigInt_Mul(next.get(), p.get(), factor.get());
                BigInt_Copy(p.get(), next.get());
                Small(factor.get(), 3 * k * k + 5);
                BigInt_Mul(next.get(), q.get(), factor.get());
                BigInt_Copy(q.get(), next.get());
            }
            Small(prefix.get(), 1);
            for (int64_t k = first; k < last; ++k) {
                Small(factor.get(), -(2 * k + 1));
                BigInt_Mul(next.get(), prefix.get(), factor.get());
                BigInt_Copy(prefix.get(), next.get());
                Small(suffix.get(), 1);
                for (int64_t j = k + 1; j < last; ++j) {
                    Small(factor.get(), 3 * j * j + 5);
                    BigInt_Mul(next.get(), suffix.get(), factor.get());
                    BigInt_Copy(suffix.get(), next.get());
                }
                BigInt_Mul(term.get(), prefix.get(), suffix.get());
                Small(factor.get(), 7 - 2 * k);
                MulAdd(next.get(), term.get(), factor.get(), t.get());
                BigInt_Copy(t.get(), next.get());
            }
            LocalInt sp, sq, st;
            BinarySplit_Series(TestSeries(), first, last, true, sp.get(), sq.get(), st.get());
            EXPECT_EQ(BigInt_Compare(sp.get(), p.get(), true), 0) << first << ", " << length;
            EXPECT_EQ(BigInt_Compare(sq.get(), q.get(), true), 0) << first << ", " << length;
            EXPECT_EQ(BigInt_Compare(st.get(), t.get(), true), 0) << first << ", " << length;
            // Without P, the same Q and T.
            LocalInt nq, nt;
            BinarySplit_Series(TestSeries(), first, last, false, nullptr, nq.get(), nt.get());
            EXPECT_EQ(BigInt_Compare(nq.get(), q.get(), true), 0) << first << ", " << length;
            EXPECT_EQ(BigInt_Compare(nt.get(), t.get(), true), 0) << first << ", " << length;
        }
    }
}

// With F = K!, (K!)^2 sum b_k = sum_k (n^k F/k!)^2 and
// (K!)^3 sum b_k H_k = sum_k (n^k F/k!)^2 (sum_(j<=k) F/j), both integers.
TEST_F(BinarySplittingTest, BesselSumsMatchTheirDefinition) {
    for (uint64_t n : {1u, 3u, 40u}) {
        for (int64_t terms = 1; terms <= 40; ++terms) {
            LocalInt f, b, u, ratio, power, harmonic, square, tmp, next, word;
            Small(f.get(), 1);
            for (int64_t k = 2; k <= terms; ++k) {
                Small(word.get(), k);
                BigInt_Mul(next.get(), f.get(), word.get());
                BigInt_Copy(f.get(), next.get());
            }
            BigInt_SetZero(b.get());
            BigInt_SetZero(u.get());
            BigInt_SetZero(harmonic.get());
            Small(power.get(), 1);  // n^k
            BigInt_Copy(ratio.get(), f.get());  // F/k!
            for (int64_t k = 0; k <= terms; ++k) {
                if (k > 0) {
                    Small(word.get(), static_cast<int64_t>(n));
                    BigInt_Mul(next.get(), power.get(), word.get());
                    BigInt_Copy(power.get(), next.get());
                    Small(word.get(), k);
                    BigInt_DivMod(next.get(), ratio.get(), word.get(), nullptr);
                    BigInt_Copy(ratio.get(), next.get());
                    BigInt_DivMod(next.get(), f.get(), word.get(), nullptr);
                    BigInt_Add(harmonic.get(), harmonic.get(), next.get());
                }
                BigInt_Mul(tmp.get(), power.get(), ratio.get());
                BigInt_Mul(square.get(), tmp.get(), tmp.get());
                BigInt_Add(b.get(), b.get(), square.get());
                MulAdd(next.get(), square.get(), harmonic.get(), u.get());
                BigInt_Copy(u.get(), next.get());
            }
            LocalInt q, t, d, v, f2;
            BinarySplit_BesselSums(n, terms, q.get(), t.get(), d.get(), v.get());
            BigInt_Mul(f2.get(), f.get(), f.get());
            EXPECT_EQ(BigInt_Compare(d.get(), f.get(), true), 0) << n << ", " << terms;
            EXPECT_EQ(BigInt_Compare(q.get(), f2.get(), true), 0) << n << ", " << terms;
            BigInt_Add(t.get(), t.get(), q.get());
            EXPECT_EQ(BigInt_Compare(t.get(), b.get(), true), 0) << n << ", " << terms;
            EXPECT_EQ(BigInt_Compare(v.get(), u.get(), true), 0) << n << ", " << terms;
        }
    }
}

}  // namespace
