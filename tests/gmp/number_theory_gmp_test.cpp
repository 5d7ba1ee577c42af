// The number theory functions against GMP: primality on every integer below
// 10^6, on random words, on the strong pseudoprimes to the first prime
// bases and on random big integers and big primes; factorials, binomials
// and Fibonacci numbers exactly up to n = 10^4; modular powers on random
// operands of every size class, odd and even moduli and aliased records.
#include <gmp.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gmp_support.h"
#include "kernel/state.h"
#include "number/bigint.h"
#include "number/number_theory.h"
#include "vorlan.h"

using gmptest::Big;
using gmptest::Gen;
using gmptest::Matches;
using gmptest::Mpz;

namespace {

// The kernel owns the pools the records come from.
class NumberTheoryGmp : public ::testing::Test {
protected:
    void SetUp() override { Kernel_Initialize(); }
    void TearDown() override { Kernel_Terminate(); }
};

bool GmpPrime(mpz_srcptr z) { return mpz_probab_prime_p(z, 40) != 0; }

bool OurPrime(mpz_srcptr z) {
    Big b;
    gmptest::FromMpz(b, z);
    return NumberTheory_IsPrime(b);
}

TEST_F(NumberTheoryGmp, IsPrimeAgreesBelowAMillion) {
    Mpz z;
    for (uint64_t n = 0; n < 1000000; ++n) {
        mpz_set_ui(z, n);
        ASSERT_EQ(NumberTheory_IsPrimeWord(n), GmpPrime(z)) << n;
    }
}

TEST_F(NumberTheoryGmp, IsPrimeAgreesOnRandomWords) {
    Gen gen(20261209);
    Mpz z;
    // Random words, random odd words near the top of the range, and
    // products of two primes of 32 bits, the hardest composites for a
    // strong test.
    for (int i = 0; i < 10000; ++i) {
        uint64_t n = gen.Word() >> gen.Below(60);
        if (i % 3 == 1) n |= (uint64_t(1) << 63) | 1;
        mpz_set_ui(z, n);
        ASSERT_EQ(NumberTheory_IsPrimeWord(n), GmpPrime(z)) << n;
    }
    Mpz p, q;
    for (int i = 0; i < 2000; ++i) {
        mpz_set_ui(p, gen.Word() >> 33 | 1ull << 30);
        mpz_nextprime(p, p);
        mpz_set_ui(q, gen.Word() >> 32 | 1ull << 31);
        mpz_nextprime(q, q);
        mpz_mul(z, p, q);
        ASSERT_FALSE(NumberTheory_IsPrimeWord(mpz_get_ui(z))) << mpz_get_ui(z);
        ASSERT_TRUE(NumberTheory_IsPrimeWord(mpz_get_ui(q))) << mpz_get_ui(q);
    }
}

TEST_F(NumberTheoryGmp, StrongPseudoprimesAreComposite) {
    // Carmichael numbers, and the least strong pseudoprimes to the first
    // 1 to 13 prime bases and to the sets of the word test.
    const char *composites[] = {
        "561", "1105", "1729", "2465", "2821", "6601", "8911", "41041", "825265", "321197185",
        "5394826801", "232250619601", "9746347772161", "2047", "1373653", "25326001", "9080191",
        "3215031751", "4759123141", "1122004669633", "2152302898747", "3474749660383",
        "341550071728321", "3825123056546413051", "318665857834031151167461",
        "3317044064679887385961981", "18446744073709551617", "340282366920938463463374607431768211457",
    };
    Mpz z;
    for (const char *text : composites) {
        mpz_set_str(z, text, 10);
        EXPECT_FALSE(GmpPrime(z)) << text;
        EXPECT_FALSE(OurPrime(z)) << text;
        if (mpz_fits_ulong_p(z)) {
            EXPECT_FALSE(NumberTheory_IsPrimeWord(mpz_get_ui(z))) << text;
        }
    }
    // Primes at the bounds of the base tables.
    for (const char *text : {"3825123056546413051", "318665857834031151167461", "3317044064679887385961981"}) {
        mpz_set_str(z, text, 10);
        for (int step = 0; step < 3; ++step) {
            mpz_nextprime(z, z);
            EXPECT_TRUE(OurPrime(z)) << gmptest::Hex(z);
        }
    }
}

TEST_F(NumberTheoryGmp, IsPrimeAgreesOnBigIntegers) {
    Gen gen(4242);
    gmp_randstate_t state;
    gmp_randinit_mt(state);
    gmp_randseed_ui(state, 777);
    Mpz z, p, q;
    for (int i = 0; i < 3000; ++i) {
        mpz_urandomb(z, state, 65 + gen.Below(1936));
        if (i % 2) mpz_setbit(z, 0);
        ASSERT_EQ(OurPrime(z), GmpPrime(z)) << gmptest::Hex(z);
    }
    // Primes, products of two primes, and squares of primes (which no
    // Lucas parameter rejects through the Jacobi symbol).
    for (unsigned bits : {65u, 80u, 128u, 200u, 521u, 1000u, 2000u}) {
        for (int i = 0; i < 4; ++i) {
            mpz_urandomb(p, state, bits);
            mpz_setbit(p, bits - 1);
            mpz_nextprime(p, p);
            ASSERT_TRUE(OurPrime(p)) << gmptest::Hex(p);
            mpz_urandomb(q, state, bits / 2 + 1);
            mpz_nextprime(q, q);
            mpz_mul(z, p, q);
            ASSERT_FALSE(OurPrime(z)) << gmptest::Hex(z);
            mpz_mul(z, p, p);
            ASSERT_FALSE(OurPrime(z)) << gmptest::Hex(z);
        }
    }
    // Mersenne numbers 2^p - 1 for prime p: prime exactly for the known
    // exponents.
    for (unsigned e : {61u, 89u, 107u, 127u, 521u, 607u, 1279u, 67u, 101u, 257u, 1277u}) {
        mpz_ui_pow_ui(z, 2, e);
        mpz_sub_ui(z, z, 1);
        ASSERT_EQ(OurPrime(z), GmpPrime(z)) << e;
    }
    gmp_randclear(state);
}

// The arguments sampled: every n up to 300, then sparser up to 10^4.
std::vector<uint64_t> SampledArguments() {
    std::vector<uint64_t> v;
    for (uint64_t n = 0; n <= 300; ++n) v.push_back(n);
    for (uint64_t n = 301; n <= 3000; n += 37) v.push_back(n);
    for (uint64_t n = 3001; n <= 10000; n += 613) v.push_back(n);
    v.push_back(10000);
    return v;
}

TEST_F(NumberTheoryGmp, FactorialAndFibonacciAgree) {
    Big r;
    Mpz want;
    for (uint64_t n : SampledArguments()) {
        NumberTheory_Factorial(r, n);
        mpz_fac_ui(want, n);
        ASSERT_TRUE(Matches(r, want)) << "Factorial " << n;
        NumberTheory_Fibonacci(r, n);
        mpz_fib_ui(want, n);
        ASSERT_TRUE(Matches(r, want)) << "Fibonacci " << n;
    }
}

TEST_F(NumberTheoryGmp, BinomialAgrees) {
    Big r;
    Mpz want;
    Gen gen(99);
    for (uint64_t n : SampledArguments()) {
        // Both ends, the middle, and random k, so that both the product and
        // the prime power methods run.
        std::vector<uint64_t> ks = {0, 1, 2, n / 2, n};
        if (n > 2) ks.push_back(n - 1);
        for (int i = 0; i < 4 && n > 0; ++i) ks.push_back(static_cast<uint64_t>(gen.Below(int64_t(n) + 1)));
        for (uint64_t k : ks) {
            NumberTheory_Binomial(r, n, k);
            mpz_bin_uiui(want, n, k);
            ASSERT_TRUE(Matches(r, want)) << "Binomial " << n << ", " << k;
        }
    }
}

TEST_F(NumberTheoryGmp, PowerModAgrees) {
    Gen gen(31337);
    Big base, e, m, r;
    Mpz B, E, M, want;
    for (int i = 0; i < 1500; ++i) {
        gen.Fill(base, gen.Below(5) == 0 ? 0 : gen.Between(1, 40), gen.AnyShape());
        gen.Fill(e, gen.Between(0, i % 50 == 0 ? 30 : 3), gen.AnyShape());
        gen.Fill(m, gen.Between(1, i % 50 == 0 ? 60 : 24), gen.AnyShape());
        BigInt_Abs(e);
        if (m->kind == IntZero) continue;
        if (i % 3 == 0) m->limbs[0] |= 1;
        gmptest::ToMpz(B, base);
        gmptest::ToMpz(E, e);
        gmptest::ToMpz(M, m);
        mpz_abs(M, M);
        mpz_powm(want, B, E, M);
        BigInt_PowerMod(r, base, e, m);
        ASSERT_TRUE(Matches(r, want)) << i;
        // The destination as one of the operands.
        BigInt_Copy(r, base);
        BigInt_PowerMod(r, r, e, m);
        ASSERT_TRUE(Matches(r, want)) << "aliased base " << i;
        BigInt_Copy(r, m);
        BigInt_PowerMod(r, base, e, r);
        ASSERT_TRUE(Matches(r, want)) << "aliased modulus " << i;
    }
    // A zero modulus and a negative exponent are indeterminate.
    BigInt_SetSmall(m, 0);
    BigInt_PowerMod(r, base, e, m);
    EXPECT_EQ(r->kind, IntIndeterminate);
    BigInt_SetSmall(m, 7);
    BigInt_SetSmall(e, -1);
    BigInt_PowerMod(r, base, e, m);
    EXPECT_EQ(r->kind, IntIndeterminate);
}

}  // namespace
