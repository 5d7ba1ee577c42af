// The large-operand paths against GMP: squares on each side of every
// squaring threshold, products around the transform threshold and around
// the transform lengths' powers of two, unbalanced shapes, division whose
// block products transform, and number text in several bases at sizes on
// both sides of the conversion's split.
#include <gmp.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gmp_support.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/limbs.h"
#include "number/number_text.h"
#include "number/ntt.h"
#include "number/toom.h"

using gmptest::Gen;
using gmptest::Mpz;
using gmptest::Shape;
using Vec = std::vector<Limb>;

namespace {

using gmptest::kGuard;

using gmptest::Bytes;
using gmptest::GmpMul;

// a * b, or a^2 when b is null, with guard limbs around the product.
Vec OurMul(const Vec &a, const Vec *b) {
    const Vec &y = b ? *b : a;
    Vec r(a.size() + y.size() + 2, kGuard);
    EXPECT_TRUE(Limbs_Mul(r.data() + 1, a.data(), Bytes(a), y.data(), Bytes(y), nullptr));
    EXPECT_EQ(r.front(), kGuard);
    EXPECT_EQ(r.back(), kGuard);
    return Vec(r.begin() + 1, r.end() - 1);
}

std::string Narrow(const std::u16string &s) { return std::string(s.begin(), s.end()); }

std::string GmpText(mpz_srcptr z, int base) {
    std::vector<char> buf(mpz_sizeinbase(z, base) + 2);
    mpz_get_str(buf.data(), -base, z);  // negative base: upper-case letters
    return buf.data();
}

}  // namespace

// Every square size up to past the Karatsuba squaring threshold, then the
// sizes around the transform threshold, in every operand shape: all-ones
// squares push the longest carries through the middle term.
TEST(FastMulGmp, Squares) {
    Gen gen(201);
    std::vector<int64_t> sizes;
    for (int64_t n = 1; n <= SQR_KARATSUBA_THRESHOLD + 6; ++n) sizes.push_back(n);
    for (int64_t n : {2 * SQR_KARATSUBA_THRESHOLD - 1, 2 * SQR_KARATSUBA_THRESHOLD, int64_t(333), int64_t(1025),
                      NTT_THRESHOLD - 1, NTT_THRESHOLD, NTT_THRESHOLD + 1, int64_t(8192), int64_t(8193)})
        sizes.push_back(n);
    for (int64_t n : sizes) {
        for (int s = 0; s < gmptest::SHAPE_COUNT; ++s) {
            if (n > 2000 && s % 3 != 0) continue;  // the large sizes take fewer shapes
            Vec a = gen.Limbs(n, static_cast<Shape>(s));
            ASSERT_EQ(OurMul(a, nullptr), GmpMul(a, a)) << "square n=" << n << " shape=" << s;
        }
    }
}

// Products modulo B^len - 1 by the wrapped transform against GMP's full
// product reduced: operands as long as len or much shorter, all-ones
// operands (whose carries wrap around more than once, and whose product
// with B^len - 1 itself is zero, which may come out as all ones), and
// guards around the result.
TEST(FastMulGmp, WrappedProducts) {
    Gen gen(205);
    for (int64_t len : {int64_t(2), int64_t(4), int64_t(64), int64_t(1024), int64_t(16384)}) {
        ASSERT_EQ(Ntt_WrapLength(len), len);
        ASSERT_EQ(Ntt_WrapLength(len / 2 + 1), len);
        Mpz mod;
        mpz_set_ui(mod, 1);
        mpz_mul_2exp(mod, mod, 64 * len);
        mpz_sub_ui(mod, mod, 1);
        for (int64_t n : {int64_t(1), len / 2, len - 1, len}) {
            for (int64_t k : {int64_t(1), n / 2 + 1, n}) {
                for (int s : {gmptest::SHAPE_RANDOM, gmptest::SHAPE_ALL_ONES, gmptest::SHAPE_TOP_MAX}) {
                    if (n < 1 || k < 1 || k > len) continue;
                    Vec a = gen.Limbs(n, static_cast<Shape>(s)), b = gen.Limbs(k, static_cast<Shape>(s));
                    Vec r(len + 2, kGuard), work(Ntt_WrapWorkLimbs(len));
                    bool square = n == k && s == gmptest::SHAPE_ALL_ONES;
                    Ntt_MulWrapped(r.data() + 1, a.data(), n, square ? a.data() : b.data(), k, len, work.data());
                    ASSERT_EQ(r.front(), kGuard);
                    ASSERT_EQ(r.back(), kGuard);
                    Mpz want, got, x, y;
                    mpz_import(x, a.size(), -1, 8, 0, 0, a.data());
                    const Vec &bb = square ? a : b;
                    mpz_import(y, bb.size(), -1, 8, 0, 0, bb.data());
                    mpz_mul(want, x, y);
                    mpz_mod(want, want, mod);
                    mpz_import(got, len, -1, 8, 0, 0, r.data() + 1);
                    mpz_mod(got, got, mod);
                    ASSERT_EQ(mpz_cmp(got, want), 0) << "len=" << len << " n=" << n << " k=" << k << " shape=" << s;
                }
            }
        }
    }
}

