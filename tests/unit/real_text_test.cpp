// Text conversions of reals: the full-length form of machine reals in any
// base, the display of arbitrary-precision reals (only the digits their
// accuracy justifies), the real reader, and real literals in the parser.
#include "kernel_fixture.h"

#include <cmath>
#include <random>
#include <string>

#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/number_text.h"
#include "number/real.h"
#include "syntax/grammar.h"

namespace {

class RealTextTest : public KernelTest {
protected:
    // The display text of the arbitrary-precision real o in base.
    static std::u16string BigText(Object *o, int base = 10) {
        EXPECT_TRUE(Real_IsBig(o));
        if (!Real_IsBig(o)) return u"?";
        return BigFloat_ToText(AsReal(o)->big, base, u"e");
    }

    // Reads text and prints the result back, in base 10 with mark "e".
    static std::u16string Reprint(std::u16string_view text, double precision = -1) {
        Ref r(Real_FromDecimalText(text, precision));
        return BigText(r.get());
    }

    // Reads text and prints it after setting its accuracy to `bits`.
    static std::u16string WithAccuracy(std::u16string_view text, double bits) {
        Ref r(Real_FromDecimalText(text, -1));
        LocalFloat copy;
        BigFloat_Copy(copy.get(), AsReal(r.get())->big);
        BigFloat_SetAccuracy(copy.get(), bits);
        return BigFloat_ToText(copy.get(), 10, u"e");
    }

