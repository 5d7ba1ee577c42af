// Integer powers and roots against GMP: BigInt_Power against mpz_pow_ui,
// BigInt_Root and BigInt_RootWord against mpz_rootrem and mpz_root, and the
// Integer layer (its machine-word powering, its roots and its truncating
// division) on values around the 64-bit boundary. Also the overflow rule:
// a power past the limb limit is settled before any work is done.
#include <gmp.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "gmp_support.h"
#include "kernel/state.h"
#include "number/integer.h"

using gmptest::Big;
using gmptest::Gen;
using gmptest::Matches;
using gmptest::Mpz;
using gmptest::ToMpz;

namespace {

Object *IntegerFromMpz(mpz_srcptr z) {
    if (mpz_fits_slong_p(z)) return Integer_FromSmall(mpz_get_si(z));
    Big b;
    gmptest::FromMpz(b, z);
    return Integer_FromBigInt(b);
}

// Checks an Integer result's value and normal form (a machine word exactly
// when the value fits one) and releases it.
::testing::AssertionResult IntegerIs(Object *r, mpz_srcptr want) {
    if (!Object_IsInteger(r)) {
        Object_Release(r);
        return ::testing::AssertionFailure() << "not an Integer, want " << gmptest::Hex(want);
    }
    Mpz got;
    ToMpz(got, r);
    uint64_t subtype = Object_Subtype(r);
    Object_Release(r);
    if (mpz_cmp(got, want) != 0)
        return ::testing::AssertionFailure() << "got " << gmptest::Hex(got) << " want " << gmptest::Hex(want);
    if (subtype != (mpz_fits_slong_p(want) ? SUB_SMALL : SUB_BIG))
        return ::testing::AssertionFailure() << "subtype " << subtype << " for " << gmptest::Hex(want);
    return ::testing::AssertionSuccess();
}

// Lowers the limb limit for one test.
struct LimbLimit {
    int64_t saved = kernel.numbers.limbLimit;
    explicit LimbLimit(int64_t limit) { kernel.numbers.limbLimit = limit; }
    ~LimbLimit() { kernel.numbers.limbLimit = saved; }
};

}  // namespace

TEST(PowerGmp, PowersOfEveryShape) {
    Gen gen(301);
    for (int i = 0; i < 600; ++i) {
        Big a, r;
        gen.Fill(a, gen.Between(0, i % 10 == 0 ? 40 : 4), gen.AnyShape());
        uint64_t n = static_cast<uint64_t>(gen.Below(a->top > 8 ? 12 : 130));
        Mpz A, W;
        ToMpz(A, a);
        mpz_pow_ui(W, A, n);
        BigInt_Power(r, a, n);
        ASSERT_TRUE(Matches(r, W)) << "#" << i << " n=" << n << " a=" << gmptest::Hex(A);
        // In place.
        BigInt_Power(a, a, n);
        ASSERT_TRUE(Matches(a, W)) << "a = a^n #" << i;
    }
}

TEST(PowerGmp, SmallBasesAndPowersOfTwo) {
    Mpz W;
    for (int64_t base : std::vector<int64_t>{-3, -2, 2, 3, 4, 7, 10, 1024, -4096, 3037000499, INT64_MIN, INT64_MAX}) {
        for (uint64_t n : {0, 1, 2, 5, 31, 32, 63, 64, 65, 127, 1000, 4097}) {
            Big a, r;
            BigInt_SetSmall(a, base);
            mpz_set_si(W, base);
            mpz_pow_ui(W, W, n);
            BigInt_Power(r, a, n);
            ASSERT_TRUE(Matches(r, W)) << base << "^" << n;
        }
    }
}

