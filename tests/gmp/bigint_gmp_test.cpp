// BigInt record operations against GMP's mpz functions on thousands of
// seeded random signed operands from 0 to 3,000 limbs, including the
// aliased forms in which the destination is an operand.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>

#include "gmp_support.h"
#include "number/bigint.h"

using gmptest::Big;
using gmptest::Gen;
using gmptest::Matches;
using gmptest::Mpz;
using gmptest::ToMpz;

TEST(BigIntGmp, AddSubCompare) {
    Gen gen(201);
    for (int i = 0; i < 3000; ++i) {
        Big a, b, r;
        gen.Fill(a);
        // Every fourth pair has operands of equal magnitude or length, where
        // subtraction cancels.
        if (i % 4 == 0) {
            BigInt_Copy(b, a);
            if (gen.Below(2)) b->sign = -b->sign;
            if (gen.Below(2) && b->kind != IntZero) b->limbs[0] ^= 1, BigInt_Normalize(b);
        } else {
            gen.Fill(b);
        }
        Mpz A, B, W;
        ToMpz(A, a);
        ToMpz(B, b);

        mpz_add(W, A, B);
        BigInt_Add(r, a, b);
        ASSERT_TRUE(Matches(r, W)) << "add #" << i;
        mpz_sub(W, A, B);
        BigInt_Sub(r, a, b);
        ASSERT_TRUE(Matches(r, W)) << "sub #" << i;

        int c = mpz_cmp(A, B);
        ASSERT_EQ(BigInt_Compare(a, b, true), (c > 0) - (c < 0)) << "#" << i;
        c = mpz_cmpabs(A, B);
        ASSERT_EQ(BigInt_Compare(a, b, false), (c > 0) - (c < 0)) << "#" << i;

        // In place: the destination is the first, then the second operand.
        mpz_sub(W, B, A);
        BigInt_Sub(b, b, a);
        ASSERT_TRUE(Matches(b, W)) << "b -= a #" << i;
        mpz_add(W, A, W);
        BigInt_Add(a, a, b);
        ASSERT_TRUE(Matches(a, W)) << "a += b #" << i;
        mpz_add(W, W, W);
        BigInt_Add(a, a, a);
        ASSERT_TRUE(Matches(a, W)) << "a += a #" << i;
    }
}

TEST(BigIntGmp, Multiply) {
    Gen gen(202);
    for (int i = 0; i < 2500; ++i) {
        Big a, b, r;
        gen.Fill(a);
        gen.Fill(b);
        if (i < 400) {
            // Walk every kernel size against short and long operands.
            gen.Fill(b, 1 + i % 19, gen.AnyShape());
            gen.Fill(a, b->top + 1 + gen.Below(i < 200 ? 3 : 1500), gen.AnyShape());
        }
        Mpz A, B, W;
        ToMpz(A, a);
        ToMpz(B, b);
        mpz_mul(W, A, B);
        BigInt_Mul(r, a, b);
        ASSERT_TRUE(Matches(r, W)) << "mul #" << i << " sizes " << a->top + 1 << "x" << b->top + 1;
        if (i % 5 == 0) {
            BigInt_Mul(b, a, b);
            ASSERT_TRUE(Matches(b, W)) << "b = a*b #" << i;
            mpz_mul(W, A, A);
            BigInt_Mul(a, a, a);
            ASSERT_TRUE(Matches(a, W)) << "a = a*a #" << i;
        }
    }
}

TEST(BigIntGmp, DivMod) {
    Gen gen(203);
    for (int i = 0; i < 2500; ++i) {
        Big a, b, q, r;
        gen.Fill(a);
        do {
            int64_t n = gen.Size();
            gmptest::Shape s = gen.AnyShape();
            if (i % 3 == 0) s = i % 2 ? gmptest::SHAPE_TOP_ONE : gmptest::SHAPE_TOP_MAX;
            gen.Fill(b, n, s);
        } while (b->kind == IntZero);
        if (i % 4 == 0 && a->top < b->top) std::swap(a.p, b.p);
        if (b->kind == IntZero) continue;
        Mpz A, B, Q, R;
        ToMpz(A, a);
        ToMpz(B, b);
        mpz_tdiv_qr(Q, R, A, B);

        BigInt_DivMod(q, a, b, r);
        ASSERT_TRUE(Matches(q, Q)) << "quot #" << i;
        ASSERT_TRUE(Matches(r, R)) << "rem #" << i;

        // Aliased forms, each resolved with scratch copies.
        switch (i % 4) {
        case 0:
            BigInt_DivMod(a, a, b, r);
            ASSERT_TRUE(Matches(a, Q)) << "a = a/b #" << i;
            ASSERT_TRUE(Matches(r, R)) << "#" << i;
            break;
        case 1:
            BigInt_DivMod(q, a, b, b);
            ASSERT_TRUE(Matches(q, Q)) << "#" << i;
            ASSERT_TRUE(Matches(b, R)) << "b = a%b #" << i;
            break;
        case 2:
            BigInt_DivMod(b, a, b, a);
            ASSERT_TRUE(Matches(b, Q)) << "b = a/b #" << i;
            ASSERT_TRUE(Matches(a, R)) << "a = a%b #" << i;
            break;
        default:
            BigInt_DivMod(q, a, b, nullptr);
            ASSERT_TRUE(Matches(q, Q)) << "no remainder #" << i;
            break;
        }
    }
}

