#include "number/constants.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>
#include <utility>

#include "eval/numeric.h"
#include "kernel/state.h"
#include "number/bigint.h"
#include "number/binary_splitting.h"
#include "number/bigfloat_functions.h"
#include "number/real.h"

namespace {

// Bits beyond the request at which a cached constant is computed, so that
// a later, slightly larger request is still answered from the cache.
constexpr double kCacheGuardBits = 32.0;
// Bits beyond the request at which the derived constants (golden ratio,
// golden angle, machine precision) are computed: 3.612359947967774 digits.
constexpr double kGuardBits = 12.0;

// A request for a negative or non-finite number of bits means 53 bits.
double RequestBits(double bits) { return std::isfinite(bits) && bits >= 0.0 ? bits : 53.0; }

// Answers a request of `bits` bits from cache when the cache holds at least
// that much, recomputing it at bits + kCacheGuardBits otherwise. A cache is
// recomputed rather than extended: the integers of a shorter sum are gone,
// and the roundings of its final division cannot be undone. The new value
// is computed into a local and only then replaces the cache, so that a
// computation that throws leaves the old value in place. Writes dst.
void FromCache(BigFloat *dst, BigFloat *cache, double bits, void (*compute)(BigFloat *, double)) {
    bits = RequestBits(bits);
    if (cache->kind == FloatZero || !(BigFloat_Precision(cache) >= bits)) {
        LocalFloat fresh;
        compute(fresh.get(), bits + kCacheGuardBits);
        BigFloat_Release(cache);
        *cache = std::exchange(fresh.value, BigFloat{});
    }
    BigFloat_Copy(dst, cache);
    BigFloat_LimitPrecision(dst, bits);
}

// A constant whose integers or final operations could not be allocated is
// not a value at all (an infinite integer makes it FloatOverflow or
// FloatIndeterminate): running out of memory unwinds to the library
// boundary like every other failed allocation. Borrows v.
void RequireFinite(const BigFloat *v) {
    if (!BigFloat_IsFinite(v) || v->kind == FloatZero) throw std::bad_alloc();
}

// dst = the integer x as a value of `bits` bits of precision: the limbs
// below the precision are dropped, which the error bound 2^-accuracy
// covers. An exact operand would make a quotient exact to its own length,
// far beyond the request, so both sides of every final division go through
// here. Writes dst; borrows x.
void IntegerToFloat(BigFloat *dst, const BigInt *x, double bits) {
    BigFloat_FromBigInt(dst, x);
    BigFloat_SetPrecision(dst, bits, 2);
}

// dst = x * w for a word w, exactly. Writes dst (not x); borrows x.
void MulByWord(BigInt *dst, const BigInt *x, Limb w) {
    WordInt word(w);
    BigInt_Mul(dst, x, &word.rec);
}

// Bits beyond the target at which the final operations run: the few
// roundings of conversions, products and one quotient each cost under a
// bit, and the bound of the series' remainder is added on top.
constexpr double kFinalGuardBits = 8.0;

// The Chudnovsky series
//   1/pi = 12/640320^(3/2) sum_k (-1)^k (6k)! (13591409 + 545140134 k)
//                                 / ((3k)! (k!)^3 640320^(3k)),
// whose term k is term k-1 times p(k)/q(k) with p(k) = -(6k-5)(2k-1)(6k-1)
// and q(k) = 10939058860032000 k^3 (= 640320^3/24 k^3), and a(k) =
// 13591409 + 545140134 k.
class ChudnovskySeries final : public FactorSeries {
public:
    void Factors(int64_t k, SeriesFactors *f) const override {
        Limb j = static_cast<Limb>(k);
        f->p[0] = (6 * j - 5) * (6 * j - 1);
        f->p[1] = 2 * j - 1;
        f->pCount = 2;
        f->pNegative = true;
        f->q[0] = 10939058860032000;
        // j^3 fits in a word below 2^21.
        if (j < (Limb(1) << 21)) {
            f->q[1] = j * j * j;
            f->qCount = 2;
        } else {
            f->q[1] = j * j;
            f->q[2] = j;
            f->qCount = 3;
        }
        f->a = 13591409 + 545140134 * k;
    }
};

// pi = 426880 sqrt(10005) Q / (13591409 Q + T), with T/Q the sum of the
// Chudnovsky terms 1 <= k < N and 13591409 the term k = 0.
//
// The multinomial (6k)!/((3k)! (k!)^3) is at most 6^(6k)/3^(3k) = 1728^k,
// so |term k| <= a(k) / 151931373056000^k, and the terms fall by a factor
// above 10^13 each: the remainder from term N on is below 2 |term N|. The
// partial sum S_N exceeds 1.3e7 (term 0 less a tiny term 1), so pi
// computed from S_N is off by at most pi * 2 |term N| / S_N, below
// 6.3/1.3e7 * a(N) / 151931373056000^N; N is the first count that makes
// this 2^-(target + 2). The rest of the bound is the final square root,
// product and quotient, which the BigFloat operations carry.
void ComputePi(BigFloat *out, double target) {
    const double perTerm = std::log2(151931373056000.0);
    auto remainderLog2 = [perTerm](int64_t n) {
        double a = 13591409.0 + 545140134.0 * static_cast<double>(n);
        return std::log2(6.3 / 1.3e7 * a) - perTerm * static_cast<double>(n);
    };
    int64_t n = std::max<int64_t>(2, static_cast<int64_t>(target / perTerm));
    while (remainderLog2(n) > -(target + 2.0)) ++n;
    LocalInt q, t, numerator, denominator;
    BinarySplit_Series(ChudnovskySeries(), 1, n, false, nullptr, q.get(), t.get());
    MulByWord(denominator.get(), q.get(), 13591409);
    BigInt_Add(denominator.get(), denominator.get(), t.get());
    BigInt_Release(t.get());
    MulByWord(numerator.get(), q.get(), 426880);
    BigInt_Release(q.get());

    double working = target + kFinalGuardBits;
    LocalFloat root, num, den;
    BigFloat_SetSmall(root.get(), 10005);
    BigFloat_SetPrecision(root.get(), working, 2);
    BigFloat_Sqrt(root.get(), root.get());
    IntegerToFloat(num.get(), numerator.get(), working);
    BigInt_Release(numerator.get());
    IntegerToFloat(den.get(), denominator.get(), working);
    BigInt_Release(denominator.get());
    BigFloat_Mul(num.get(), num.get(), root.get());
    BigFloat_Div(out, num.get(), den.get());
    RequireFinite(out);
    BigFloat_AddError(out, remainderLog2(n));
    BigFloat_LimitPrecision(out, target);
}

// The series of e: term k is 1/k!, term k-1 divided by k.
class ExpSeries final : public FactorSeries {
public:
    void Factors(int64_t k, SeriesFactors *f) const override {
        f->pCount = 0;
        f->pNegative = false;
        f->q[0] = static_cast<Limb>(k);
        f->qCount = 1;
        f->a = 1;
    }
};

// e = 1 + sum_(k=1)^N 1/k! = (Q + T)/Q. The remainder from 1/(N+1)! on is
// below 1/(N+1)! * (1 + 1/(N+2) + 1/(N+2)^2 + ...) < 2/(N+1)!; N is the
// first count that makes it 2^-(target + 2).
void ComputeE(BigFloat *out, double target) {
    auto remainderLog2 = [](int64_t n) {
        return 1.0 - std::lgamma(static_cast<double>(n) + 2.0) * std::numbers::log2e;
    };
    int64_t n = 1;
    while (remainderLog2(n) > -(target + 2.0)) n = n < 64 ? n + 1 : n + n / 64;
    while (n > 1 && remainderLog2(n - 1) <= -(target + 2.0)) --n;
    LocalInt q, t;
    BinarySplit_Series(ExpSeries(), 1, n + 1, false, nullptr, q.get(), t.get());
    BigInt_Add(t.get(), t.get(), q.get());

    double working = target + kFinalGuardBits;
    LocalFloat num, den;
    IntegerToFloat(num.get(), t.get(), working);
    BigInt_Release(t.get());
    IntegerToFloat(den.get(), q.get(), working);
    BigInt_Release(q.get());
    BigFloat_Div(out, num.get(), den.get());
    RequireFinite(out);
    BigFloat_AddError(out, remainderLog2(n));
    BigFloat_LimitPrecision(out, target);
}

// The series of artanh(u/v) = sum_k (u/v)^(2k+1)/(2k+1) after its first
// term: term k is term k-1 times u^2 (2k-1) / (v^2 (2k+1)).
class ArTanhSeries final : public FactorSeries {
public:
    ArTanhSeries(Limb uSquared, Limb vSquared) : uSquared_(uSquared), vSquared_(vSquared) {}
    void Factors(int64_t k, SeriesFactors *f) const override {
        Limb j = static_cast<Limb>(k);
        f->pNegative = false;
        f->pCount = Words(uSquared_, 2 * j - 1, f->p);
        f->qCount = Words(vSquared_, 2 * j + 1, f->q);
        f->a = 1;
    }

private:
    // x*y as one word when it fits, else as two; the count into words.
    static int Words(Limb x, Limb y, Limb *words) {
        Limb product;
        if (!__builtin_mul_overflow(x, y, &product)) {
            words[0] = product;
            return 1;
        }
        words[0] = x;
        words[1] = y;
        return 2;
    }
    Limb uSquared_, vSquared_;
};

// dst = artanh(u/v) for 0 < |u| < v < 2^32, to an absolute accuracy of
// `accuracy` bits: u (Q + T)/(v Q) with T/Q the terms 1 <= k < N of the
// series after its first. With x = |u|/v, the remainder from term N on is
// below x^(2N+1)/((2N+1)(1 - x^2)); N is the first count that makes it
// 2^-(accuracy + 1). Writes dst.
void ArTanhOfRatio(BigFloat *dst, int64_t u, int64_t v, double accuracy) {
    Limb magnitude = static_cast<Limb>(u < 0 ? -u : u);
    double xLog2 = std::log2(static_cast<double>(magnitude) / static_cast<double>(v));
    double tailScale = -std::log2(1.0 - std::exp2(2.0 * xLog2));
    auto remainderLog2 = [&](int64_t n) {
        double m = 2.0 * static_cast<double>(n) + 1.0;
        return m * xLog2 - std::log2(m) + tailScale;
    };
    int64_t n = std::max<int64_t>(2, static_cast<int64_t>(accuracy / (-2.0 * xLog2)) - 1);
    while (remainderLog2(n) > -(accuracy + 1.0)) ++n;
    LocalInt q, t, numerator, denominator;
    BinarySplit_Series(ArTanhSeries(magnitude * magnitude, static_cast<Limb>(v) * static_cast<Limb>(v)), 1, n,
                       false, nullptr, q.get(), t.get());
    BigInt_Add(t.get(), t.get(), q.get());
    MulByWord(numerator.get(), t.get(), magnitude);
    BigInt_Release(t.get());
    MulByWord(denominator.get(), q.get(), static_cast<Limb>(v));
    BigInt_Release(q.get());

    double working = accuracy + xLog2 + kFinalGuardBits;
    LocalFloat num, den;
    IntegerToFloat(num.get(), numerator.get(), working);
    BigInt_Release(numerator.get());
    IntegerToFloat(den.get(), denominator.get(), working);
    BigInt_Release(denominator.get());
    BigFloat_Div(dst, num.get(), den.get());
    RequireFinite(dst);
    if (u < 0) BigFloat_Negate(dst, dst);
    BigFloat_AddError(dst, remainderLog2(n));
}

// ln 2 = 18 artanh(1/26) - 2 artanh(1/4801) + 8 artanh(1/8749), three
// series that gain 9.4, 24.5 and 26.2 bits a term. Each is computed 6 bits
// beyond the working accuracy, so that the three errors, scaled by the
// exact coefficients (28 in all), stay below the target.
void ComputeLn2(BigFloat *out, double target) {
    struct Part {
        int64_t coefficient, v;
    };
    const Part parts[] = {{18, 26}, {-2, 4801}, {8, 8749}};
    double accuracy = target + kFinalGuardBits + 6.0;
    LocalFloat sum, term, factor;
    BigFloat_SetZero(sum.get(), std::numeric_limits<double>::infinity());
    for (const Part &part : parts) {
        ArTanhOfRatio(term.get(), 1, part.v, accuracy);
        BigFloat_SetSmall(factor.get(), part.coefficient);
        BigFloat_Mul(term.get(), term.get(), factor.get());
        BigFloat_Add(sum.get(), sum.get(), term.get());
    }
    RequireFinite(sum.get());
    BigFloat_Copy(out, sum.get());
    BigFloat_LimitPrecision(out, target);
}

// ln n for a word n >= 1 to an absolute accuracy of `accuracy` bits:
// n = 2^j * (n/2^j) with 2^j the power of two nearest to n on the
// logarithmic scale, so that ln(n/2^j) = 2 artanh((n - 2^j)/(n + 2^j)) has
// an argument of at most (sqrt 2 - 1)/(sqrt 2 + 1) < 1/5.8. Writes dst.
void LogOfWord(BigFloat *dst, int64_t n, double accuracy) {
    int j = 63 - __builtin_clzll(static_cast<Limb>(n));
    // 2^(j+1) is nearer when n^2 > 2^(2j+1).
    if (static_cast<double>(n) * static_cast<double>(n) > std::exp2(2.0 * j + 1.0)) ++j;
    int64_t power = int64_t(1) << j;
    LocalFloat ln2, factor, rest;
    double scale = j > 0 ? std::log2(static_cast<double>(j)) : 0.0;
    Constant_Ln2(ln2.get(), accuracy + scale + 2.0);
    BigFloat_SetSmall(factor.get(), j);
    BigFloat_Mul(dst, ln2.get(), factor.get());
    if (n != power) {
        ArTanhOfRatio(rest.get(), n - power, n + power, accuracy + 2.0);
        BigFloat_Scale(rest.get(), 1);
        BigFloat_Add(dst, dst, rest.get());
    }
}

// The Euler-Mascheroni constant by the Brent-McMillan method: with
// b_k = (n^k/k!)^2, B = sum b_k (= I_0(2n)) and U = sum b_k H_k over all
// k >= 0,
//   gamma = U/B - ln n - K_0(2n)/I_0(2n),  0 < K_0(2n)/I_0(2n) < pi e^(-4n),
// and n is the first that makes pi e^(-4n) at most 2^-(target + 2).
//
// The sums stop at k = K >= 3.5 n. From there on b_(k+1)/b_k =
// n^2/(k+1)^2 < 1/12, so the remainder of B is below 1.1 b_(K+1) and,
// since H_(k+1)/H_k <= 3/2, that of U below 1.2 b_(K+1) H_(K+1). The
// partial quotient U_K/B_K is a mean of H_0..H_K, at most H_K, and B
// exceeds its term b_n, so
//   |U/B - U_K/B_K| <= (tail U + H_K tail B)/B
//                   <= 2.3 (1 + ln(K+1)) b_(K+1)/b_n;
// K is the first that makes this 2^-(target + 2), with one bit more for the
// roundings of lgamma. ln n and the final quotient are carried by the
// BigFloat operations.
void ComputeEuler(BigFloat *out, double target) {
    int64_t n = static_cast<int64_t>(std::ceil((target + 2.0 + std::log2(std::numbers::pi)) * std::numbers::ln2 / 4.0));
    double nLog2 = std::log2(static_cast<double>(n));
    auto termLog2 = [nLog2](int64_t k) {
        double x = static_cast<double>(k);
        return 2.0 * (x * nLog2 - std::lgamma(x + 1.0) * std::numbers::log2e);
    };
    auto remainderLog2 = [&](int64_t k) {
        return std::log2(2.3 * (1.0 + std::log(static_cast<double>(k) + 1.0))) + termLog2(k + 1) - termLog2(n) + 1.0;
    };
    int64_t k = static_cast<int64_t>(std::ceil(3.5 * static_cast<double>(n)));
    while (remainderLog2(k) > -(target + 2.0)) ++k;
    LocalInt q, t, d, v;
    BinarySplit_BesselSums(static_cast<uint64_t>(n), k, q.get(), t.get(), d.get(), v.get());
    BigInt_Add(t.get(), t.get(), q.get());
    BigInt_Release(q.get());

    // U/B is about ln n + gamma: its integer bits are lost when ln n is
    // subtracted.
    double lost = std::log2(std::log(static_cast<double>(n)) + 1.0);
    double working = target + lost + kFinalGuardBits;
    LocalFloat num, den, scale, logN;
    IntegerToFloat(num.get(), v.get(), working);
    BigInt_Release(v.get());
    IntegerToFloat(den.get(), t.get(), working);
    BigInt_Release(t.get());
    IntegerToFloat(scale.get(), d.get(), working);
    BigInt_Release(d.get());
    BigFloat_Mul(den.get(), den.get(), scale.get());
    BigFloat_Div(out, num.get(), den.get());
    LogOfWord(logN.get(), n, working - lost + 2.0);
    BigFloat_Sub(out, out, logN.get());
    RequireFinite(out);
    BigFloat_AddError(out, remainderLog2(k));
    BigFloat_AddError(out, std::log2(std::numbers::pi) - 4.0 * static_cast<double>(n) * std::numbers::log2e);
    BigFloat_LimitPrecision(out, target);
}

// (1 + sqrt 5)/2.
void GoldenRatio(BigFloat *dst, double bits) {
    bits = RequestBits(bits);
    LocalFloat root, one;
    BigFloat_SetSmall(root.get(), 5);
    BigFloat_SetPrecision(root.get(), bits + kGuardBits, 2);
    BigFloat_Sqrt(root.get(), root.get());
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Add(dst, root.get(), one.get());
    BigFloat_Scale(dst, -1);
    BigFloat_LimitPrecision(dst, bits);
}

// (3 - sqrt 5) pi.
void GoldenAngle(BigFloat *dst, double bits) {
    bits = RequestBits(bits);
    LocalFloat root, three, pi;
    BigFloat_SetSmall(root.get(), 5);
    BigFloat_SetPrecision(root.get(), bits + kGuardBits, 2);
    BigFloat_Sqrt(root.get(), root.get());
    BigFloat_SetSmall(three.get(), 3);
    BigFloat_Sub(root.get(), three.get(), root.get());
    Constant_Pi(pi.get(), bits + kGuardBits);
    BigFloat_Mul(dst, root.get(), pi.get());
    BigFloat_LimitPrecision(dst, bits);
}

// 53 ln 2 / ln 10: the decimal digits of a 53-bit mantissa.
void MachinePrecision(BigFloat *dst, double bits) {
    bits = RequestBits(bits);
    LocalFloat ln2, ln10, factor;
    Constant_Ln2(ln2.get(), bits + kGuardBits);
    BigFloat_SetSmall(ln10.get(), 10);
    BigFloat_SetPrecision(ln10.get(), bits + kGuardBits, 2);
    BigFloat_Log(ln10.get(), ln10.get());
    BigFloat_SetSmall(factor.get(), 53);
    BigFloat_Mul(ln2.get(), ln2.get(), factor.get());
    BigFloat_Div(dst, ln2.get(), ln10.get());
    BigFloat_LimitPrecision(dst, bits);
}

struct ConstantEntry {
    BuiltinSymbol symbol;
    double machine;                       // the machine value
    void (*compute)(BigFloat *, double);  // the value at a number of bits
};

const ConstantEntry kConstants[] = {
    {SYM_Pi, 3.141592653589793, Constant_Pi},
    {SYM_E, 2.718281828459045, Constant_E},
    {SYM_EulerMascheroni, 0.5772156649015329, Constant_EulerGamma},
    {SYM_GoldenRatio, 1.6180339887498947, GoldenRatio},
    {SYM_GoldenAngle, 2.3999632297286535, GoldenAngle},
    {SYM_MachinePrecision, 15.954589770191003, MachinePrecision},
};

// The table entry of a constant symbol, or null. Borrows symbol.
const ConstantEntry *FindConstant(Object *symbol) {
    for (const ConstantEntry &c : kConstants)
        if (BuiltinBorrowed(c.symbol) == symbol) return &c;
    return nullptr;
}

}  // namespace

