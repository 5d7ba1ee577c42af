// Rounding against independent references: machine reals against the C
// library's roundings, arbitrary-precision reals against the machine reals
// they were made from (so that every split of a value between whole and
// fractional limbs is met), and Mod and the shifts of machine words against
// 128-bit arithmetic.
#include <cfenv>
#include <cmath>
#include <random>
#include <string>

#include "kernel_fixture.h"
#include "number/bigfloat.h"
#include "number/number_arith.h"
#include "number/real.h"
#include "number/rounding.h"

namespace {

class RoundingTest : public KernelTest {};

constexpr RoundMode kModes[] = {ROUND_FLOOR, ROUND_CEIL, ROUND_NEAREST, ROUND_TRUNC};

double LibraryRounding(double x, RoundMode mode) {
    switch (mode) {
    case ROUND_FLOOR: return std::floor(x);
    case ROUND_CEIL: return std::ceil(x);
    case ROUND_NEAREST: return std::nearbyint(x);  // the default mode: half to even
    default: return std::trunc(x);
    }
}

// Doubles of every magnitude the conversions treat apart: small fractions,
// exact halves, values next to the ends of a machine word, whole numbers
// far beyond it.
std::vector<double> Samples() {
    std::mt19937_64 random(20261209);
    std::vector<double> xs = {0.5, -0.5, 1.5, -2.5, 0x1p63, -0x1p63, 0x1p63 - 1024, -0x1p63 + 1024, 0x1p52 + 0.5,
                              -0x1p52 - 0.5, 1e300, -1e300, 4.9e-324, -4.9e-324};
    std::uniform_int_distribution<int> exponent(-140, 90);
    for (int i = 0; i < 4000; ++i) {
        double m = double(random() >> 11);  // 53 significant bits
        double x = std::ldexp(m, exponent(random) - 53);
        if (i % 3 == 0) x = std::trunc(x) + 0.5;
        xs.push_back(i % 2 ? -x : x);
    }
    return xs;
}

// The double value of an Integer result; a whole double is held exactly,
// so converting back gives it again. Borrows o.
double Value(Object *o) {
    EXPECT_TRUE(Object_IsInteger(o));
    return Number_ToDouble(o);
}

TEST_F(RoundingTest, MachineRealsRoundAsTheLibraryDoes) {
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    for (double x : Samples()) {
        Ref real(Real_FromDouble(x));
        for (RoundMode mode : kModes) {
            Ref r(Round_Number(real.get(), mode));
            EXPECT_EQ(Value(r.get()), LibraryRounding(x, mode)) << x << " mode " << mode;
        }
    }
}

TEST_F(RoundingTest, ArbitraryPrecisionRealsRoundAsTheirMachineValues) {
    for (double x : Samples()) {
        LocalFloat f;
        BigFloat_FromDouble(f.get(), x);
        Ref big(Real_FromBigFloat(f.get()));
        ASSERT_TRUE(Real_IsBig(big.get()));
        Ref machine(Real_FromDouble(x));
        for (RoundMode mode : kModes) {
            Ref a(Round_Number(big.get(), mode)), b(Round_Number(machine.get(), mode));
            EXPECT_TRUE(Object_Same(a.get(), b.get())) << x << " mode " << mode;
        }
    }
}

std::string Decimal(__int128 v) {
    if (v == 0) return "0";
    bool negative = v < 0;
    unsigned __int128 m = negative ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    std::string s;
    for (; m; m /= 10) s.insert(s.begin(), char('0' + int(m % 10)));
    return negative ? "-" + s : s;
}

std::u16string Wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// Machine words, with the ends of the range and the small values that the
// remainder and shift rules single out.
std::vector<int64_t> Words() {
    std::mt19937_64 random(7);
    std::vector<int64_t> ws = {INT64_MIN, INT64_MIN + 1, INT64_MAX, -1, 0, 1, 2, -2, 3, -5, 7};
    for (int i = 0; i < 60; ++i) ws.push_back(static_cast<int64_t>(random()) >> (random() % 63));
    return ws;
}

TEST_F(RoundingTest, ModOfMachineWordsIsTheFlooredRemainder) {
    for (int64_t a : Words()) {
        for (int64_t b : Words()) {
            if (b == 0) continue;
            __int128 r = static_cast<__int128>(a) % b;
            if (r != 0 && (r < 0) != (b < 0)) r += b;
            std::string call = "Mod(" + Decimal(a) + ", " + Decimal(b) + ")";
            EXPECT_EQ(EvaluateText(Wide(call).c_str()), Wide(Decimal(r))) << call;
        }
    }
}

TEST_F(RoundingTest, ShiftsOfMachineWords) {
    for (int64_t x : Words()) {
        uint64_t magnitude = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
        int top = magnitude ? 63 - __builtin_clzll(magnitude) : 0;  // floor(log2 |x|)
        for (int k = 0; k <= 70; ++k) {
            // Left: exact, into big integers past the word.
            if (k < 64) {
                std::string left = "ShiftLeft(" + Decimal(x) + ", " + std::to_string(k) + ")";
                __int128 product = static_cast<__int128>(x) * (static_cast<__int128>(1) << k);
                EXPECT_EQ(EvaluateText(Wide(left).c_str()), Wide(Decimal(product))) << left;
            }
            // Right: flooring, and a negative value shifted past its top
            // bit gives 0.
            std::string right = "ShiftRight(" + Decimal(x) + ", " + std::to_string(k) + ")";
            int64_t shifted = k >= 64 ? 0 : x >> k;
            if (x < 0 && k > top) shifted = 0;
            EXPECT_EQ(EvaluateText(Wide(right).c_str()), Wide(Decimal(shifted))) << right;
        }
    }
}

}  // namespace