// Overflow is decided from the sizes before powering; a power that fits
// exactly at the limit is still computed.
TEST(PowerGmp, LimbLimit) {
    Big two, three, minusTwo, r;
    BigInt_SetSmall(two, 2);
    BigInt_SetSmall(three, 3);
    BigInt_SetSmall(minusTwo, -2);

    auto start = std::chrono::steady_clock::now();
    BigInt_Power(r, three, uint64_t(1) << 62);
    EXPECT_EQ(r->kind, IntInfinite);
    EXPECT_EQ(r->sign, 1);
    BigInt_Power(r, minusTwo, (uint64_t(1) << 40) + 1);
    EXPECT_EQ(r->kind, IntInfinite);
    EXPECT_EQ(r->sign, -1);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);

    LimbLimit limit(10);
    Mpz W;
    BigInt_Power(r, two, 639);
    mpz_ui_pow_ui(W, 2, 639);
    EXPECT_TRUE(Matches(r, W));
    BigInt_Power(r, two, 640);
    EXPECT_EQ(r->kind, IntInfinite);
    // 3^403 has 639 bits; 3^404 needs 641: overflow found while powering.
    BigInt_Power(r, three, 403);
    mpz_ui_pow_ui(W, 3, 403);
    EXPECT_TRUE(Matches(r, W));
    BigInt_Power(r, three, 404);
    EXPECT_EQ(r->kind, IntInfinite);

    Big inf;
    BigInt_SetInfinite(inf, -1);
    BigInt_Power(r, inf, 3);
    EXPECT_EQ(r->kind, IntInfinite);
    EXPECT_EQ(r->sign, -1);
    BigInt_Power(r, inf, 0);
    EXPECT_EQ(r->kind, IntIndeterminate);
}

TEST(PowerGmp, Roots) {
    Gen gen(302);
    Mpz A, R, M, X;
    for (int i = 0; i < 800; ++i) {
        Big a, root, rem;
        gen.Fill(a, gen.Between(1, i % 8 == 0 ? 60 : 6), gen.AnyShape());
        uint64_t k;
        switch (i % 5) {
        case 0: k = 2; break;
        case 1: k = 3; break;
        case 2: k = static_cast<uint64_t>(gen.Between(4, 20)); break;
        case 3: k = static_cast<uint64_t>(gen.Between(21, 200)); break;
        default: k = static_cast<uint64_t>(gen.Between(1, 9)) * 2 + 1; break;
        }
        if (a->sign < 0 && k % 2 == 0) BigInt_Negate(a);
        // Every other case is a perfect power or one off from it, where a
        // Newton step that stops one too early or too late shows.
        if (i % 2 == 0) {
            ToMpz(X, a);
            mpz_root(X, X, k);
            if (mpz_sgn(X.z) == 0) mpz_set_ui(X, 1);
            mpz_pow_ui(X, X, k);
            if (i % 6 == 2) mpz_sub_ui(X, X, 1);
            if (i % 6 == 4) mpz_add_ui(X, X, 1);
            gmptest::FromMpz(a, X);
        }
        ToMpz(A, a);
        mpz_rootrem(R, M, A, k);
        BigInt_Root(root, rem, a, k);
        ASSERT_TRUE(Matches(root, R)) << "#" << i << " k=" << k << " a=" << gmptest::Hex(A);
        ASSERT_TRUE(Matches(rem, M)) << "rem #" << i << " k=" << k;
        // Into the operand, without a remainder.
        BigInt_Root(a, nullptr, a, k);
        ASSERT_TRUE(Matches(a, R)) << "a = root #" << i;
    }

    Big a, root, rem;
    BigInt_SetSmall(a, -8);
    BigInt_Root(root, rem, a, 2);
    EXPECT_EQ(root->kind, IntIndeterminate);
    EXPECT_EQ(rem->kind, IntIndeterminate);
    BigInt_Root(root, rem, a, 0);
    EXPECT_EQ(root->kind, IntIndeterminate);
}

