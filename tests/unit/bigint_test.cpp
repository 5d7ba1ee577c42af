// BigInt records: the special kinds and their propagation, signs of
// truncating division and shifts, conversions at the 64-bit and double
// boundaries, and overflow past the limb limit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "kernel/state.h"
#include "number/bigint.h"

namespace {

struct Big {
    BigInt *p = BigInt_New();
    explicit Big(int64_t v = 0) { BigInt_SetSmall(p, v); }
    Big(const Big &) = delete;
    Big &operator=(const Big &) = delete;
    ~Big() { BigInt_Free(p); }
    BigInt *operator->() const { return p; }
    operator BigInt *() const { return p; }
};

// 2^bits with the given sign.
void SetPower(BigInt *x, int64_t bits, int64_t sign = 1) {
    BigInt_SetSmall(x, sign);
    BigInt_Shift(x, x, bits);
}

Big *Special(int64_t kind, int64_t sign) {
    auto *b = new Big;
    if (kind == IntInfinite)
        BigInt_SetInfinite(*b, sign);
    else
        BigInt_SetIndeterminate(*b);
    return b;
}

void ExpectSmall(const BigInt *x, int64_t v) {
    ASSERT_TRUE(BigInt_FitsSmall(x)) << "kind " << x->kind;
    EXPECT_EQ(BigInt_ToSmall(x), v);
    EXPECT_EQ(x->size, 8);
}

// Restores the kernel's limb limit when a test has lowered it.
struct LimbLimit {
    explicit LimbLimit(int64_t limit) { kernel.numbers.limbLimit = limit; }
    ~LimbLimit() { kernel.numbers.limbLimit = BIGINT_LIMB_LIMIT; }
};

}  // namespace

TEST(BigInt, UnitAndZeroShortcutsGiveExactCopies) {
    Big x, r, one(1), minusOne(-1), zero(0);
    SetPower(x, 700, -1);
    BigInt_Sub(x, x, one);  // -(2^700 + 1)
    BigInt_Mul(r, one, x);
    EXPECT_EQ(BigInt_Compare(r, x, true), 0);
    EXPECT_EQ(r->size, x->size);
    BigInt_Mul(r, x, minusOne);
    EXPECT_EQ(r->sign, 1);
    EXPECT_EQ(BigInt_Compare(r, x, false), 0);
    BigInt_Mul(r, zero, x);
    EXPECT_EQ(r->kind, IntZero);
    EXPECT_EQ(r->sign, 0);
}

TEST(BigInt, CancellationNormalises) {
    Big x, r;
    SetPower(x, 300);
    BigInt_Sub(r, x, x);
    EXPECT_EQ(r->kind, IntZero);
    EXPECT_EQ(r->sign, 0);
    EXPECT_EQ(r->top, 0);
    EXPECT_EQ(r->size, 8);
    // 2^64 * 2^64 - 1 = 2^128 - 1 has two limbs.
    Big p, one(1);
    SetPower(p, 64);
    BigInt_Mul(p, p, p);
    BigInt_Sub(p, p, one);
    EXPECT_EQ(p->top, 1);
    EXPECT_EQ(p->size, 16);
    EXPECT_EQ(p->limbs[1], ~Limb(0));
    // 2 - 1 is a unit.
    Big two(2);
    BigInt_Sub(two, two, one);
    EXPECT_EQ(two->kind, IntUnit);
}

TEST(BigInt, MostNegativeWordFitsOnlyWhenNegative) {
    Big x(INT64_MIN);
    ExpectSmall(x, INT64_MIN);
    EXPECT_EQ(x->limbs[0], Limb(1) << 63);
    BigInt_Negate(x);
    EXPECT_FALSE(BigInt_FitsSmall(x));
    EXPECT_EQ(BigInt_ToSmall(x), INT64_MAX);  // saturates
    Big big;
    SetPower(big, 200, -1);
    EXPECT_EQ(BigInt_ToSmall(big), -INT64_MAX);
}

