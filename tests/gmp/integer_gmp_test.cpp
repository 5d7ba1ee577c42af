// The Integer fast paths against GMP: every pair from a list of values at
// the 64-bit boundaries, plus seeded random words and small big integers,
// checking the value and that the result is a machine word exactly when
// it fits one.
#include <gmp.h>
#include <gtest/gtest.h>

#include <vector>

#include "gmp_support.h"
#include "number/integer.h"

using gmptest::Gen;
using gmptest::Mpz;
using gmptest::ToMpz;

namespace {

// A new Integer object holding z, normalised.
Object *FromMpz(mpz_srcptr z) {
    if (mpz_fits_slong_p(z)) return Integer_FromSmall(mpz_get_si(z));
    gmptest::Big b;
    gmptest::FromMpz(b, z);
    return Integer_FromBigInt(b);
}

// Checks the result against want and the normal form, and releases it.
::testing::AssertionResult Check(Object *r, mpz_srcptr want) {
    Mpz got;
    ToMpz(got, r);
    bool fits = mpz_fits_slong_p(want) != 0;
    uint64_t subtype = Object_Subtype(r);
    Object_Release(r);
    if (mpz_cmp(got, want) != 0)
        return ::testing::AssertionFailure() << "got " << gmptest::Hex(got) << " want " << gmptest::Hex(want);
    if (subtype != (fits ? SUB_SMALL : SUB_BIG))
        return ::testing::AssertionFailure() << "subtype " << subtype << " for " << gmptest::Hex(want);
    return ::testing::AssertionSuccess();
}

std::vector<Object *> Operands() {
    std::vector<Object *> v;
    Mpz z;
    for (int64_t w : {int64_t(0), int64_t(1), int64_t(2), int64_t(3), INT64_MAX, INT64_MAX - 1, int64_t(1) << 31,
                      int64_t(1) << 32, (int64_t(1) << 32) - 1, int64_t(3037000499), int64_t(3037000500),
                      int64_t(1) << 62, int64_t(6700417), int64_t(641) * 6700417}) {
        v.push_back(Integer_FromSmall(w));
        v.push_back(Integer_FromSmall(w == INT64_MAX ? INT64_MIN : -w));
    }
    v.push_back(Integer_FromSmall(INT64_MIN + 1));
    // 2^63, 2^63 + 1, 2^64 - 1, 2^64, 2^64 + 1, 2^127 and their negatives.
    for (auto [bits, add] : {std::pair{63, 0}, {63, 1}, {64, -1}, {64, 0}, {64, 1}, {127, 0}}) {
        mpz_ui_pow_ui(z, 2, bits);
        if (add > 0) mpz_add_ui(z, z, add);
        if (add < 0) mpz_sub_ui(z, z, -add);
        v.push_back(FromMpz(z));
        mpz_neg(z, z);
        v.push_back(FromMpz(z));
    }
    return v;
}

}  // namespace

TEST(IntegerGmp, BoundaryPairs) {
    std::vector<Object *> values = Operands();
    Mpz X, Y, W;
    for (Object *x : values) {
        ToMpz(X, x);
        mpz_neg(W, X);
        ASSERT_TRUE(Check(Integer_Negate(Object_AddRef(x)), W)) << "-" << gmptest::Hex(X);
        for (Object *y : values) {
            ToMpz(Y, y);
            mpz_add(W, X, Y);
            ASSERT_TRUE(Check(Integer_Add(Object_AddRef(x), Object_AddRef(y)), W))
                << gmptest::Hex(X) << " + " << gmptest::Hex(Y);
            mpz_mul(W, X, Y);
            ASSERT_TRUE(Check(Integer_Multiply(Object_AddRef(x), Object_AddRef(y)), W))
                << gmptest::Hex(X) << " * " << gmptest::Hex(Y);
            mpz_gcd(W, X, Y);
            ASSERT_TRUE(Check(Integer_Gcd(Object_AddRef(x), Object_AddRef(y)), W))
                << "gcd " << gmptest::Hex(X) << ", " << gmptest::Hex(Y);
        }
    }
    for (Object *x : values) {
        EXPECT_EQ(x->refs, 1);
        Object_Release(x);
    }
}

// Random words of every width, and a few limbs against a word.
TEST(IntegerGmp, RandomOperands) {
    Gen gen(301);
    Mpz X, Y, W;
    for (int i = 0; i < 5000; ++i) {
        auto word = [&] { return static_cast<int64_t>(gen.Word() >> gen.Below(64)) * gen.Sign(); };
        Object *x = Integer_FromSmall(word());
        Object *y;
        if (i % 4 == 0) {
            gmptest::Big b;
            gen.Fill(b, gen.Between(1, 3), gen.AnyShape());
            y = Integer_FromBigInt(b);
        } else {
            y = Integer_FromSmall(word());
        }
        ToMpz(X, x);
        ToMpz(Y, y);
        mpz_add(W, X, Y);
        ASSERT_TRUE(Check(Integer_Add(Object_AddRef(x), Object_AddRef(y)), W)) << "#" << i;
        mpz_mul(W, X, Y);
        ASSERT_TRUE(Check(Integer_Multiply(Object_AddRef(y), Object_AddRef(x)), W)) << "#" << i;
        mpz_gcd(W, X, Y);
        ASSERT_TRUE(Check(Integer_Gcd(x, y), W)) << "#" << i;
    }
}