void Constant_Pi(BigFloat *dst, double bits) { FromCache(dst, &kernel.numbers.caches.pi, bits, ComputePi); }

void Constant_E(BigFloat *dst, double bits) { FromCache(dst, &kernel.numbers.caches.e, bits, ComputeE); }

void Constant_EulerGamma(BigFloat *dst, double bits) {
    FromCache(dst, &kernel.numbers.caches.euler, bits, ComputeEuler);
}

void Constant_Ln2(BigFloat *dst, double bits) { FromCache(dst, &kernel.numbers.caches.ln2, bits, ComputeLn2); }

bool Constant_BigFloat(Object *symbol, double bits, BigFloat *dst) {
    const ConstantEntry *c = FindConstant(symbol);
    if (!c) return false;
    // Internal users of e get one decimal digit beyond their request.
    if (c->symbol == SYM_E) bits = RequestBits(bits) + LOG2_10;
    c->compute(dst, bits);
    return true;
}

Object *Constant_Numeric(Object *symbol, int64_t mode, double digits) {
    const ConstantEntry *c = FindConstant(symbol);
    if (!c) return symbol;
    Object_Release(symbol);
    if (mode == NUMERIC_CONTEXT) {
        mode = kernel.numbers.numeric.mode;
        digits = kernel.numbers.numeric.digits;
    }
    if (mode != NUMERIC_PRECISION && mode != NUMERIC_ACCURACY) return Real_FromDouble(c->machine);
    double bits = 53.0;
    if (std::isfinite(digits) && digits >= 0.0) {
        bits = digits * LOG2_10;
        // An accuracy of d digits is a precision of d + log10|c| digits.
        if (mode == NUMERIC_ACCURACY) bits += std::log2(c->machine);
    }
    LocalFloat value;
    c->compute(value.get(), bits);
    return Real_FromBigFloat(value.get());
}
