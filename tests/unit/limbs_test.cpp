// Edge cases of the limb primitives that random operands rarely reach: the
// add-back step of long division, carries that run the whole length, and
// the byte tails of the logic operations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "number/limbs.h"

using Vec = std::vector<Limb>;

namespace {

constexpr Limb ONES = ~Limb(0);

int64_t Bytes(const Vec &v) { return static_cast<int64_t>(v.size()) * 8; }

// The first quotient estimate of Limbs_DivMod for a three-limb window w by
// a two-limb divisor b whose top bit is set: the top two window limbs over
// the top divisor limb, capped at 2^64 - 1.
Limb FirstEstimate(const Vec &w, const Vec &b) {
    if (w[2] >= b[1]) return ONES;
    return static_cast<Limb>(((static_cast<unsigned __int128>(w[2]) << 64) | w[1]) / b[1]);
}

// Divides the three-limb w by the two-limb b and checks q*b + r == w.
void CheckDivision(const Vec &w, const Vec &b, Limb wantQ, Limb wantQhat) {
    ASSERT_EQ(FirstEstimate(w, b), wantQhat) << "the case no longer needs the add-back it tests";
    Vec q(2), r(2);
    ASSERT_EQ(Limbs_DivMod(q.data(), w.data(), Bytes(w), b.data(), Bytes(b), r.data(), 0), 1);
    EXPECT_EQ(q[0], wantQ);
    EXPECT_EQ(q[1], 0u);
    Vec back(3);
    Limbs_Mul(back.data(), b.data(), 16, q.data(), 8, nullptr);
    EXPECT_EQ(Limbs_Add(back.data(), back.data(), 24, r.data(), 16), 0u);
    EXPECT_EQ(back, w);
    EXPECT_LT(Limbs_Compare(r.data(), 16, b.data(), 16), 0);
}

}  // namespace

// A divisor whose top limb alone underestimates it makes the first
// estimate too large by one or two; the add-back loop must restore the
// window each time.
TEST(Limbs, DivisionAddBack) {
    // b = 2^127 + 2^65 + 2^64 - 1: the top limb 2^63 + 2 hides the all-ones
    // low limb. w = b * (2^64 - 3) + r with r chosen so that the estimate is
    // 2^64 - 1, two too large.
    Vec b = {ONES, 0x8000000000000002ULL};
    Vec w = {0xad09e446bf6820e5ULL, 0x972248d38a1f56eaULL, 0x8000000000000001ULL};
    CheckDivision(w, b, 0xfffffffffffffffdULL, 0xffffffffffffffffULL);
    // b * (2^64 - 3) + 1: the estimate is one too large.
    Vec w1 = {4, 0x7ffffffffffffff6ULL, 0x8000000000000001ULL};
    CheckDivision(w1, b, 0xfffffffffffffffdULL, 0xfffffffffffffffeULL);
}

TEST(Limbs, DivisionRejectsZeroTopLimb) {
    Vec a = {5, 6}, b = {3, 0}, q = {7, 7}, r = {7, 7};
    EXPECT_EQ(Limbs_DivMod(q.data(), a.data(), 16, b.data(), 16, r.data(), 0), 0);
    EXPECT_EQ(q, (Vec{7, 7}));
    EXPECT_EQ(r, (Vec{7, 7}));
}

TEST(Limbs, DivisionWithShiftAndNoQuotient) {
    // (2^64 + 5) * 2^128 / 7, asking for the remainder only.
    Vec a = {5, 1}, b = {7}, r(1);
    ASSERT_EQ(Limbs_DivMod(nullptr, a.data(), 16, b.data(), 8, r.data(), 16), 1);
    unsigned __int128 top = (static_cast<unsigned __int128>(1) << 64) + 5;
    // 2^64 mod 7 = 2, so the remainder is (top mod 7) * 2 * 2 mod 7.
    EXPECT_EQ(r[0], static_cast<Limb>((top % 7) * 4 % 7));
}