    static double AccuracyDigits(Object *o) { return AsReal(o)->big->accuracy / LOG2_10; }
};

std::u16string Widen(const std::string &s) { return std::u16string(s.begin(), s.end()); }

TEST_F(RealTextTest, MachineRealInBaseTen) {
    EXPECT_EQ(MachineReal_ToBaseText(1.5, 16, 10, u"e"), u"1.500000000000000");
    EXPECT_EQ(MachineReal_ToBaseText(12345.678, 16, 10, u"e"), u"12345.67800000000");
    EXPECT_EQ(MachineReal_ToBaseText(1.0e20, 16, 10, u"e"), u"1.000000000000000e20");
    EXPECT_EQ(MachineReal_ToBaseText(0.001234, 16, 10, u"e"), u"0.001234000000000000");
    EXPECT_EQ(MachineReal_ToBaseText(-2.5e-10, 16, 10, u"e"), u"-2.500000000000000e-10");
    EXPECT_EQ(MachineReal_ToBaseText(0.0, 16, 10, u"e"), u"0.0");
    EXPECT_EQ(MachineReal_ToBaseText(-0.0, 16, 10, u"e"), u"0.0");
    // The point stays inside the digits: 15 integer digits are the most
    // that leave one after it.
    EXPECT_EQ(MachineReal_ToBaseText(1.0e14, 16, 10, u"e"), u"100000000000000.0");
    EXPECT_EQ(MachineReal_ToBaseText(1.0e15, 16, 10, u"e"), u"1.000000000000000e15");
    // Subnormals are scaled without running through an infinite power.
    std::u16string tiny = MachineReal_ToBaseText(5e-324, 16, 10, u"e");
    EXPECT_EQ(tiny.substr(0, 6), u"4.9406") << Narrow(tiny);
    EXPECT_EQ(tiny.substr(tiny.size() - 5), u"e-324") << Narrow(tiny);
    EXPECT_EQ(MachineReal_ToBaseText(1.7976931348623157e308, 16, 10, u"e"), u"1.797693134862316e308");
    EXPECT_EQ(MachineReal_ToBaseText(1.5, 16, 37, u"e"), u"");
    EXPECT_EQ(MachineReal_ToBaseText(1.5, 16, 1, u"e"), u"");
}

TEST_F(RealTextTest, MachineRealRoundingCarriesIntoASparePosition) {
    // 9.96 to two digits: the carry makes a new first digit, the last digit
    // is dropped and the exponent grows.
    EXPECT_EQ(MachineReal_ToBaseText(9.96, 2, 10, u"e"), u"1.0e1");
    EXPECT_EQ(MachineReal_ToBaseText(9.96, 3, 10, u"e"), u"9.96");
    // Three digits after the carry leave no room for the point after the
    // third, so the exponent is written.
    EXPECT_EQ(MachineReal_ToBaseText(-99.97, 3, 10, u"e"), u"-1.00e2");
    EXPECT_EQ(MachineReal_ToBaseText(-99.97, 4, 10, u"e"), u"-99.97");
    EXPECT_EQ(MachineReal_ToBaseText(999.97, 4, 10, u"e"), u"1.000e3");
}

TEST_F(RealTextTest, MachineRealInOtherBases) {
    EXPECT_EQ(MachineReal_ToBaseText(0.5, 53, 2, u"e"), u"0.1" + std::u16string(52, u'0'));
    EXPECT_EQ(MachineReal_ToBaseText(-6.0, 53, 2, u"e"), u"-110." + std::u16string(50, u'0'));
    EXPECT_EQ(MachineReal_ToBaseText(255.5, 13, 16, u"e"), u"FF.80000000000");
    EXPECT_EQ(MachineReal_ToBaseText(1.0 / 4096, 13, 16, u"e"), u"0.001000000000000");
    EXPECT_EQ(MachineReal_ToBaseText(1.0 / 65536, 13, 16, u"e"), u"1.000000000000e-4");
    // The exponent is written in the same base.
    EXPECT_EQ(MachineReal_ToBaseText(std::ldexp(1.0, 100), 13, 16, u"e"), u"1.000000000000e19");
    EXPECT_EQ(MachineReal_ToBaseText(35.0, 10, 36, u"e"), u"Z.000000000");
    EXPECT_EQ(MachineReal_ToBaseText(36.0 * 36.0, 10, 36, u"e"), u"100.0000000");
}

TEST_F(RealTextTest, SpecialKindsAndZeros) {
    BigFloat b{};
    BigFloat_SetSpecial(&b, FloatIndeterminate, 0);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"Error");
    BigFloat_SetSpecial(&b, FloatOverflow, 1);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"Overflow");
    BigFloat_SetSpecial(&b, FloatOverflow, -1);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"-Overflow");
    BigFloat_SetSpecial(&b, FloatUnderflow, 1);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"Underflow");
    BigFloat_SetSpecial(&b, FloatUnderflow, -1);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"-Underflow");
    BigFloat_SetZero(&b, INFINITY);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"0");
    BigFloat_SetZero(&b, 53);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"0.e-15");
    EXPECT_EQ(BigFloat_ToText(&b, 2, u"e"), u"0.e-110100");
    BigFloat_SetSmall(&b, 5);
    EXPECT_EQ(BigFloat_ToText(&b, 37, u"e"), u"");
    BigFloat_Release(&b);
    // A read zero is known to one unit of its last digit.
    EXPECT_EQ(Reprint(u"0.000"), u"0.e-3");
    EXPECT_EQ(Reprint(u"-0.0e5"), u"0.e4");
    EXPECT_EQ(Reprint(u"0"), u"0");
}

TEST_F(RealTextTest, LayoutFollowsTheSignificantDigits) {
    EXPECT_EQ(Reprint(u"1.50"), u"1.50");
    EXPECT_EQ(Reprint(u"150"), u"150");
    EXPECT_EQ(Reprint(u"12345.6"), u"12345.6");
    EXPECT_EQ(Reprint(u"123456.7"), u"1.234567e5");
    EXPECT_EQ(Reprint(u"-98765.4321"), u"-98765.4321");
    EXPECT_EQ(Reprint(u"0.0123"), u"0.0123");
    EXPECT_EQ(Reprint(u"0.00123"), u"0.00123");
    EXPECT_EQ(Reprint(u"0.000123"), u"1.23e-4");
    EXPECT_EQ(Reprint(u"-1.5e-3"), u"-0.0015");
    // Integer digits beyond the accuracy: scientific, down to a lone digit.
    EXPECT_EQ(Reprint(u"1.2345e10"), u"1.2345e10");
    EXPECT_EQ(Reprint(u"4.0e3"), u"4.0e3");
    EXPECT_EQ(Reprint(u"4.e3"), u"4.e3");
    // No significant fraction digit.
    EXPECT_EQ(WithAccuracy(u"12.3", 1), u"12.");
    EXPECT_EQ(WithAccuracy(u"-12.3", 1), u"-12.");
    // A machine real made arbitrary shows its 16 digits.
    BigFloat b{};
    BigFloat_FromDouble(&b, 1.5);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"1.500000000000000");
    BigFloat_FromDouble(&b, -0.001234);
    EXPECT_EQ(BigFloat_ToText(&b, 10, u"e"), u"-0.001234000000000000");
    BigFloat_Release(&b);
}