TEST(BigIntGmp, Shift) {
    Gen gen(204);
    for (int i = 0; i < 2000; ++i) {
        Big a, r;
        gen.Fill(a);
        int64_t s = gen.Between(-70 * (a->top + 1), 3000);
        if (i % 5 == 0) s = 64 * gen.Between(-3, 5);  // whole limbs only
        Mpz A, W;
        ToMpz(A, a);
        if (s >= 0)
            mpz_mul_2exp(W, A, s);
        else
            mpz_tdiv_q_2exp(W, A, -s);  // truncates toward zero, as ours
        BigInt_Shift(r, a, s);
        ASSERT_TRUE(Matches(r, W)) << "#" << i << " s=" << s;
        BigInt_Shift(a, a, s);
        ASSERT_TRUE(Matches(a, W)) << "in place #" << i << " s=" << s;
    }
}

TEST(BigIntGmp, Gcd) {
    Gen gen(205);
    for (int i = 0; i < 1500; ++i) {
        Big a, b, f, r;
        gen.Fill(a, gen.Between(0, i < 1300 ? 40 : 600), gen.AnyShape());
        gen.Fill(b, i % 3 == 0 ? a->top + 1 : gen.Between(0, i < 1300 ? 40 : 600), gen.AnyShape());
        if (i % 2 == 0) {
            // A common factor, so that the gcd is not usually 1.
            gen.Fill(f, gen.Between(1, 8), gen.AnyShape());
            BigInt_Mul(a, a, f);
            BigInt_Mul(b, b, f);
        }
        Mpz A, B, W;
        ToMpz(A, a);
        ToMpz(B, b);
        mpz_gcd(W, A, B);
        BigInt_Gcd(r, a, b);
        ASSERT_TRUE(Matches(r, W)) << "#" << i;
        BigInt_Gcd(b, a, b);
        ASSERT_TRUE(Matches(b, W)) << "in place #" << i;
    }
}

// Consecutive Fibonacci numbers make every quotient 1, the longest run of
// quotients the leading bits can settle; multiples of them keep a large
// common factor to the end.
TEST(BigIntGmp, GcdOfFibonacciNumbers) {
    Mpz F0, F1, A, B, W;
    Big a, b, r;
    mpz_set_ui(F0, 0);
    mpz_set_ui(F1, 1);
    for (int k = 1; k <= 6000; ++k) {
        mpz_add(F0, F0, F1);
        mpz_swap(F0, F1);
        if (k % 250 != 0) continue;
        for (unsigned long m : {1UL, 3UL, 1000003UL}) {
            mpz_mul_ui(A, F1, m);
            mpz_mul_ui(B, F0, m);
            gmptest::FromMpz(a, A);
            gmptest::FromMpz(b, B);
            mpz_gcd(W, A, B);
            BigInt_Gcd(r, b, a);
            ASSERT_TRUE(Matches(r, W)) << "F" << k << " * " << m;
        }
    }
}

// Conversion truncates to 53 significant bits, which is what mpz_get_d
// does; from 2^1024 on the result is infinite.
TEST(BigIntGmp, ToDouble) {
    Gen gen(206);
    for (int i = 0; i < 3000; ++i) {
        Big a;
        gen.Fill(a, gen.Between(0, 17), gen.AnyShape());
        Mpz A;
        ToMpz(A, a);
        double got = BigInt_ToDouble(a);
        if (mpz_sizeinbase(A, 2) > 1024 && mpz_sgn(A.z) != 0) {
            ASSERT_TRUE(std::isinf(got)) << "#" << i;
            ASSERT_EQ(std::signbit(got), mpz_sgn(A.z) < 0);
        } else {
            ASSERT_EQ(got, mpz_get_d(A)) << "#" << i;
        }
    }
}

TEST(BigIntGmp, SmallConversionsRoundTrip) {
    Gen gen(207);
    const int64_t edges[] = {INT64_MIN, INT64_MAX, -1, 0};
    for (int i = 0; i < 2000; ++i) {
        int64_t v = i < 4 ? edges[i] : static_cast<int64_t>(gen.Word() >> gen.Below(64)) * gen.Sign();
        Big a;
        BigInt_SetSmall(a, v);
        Mpz W;
        mpz_set_si(W, v);
        ASSERT_TRUE(Matches(a, W)) << v;
        ASSERT_TRUE(BigInt_FitsSmall(a));
        ASSERT_EQ(BigInt_ToSmall(a), v);
    }
}