TEST(BigInt, TruncatingDivisionSigns) {
    struct Case { int64_t a, b, q, r; };
    for (Case c : {Case{7, -2, -3, 1}, Case{-7, 2, -3, -1}, Case{-7, -2, 3, -1}, Case{3, 10, 0, 3},
                   Case{-3, 10, 0, -3}, Case{12, -1, -12, 0}, Case{0, 5, 0, 0}}) {
        Big a(c.a), b(c.b), q, r;
        BigInt_DivMod(q, a, b, r);
        ExpectSmall(q, c.q);
        ExpectSmall(r, c.r);
    }
    // A divisor longer than the dividend gives the dividend back.
    Big a(-99), b, q, r;
    SetPower(b, 130);
    BigInt_DivMod(q, a, b, r);
    ExpectSmall(q, 0);
    ExpectSmall(r, -99);
    // The same record as dividend and divisor.
    BigInt_DivMod(q, b, b, r);
    ExpectSmall(q, 1);
    ExpectSmall(r, 0);
}

TEST(BigInt, DivisionFailures) {
    Big a(7), zero(0), q(5), r(5);
    BigInt_DivMod(q, a, zero, r);
    EXPECT_EQ(q->kind, IntIndeterminate);
    EXPECT_EQ(r->kind, IntIndeterminate);
    EXPECT_EQ(q->sign, 0);
    // The quotient and the remainder may not be the same record.
    Big b(2), s(1);
    BigInt_DivMod(s, a, b, s);
    EXPECT_EQ(s->kind, IntIndeterminate);
}

TEST(BigInt, DivisionWithInfinities) {
    std::unique_ptr<Big> inf(Special(IntInfinite, -1)), inf2(Special(IntInfinite, 1));
    Big a(7), q, r;
    BigInt_DivMod(q, a, *inf, r);
    ExpectSmall(q, 0);
    ExpectSmall(r, 7);
    BigInt_DivMod(q, *inf, a, r);
    EXPECT_EQ(q->kind, IntInfinite);
    EXPECT_EQ(q->sign, -1);
    EXPECT_EQ(r->kind, IntIndeterminate);
    BigInt_DivMod(q, *inf, *inf2, r);
    EXPECT_EQ(q->kind, IntIndeterminate);
    EXPECT_EQ(r->kind, IntIndeterminate);
}

TEST(BigInt, ShiftsTruncateTowardZero) {
    Big x(-5), r;
    BigInt_Shift(r, x, -1);
    ExpectSmall(r, -2);
    BigInt_Shift(r, x, -3);
    ExpectSmall(r, 0);
    EXPECT_EQ(r->sign, 0);
    BigInt_Shift(r, x, -64 * 5);
    ExpectSmall(r, 0);
    BigInt_Shift(r, x, INT64_MIN);
    ExpectSmall(r, 0);
    // A left shift whose bits all stay in the top limb adds no limb.
    Big y(3);
    BigInt_Shift(r, y, 62);
    EXPECT_EQ(r->top, 0);
    BigInt_Shift(r, y, 63);
    EXPECT_EQ(r->top, 1);
    EXPECT_EQ(r->limbs[1], 1u);
}

TEST(BigInt, ToDoubleTruncates) {
    Big x, one(1);
    SetPower(x, 53);
    BigInt_Add(x, x, one);
    EXPECT_EQ(BigInt_ToDouble(x), 9007199254740992.0);  // 2^53, not 2^53 + 2
    SetPower(x, 1024);
    EXPECT_EQ(BigInt_ToDouble(x), std::numeric_limits<double>::infinity());
    BigInt_Sub(x, x, one);  // 2^1024 - 1 truncates to the largest double
    EXPECT_EQ(BigInt_ToDouble(x), std::numeric_limits<double>::max());
    BigInt_Negate(x);
    EXPECT_EQ(BigInt_ToDouble(x), -std::numeric_limits<double>::max());
    Big m(INT64_MIN);
    EXPECT_EQ(BigInt_ToDouble(m), -9223372036854775808.0);
    std::unique_ptr<Big> inf(Special(IntInfinite, -1)), nan(Special(IntIndeterminate, 0));
    EXPECT_EQ(BigInt_ToDouble(*inf), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(BigInt_ToDouble(*nan)));
}

