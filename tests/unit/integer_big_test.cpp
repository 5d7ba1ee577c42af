// Integer objects across the 64-bit boundary: the fast paths detect
// overflow exactly, results come back to a machine word whenever they fit,
// and big integers clone, compare, hash, print and free like small ones.
#include "kernel_fixture.h"

#include <cstdint>

#include "number/bigint.h"
#include "number/integer.h"

namespace {

class IntegerBigTest : public KernelTest {
protected:
    // 2^bits * sign as a new Integer object.
    static Object *Power(int64_t bits, int64_t sign = 1) {
        BigInt *b = BigInt_New();
        BigInt_SetSmall(b, sign);
        BigInt_Shift(b, b, bits);
        Object *o = Integer_FromBigInt(b);
        BigInt_Free(b);
        return o;
    }

    // Checks o's subtype and decimal text, and releases it.
    static void Expect(Object *o, uint64_t subtype, const char16_t *text) {
        ASSERT_EQ(Object_Type(o), TYPE_INTEGER);
        EXPECT_EQ(Object_Subtype(o), subtype) << Narrow(text);
        EXPECT_EQ(StandardText(o), text);
    }

    static bool IsSymbol(Object *o, BuiltinSymbol id) {
        bool is = o == BuiltinBorrowed(id);
        Object_Release(o);
        return is;
    }
};

TEST_F(IntegerBigTest, AdditionCrossesTheWordBoundaryBothWays) {
    Object *big = Integer_Add(Int(INT64_MAX), Int(1));
    Expect(Object_AddRef(big), SUB_BIG, u"9223372036854775808");
    Expect(Integer_Add(big, Int(-1)), SUB_SMALL, u"9223372036854775807");
    Expect(Integer_Add(Int(INT64_MIN), Int(-1)), SUB_BIG, u"-9223372036854775809");
    Expect(Integer_Add(Int(INT64_MIN), Int(INT64_MIN)), SUB_BIG, u"-18446744073709551616");
    Expect(Integer_Add(Int(INT64_MAX), Int(INT64_MIN)), SUB_SMALL, u"-1");
    // A big operand on either side.
    Expect(Integer_Add(Int(-5), Power(64)), SUB_BIG, u"18446744073709551611");
    Expect(Integer_Add(Power(63), Int(INT64_MIN)), SUB_SMALL, u"0");
}

TEST_F(IntegerBigTest, MultiplicationOverflowIsExact) {
    Expect(Integer_Multiply(Int(INT64_MIN), Int(-1)), SUB_BIG, u"9223372036854775808");
    Expect(Integer_Multiply(Int(INT64_MIN), Int(1)), SUB_SMALL, u"-9223372036854775808");
    Expect(Integer_Multiply(Int(int64_t(1) << 32), Int(int64_t(1) << 31)), SUB_BIG, u"9223372036854775808");
    Expect(Integer_Multiply(Int(int64_t(1) << 32), Int(-(int64_t(1) << 31))), SUB_SMALL, u"-9223372036854775808");
    Expect(Integer_Multiply(Int(3037000500), Int(3037000500)), SUB_BIG, u"9223372037000250000");
    Expect(Integer_Multiply(Int(3037000499), Int(-3037000499)), SUB_SMALL, u"-9223372030926249001");
    // Big times small and big times big, down to a word again.
    Expect(Integer_Multiply(Power(64), Int(0)), SUB_SMALL, u"0");
    Expect(Integer_Multiply(Power(64), Power(64, -1)), SUB_BIG, u"-340282366920938463463374607431768211456");
}

TEST_F(IntegerBigTest, NegationOfTheMostNegativeWord) {
    Object *big = Integer_Negate(Int(INT64_MIN));
    Expect(Object_AddRef(big), SUB_BIG, u"9223372036854775808");
    Expect(Integer_Negate(big), SUB_SMALL, u"-9223372036854775808");
    Expect(Integer_Negate(Int(INT64_MAX)), SUB_SMALL, u"-9223372036854775807");
    Expect(Integer_Negate(Int(0)), SUB_SMALL, u"0");
}

TEST_F(IntegerBigTest, GcdIsNeverNegative) {
    Expect(Integer_Gcd(Int(-12), Int(18)), SUB_SMALL, u"6");
    Expect(Integer_Gcd(Int(0), Int(0)), SUB_SMALL, u"0");
    Expect(Integer_Gcd(Int(0), Int(-7)), SUB_SMALL, u"7");
    Expect(Integer_Gcd(Int(INT64_MIN), Int(0)), SUB_BIG, u"9223372036854775808");
    Expect(Integer_Gcd(Int(INT64_MIN), Int(INT64_MIN)), SUB_BIG, u"9223372036854775808");
    Expect(Integer_Gcd(Int(INT64_MIN), Int(6)), SUB_SMALL, u"2");
    Expect(Integer_Gcd(Power(100, -1), Int(-48)), SUB_SMALL, u"16");
    Expect(Integer_Gcd(Int(12), Power(70)), SUB_SMALL, u"4");
    Expect(Integer_Gcd(Power(80), Power(90, -1)), SUB_BIG, u"1208925819614629174706176");
}

// Operations change their first operand in place only when they hold its
// only reference.
TEST_F(IntegerBigTest, SharedOperandsAreLeftAlone) {
    Object *x = Int(INT64_MAX);
    Expect(Integer_Add(Object_AddRef(x), Int(1)), SUB_BIG, u"9223372036854775808");
    EXPECT_EQ(AsInteger(x)->small, INT64_MAX);
    EXPECT_EQ(x->refs, 1);
    Object *b = Power(64);
    Expect(Integer_Multiply(Object_AddRef(b), Object_AddRef(b)), SUB_BIG, u"340282366920938463463374607431768211456");
    Expect(Integer_Negate(Object_AddRef(b)), SUB_BIG, u"-18446744073709551616");
    EXPECT_EQ(b->refs, 1);
    Expect(b, SUB_BIG, u"18446744073709551616");
    Object_Release(x);
}

TEST_F(IntegerBigTest, EqualValuesAreTheSameAndHashEqually) {
    Object *a = Integer_Add(Int(INT64_MAX), Int(1));             // 2^63 by addition
    Object *b = Integer_Multiply(Int(int64_t(1) << 32), Int(int64_t(1) << 31));  // and by product
    Object *c = Integer_Negate(Int(INT64_MIN));                  // and by negation
    EXPECT_EQ(Object_Same(a, b), 1);
    EXPECT_EQ(Object_Same(b, c), 1);
    EXPECT_EQ(Object_Hash(a, 17), Object_Hash(b, 17));
    EXPECT_EQ(Object_Hash(a, 17), Object_Hash(c, 17));
    // x and -x share their limbs; the complement tells their hashes apart.
    Object *p = Power(64);
    Object *n = Integer_Negate(Object_AddRef(p));
    EXPECT_EQ(Object_Same(p, n), 0);
    EXPECT_EQ(Object_Hash(n, 17), ~Object_Hash(p, 17));
    EXPECT_EQ(Object_Sign(n), -1);
    EXPECT_EQ(Object_Sign(p), 1);
    // A subtype-3 object holding a word-sized value (before normalisation)
    // is the same as the word.
    Object *raw = Integer_FromBigInt();
    BigInt_SetSmall(AsInteger(raw)->big, -3);
    Object *three = Int(-3);
    EXPECT_EQ(Object_Same(raw, three), 1);
    EXPECT_EQ(Object_Same(raw, a), 0);
    // Evaluation leaves a big integer as it is.
    EXPECT_EQ(Object_Evaluate(a), a);
    Object *clone = Object_Clone(n);
    EXPECT_EQ(Object_Same(clone, n), 1);
    EXPECT_NE(AsInteger(clone)->big, AsInteger(n)->big);
    for (Object *o : {a, b, c, p, n, raw, three, clone}) Object_Release(o);
}

TEST_F(IntegerBigTest, ReleaseReturnsRecordsToThePools) {
    int64_t ints = kernel.numbers.integers.count, bigs = kernel.numbers.bigInts.count;
    Object *x = Power(200);
    Object *y = Integer_Multiply(Object_AddRef(x), Power(300, -1));
    Object *z = Object_Clone(y);
    EXPECT_EQ(kernel.numbers.bigInts.count, bigs + 3);
    Object_Release(x);
    Object_Release(y);
    Object_Release(z);
    EXPECT_EQ(kernel.numbers.integers.count, ints);
    EXPECT_EQ(kernel.numbers.bigInts.count, bigs);
}

TEST_F(IntegerBigTest, SubtypeConversionsInPlace) {
    Object *x = Int(INT64_MIN);
    Integer_SetSubtype(x, SUB_BIG);
    EXPECT_EQ(Object_Subtype(x), SUB_BIG);
    EXPECT_EQ(BigInt_Compare(AsInteger(x)->big, AsInteger(x)->big, true), 0);
    EXPECT_EQ(AsInteger(x)->big->limbs[0], uint64_t(1) << 63);
    Integer_SetSubtype(x, SUB_BIG);  // no change
    x = Integer_Normalize(x);
    EXPECT_EQ(Object_Subtype(x), SUB_SMALL);
    EXPECT_EQ(AsInteger(x)->small, INT64_MIN);
    Object_Release(x);
}

TEST_F(IntegerBigTest, NegativeBigNumbersInContext) {
    Object *n = Power(64, -1);
    EXPECT_EQ(StandardText(Call(u"f", Object_AddRef(n))), u"f(-18446744073709551616)");
    Object_Release(n);
}

// Past the limb limit an integer result becomes the overflow real of its
// sign with the Integer::Overflow message; an indeterminate record becomes Indeterminate
// without one.
TEST_F(IntegerBigTest, OverflowAndIndeterminate) {
    Object *x = Power(64 * 3);
    kernel.numbers.limbLimit = 4;
    Object *r = Integer_Multiply(Object_AddRef(x), Object_AddRef(x));
    kernel.numbers.limbLimit = BIGINT_LIMB_LIMIT;
    EXPECT_EQ(StandardText(r), u"Overflow");
    ASSERT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(Host().messages[0], u"Integer::Overflow: Integer overflow during computation with integers detected.");

    BigInt *b = BigInt_New();
    BigInt_SetIndeterminate(b);
    EXPECT_TRUE(IsSymbol(Integer_FromBigInt(b), SYM_Indeterminate));
    BigInt_SetInfinite(b, -1);
    EXPECT_EQ(StandardText(Call(u"f", Integer_FromBigInt(b))), u"f(-Overflow)");
    BigInt_Free(b);
    EXPECT_EQ(Host().messages.size(), 2u);
    Object_Release(x);
}

}  // namespace
