#include "number/constants.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "eval/numeric.h"
#include "kernel/state.h"
#include "number/bigfloat_functions.h"
#include "number/real.h"

namespace {

// Bits beyond the request at which a cached constant is computed, so that
// the rounding errors of a long series stay far below the request and a
// later, slightly larger request is still answered from the cache.
constexpr double kCacheGuardBits = 32.0;
// Bits beyond the request at which the derived constants (golden ratio,
// golden angle, machine precision) are computed: 3.612359947967774 digits.
constexpr double kGuardBits = 12.0;

// A request for a negative or non-finite number of bits means 53 bits.
double RequestBits(double bits) { return std::isfinite(bits) && bits >= 0.0 ? bits : 53.0; }

// Answers a request of `bits` bits from cache when the cache holds at least
// that much, recomputing it at bits + kCacheGuardBits otherwise. A cache is
// recomputed rather than extended term by term: terms summed at a lower
// target carry errors that a longer sum cannot remove.
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

// pi by the Bailey-Borwein-Plouffe series
//   pi = sum_k 16^-k [(8k+7)/(32k^2+20k+2) - (16k+11)/(64k^2+88k+30)],
// term k computed at target - 4k bits of precision, which its factor 16^-k
// (an exact scaling) turns into target bits of accuracy.
void ComputePi(BigFloat *out, double target) {
    LocalFloat sum, num, first, second;
    BigFloat_SetZero(sum.get(), std::numeric_limits<double>::infinity());
    int64_t k = 0;
    for (; 4.0 * static_cast<double>(k) < target; ++k) {
        double bits = target - 4.0 * static_cast<double>(k);
        // The denominators are small exact integers, so each fraction is a
        // division by one word, in time linear in the term's length.
        BigFloat_SetSmall(num.get(), 8 * k + 7);
        BigFloat_SetPrecision(num.get(), bits, 2);
        BigFloat_DivSmall(first.get(), num.get(), 32 * k * k + 20 * k + 2);
        BigFloat_SetSmall(num.get(), 16 * k + 11);
        BigFloat_SetPrecision(num.get(), bits, 2);
        BigFloat_DivSmall(second.get(), num.get(), 64 * k * k + 88 * k + 30);
        BigFloat_Sub(first.get(), first.get(), second.get());
        BigFloat_Scale(first.get(), -4 * k);
        BigFloat_Add(sum.get(), sum.get(), first.get());
    }
    // The bracket is below 1/(2j^2) for j >= 1, so the terms from k on sum
    // to less than 16^-k / k^2.
    BigFloat_AddError(sum.get(), -4.0 * static_cast<double>(k) - 2.0 * std::log2(static_cast<double>(k)));
    BigFloat_Copy(out, sum.get());
}

// e = 2 + 1/2! + 1/3! + ..., each term the previous one divided by n and
// kept to the target's absolute accuracy.
void ComputeE(BigFloat *out, double target) {
    LocalFloat sum, term;
    BigFloat_SetSmall(sum.get(), 2);
    BigFloat_SetAccuracy(sum.get(), target);
    BigFloat_SetSmall(term.get(), 1);
    BigFloat_SetAccuracy(term.get(), target);
    for (int64_t n = 2;; ++n) {
        BigFloat_DivSmall(term.get(), term.get(), n);
        if (term->magnitude < -sum->accuracy) break;
        BigFloat_Add(sum.get(), sum.get(), term.get());
        BigFloat_LimitAccuracy(term.get(), target);
    }
    // The remainder from 1/n! on is below twice 1/n!.
    BigFloat_AddError(sum.get(), term->magnitude + 1);
    BigFloat_Copy(out, sum.get());
}

// ln 2 = sum_k 2/(3 (2k+1) 9^k), the running factor 2/(3 * 9^k) divided by
// 9 for each term.
void ComputeLn2(BigFloat *out, double target) {
    LocalFloat sum, power, term;
    BigFloat_SetSmall(power.get(), 2);
    BigFloat_SetAccuracy(power.get(), target);
    BigFloat_DivSmall(power.get(), power.get(), 3);
    BigFloat_Copy(sum.get(), power.get());
    for (int64_t k = 1;; ++k) {
        BigFloat_DivSmall(power.get(), power.get(), 9);
        BigFloat_DivSmall(term.get(), power.get(), 2 * k + 1);
        if (term->magnitude < -sum->accuracy) break;
        BigFloat_Add(sum.get(), sum.get(), term.get());
        BigFloat_LimitAccuracy(power.get(), target);
    }
    // The remainder is below 9/8 of the first omitted term.
    BigFloat_AddError(sum.get(), term->magnitude + 1);
    BigFloat_Copy(out, sum.get());
}

// The Euler-Mascheroni constant by the Brent-McMillan iteration: with
// A_0 = -ln n, B_0 = 1, B_k = B_(k-1) n^2/k^2, A_k = (A_(k-1) n^2/k + B_k)/k,
// gamma = sum A_k / sum B_k up to an error below pi e^(-4n). The sums reach
// about e^(2n), so the work runs with guard bits for the roundings of the
// 3.6 n steps.
void ComputeEuler(BigFloat *out, double target) {
    int64_t n = static_cast<int64_t>(std::ceil(0.51 * target * std::numbers::ln2)) + 3;
    int64_t steps = std::llround(3.6 * static_cast<double>(n));
    double working = target + 2.0 * std::log2(static_cast<double>(steps)) + 2 * BIGFLOAT_GUARD_BITS;
    LocalFloat a, b, u, v, nSquared;
    BigFloat_SetSmall(a.get(), n);
    BigFloat_SetPrecision(a.get(), working, 2);
    BigFloat_Log(a.get(), a.get());
    BigFloat_Negate(a.get(), a.get());
    BigFloat_SetSmall(b.get(), 1);
    BigFloat_SetPrecision(b.get(), working, 2);
    BigFloat_Copy(u.get(), a.get());
    BigFloat_Copy(v.get(), b.get());
    BigFloat_SetSmall(nSquared.get(), n * n);
    for (int64_t k = 1; k <= steps; ++k) {
        BigFloat_Mul(b.get(), b.get(), nSquared.get());
        BigFloat_DivSmall(b.get(), b.get(), k * k);
        BigFloat_Mul(a.get(), a.get(), nSquared.get());
        BigFloat_DivSmall(a.get(), a.get(), k);
        BigFloat_Add(a.get(), a.get(), b.get());
        BigFloat_DivSmall(a.get(), a.get(), k);
        BigFloat_Add(u.get(), u.get(), a.get());
        BigFloat_Add(v.get(), v.get(), b.get());
    }
    BigFloat_Div(out, u.get(), v.get());
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