TEST(BigInt, Gcd) {
    Big zero(0), a(-12), b(18), r;
    BigInt_Gcd(r, zero, a);
    ExpectSmall(r, 12);
    BigInt_Gcd(r, a, b);
    ExpectSmall(r, 6);
    BigInt_Gcd(r, zero, zero);
    ExpectSmall(r, 0);
    std::unique_ptr<Big> neg(Special(IntInfinite, -1)), pos(Special(IntInfinite, 1)), nan(Special(IntIndeterminate, 0));
    BigInt_Gcd(r, *pos, *neg);  // the absolute value of the second
    EXPECT_EQ(r->kind, IntInfinite);
    EXPECT_EQ(r->sign, 1);
    BigInt_Gcd(r, *neg, a);
    ExpectSmall(r, 12);
    BigInt_Gcd(r, a, *nan);
    EXPECT_EQ(r->kind, IntIndeterminate);
    // A multi-limb pair whose gcd is a power of two.
    Big x, y;
    SetPower(x, 200);
    SetPower(y, 130, -1);
    BigInt_Mul(y, y, b);
    BigInt_Gcd(r, x, y);
    Big want;
    SetPower(want, 131);
    EXPECT_EQ(BigInt_Compare(r, want, true), 0);
}

TEST(BigInt, SpecialKindsPropagate) {
    std::unique_ptr<Big> pinf(Special(IntInfinite, 1)), ninf(Special(IntInfinite, -1)), nan(Special(IntIndeterminate, 0));
    Big five(5), zero(0), r;
    auto kindSign = [&](int64_t kind, int64_t sign) {
        EXPECT_EQ(r->kind, kind);
        EXPECT_EQ(r->sign, sign);
        EXPECT_EQ(r->top, 0);
    };
    BigInt_Add(r, *pinf, *pinf), kindSign(IntInfinite, 1);
    BigInt_Add(r, *pinf, *ninf), kindSign(IntIndeterminate, 0);
    BigInt_Sub(r, *pinf, *pinf), kindSign(IntIndeterminate, 0);
    BigInt_Sub(r, *ninf, *pinf), kindSign(IntInfinite, -1);
    BigInt_Sub(r, five, *ninf), kindSign(IntInfinite, 1);
    BigInt_Add(r, five, *nan), kindSign(IntIndeterminate, 0);
    BigInt_Mul(r, *ninf, five), kindSign(IntInfinite, -1);
    BigInt_Mul(r, *ninf, *ninf), kindSign(IntInfinite, 1);
    BigInt_Mul(r, zero, *pinf), kindSign(IntIndeterminate, 0);
    BigInt_SetUnit(r, 2), kindSign(IntIndeterminate, 0);
    BigInt_SetUnit(r, -1), kindSign(IntUnit, -1);
    BigInt_SetInfinite(r, 0), kindSign(IntIndeterminate, 0);
    BigInt_Shift(r, *ninf, 10), kindSign(IntInfinite, -1);

    EXPECT_EQ(BigInt_Compare(*nan, five, true), -2);
    EXPECT_EQ(BigInt_Compare(five, *nan, false), -2);
    EXPECT_EQ(BigInt_Compare(*ninf, five, true), -1);
    EXPECT_EQ(BigInt_Compare(*ninf, five, false), 1);
    EXPECT_EQ(BigInt_Compare(*pinf, *pinf, true), 0);
    EXPECT_EQ(BigInt_ToSmall(*nan), INT64_MIN);
    EXPECT_EQ(BigInt_ToSmall(*ninf), -INT64_MAX);
    EXPECT_FALSE(BigInt_FitsSmall(*pinf));
}