// Products just past a power of two, which take the transform of that
// length modulo B^L - 1 and a short product of the s limbs above it: s of
// two limbs (the fewest: with one limb more than L a product has L
// columns and transforms at length L itself), of a few hundred, up to L/4;
// the longer operand as long as L; all-ones operands (a product of the
// largest values) and operands of B^L - 1 (a product that is zero modulo
// B^L - 1); squares; and the caller's scratch sized exactly.
TEST(FastMulGmp, ProductsPastAPowerOfTwo) {
    Gen gen(206);
    const int64_t T = NTT_THRESHOLD;
    std::vector<std::pair<int64_t, int64_t>> sizes = {
        {9000, 16385 - 9000}, {8193, 8193}, {8500, 8500}, {10000, 10000}, {10000, 7000}, {16384, T}, {32768, T},
        {20000, 16000}, {18000, 17000}, {9000, 16386 - 9000}};
    for (auto [n, k] : sizes) {
        for (int s : {gmptest::SHAPE_RANDOM, gmptest::SHAPE_ALL_ONES, gmptest::SHAPE_TOP_ONE, gmptest::SHAPE_SPARSE}) {
            Vec a = gen.Limbs(n, static_cast<Shape>(s)), b = gen.Limbs(k, static_cast<Shape>(s));
            ASSERT_EQ(OurMul(a, &b), GmpMul(a, b)) << n << " x " << k << " shape=" << s;
            if (n == k) {
                ASSERT_EQ(OurMul(a, nullptr), GmpMul(a, a)) << "square " << n << " shape=" << s;
            }
        }
        Vec a = gen.Limbs(n, gmptest::SHAPE_RANDOM), b = gen.Limbs(k, gmptest::SHAPE_RANDOM), r(n + k);
        Vec scratch(Limbs_MulScratchBytes(Bytes(a), Bytes(b)) / 8 + 1, kGuard);
        ASSERT_TRUE(Limbs_Mul(r.data(), a.data(), Bytes(a), b.data(), Bytes(b), scratch.data()));
        ASSERT_EQ(scratch.back(), kGuard) << "scratch overrun " << n << " x " << k;
        ASSERT_EQ(r, GmpMul(a, b)) << n << " x " << k << " with the caller's scratch";
    }
    // ab = 0 modulo B^L - 1: a = B^L - 1 itself.
    Vec ones(32768, ~Limb(0)), b = gen.Limbs(T, gmptest::SHAPE_RANDOM);
    ASSERT_EQ(OurMul(ones, &b), GmpMul(ones, b)) << "(B^L - 1) x b";
}