TEST(PowerGmp, WordRoots) {
    Gen gen(303);
    std::vector<Limb> values = {0, 1, 2, 3, 4, 8, 9, ~Limb(0), ~Limb(0) - 1, Limb(1) << 63, (Limb(1) << 32) * (Limb(1) << 32 >> 1)};
    // Squares and cubes of the largest roots, and their neighbours.
    for (Limb r : {Limb(4294967295), Limb(2642245), Limb(3037000499)})
        for (uint64_t k : {2, 3}) {
            Limb p = 1;
            bool fits = true;
            for (uint64_t j = 0; j < k; ++j) fits = fits && !__builtin_mul_overflow(p, r, &p);
            if (!fits) continue;
            values.insert(values.end(), {p - 1, p, p + 1});
        }
    for (int i = 0; i < 300; ++i) values.push_back(gen.Word() >> gen.Below(64));
    Mpz A, R;
    for (Limb v : values)
        for (uint64_t k = 1; k <= 70; ++k) {
            mpz_set_ui(A, v);
            mpz_root(R, A, k);
            ASSERT_EQ(BigInt_RootWord(v, k), mpz_get_ui(R)) << v << " k=" << k;
        }
}

// The Integer layer: word powering up to 63 bits, the switch to BigInt
// beyond, roots of both subtypes, and truncating division of mixed pairs.
TEST(PowerGmp, IntegerLayer) {
    Mpz W, X, Y, Q, R;
    for (int64_t base : std::vector<int64_t>{-3, -2, 2, 3, 5, 255, 65535, 3037000499, 3037000500, INT64_MIN + 1, INT64_MAX})
        for (int64_t n : {0, 1, 2, 3, 27, 39, 40, 62, 63, 64, 100}) {
            mpz_set_si(W, base);
            mpz_pow_ui(W, W, static_cast<unsigned long>(n));
            ASSERT_TRUE(IntegerIs(Integer_Power(Integer_FromSmall(base), Integer_FromSmall(n)), W)) << base << "^" << n;
        }
    // Exponents beyond a word leave only the bases 0, 1 and -1.
    mpz_ui_pow_ui(X, 2, 70);
    mpz_add_ui(X, X, 1);
    for (int64_t base : {-1, 0, 1}) {
        mpz_set_si(W, base == 0 ? 0 : base);
        ASSERT_TRUE(IntegerIs(Integer_Power(Integer_FromSmall(base), IntegerFromMpz(X)), W)) << base;
    }

    Gen gen(304);
    for (int i = 0; i < 300; ++i) {
        Big a;
        gen.Fill(a, gen.Between(0, 3), gen.AnyShape());
        ToMpz(X, a);
        if (i % 3 == 0) mpz_abs(X, X);
        uint64_t k = static_cast<uint64_t>(gen.Between(1, 4)) * 2 - (mpz_sgn(X.z) < 0 ? 1 : i % 2);
        mpz_rootrem(Q, R, X, k);
        Object *rem = nullptr;
        ASSERT_TRUE(IntegerIs(Integer_Root(IntegerFromMpz(X), k, &rem), Q)) << gmptest::Hex(X) << " k=" << k;
        ASSERT_TRUE(IntegerIs(rem, R)) << "remainder";

        Big b;
        do gen.Fill(b, gen.Between(1, 3), gen.AnyShape());
        while (b->kind == IntZero);
        ToMpz(Y, b);
        mpz_tdiv_qr(Q, R, X, Y);
        rem = nullptr;
        ASSERT_TRUE(IntegerIs(Integer_DivMod(IntegerFromMpz(X), IntegerFromMpz(Y), &rem), Q)) << "divide #" << i;
        ASSERT_TRUE(IntegerIs(rem, R)) << "division remainder #" << i;
    }
    mpz_set_si(X, INT64_MIN);
    mpz_tdiv_q_ui(Q, X, 1);
    mpz_neg(Q, Q);
    ASSERT_TRUE(IntegerIs(Integer_DivMod(Integer_FromSmall(INT64_MIN), Integer_FromSmall(-1), nullptr), Q));
}
