#include "number/bigfloat_functions.h"

#include <cmath>
#include <limits>

#include "number/constants.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Beyond this many bits of the top bit, |x| exceeds ln 2 * 2^63 and e^x
// lies outside the exponent range whatever x's accuracy.
constexpr int64_t kExpSaturationBit = 63;

}  // namespace

void BigFloat_AddError(BigFloat *b, double errorLog2) {
    double a = b->accuracy;
    // -log2(2^-a + 2^e) = a - log2(1 + 2^(e + a)), computed on the small side.
    double widened = a == kInfinity ? -errorLog2 : a - std::log2(1.0 + std::exp2(errorLog2 + a));
    if (widened < a) BigFloat_SetAccuracy(b, widened);
}

void BigFloat_LimitPrecision(BigFloat *b, double bits) {
    if (BigFloat_Precision(b) > bits) BigFloat_SetPrecision(b, bits, 2);
}

void BigFloat_LimitAccuracy(BigFloat *b, double bits) {
    if (b->accuracy > bits) BigFloat_SetAccuracy(b, bits);
}

void BigFloat_DivSmall(BigFloat *dst, const BigFloat *src, int64_t d) {
    LocalFloat divisor;
    BigFloat_SetSmall(divisor.get(), d);
    BigFloat_Div(dst, src, divisor.get());
}

// Reduction to |y| < 2^-7: y = x * 2^-k with k = e + floor(8 * 2^log10(p)),
// so that the Taylor series converges fast; then e^x = (e^y)^(2^k). The
// squarings double the relative error each time, which the product's error
// propagation records, so the result's precision is x's accuracy, as the
// condition number of e^x demands.
void BigFloat_Exp(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, x->sign < 0 ? FloatUnderflow : FloatOverflow, 1);
        return;
    }
    if (x->kind == FloatUnderflow) {
        BigFloat_SetSmall(dst, 1);
        return;
    }
    if (x->kind == FloatIndeterminate || x->accuracy == kInfinity) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (x->kind == FloatZero) {
        // e^(0 +- 2^-a) = 1 +- about 2^-a.
        double a = x->accuracy;
        BigFloat_SetSmall(dst, 1);
        BigFloat_SetAccuracy(dst, a);
        return;
    }
    int64_t e = BigFloat_TopBit(x);
    if (e >= kExpSaturationBit) {
        BigFloat_SetSpecial(dst, x->sign < 0 ? FloatUnderflow : FloatOverflow, 1);
        return;
    }
    double digits = BigFloat_Precision(x) / LOG2_10;
    if (!(digits >= 1.0)) digits = 1.0;
    int64_t k = e + static_cast<int64_t>(std::floor(8.0 * std::exp2(std::log10(digits))));

    LocalFloat y, sum, term, one;
    BigFloat_Copy(y.get(), x);
    if (k > 0) BigFloat_Scale(y.get(), -k);
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Add(sum.get(), one.get(), y.get());
    BigFloat_Copy(term.get(), y.get());
    for (int64_t n = 2;; ++n) {
        BigFloat_Mul(term.get(), term.get(), y.get());
        BigFloat_DivSmall(term.get(), term.get(), n);
        if (term->magnitude < -(sum->accuracy + BIGFLOAT_GUARD_BITS)) break;
        BigFloat_Add(sum.get(), sum.get(), term.get());
        BigFloat_LimitAccuracy(term.get(), sum->accuracy + 2 * BIGFLOAT_GUARD_BITS);
    }
    // With |y| < 2^-7 the remainder is below twice the first omitted term.
    BigFloat_AddError(sum.get(), term->magnitude + 2);
    for (int64_t i = 0; i < k && BigFloat_IsFinite(sum.get()); ++i) BigFloat_Mul(sum.get(), sum.get(), sum.get());
    BigFloat_Copy(dst, sum.get());
}

// x = y * 2^e with 0.75 <= y < 1.5, and ln y = 2 artanh z with
// z = (y - 1)/(y + 1), |z| <= 1/5, summed as z + z^3/3 + z^5/5 + ...;
// ln x = ln y + e ln 2.
void BigFloat_Log(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatZero) {
        BigFloat_SetSpecial(dst, FloatOverflow, -1);
        return;
    }
    if (x->kind == FloatIndeterminate || x->sign < 0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (x->kind == FloatOverflow || x->kind == FloatUnderflow) {
        BigFloat_SetSpecial(dst, FloatOverflow, x->kind == FloatOverflow ? 1 : -1);
        return;
    }
    if (x->accuracy == kInfinity) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    int64_t e = BigFloat_TopBit(x);
    int64_t below = e - 1 - x->exponent * LIMB_BITS;  // the next lower bit, within the limbs
    if (below >= 0 && Limbs_TestBit(x->limbs, below)) ++e;

    LocalFloat y, z, w, power, term, sum, exact;
    BigFloat_Copy(y.get(), x);
    BigFloat_Scale(y.get(), -e);
    BigFloat_SetSmall(exact.get(), 1);
    BigFloat_Sub(z.get(), y.get(), exact.get());
    BigFloat_Add(y.get(), y.get(), exact.get());
    BigFloat_Div(z.get(), z.get(), y.get());
    BigFloat_Copy(sum.get(), z.get());
    if (z->kind != FloatZero) {
        BigFloat_Mul(w.get(), z.get(), z.get());
        BigFloat_Copy(power.get(), z.get());
        for (int64_t n = 3;; n += 2) {
            BigFloat_Mul(power.get(), power.get(), w.get());
            BigFloat_DivSmall(term.get(), power.get(), n);
            if (term->magnitude < -(sum->accuracy + BIGFLOAT_GUARD_BITS)) break;
            BigFloat_Add(sum.get(), sum.get(), term.get());
            BigFloat_LimitAccuracy(power.get(), sum->accuracy + 2 * BIGFLOAT_GUARD_BITS);
        }
        // With z^2 <= 1/25 the remainder is below 1.05 times the first
        // omitted term.
        BigFloat_AddError(sum.get(), term->magnitude + 1);
    }
    BigFloat_Scale(sum.get(), 1);
    if (e != 0) {
        LocalFloat ln2;
        Constant_Ln2(ln2.get(), sum->accuracy + std::log2(std::fabs(static_cast<double>(e))) + BIGFLOAT_GUARD_BITS);
        BigFloat_SetSmall(exact.get(), e);
        BigFloat_Mul(ln2.get(), ln2.get(), exact.get());
        BigFloat_Add(sum.get(), sum.get(), ln2.get());
    }
    BigFloat_Copy(dst, sum.get());
}