TEST_F(RealTextTest, RoundingCarriesMoveThePoint) {
    EXPECT_EQ(WithAccuracy(u"9.99999999", 3 * LOG2_10), u"10.00");
    EXPECT_EQ(WithAccuracy(u"-9.99999999", 2 * LOG2_10), u"-10.0");
    EXPECT_EQ(WithAccuracy(u"9.96", 0.5 * LOG2_10), u"10.");
    // A carry into a sixth integer digit turns to scientific notation, and
    // one out of the third zero after the point to fixed notation.
    EXPECT_EQ(WithAccuracy(u"99999.99", 0.5 * LOG2_10), u"1.00000e5");
    EXPECT_EQ(WithAccuracy(u"0.00099999", 3.5 * LOG2_10), u"0.001");
    EXPECT_EQ(WithAccuracy(u"0.00099999", 4.5 * LOG2_10), u"0.0010");
    EXPECT_EQ(WithAccuracy(u"0.000123456", 6.5 * LOG2_10), u"1.23e-4");
    EXPECT_EQ(WithAccuracy(u"0.00012356", 6.5 * LOG2_10), u"1.24e-4");
}

TEST_F(RealTextTest, ValuesWithoutASignificantDigit) {
    // Zeros up to the last significant place when the first digit is near
    // the point; otherwise the first digit with its exponent.
    EXPECT_EQ(WithAccuracy(u"0.004", 2.5 * LOG2_10), u"0.00");
    EXPECT_EQ(WithAccuracy(u"0.00096", 2.5 * LOG2_10), u"9.e-4");
    EXPECT_EQ(WithAccuracy(u"3.0", -5), u"3.e0");
    EXPECT_EQ(WithAccuracy(u"-0.25", -2), u"-2.e-1");
}

TEST_F(RealTextTest, ExactValues) {
    EXPECT_EQ(Reprint(u"-150"), u"-150");
    EXPECT_EQ(Reprint(u"15e3"), u"15000");
    EXPECT_EQ(Reprint(u"12345678901234567890123456789"), u"12345678901234567890123456789");
    // A quotient that is exact keeps its fraction.
    EXPECT_EQ(Reprint(u"15e-1"), u"1.5");
    EXPECT_EQ(Reprint(u"-375e-3"), u"-0.375");
    // One that is not is carried to 128 bits, the precision of an inexact
    // quotient of two short exact values.
    EXPECT_EQ(Reprint(u"3e-5"), u"3." + std::u16string(38, u'0') + u"e-5");
}

TEST_F(RealTextTest, OtherBases) {
    Ref hex(Real_FromText(u"FF.8", 16, u"e", -1));
    EXPECT_EQ(BigText(hex.get(), 16), u"FF.8");
    EXPECT_EQ(BigText(hex.get(), 10), u"255.50");
    Ref bin(Real_FromText(u"-101.1", 2, u"e", -1));
    EXPECT_EQ(BigText(bin.get(), 2), u"-101.1");
    Ref z(Real_FromText(u"z.z", 36, u"e", -1));
    EXPECT_EQ(BigText(z.get(), 36), u"Z.Z");
    // An exponent with a mark that is no digit of the base: 0x18 * 16^1.
    Ref scaled(Real_FromText(u"1.8*^2", 16, u"*^", -1));
    EXPECT_EQ(BigText(scaled.get(), 16), u"1.8e2");
    EXPECT_EQ(BigText(scaled.get(), 10), u"3.8e2");
    // Exponents print in the base of the digits.
    Ref big(Real_FromDecimalText(u"1.5000e100", -1));
    EXPECT_EQ(BigText(big.get(), 16), u"1.B6E8e53");
    Ref half(Real_FromDecimalText(u"0.5000", -1));
    EXPECT_EQ(BigText(half.get(), 2), u"0.1" + std::u16string(15, u'0'));
    Ref bad(Real_FromText(u"1.5", 37, u"e", -1));
    EXPECT_EQ(bad.get(), BuiltinBorrowed(SYM_Indeterminate));
}