TEST(Limbs, CarriesRunTheWholeLength) {
    Vec x(9, ONES), d(9);
    EXPECT_EQ(Limbs_AddLimb(d.data(), x.data(), Bytes(x), 1), 1u);
    EXPECT_EQ(d, Vec(9, 0));
    EXPECT_EQ(Limbs_SubLimb(d.data(), d.data(), Bytes(d), 1), 1u);
    EXPECT_EQ(d, x);
    // A carry that stops early still copies the untouched limbs.
    Vec y = {ONES, 4, 9, 16};
    Vec e(4, 0);
    EXPECT_EQ(Limbs_AddLimb(e.data(), y.data(), Bytes(y), 1), 0u);
    EXPECT_EQ(e, (Vec{0, 5, 9, 16}));
    Vec one = {1};
    EXPECT_EQ(Limbs_Add(d.data(), x.data(), Bytes(x), one.data(), 8), 1u);
    EXPECT_EQ(d, Vec(9, 0));
    EXPECT_EQ(Limbs_Sub(d.data(), d.data(), Bytes(d), one.data(), 8), 1u);
    EXPECT_EQ(d, x);
}

TEST(Limbs, CompareChecksExtraTopLimbs) {
    Vec x = {5, 0, 0}, y = {5}, z = {5, 0, 1};
    EXPECT_EQ(Limbs_Compare(x.data(), Bytes(x), y.data(), Bytes(y)), 0);
    EXPECT_EQ(Limbs_Compare(y.data(), Bytes(y), z.data(), Bytes(z)), -1);
    EXPECT_EQ(Limbs_Compare(z.data(), Bytes(z), x.data(), Bytes(x)), 1);
}

TEST(Limbs, NegateAndBits) {
    Vec zero = {0, 0}, d(2, 9);
    EXPECT_EQ(Limbs_Negate(d.data(), zero.data(), 16), 0u);
    EXPECT_EQ(d, zero);
    Vec x = {0, 1};
    EXPECT_EQ(Limbs_Negate(d.data(), x.data(), 16), 1u);
    EXPECT_EQ(d, (Vec{0, ONES}));

    EXPECT_EQ(Limbs_HighestBit(zero.data(), 16), -1);
    EXPECT_EQ(Limbs_HighestBit(x.data(), 16), 64);
    Vec y = {0x8000000000000000ULL, 0};
    EXPECT_EQ(Limbs_HighestBit(y.data(), 16), 63);
    EXPECT_EQ(Limbs_TestBit(x.data(), 64), 1);
    EXPECT_EQ(Limbs_TestBit(x.data(), 63), 0);
}

TEST(Limbs, DifferenceBitsSignAndCancellation) {
    Vec two64 = {0, 1}, ones = {ONES};
    // 2^64 - (2^64 - 1) = 1 after a borrow through the whole low limb.
    EXPECT_EQ(Limbs_DifferenceBits(two64.data(), 16, ones.data(), 8, 0), 1);
    EXPECT_EQ(Limbs_DifferenceBits(ones.data(), 8, two64.data(), 16, 0), -1);
    // 1 against 1 * 2^64: the second term is larger by 2^64 - 1.
    Vec one = {1};
    EXPECT_EQ(Limbs_DifferenceBits(one.data(), 8, one.data(), 8, 1), -64);
    // In y's units for e < 0: 1 * 2^64 - 1.
    EXPECT_EQ(Limbs_DifferenceBits(one.data(), 8, one.data(), 8, -1), 64);
    EXPECT_EQ(Limbs_DifferenceBits(two64.data(), 16, one.data(), 8, 1), 0);
}

// Every byte count 0..23 at an unaligned offset, against a byte loop.
TEST(Limbs, ByteLogicTails) {
    unsigned char x[32], y[32], d[32];
    for (int i = 0; i < 32; ++i) {
        x[i] = static_cast<unsigned char>(i * 37 + 11);
        y[i] = static_cast<unsigned char>(i * 91 + 200);
    }
    for (int len = 0; len < 24; ++len) {
        std::memset(d, 0xEE, sizeof d);
        Bytes_And(d + 1, x + 1, y + 1, len);
        for (int i = 0; i < len; ++i) ASSERT_EQ(d[1 + i], x[1 + i] & y[1 + i]);
        ASSERT_EQ(d[1 + len], 0xEE) << "wrote past " << len;
        Bytes_Or(d + 1, x + 1, y + 1, len);
        for (int i = 0; i < len; ++i) ASSERT_EQ(d[1 + i], x[1 + i] | y[1 + i]);
        Bytes_Xor(d + 1, x + 1, y + 1, len);
        for (int i = 0; i < len; ++i) ASSERT_EQ(d[1 + i], x[1 + i] ^ y[1 + i]);
        Bytes_Not(d + 1, d + 1, len);
        for (int i = 0; i < len; ++i) ASSERT_EQ(d[1 + i], static_cast<unsigned char>(~(x[1 + i] ^ y[1 + i])));
        ASSERT_EQ(d[1 + len], 0xEE);
    }
}