// Products on both sides of the transform threshold and of the transform
// lengths (n + k - 1 just at and above a power of two, where the choice
// between Toom-3 and the transform turns), operands one limb apart, and
// unbalanced shapes whose shorter side crosses the threshold.
TEST(FastMulGmp, TransformProducts) {
    Gen gen(202);
    const int64_t T = NTT_THRESHOLD;
    std::vector<std::pair<int64_t, int64_t>> sizes = {
        {T - 1, T - 1}, {T, T - 1}, {T, T}, {T + 1, T}, {16384, 16385}, {16385, 16385}, {20000, T},
        {20000, T - 1}, {50000, T + 3}, {65536, 65537}, {65537, 65537}, {100000, 100000}, {T, 19},
        {3 * T, 2 * T}, {4 * T, 4 * T},
    };
    for (auto [n, k] : sizes) {
        Shape sa = gen.AnyShape(), sb = gen.AnyShape();
        Vec a = gen.Limbs(n, sa), b = gen.Limbs(k, sb);
        ASSERT_EQ(OurMul(a, &b), GmpMul(a, b)) << "n=" << n << " k=" << k << " shapes " << sa << "," << sb;
    }
    // All-ones by all-ones gives the largest column sums the residues must
    // carry; a power of two by anything is a shift.
    for (int64_t n : {T, int64_t(16000)}) {
        Vec ones = gen.Limbs(n, gmptest::SHAPE_ALL_ONES), pow2 = gen.Limbs(n, gmptest::SHAPE_POWER_OF_TWO);
        Vec other = gen.Limbs(n - 1, gmptest::SHAPE_ALL_ONES);
        ASSERT_EQ(OurMul(ones, &ones), GmpMul(ones, ones)) << "all ones n=" << n;
        ASSERT_EQ(OurMul(ones, &other), GmpMul(ones, other)) << "all ones n=" << n << " by n-1";
        ASSERT_EQ(OurMul(pow2, &ones), GmpMul(pow2, ones)) << "power of two n=" << n;
    }
}

// A caller's scratch of the advertised size serves a transform too.
TEST(FastMulGmp, TransformCallerScratch) {
    Gen gen(203);
    int64_t n = NTT_THRESHOLD + 100;
    Vec a = gen.Limbs(n, gmptest::SHAPE_RANDOM), b = gen.Limbs(n, gmptest::SHAPE_RUNS), r(2 * n);
    int64_t bytes = Limbs_MulScratchBytes(Bytes(a), Bytes(b));
    Vec scratch(bytes / 8 + 1, 0xA5A5A5A5A5A5A5A5ULL);
    ASSERT_TRUE(Limbs_Mul(r.data(), a.data(), Bytes(a), b.data(), Bytes(b), scratch.data()));
    EXPECT_EQ(scratch.back(), 0xA5A5A5A5A5A5A5A5ULL);
    ASSERT_EQ(r, GmpMul(a, b));
}

// A product cut into blocks whose full blocks go by Toom-3 (their length
// just past a power of two leaves a transform too empty) while the shorter
// last block fills one: the advertised scratch must cover the transform
// too. (It once covered only the full blocks, and the last one wrote past
// its end.) The shapes are found from the thresholds, so they follow them.
TEST(FastMulGmp, BlocksWhoseLastBlockTransforms) {
    auto filled = [](int64_t total) { return 8 * (total - 1) >= 5 * Ntt_Length(total); };
    Gen gen(206);
    int found = 0;
    for (int64_t k = NTT_THRESHOLD; k < 4 * NTT_THRESHOLD && found < 2; k += 97) {
        if (filled(2 * k)) continue;
        for (int64_t c = NTT_THRESHOLD; c < k; c += 89) {
            int64_t n = 2 * k + c;
            if (!filled(k + c) || filled(n + k) || k > 2 * Toom3_Piece(n)) continue;
            Vec a = gen.Limbs(n, gmptest::SHAPE_RANDOM), b = gen.Limbs(k, gmptest::SHAPE_ALL_ONES), r(n + k);
            int64_t bytes = Limbs_MulScratchBytes(Bytes(a), Bytes(b));
            Vec scratch(bytes / 8 + 1, 0xA5A5A5A5A5A5A5A5ULL);
            ASSERT_TRUE(Limbs_Mul(r.data(), a.data(), Bytes(a), b.data(), Bytes(b), scratch.data()));
            EXPECT_EQ(scratch.back(), 0xA5A5A5A5A5A5A5A5ULL) << n << " x " << k;
            ASSERT_EQ(r, GmpMul(a, b)) << n << " x " << k;
            ++found;
            break;
        }
    }
    EXPECT_EQ(found, 2);
}