TEST_F(RealTextTest, ReaderAccuracyAndValue) {
    Ref a(Real_FromDecimalText(u"1.50", -1));
    // One unit of the last digit read, so Accuracy reports 2.
    EXPECT_NEAR(AccuracyDigits(a.get()), 3.0, 1e-6);
    EXPECT_EQ(BigFloat_ToDouble(AsReal(a.get())->big), 1.5);
    Ref exact(Real_FromDecimalText(u"150", -1));
    EXPECT_TRUE(std::isinf(AsReal(exact.get())->big->accuracy));
    EXPECT_EQ(BigFloat_ToDouble(AsReal(exact.get())->big), 150.0);
    Ref small(Real_FromDecimalText(u"-1.5e-3", -1));
    EXPECT_NEAR(BigFloat_ToDouble(AsReal(small.get())->big), -0.0015, 1e-18);
    Ref given(Real_FromDecimalText(u"0.1", 30));
    EXPECT_NEAR(BigFloat_Precision(AsReal(given.get())->big) / LOG2_10, 30.0, 0.01);
    EXPECT_EQ(BigText(given.get()), u"0.1" + std::u16string(29, u'0'));
}

TEST_F(RealTextTest, ReaderStopsWhereTheNumberEnds) {
    EXPECT_EQ(Reprint(u"1.5.2"), u"1.5");
    EXPECT_EQ(Reprint(u"+2.5"), u"2.5");
    EXPECT_EQ(Reprint(u"2.5e+1x"), u"25.");
    EXPECT_EQ(Reprint(u"2.5e1e3"), u"25.");
    EXPECT_EQ(Reprint(u"2.5-3"), u"2.5");
    // Text before the first digit is skipped, including an "e" in it.
    EXPECT_EQ(Reprint(u"value: -2.5"), u"-2.5");
}

TEST_F(RealTextTest, IntegerReaderShortAndLong) {
    EXPECT_EQ(StandardText(Integer_FromText(u"abc", 16)), u"2748");
    EXPECT_EQ(StandardText(Integer_FromText(u"x-ff", 16)), u"-255");
    EXPECT_EQ(StandardText(Integer_FromText(u"12z4", 10)), u"12");
    EXPECT_EQ(StandardText(Integer_FromText(u"", 10)), u"0");
    // Long digit strings are combined in halves; every digit must land.
    std::mt19937_64 random(3);
    for (size_t length : {19u, 20u, 759u, 761u, 5000u}) {
        std::u16string text(1, u'1' + char16_t(random() % 9));
        while (text.size() < length) text += char16_t(u'0' + random() % 10);
        EXPECT_EQ(StandardText(Integer_FromText(text, 10)), text) << length;
        EXPECT_EQ(StandardText(Integer_FromText(u"-" + text, 10)), u"-" + text) << length;
    }
    std::u16string ones(3000, u'1');
    Object *n = Integer_FromText(ones, 2);
    EXPECT_EQ(BigInt_ToText(AsInteger(n)->big, 2), ones);
    Object_Release(n);
}

TEST_F(RealTextTest, HugeExponentsSaturate) {
    auto subtype = [](Object *o) {
        uint64_t s = Object_Subtype(o);
        int sign = Object_Sign(o);
        Object_Release(o);
        return std::pair<uint64_t, int>(s, sign);
    };
    using P = std::pair<uint64_t, int>;
    EXPECT_EQ(subtype(Real_FromDecimalText(u"1.0e72057594037927935", -1)), P(SUB_OVERFLOW, 1));
    EXPECT_EQ(subtype(Real_FromDecimalText(u"-1.0e72057594037927935", -1)), P(SUB_OVERFLOW, -1));
    EXPECT_EQ(subtype(Real_FromDecimalText(u"1.0e-99999999999999999999", -1)), P(SUB_UNDERFLOW, 1));
    // Just below the limit the value is kept and prints with its exponent.
    EXPECT_EQ(Reprint(u"1.0e1000000000000000"), u"1.0e1000000000000000");
    EXPECT_EQ(Reprint(u"-2.5e-1000000000000000"), u"-2.5e-1000000000000000");
    EXPECT_EQ(Reprint(u"1.5e-400"), u"1.5e-400");
    EXPECT_EQ(Reprint(u"1.5e100000"), u"1.5e100000");
}