// Past the limb limit a result becomes a one-limb IntInfinite record with
// the sign the result would have had; nothing else breaks.
TEST(BigInt, LimbLimitOverflow) {
    Big a, b, r;
    SetPower(a, 64 * 3 - 1, -1);  // three limbs
    SetPower(b, 64 * 2 - 1);      // two limbs
    {
        LimbLimit limit(4);
        BigInt_Mul(r, a, b);  // needs five limbs
        EXPECT_EQ(r->kind, IntInfinite);
        EXPECT_EQ(r->sign, -1);
        EXPECT_EQ(r->size, 8);
        BigInt_Shift(r, b, 64 * 3);
        EXPECT_EQ(r->kind, IntInfinite);
        EXPECT_EQ(r->sign, 1);
        BigInt_Shift(r, b, INT64_MAX);
        EXPECT_EQ(r->kind, IntInfinite);
        // Four limbs exactly still fit.
        BigInt_Shift(r, b, 64 * 2);
        EXPECT_EQ(r->kind, IntRegular);
        EXPECT_EQ(r->top, 3);
        // A carry into a fifth limb overflows an addition.
        Big c, t, one(1);
        SetPower(c, 255, -1);
        BigInt_Add(t, c, one);
        BigInt_Add(c, c, t);  // -(2^256 - 1): four all-ones limbs
        EXPECT_EQ(c->top, 3);
        BigInt_Add(r, c, c);
        EXPECT_EQ(r->kind, IntInfinite);
        EXPECT_EQ(r->sign, -1);
    }
    BigInt_Mul(r, a, b);
    EXPECT_EQ(r->kind, IntRegular);
    EXPECT_EQ(r->top, 4);
}

// The pool's drop hook frees a record's limbs when the pool is cleared
// wholesale (the leak checker of the sanitizer build watches this).
TEST(BigInt, PoolClearFreesLimbs) {
    Pool pool;
    Pool_Init(&pool, "BigInt test", sizeof(BigInt), BigInt_DropOwned);
    for (int i = 0; i < 10; ++i) {
        auto *x = static_cast<BigInt *>(Pool_Alloc(&pool));
        BigInt_SetSmall(x, i);
        BigInt_Shift(x, x, 64 * i);
    }
    Pool_Clear(&pool);
    EXPECT_EQ(pool.count, 0);
    Pool_Destroy(&pool);
}

namespace {

// x = v, for any 128-bit v: the high word shifted up plus the low word,
// added in two halves because it is unsigned.
void SetWide(BigInt *x, __int128 v) {
    Big low(int64_t(uint64_t(v) >> 1)), bit(int64_t(uint64_t(v) & 1));
    BigInt_SetSmall(x, int64_t(v >> 64));
    BigInt_Shift(x, x, 64);
    BigInt_Shift(low, low, 1);
    BigInt_Add(x, x, low);
    BigInt_Add(x, x, bit);
}

}  // namespace

// The bitwise operations agree with 128-bit two's complement arithmetic on
// operands of one and two limbs of either sign, including the most negative
// word and values whose magnitudes fill a whole limb, also when the
// destination is an operand.
TEST(BigInt, LogicMatchesTwosComplement) {
    const __int128 two64 = __int128(1) << 64;
    const __int128 values[] = {0, 1, -1, 12, -12, INT64_MIN, INT64_MAX, two64, -two64, two64 - 1,
                               -(two64 - 1), two64 + 5, -(two64 + 1), (__int128(1) << 100) - 3,
                               -(__int128(1) << 100)};
    const BigIntLogic ops[] = {BIGINT_AND, BIGINT_OR, BIGINT_XOR};
    for (__int128 a : values) {
        for (__int128 b : values) {
            for (BigIntLogic op : ops) {
                __int128 want = op == BIGINT_AND ? (a & b) : op == BIGINT_OR ? (a | b) : (a ^ b);
                Big x, y, r, expected;
                SetWide(x, a);
                SetWide(y, b);
                SetWide(expected, want);
                BigInt_Logic(r, x, y, op);
                EXPECT_EQ(BigInt_Compare(r, expected, true), 0) << int64_t(a) << " op" << op << " " << int64_t(b);
                EXPECT_EQ(r->size, (r->top + 1) * 8);
                BigInt_Logic(x, x, y, op);
                EXPECT_EQ(BigInt_Compare(x, expected, true), 0);
            }
        }
    }
}

TEST(BigInt, LogicOnSpecialKindsIsIndeterminate) {
    std::unique_ptr<Big> inf(Special(IntInfinite, 1));
    Big one(1), r;
    BigInt_Logic(r, *inf, one, BIGINT_OR);
    EXPECT_EQ(r->kind, IntIndeterminate);
}