// Division by a divisor large enough that its block products transform,
// and BigInt_Mul of a record by itself (the square path) with the
// destination aliased.
TEST(FastMulGmp, RecordsAndDivision) {
    Gen gen(204);
    for (int64_t B : {int64_t(3 * NTT_THRESHOLD), int64_t(2 * NTT_THRESHOLD + 1)}) {
        Vec a = gen.Limbs(2 * B + 5, gmptest::SHAPE_RANDOM), b = gen.Limbs(B, gmptest::SHAPE_TOP_ONE);
        int64_t qn = Bytes(a) / 8 - B + 1;
        Vec q(qn), r(B), gq(qn), gr(B);
        ASSERT_EQ(Limbs_DivMod(q.data(), a.data(), Bytes(a), b.data(), Bytes(b), r.data(), 0), 1);
        mpn_tdiv_qr(reinterpret_cast<mp_ptr>(gq.data()), reinterpret_cast<mp_ptr>(gr.data()), 0,
                    reinterpret_cast<mp_srcptr>(a.data()), a.size(), reinterpret_cast<mp_srcptr>(b.data()), B);
        ASSERT_EQ(q, gq) << "quotient B=" << B;
        ASSERT_EQ(r, gr) << "remainder B=" << B;
    }
    gmptest::Big x;
    Mpz z, want;
    gmptest::SetLimbs(x, gen.Limbs(NTT_THRESHOLD + 7, gmptest::SHAPE_RUNS), -1);
    gmptest::ToMpz(z, x);
    mpz_mul(want, z, z);
    BigInt_Mul(x, x, x);
    ASSERT_TRUE(gmptest::Matches(x, want));
}

// Number text both ways in power-of-two bases, base 10 and odd bases, for
// sizes below, at and far above the split of the conversion, and the
// digits read back with leading zeros and a sign.
TEST(FastMulGmp, TextConversions) {
    Gen gen(205);
    for (int64_t n : {int64_t(1), int64_t(2), int64_t(39), int64_t(40), int64_t(41), int64_t(81), int64_t(1000),
                      int64_t(12000)}) {
        for (int base : {2, 3, 7, 8, 10, 16, 32, 36}) {
            if (n == 12000 && base != 10 && base != 16 && base != 7) continue;
            Shape shape = gen.AnyShape();
            gmptest::Big x;
            gmptest::SetLimbs(x, gen.Limbs(n, shape), gen.Sign());
            Mpz z;
            gmptest::ToMpz(z, x);
            std::string want = GmpText(z, base);
            std::u16string text = BigInt_ToText(x, base);
            ASSERT_EQ(Narrow(text), want) << "n=" << n << " base=" << base << " shape=" << shape;
            // Reading adds nothing for leading zeros; lower-case digits read
            // as upper-case.
            std::u16string padded = text[0] == u'-' ? u"-000" + text.substr(1) : u"000" + text;
            for (char16_t &c : padded)
                if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
            Object *back = Integer_FromText(padded, base);
            Mpz got;
            gmptest::ToMpz(got, back);
            Object_Release(back);
            ASSERT_EQ(mpz_cmp(got, z), 0) << "read back n=" << n << " base=" << base << " shape=" << shape;
        }
    }
}

// Decimal texts of the numbers next to powers of ten, where the divisions
// by the powers of the conversion land right at or next to their quotient
// boundaries: all nines, a one and zeros, and those with one more.
TEST(FastMulGmp, DecimalTextsNextToPowersOfTen) {
    for (unsigned long digits : {760ul, 1519ul, 1520ul, 1521ul, 3040ul, 6079ul, 6080ul, 12160ul, 24319ul, 48641ul,
                                 97280ul, 389120ul}) {
        Mpz z;
        mpz_ui_pow_ui(z, 10, digits);
        for (int delta : {-1, 0, 1}) {
            Mpz v;
            if (delta < 0) mpz_sub_ui(v, z, 1);
            else mpz_add_ui(v, z, static_cast<unsigned long>(delta));
            gmptest::Big x;
            gmptest::FromMpz(x, v);
            ASSERT_EQ(Narrow(BigInt_ToText(x, 10)), GmpText(v, 10)) << "10^" << digits << " + " << delta;
        }
    }
}