TEST_F(RealTextTest, RealLiterals) {
    Ref machine(Parser_ParseText(u"1.5e-3"));
    ASSERT_TRUE(Real_IsMachine(machine.get()));
    EXPECT_EQ(AsReal(machine.get())->value, 0.0015);
    // 17 characters before the exponent still make a machine real, 18 do not.
    Ref seventeen(Parser_ParseText(u"1234567890123.456"));
    EXPECT_TRUE(Real_IsMachine(seventeen.get()));
    Ref eighteen(Parser_ParseText(u"12345678901234.567e2"));
    EXPECT_EQ(BigText(eighteen.get()), u"1.2345678901234567e15");
    // Beyond the double range the literal is read at machine precision.
    Ref huge(Parser_ParseText(u"1.0e400"));
    EXPECT_EQ(BigText(huge.get()), u"1.000000000000000e400");
    Ref subnormal(Parser_ParseText(u"2.5e-320"));
    EXPECT_EQ(BigText(subnormal.get()), u"2.500000000000000e-320");
    Ref vanishing(Parser_ParseText(u"2.5e-400"));
    EXPECT_EQ(BigText(vanishing.get()), u"2.500000000000000e-400");
    Ref zero(Parser_ParseText(u"0.0e-400"));
    EXPECT_TRUE(Real_IsMachine(zero.get()));
    // Long literals keep every digit they were given.
    const char16_t *pi = u"3.14159265358979323846264338327950288";
    Ref longPi(Parser_ParseText(pi));
    EXPECT_EQ(BigText(longPi.get()), pi);
    EXPECT_EQ(StandardText(Parser_ParseText(u"0.000012345678901234567890123456789e-3")),
              u"1.2345678901234567890123456789e-8");
}

TEST_F(RealTextTest, RandomDecimalTextsReadBackUnchanged) {
    std::mt19937_64 random(20240517);
    auto digits = [&](size_t n, bool leadingNonZero) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += char('0' + (i == 0 && leadingNonZero ? 1 + random() % 9 : random() % 10));
        return s;
    };
    for (int i = 0; i < 400; ++i) {
        std::string sign = random() % 2 ? "-" : "";
        // Fixed notation: up to five integer digits or up to two zeros after
        // the point.
        std::string fixed = random() % 2 ? digits(1 + random() % 5, true) + "." + digits(1 + random() % 40, false)
                                         : "0." + std::string(random() % 3, '0') + digits(1 + random() % 40, true);
        EXPECT_EQ(Reprint(Widen(sign + fixed)), Widen(sign + fixed));
        // Scientific notation with exponents of any size.
        int64_t e = int64_t(random() % 2000000) - 1000000;
        if (e >= -3 && e <= 5) e = 7;
        std::string sci = digits(1, true) + "." + digits(random() % 40, false) + "e" + std::to_string(e);
        EXPECT_EQ(Reprint(Widen(sign + sci)), Widen(sign + sci));
    }
}

TEST_F(RealTextTest, LongValuesRoundTrip) {
    std::mt19937_64 random(7);
    std::string text = "2.";
    for (int i = 0; i < 10000; ++i) text += char('0' + random() % 10);
    EXPECT_EQ(Reprint(Widen(text)), Widen(text));
    std::string integer = "9";
    for (int i = 0; i < 3000; ++i) integer += char('0' + random() % 10);
    EXPECT_EQ(Reprint(Widen(integer)), Widen(integer));
    Ref scaled(Real_FromDecimalText(Widen(integer + ".5e-6000"), -1));
    std::u16string printed = BigText(scaled.get());
    EXPECT_EQ(printed.substr(0, 5), u"9." + Widen(integer.substr(1, 3)));
    EXPECT_EQ(printed.substr(printed.size() - 8), Widen(integer.substr(integer.size() - 1)) + u"5e-3000");
}

}  // namespace
