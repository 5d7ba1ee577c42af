// The elementary kernels. Each public function handles the special kinds,
// computes f at the argument's stored value on a working copy that claims
// kWorkGuard bits beyond the argument's precision (so the error tracking of
// the arithmetic bounds every rounding on the way), and then adds the
// argument's own error carried through f (Finish). The carried error is a
// bound of |f(x + t) - f(x)| over |t| <= dx from the mean value theorem,
// with the derivative bounded over the whole interval, written in log2 so
// that errors far outside the double range still combine.
//
// The methods, chosen by measurement against the term-by-term BigFloat
// series they replace (the fixed-point sums of series.cpp win at every
// precision from 100 to 10,000 digits):
// - e^x: x = q ln 2 + r, 0 <= r < 1 (ln 2 from its cache), e^r by the
//   fixed-point Taylor series after about sqrt(bits)/4 halvings, squared
//   back. All precisions.
// - ln x: x = y 2^e, 0.75 <= y < 1.5. Up to 2500 bits ln y = 2 artanh z by
//   the fixed-point series; beyond, Newton's iteration on e^x.
// - sin, cos, tan: reduction by multiples of pi/2 (pi from its cache),
//   then sin y = y S(y^2) and cos y = C(y^2) by the fixed-point series,
//   without halvings. All precisions.
// - arctan: 1/x beyond 1, the angle halved until |x| <= 2^-h (h =
//   sqrt(bits)/15 within [2, 8]), and the fixed-point series. All
//   precisions. arcsin and arccos are angles of
//   (sqrt(1 - x^2), x); the hyperbolic functions come from e^x, their
//   inverses from ln, n-th roots from sqrt (n = +-2) or e^(ln x / n).
#include "number/bigfloat_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <utility>

#include "number/bigint.h"
#include "number/constants.h"
#include "number/series.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Beyond this many bits of the top bit, |x| exceeds ln 2 * 2^63 and e^x
// lies outside the exponent range whatever x's accuracy.
constexpr int64_t kExpSaturationBit = 63;
// Bits the working copy claims beyond the argument's precision: the
// roundings of the computation then stay this far below the argument's
// own error.
constexpr double kWorkGuard = 24.0;
// Below |x| + dx < 2^kSmallArgument the odd functions are x + c x^3 + ...
// with |c| <= 1/3 and a derivative within 2^-38 of 1 over the interval.
constexpr double kSmallArgument = -20.0;

bool IsExact(const BigFloat *b) { return b->accuracy == kInfinity; }

// log2(2^a + 2^b); -inf stands for a zero term.
double Log2Add(double a, double b) {
    if (a < b) std::swap(a, b);
    if (b == -kInfinity) return a;
    return a + std::log2(1.0 + std::exp2(b - a));
}

// log2(2^a - 2^b) for b < a.
double Log2Sub(double a, double b) {
    return b == -kInfinity ? a : a + std::log2(-std::expm1((b - a) * std::numbers::ln2));
}

// A small slack on stored magnitudes: they are log2 of the top 64 bits
// (a value near 64, good to a few of its ulps of 2^-47) plus the top bit's
// position, rounded to a double (half an ulp of |m|, 1.1e-16 |m|).
double Slack(double m) { return 3e-14 + 4.5e-16 * std::fabs(m); }

// log2 of an upper bound of |b| over its interval (finite b).
double UpperLog2(const BigFloat *b) {
    if (b->kind == FloatZero) return -b->accuracy;
    return Log2Add(b->magnitude + Slack(b->magnitude), -b->accuracy);
}

// log2 of a lower bound of |b| over its interval, -inf when the interval
// reaches zero (finite b).
double LowerLog2(const BigFloat *b) {
    if (b->kind == FloatZero) return -kInfinity;
    double m = b->magnitude - Slack(b->magnitude);
    if (m <= -b->accuracy) return -kInfinity;
    return Log2Sub(m, -b->accuracy);
}

// log2(e^(2^l) - 1): the relative change of e^x over an interval of
// half-width 2^l.
double LogExpm1(double l) {
    double d = std::exp2(l);
    if (d < 1e-6) return l + d * 0.7214;  // log2(1 + d/2 + ...) <= d/(2 ln 2) (1 + d)
    if (d < 700.0) return std::log2(std::expm1(d));
    return d * std::numbers::log2e;
}

// log2(-ln(1 - 2^l)) for l < 0: the largest change of ln over an interval
// of relative half-width 2^l.
double LogLog1m(double l) {
    double r = std::exp2(l);
    if (r < 1e-6) return l + r * 0.7214;
    return std::log2(-std::log1p(-r));
}

// log2 cosh z and log2 sinh z for z >= 0, rounded up.
double Log2Cosh(double z) {
    if (z > 40.0) return z * std::numbers::log2e - 1.0 + 1e-12 * z;
    return std::log2(std::cosh(z)) + 1e-14;
}
double Log2Sinh(double z) {
    if (z > 40.0) return z * std::numbers::log2e - 1.0 + 1e-12 * z;
    if (z == 0.0) return -kInfinity;
    return std::log2(std::sinh(z)) + 1e-14;
}

// |b| rounded up as a double (finite b), +infinity beyond the double range.
double UpperDouble(const BigFloat *b) { return std::exp2(UpperLog2(b)); }

// The working precision of an argument: its precision (at least 64 bits)
// and the guard bits.
double WorkBits(const BigFloat *x) {
    double p = BigFloat_Precision(x);
    return (p > 64.0 ? p : 64.0) + kWorkGuard;
}

// w = x's stored value claimed to `bits` bits of precision.
void Working(BigFloat *w, const BigFloat *x, double bits) {
    BigFloat_Copy(w, x);
    BigFloat_SetPrecision(w, bits, 2);
}

// For the functions that are about constant at a tiny argument (e^x,
// cosh x, arccos x): the working copy's accuracy, which for a tiny x lies
// far beyond its precision, is cut to 64 bits beyond that precision; the
// digits below vanish beside the function's value anyway.
void LimitTinyArgument(BigFloat *w) { BigFloat_LimitAccuracy(w, BigFloat_Precision(w) + 64.0); }

// dst = r with a further error of 2^carriedLog2 (x's error carried through
// f). When the whole error reaches 2^capLog2, a bound of |f| everywhere,
// dst is a zero known to that bound instead: the value then says nothing
// beyond its range.
void Finish(BigFloat *dst, BigFloat *r, double carriedLog2, double capLog2) {
    if (BigFloat_IsFinite(r)) {
        BigFloat_AddError(r, carriedLog2);
        if (-r->accuracy >= capLog2) {
            BigFloat_SetZero(dst, -capLog2);
            return;
        }
    }
    BigFloat_Copy(dst, r);
}

// The odd functions f(x) = x + c x^3 + ... (|c| <= 1/3) at a tiny
// argument: when |x| + dx < 2^kSmallArgument and x^3/2 lies below the
// working precision, f(x) is x's stored value with the error x^3/2 plus
// dx (1 + 2^-30). Returns true when it wrote dst.
bool SmallOdd(BigFloat *dst, const BigFloat *x) {
    double m = x->magnitude, dxLog = -x->accuracy;
    if (Log2Add(m, dxLog) >= kSmallArgument || 2.0 * m > 1.0 - WorkBits(x)) return false;
    double err = Log2Add(3.0 * m - 1.0 + Slack(m), dxLog + 2e-9);
    BigFloat_Copy(dst, x);
    BigFloat_SetAccuracy(dst, -err);
    return true;
}

// log2 f(d) at d = 2^l for the odd functions that grow faster than their
// argument (|f(t)| > |t|), bounding f over a zero's interval; +inf where
// the interval reaches a pole or the edge of the domain. For tiny d,
// f(d) = d (1 + c d^2 + ...) with c <= 1/3.
double TinyGrowth(double l) { return l + 0.49 * std::exp2(2.0 * l); }
double SinhGrowth(double l) { return l < -8.0 ? TinyGrowth(l) : Log2Sinh(std::exp2(l)); }
double TanGrowth(double l) {
    double d = std::exp2(l);
    if (d >= std::numbers::pi / 2) return kInfinity;
    return l < -8.0 ? TinyGrowth(l) : std::log2(std::tan(d)) + 1e-14;
}
double ArcSinGrowth(double l) {
    double d = std::exp2(l);
    if (d >= 1.0) return std::log2(std::numbers::pi / 2);
    return l < -8.0 ? TinyGrowth(l) : std::log2(std::asin(d)) + 1e-14;
}
double ArTanhGrowth(double l) {
    double d = std::exp2(l);
    if (d >= 1.0) return kInfinity;
    return l < -8.0 ? TinyGrowth(l) : std::log2(std::atanh(d)) + 1e-14;
}

// The common special arguments of the odd functions that vanish at 0 and
// behave like x near it: a zero is returned as it is (its bound widened to
// f(dx) by `growth` when f grows faster than its argument), FloatUnderflow
// stays FloatUnderflow, FloatIndeterminate and exact arguments are
// indeterminate. Returns true when it wrote dst.
bool OddSpecial(BigFloat *dst, const BigFloat *x, double (*growth)(double) = nullptr) {
    if (x->kind == FloatZero) {
        double bound = growth && x->accuracy != kInfinity ? growth(-x->accuracy) : -x->accuracy;
        if (bound == kInfinity)
            BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        else
            BigFloat_SetZero(dst, -bound);
        return true;
    }
    if (x->kind == FloatUnderflow) {
        BigFloat_SetSpecial(dst, FloatUnderflow, x->sign);
        return true;
    }
    if (x->kind == FloatIndeterminate || (x->kind > 0 && IsExact(x))) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return true;
    }
    return false;
}

// dst = pi * 2^scale at `bits` bits of precision, with `sign`.
void PiScaled(BigFloat *dst, double bits, int64_t scale, int64_t sign) {
    Constant_Pi(dst, bits);
    BigFloat_Scale(dst, scale);
    if (sign < 0) BigFloat_Negate(dst, dst);
}

// The value 1 known to `accuracy` bits (+infinity: exactly).
void OneWithAccuracy(BigFloat *dst, double accuracy) {
    BigFloat_SetSmall(dst, 1);
    if (accuracy != kInfinity) BigFloat_SetAccuracy(dst, accuracy);
}

// k = q truncated toward zero (finite q).
void TruncateToInteger(BigInt *k, const BigFloat *q) {
    BigInt_SetZero(k);
    if (q->kind <= 0 || BigFloat_TopBit(q) < 0) return;
    int64_t n = q->top + 1;
    auto *p = static_cast<Limb *>(std::malloc(n * LIMB_BYTES));
    if (!p) {
        BigInt_SetInfinite(k, q->sign);
        return;
    }
    std::memcpy(p, q->limbs, n * LIMB_BYTES);
    std::free(k->limbs);
    k->limbs = p;
    k->top = n - 1;
    k->size = n * LIMB_BYTES;
    k->sign = 1;
    k->kind = IntRegular;
    BigInt_Normalize(k);
    if (q->exponent != 0) BigInt_Shift(k, k, 64 * q->exponent);
    if (q->sign < 0) BigInt_Negate(k);
}

// Reduction by multiples of pi/2: y = x - k pi/2 with |y| <= pi/4 (plus a
// hair), returning k mod 4. pi is taken 32 bits beyond x's precision, so
// the product k pi/2 errs far below x's own bound whatever the size of k.
int ReduceQuarter(BigFloat *y, const BigFloat *x) {
    if (x->kind == FloatZero || BigFloat_TopBit(x) < -1) {
        BigFloat_Copy(y, x);
        return 0;
    }
    LocalFloat halfPi, q, h, kf;
    PiScaled(halfPi.get(), BigFloat_Precision(x) + 32.0, -1, 1);
    // The quotient only has to give a nearby integer: x's integer bits and
    // a few more.
    double bits = static_cast<double>(BigFloat_TopBit(x)) + 24.0;
    BigFloat_Copy(q.get(), x);
    BigFloat_LimitPrecision(q.get(), bits);
    BigFloat_Copy(h.get(), halfPi.get());
    BigFloat_LimitPrecision(h.get(), bits);
    BigFloat_Div(q.get(), q.get(), h.get());
    LocalFloat half;
    BigFloat_SetSmall(half.get(), q->sign);
    BigFloat_Scale(half.get(), -1);
    BigFloat_Add(q.get(), q.get(), half.get());
    BigInt k{};
    TruncateToInteger(&k, q.get());
    int quarter = 0;
    if (k.kind > 0) {
        quarter = static_cast<int>(k.limbs[0] & 3);
        if (k.sign < 0) quarter = (4 - quarter) & 3;
    }
    BigFloat_FromBigInt(kf.get(), &k);
    BigInt_Release(&k);
    BigFloat_Mul(kf.get(), kf.get(), halfPi.get());
    BigFloat_Sub(y, x, kf.get());
    return quarter;
}

// Extra working bits for the reduction of a large x: the reduced argument
// is then accurate to x's precision in absolute terms, as sin and cos near
// their extrema (where the slope vanishes) need. At most the bits of x's
// magnitude and of its accuracy, so an argument with little accuracy left
// costs nothing extra.
double ReductionBits(const BigFloat *x) {
    double m = static_cast<double>(BigFloat_TopBit(x));
    return std::max(0.0, std::min(m, x->accuracy));
}

// sum = sin y (cosine false) or cos y for |y| <= 1 (about pi/4 after the
// reduction), as y S(y^2) and C(y^2) from the fixed-point series. The
// error of y^2 moves S and C by at most half as much.
void SinCosSeries(BigFloat *sum, const BigFloat *y, bool cosine) {
    if (y->kind == FloatZero) {
        if (cosine)
            OneWithAccuracy(sum, y->accuracy == kInfinity ? kInfinity : 2.0 * y->accuracy + 1.0);
        else
            BigFloat_Copy(sum, y);
        return;
    }
    LocalFloat z, s;
    BigFloat_Mul(z.get(), y, y);
    // S and C lie in [0.68, 1]: their absolute accuracy is their precision.
    double bits = (cosine ? y->accuracy : BigFloat_Precision(y)) + 4.0;
    Series_SinCos(s.get(), z.get(), cosine, bits);
    if (BigFloat_IsFinite(s.get())) BigFloat_AddError(s.get(), -z->accuracy - 1.0);
    if (cosine)
        BigFloat_Copy(sum, s.get());
    else
        BigFloat_Mul(sum, y, s.get());
}

// The halvings of the angle before the arctangent series go on until
// |x| <= 2^-h for this h: each costs a square root and a quotient and
// saves a share of the series' terms (the balance measured).
int64_t ArcTanHalvings(double bits) { return std::clamp<int64_t>(static_cast<int64_t>(std::sqrt(bits) / 15.0), 2, 8); }

// sum = arctan x for |x| <= 1: the angle is halved,
// arctan x = 2 arctan(x / (1 + sqrt(1 + x^2))), until |x| < 2^-h, and
// arctan v = v A(v^2) summed by the fixed-point series (|A'| <= 1/3, so
// the error of v^2 moves A by a third of it).
void ArcTanSeries(BigFloat *sum, const BigFloat *x) {
    LocalFloat v, t, one, z, a;
    BigFloat_Copy(v.get(), x);
    BigFloat_SetSmall(one.get(), 1);
    int64_t halvings = 0;
    double target = -static_cast<double>(ArcTanHalvings(BigFloat_Precision(x)));
    while (v->kind > 0 && v->magnitude > target) {
        BigFloat_Mul(t.get(), v.get(), v.get());
        BigFloat_Add(t.get(), t.get(), one.get());
        BigFloat_Sqrt(t.get(), t.get());
        BigFloat_Add(t.get(), t.get(), one.get());
        BigFloat_Div(v.get(), v.get(), t.get());
        ++halvings;
    }
    if (v->kind <= 0) {
        BigFloat_Copy(sum, v.get());
    } else {
        BigFloat_Mul(z.get(), v.get(), v.get());
        Series_ArcTan(a.get(), z.get(), BigFloat_Precision(v.get()) + 4.0, false);
        if (BigFloat_IsFinite(a.get())) BigFloat_AddError(a.get(), -z->accuracy - 1.5);
        BigFloat_Mul(sum, v.get(), a.get());
    }
    BigFloat_Scale(sum, halvings);
}

// e^x of a finite non-zero x taken as it is stored (its accuracy bounds
// the roundings), to x's accuracy as relative precision: x = q ln 2 + r
// with 0 <= r < 1, e^x = 2^q e^r, e^r from the fixed-point series. r's
// error (from ln 2 and x) moves e^r by at most e^r (e^dr - 1). A q beyond
// the exponent range saturates.
void ExpStored(BigFloat *dst, const BigFloat *x) {
    double bits = std::max(x->accuracy, 8.0) + 4.0;
    LocalFloat ln2, q, r, v;
    int64_t top = BigFloat_TopBit(x);
    int64_t n = 0;
    if (top < 50) {
        n = static_cast<int64_t>(std::floor(BigFloat_ToDouble(x) * std::numbers::log2e));
    } else {
        // The quotient by ln 2 to its integer bits and a few more.
        LocalFloat xs;
        BigFloat_Copy(xs.get(), x);
        BigFloat_LimitPrecision(xs.get(), static_cast<double>(top) + 16.0);
        Constant_Ln2(ln2.get(), static_cast<double>(top) + 16.0);
        BigFloat_Div(q.get(), xs.get(), ln2.get());
        BigInt k{};
        TruncateToInteger(&k, q.get());
        bool fits = BigInt_FitsSmall(&k) && std::llabs(BigInt_ToSmall(&k)) < (int64_t(1) << 62);
        n = BigInt_ToSmall(&k);
        BigInt_Release(&k);
        if (!fits) {
            BigFloat_SetSpecial(dst, x->sign < 0 ? FloatUnderflow : FloatOverflow, 1);
            return;
        }
    }
    double qBits = n == 0 ? 0.0 : std::log2(std::fabs(static_cast<double>(n))) + 1.0;
    Constant_Ln2(ln2.get(), bits + qBits + 8.0);
    BigFloat_SetSmall(q.get(), n);
    BigFloat_Mul(q.get(), q.get(), ln2.get());
    BigFloat_Sub(r.get(), x, q.get());
    // The double estimate of q can be one off either way.
    while (r->kind != FloatZero && r->sign < 0) {
        BigFloat_Add(r.get(), r.get(), ln2.get());
        --n;
    }
    while (r->kind > 0 && r->magnitude >= 0.0) {
        BigFloat_Sub(r.get(), r.get(), ln2.get());
        ++n;
    }
    Series_Exp(v.get(), r.get(), bits);
    if (BigFloat_IsFinite(v.get())) {
        BigFloat_AddError(v.get(), v->magnitude + Slack(v->magnitude) + LogExpm1(-r->accuracy));
        BigFloat_Scale(v.get(), n);
    }
    BigFloat_Copy(dst, v.get());
}

// Up to this precision (about 750 digits) ln y comes from the artanh
// series; beyond it Newton's iteration on e^x, whose cost is a few
// exponentials, is faster (measured).
constexpr double kLogSeriesBits = 2500.0;

// ln x of a finite positive x taken as it is stored: x = y * 2^e with
// 0.75 <= y < 1.5 and ln x = ln y + e ln 2. Up to kLogSeriesBits,
// ln y = 2 artanh((y - 1)/(y + 1)) by the fixed-point series; beyond,
// Newton's iteration on e^L = y from a machine estimate,
// L <- L + (y e^-L - 1), the precision doubling each step. The last
// step's correction t bounds the result: ln y = L + ln(1 + t) and
// |ln(1 + t) - t| <= t^2, so L + t errs by the error of t (tracked) and
// t^2.
void LogStored(BigFloat *dst, const BigFloat *x) {
    int64_t e = BigFloat_TopBit(x);
    int64_t below = e - 1 - x->exponent * LIMB_BITS;  // the next lower bit, within the limbs
    if (below >= 0 && Limbs_TestBit(x->limbs, below)) ++e;

    LocalFloat y, d, one, sum;
    BigFloat_Copy(y.get(), x);
    BigFloat_Scale(y.get(), -e);
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Sub(d.get(), y.get(), one.get());
    double target = y->accuracy + 2.0;
    if (d->kind == FloatZero) {
        BigFloat_SetZero(sum.get(), y->accuracy);
    } else if (target <= kLogSeriesBits) {
        // ln y = 2 artanh z, z = (y - 1)/(y + 1) in [-1/7, 1/5], summed as
        // 2 z A(z^2); |A'| <= 0.4 there.
        LocalFloat z, w, a;
        BigFloat_Add(z.get(), y.get(), one.get());
        BigFloat_Div(z.get(), d.get(), z.get());
        BigFloat_Mul(w.get(), z.get(), z.get());
        Series_ArcTan(a.get(), w.get(), target + 4.0, true);
        if (BigFloat_IsFinite(a.get())) BigFloat_AddError(a.get(), -w->accuracy - 1.3);
        BigFloat_Mul(sum.get(), z.get(), a.get());
        BigFloat_Scale(sum.get(), 1);
    } else {
        // The machine estimate is good to about 50 bits of its own size;
        // below the double range, ln(1 + d) = d within d^2/2.
        double reached;
        if (d->magnitude < -60.0) {
            BigFloat_Copy(sum.get(), d.get());
            reached = -(2.0 * (d->magnitude + Slack(d->magnitude)) - 1.0);
        } else {
            double start = std::log1p(BigFloat_ToDouble(d.get()));
            BigFloat_FromDouble(sum.get(), start);
            reached = 50.0 - std::log2(std::fabs(start));
        }
        double steps[64];
        int count = 0;
        for (double p = target; p > reached && count < 64; p = p / 2.0 + 8.0) steps[count++] = p;
        LocalFloat l, ex, t, ys;
        for (int i = count - 1; i >= 0; --i) {
            double p = steps[i];
            // L is cut to the step's precision, and the sum continues from
            // exactly the value whose exponential is taken.
            BigFloat_Negate(l.get(), sum.get());
            BigFloat_SetAccuracy(l.get(), p + 4.0);
            BigFloat_Negate(sum.get(), l.get());
            BigFloat_SetAccuracy(sum.get(), kInfinity);
            if (l->kind == FloatZero)
                OneWithAccuracy(ex.get(), l->accuracy);
            else
                ExpStored(ex.get(), l.get());
            BigFloat_Copy(ys.get(), y.get());
            BigFloat_LimitAccuracy(ys.get(), p + 8.0);
            BigFloat_Mul(t.get(), ys.get(), ex.get());
            BigFloat_Sub(t.get(), t.get(), one.get());
            BigFloat_Add(sum.get(), sum.get(), t.get());
            if (i == 0 && t->kind >= 0) BigFloat_AddError(sum.get(), 2.0 * UpperLog2(t.get()));
        }
        if (count == 0) BigFloat_SetAccuracy(sum.get(), reached);
    }
    if (e != 0 && BigFloat_IsFinite(sum.get())) {
        LocalFloat ln2, factor;
        Constant_Ln2(ln2.get(), sum->accuracy + std::log2(std::fabs(static_cast<double>(e))) + BIGFLOAT_GUARD_BITS);
        BigFloat_SetSmall(factor.get(), e);
        BigFloat_Mul(ln2.get(), ln2.get(), factor.get());
        BigFloat_Add(sum.get(), sum.get(), ln2.get());
    }
    BigFloat_Copy(dst, sum.get());
}

// dst = 1 - x^2 = (1 - x)(1 + x), without the cancellation of x^2 near 1.
void OneMinusSquare(BigFloat *dst, const BigFloat *x) {
    LocalFloat one, a, b;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Sub(a.get(), one.get(), x);
    BigFloat_Add(b.get(), one.get(), x);
    BigFloat_Mul(dst, a.get(), b.get());
}

// log2(1 - |x|) of the stored value, -inf at |x| = 1.
double DistanceToOneLog2(const BigFloat *x) {
    LocalFloat one, u, ax;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Copy(ax.get(), x);
    ax->sign = ax->sign < 0 ? 1 : ax->sign;
    BigFloat_Sub(u.get(), one.get(), ax.get());
    return u->kind == FloatZero ? -kInfinity : u->magnitude;
}

// The carried error of arcsin and arccos at x, |x| <= 1: with u = 1 - |x|,
// dx / sqrt(u - dx) while dx <= u/2 (the derivative 1/sqrt(1 - t^2) at the
// end of the interval nearer to 1, where 1 - t^2 >= u - dx), else the
// square-root growth there, arccos(1 - v) <= 2.25 sqrt(v) for v = u + dx.
double ArcSinCarried(const BigFloat *x) {
    double dxLog = -x->accuracy, uLog = DistanceToOneLog2(x);
    if (dxLog <= uLog - 1.0) return dxLog - 0.5 * Log2Sub(uLog - Slack(uLog), dxLog);
    if (uLog != -kInfinity) uLog += Slack(uLog);
    return std::log2(2.25) + 0.5 * Log2Add(uLog, dxLog);
}

}  // namespace

void BigFloat_AddError(BigFloat *b, double errorLog2) {
    double a = b->accuracy;
    // -log2(2^-a + 2^e), computed on the small side so that an added error
    // far above the old one does not overflow.
    double widened = -Log2Add(-a, errorLog2);
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

// |e^(x+t) - e^x| <= e^x (e^dx - 1) over |t| <= dx.
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
    double dxLog = -x->accuracy;
    if (x->kind == FloatZero) {
        // e^(0 +- dx) = 1 within e^dx - 1.
        OneWithAccuracy(dst, -LogExpm1(dxLog));
        return;
    }
    if (BigFloat_TopBit(x) >= kExpSaturationBit) {
        BigFloat_SetSpecial(dst, x->sign < 0 ? FloatUnderflow : FloatOverflow, 1);
        return;
    }
    LocalFloat w, r;
    Working(w.get(), x, WorkBits(x));
    LimitTinyArgument(w.get());
    ExpStored(r.get(), w.get());
    double carried = BigFloat_IsFinite(r.get()) ? r->magnitude + Slack(r->magnitude) + LogExpm1(dxLog) : 0.0;
    Finish(dst, r.get(), carried, kInfinity);
}

// |ln(x+t) - ln x| <= -ln(1 - dx/x) over |t| <= dx < x.
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
    double relLog = -x->accuracy - (x->magnitude - Slack(x->magnitude));
    if (relLog >= 0.0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    LocalFloat w, r;
    Working(w.get(), x, WorkBits(x));
    LogStored(r.get(), w.get());
    Finish(dst, r.get(), LogLog1m(relLog), kInfinity);
}

// |sin(x+t) - sin x| <= dx (|cos x| + dx).
void BigFloat_Sin(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (OddSpecial(dst, x)) return;
    if (x->accuracy <= 0.0) {
        BigFloat_SetZero(dst, 0.0);
        return;
    }
    if (SmallOdd(dst, x)) return;
    double dxLog = -x->accuracy;
    LocalFloat w, y, r;
    Working(w.get(), x, WorkBits(x) + ReductionBits(x));
    int quarter = ReduceQuarter(y.get(), w.get());
    // sin x = sin y, cos y, -sin y, -cos y by quarter; |cos x| is then
    // |cos y| <= 1 or |sin y| <= |y|.
    SinCosSeries(r.get(), y.get(), quarter & 1);
    if (quarter >= 2) BigFloat_Negate(r.get(), r.get());
    double slope = quarter & 1 ? std::min(UpperLog2(y.get()), 0.0) : 0.0;
    Finish(dst, r.get(), dxLog + Log2Add(slope, dxLog), 0.0);
}

// |cos(x+t) - cos x| <= dx (|sin x| + dx).
void BigFloat_Cos(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatZero) {
        // cos t >= 1 - t^2/2.
        OneWithAccuracy(dst, x->accuracy == kInfinity ? kInfinity : 2.0 * x->accuracy + 1.0);
        return;
    }
    if (x->kind == FloatUnderflow) {
        BigFloat_SetSmall(dst, 1);
        return;
    }
    if (x->kind < 0 || IsExact(x)) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (x->accuracy <= 0.0) {
        BigFloat_SetZero(dst, 0.0);
        return;
    }
    double dxLog = -x->accuracy;
    LocalFloat w, y, r;
    Working(w.get(), x, WorkBits(x) + ReductionBits(x));
    int quarter = ReduceQuarter(y.get(), w.get());
    // cos x = cos y, -sin y, -cos y, sin y by quarter.
    SinCosSeries(r.get(), y.get(), !(quarter & 1));
    if (quarter == 1 || quarter == 2) BigFloat_Negate(r.get(), r.get());
    double slope = quarter & 1 ? 0.0 : std::min(UpperLog2(y.get()), 0.0);
    Finish(dst, r.get(), dxLog + Log2Add(slope, dxLog), 0.0);
}

// Without a pole in the interval tan is monotonic there, and
// |tan(x+t) - tan x| = |sin t| / |cos(x+t) cos x| <= dx / ((|cos x| - dx)
// |cos x|); an interval that may reach a pole is indeterminate.
void BigFloat_Tan(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (OddSpecial(dst, x, TanGrowth)) return;
    // An interval of width pi or more holds a pole.
    if (x->accuracy <= -0.66) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (SmallOdd(dst, x)) return;
    double dxLog = -x->accuracy;
    LocalFloat w, y, s, c, r;
    Working(w.get(), x, WorkBits(x) + ReductionBits(x));
    int quarter = ReduceQuarter(y.get(), w.get());
    // |cos x| is |cos y| >= cos |y| for an even quarter, |sin y| >= 0.89 |y|
    // for an odd one.
    double cosLow = std::log2(std::cos(std::min(UpperDouble(y.get()), 1.5))) - 1e-14;
    if (quarter & 1) cosLow = LowerLog2(y.get()) + std::log2(0.89);
    if (cosLow <= dxLog) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    SinCosSeries(s.get(), y.get(), false);
    SinCosSeries(c.get(), y.get(), true);
    if (quarter & 1) {
        BigFloat_Div(r.get(), c.get(), s.get());
        BigFloat_Negate(r.get(), r.get());
    } else {
        BigFloat_Div(r.get(), s.get(), c.get());
    }
    Finish(dst, r.get(), dxLog - Log2Sub(cosLow, dxLog) - cosLow, kInfinity);
}

// |arctan(x+t) - arctan x| <= dx / (1 + (|x| - dx)^2).
void BigFloat_ArcTan(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        PiScaled(dst, 53.0, -1, x->sign);
        return;
    }
    if (OddSpecial(dst, x)) return;
    if (SmallOdd(dst, x)) return;
    double dxLog = -x->accuracy, w = WorkBits(x);
    LocalFloat v, r, one;
    Working(v.get(), x, w);
    int64_t sign = v->sign;
    v->sign = 1;
    BigFloat_SetSmall(one.get(), 1);
    bool invert = BigFloat_CompareDigits(v.get(), one.get()) > 0;
    // arctan x = pi/2 - arctan(1/x) for x > 1.
    if (invert) BigFloat_Div(v.get(), one.get(), v.get());
    ArcTanSeries(r.get(), v.get());
    if (invert) {
        LocalFloat halfPi;
        PiScaled(halfPi.get(), w + 8.0, -1, 1);
        BigFloat_Sub(r.get(), halfPi.get(), r.get());
    }
    if (sign < 0) BigFloat_Negate(r.get(), r.get());
    double low = LowerLog2(x);
    double carried = low == -kInfinity ? dxLog : dxLog - std::log2(1.0 + std::exp2(2.0 * low));
    Finish(dst, r.get(), carried, std::log2(std::numbers::pi / 2));
}

// The gradient of the angle has length 1/r; over the box of the two
// intervals |d angle| <= ((|x| + dx) dy + (|y| + dy) dx) / r_min^2.
void BigFloat_ArcTan2(BigFloat *dst, const BigFloat *y, const BigFloat *x) {
    if (x->kind == FloatIndeterminate || y->kind == FloatIndeterminate ||
        (x->kind == FloatZero && y->kind == FloatZero)) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    // Two exact coordinates have an exact angle only on the positive axis.
    if (IsExact(x) && IsExact(y) && x->kind >= 0 && y->kind >= 0) {
        if (y->kind == FloatZero && x->sign > 0)
            BigFloat_SetZero(dst, kInfinity);
        else
            BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    // The saturated kinds: a huge coordinate dominates, a tiny one counts
    // as a signed zero.
    if (x->kind < 0 || y->kind < 0) {
        bool xHuge = x->kind == FloatOverflow, yHuge = y->kind == FloatOverflow;
        bool xTiny = x->kind == FloatUnderflow || x->kind == FloatZero;
        bool yTiny = y->kind == FloatUnderflow || y->kind == FloatZero;
        int64_t ySign = y->sign < 0 ? -1 : 1;
        if ((xHuge && yHuge) || (xTiny && yTiny)) {
            BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        } else if (yHuge || xTiny) {
            PiScaled(dst, 53.0, -1, ySign);
        } else if (x->sign > 0) {
            if (y->kind == FloatZero)
                BigFloat_Copy(dst, y);
            else
                BigFloat_SetSpecial(dst, FloatUnderflow, ySign);
        } else {
            PiScaled(dst, 53.0, 0, ySign);
        }
        return;
    }
    double dxLog = -x->accuracy, dyLog = -y->accuracy;
    double xLow = LowerLog2(x), yLow = LowerLog2(y);
    double rMin2 = Log2Add(2.0 * xLow, 2.0 * yLow);
    if (rMin2 == -kInfinity) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    double carried = Log2Add(UpperLog2(x) + dyLog, UpperLog2(y) + dxLog) - rMin2;
    double capLog2 = std::log2(std::numbers::pi);
    LocalFloat r;
    if (x->kind == FloatZero || y->kind == FloatZero) {
        // On an axis: +-pi/2, 0 or pi, the other coordinate's error carried
        // (none when the zero is exact: pi then takes the other's precision).
        const BigFloat *other = x->kind == FloatZero ? y : x;
        double bits = std::isfinite(carried) ? std::max(64.0, -carried + kWorkGuard) : WorkBits(other);
        if (x->kind == FloatZero)
            PiScaled(r.get(), bits, -1, y->sign);
        else if (x->sign > 0)
            BigFloat_SetZero(r.get(), kInfinity);
        else
            PiScaled(r.get(), bits, 0, 1);
        Finish(dst, r.get(), carried, capLog2);
        return;
    }
    // The working precision of the inexact coordinates (an exact one has
    // all the digits it needs).
    double w = std::max(IsExact(x) ? 0.0 : WorkBits(x), IsExact(y) ? 0.0 : WorkBits(y));
    LocalFloat xw, yw, ax, ay, q, halfPi;
    Working(xw.get(), x, w);
    Working(yw.get(), y, w);
    BigFloat_Copy(ax.get(), xw.get());
    ax->sign = 1;
    BigFloat_Copy(ay.get(), yw.get());
    ay->sign = 1;
    if (BigFloat_CompareDigits(ay.get(), ax.get()) <= 0) {
        // arctan(y/x), moved by pi into the left half-plane.
        BigFloat_Div(q.get(), yw.get(), xw.get());
        BigFloat_ArcTan(r.get(), q.get());
        if (x->sign < 0) {
            PiScaled(halfPi.get(), w + 8.0, 0, y->sign);
            BigFloat_Add(r.get(), r.get(), halfPi.get());
        }
    } else {
        // +-pi/2 - arctan(x/y).
        BigFloat_Div(q.get(), xw.get(), yw.get());
        BigFloat_ArcTan(r.get(), q.get());
        PiScaled(halfPi.get(), w + 8.0, -1, y->sign);
        BigFloat_Sub(r.get(), halfPi.get(), r.get());
    }
    Finish(dst, r.get(), carried, capLog2);
}

// arcsin x = the angle of (sqrt(1 - x^2), x).
void BigFloat_ArcSin(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (OddSpecial(dst, x, ArcSinGrowth)) return;
    LocalFloat one, ax;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Copy(ax.get(), x);
    ax->sign = 1;
    if (BigFloat_CompareDigits(ax.get(), one.get()) > 0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (SmallOdd(dst, x)) return;
    LocalFloat w, c, r;
    Working(w.get(), x, WorkBits(x));
    OneMinusSquare(c.get(), w.get());
    BigFloat_Sqrt(c.get(), c.get());
    BigFloat_ArcTan2(r.get(), w.get(), c.get());
    Finish(dst, r.get(), ArcSinCarried(x), std::log2(std::numbers::pi / 2));
}

// arccos x = the angle of (x, sqrt(1 - x^2)).
void BigFloat_ArcCos(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatUnderflow || (x->kind == FloatZero && !IsExact(x))) {
        // pi/2 -+ arcsin t, |arcsin t| <= pi/2 |t|.
        bool zero = x->kind == FloatZero;
        double accuracy = x->accuracy;  // read before dst, which may be x, is written
        PiScaled(dst, zero ? std::max(accuracy, 53.0) + 8.0 : 53.0, -1, 1);
        if (zero) BigFloat_AddError(dst, -accuracy + std::log2(std::numbers::pi / 2));
        return;
    }
    if (x->kind < 0 || IsExact(x)) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    LocalFloat one, ax;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Copy(ax.get(), x);
    ax->sign = 1;
    if (BigFloat_CompareDigits(ax.get(), one.get()) > 0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    LocalFloat w, s, r;
    Working(w.get(), x, WorkBits(x));
    LimitTinyArgument(w.get());
    OneMinusSquare(s.get(), w.get());
    BigFloat_Sqrt(s.get(), s.get());
    BigFloat_ArcTan2(r.get(), s.get(), w.get());
    Finish(dst, r.get(), ArcSinCarried(x), std::log2(std::numbers::pi));
}

namespace {

// Extra working bits for the functions whose formula cancels at a small
// argument (sinh, tanh, arsinh, artanh): the bits of 1/|x|.
double CancellationBits(const BigFloat *x) { return x->magnitude < 0.0 ? -x->magnitude : 0.0; }

// e and 1/e of the working copy w, for the hyperbolic functions.
void ExpPair(BigFloat *e, BigFloat *inverse, const BigFloat *w) {
    LocalFloat one;
    ExpStored(e, w);
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Div(inverse, one.get(), e);
}

}  // namespace

// |sinh(x+t) - sinh x| <= dx cosh(|x| + dx).
void BigFloat_Sinh(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, FloatOverflow, x->sign);
        return;
    }
    if (OddSpecial(dst, x, SinhGrowth)) return;
    if (SmallOdd(dst, x)) return;
    if (BigFloat_TopBit(x) >= kExpSaturationBit) {
        BigFloat_SetSpecial(dst, FloatOverflow, x->sign);
        return;
    }
    double dxLog = -x->accuracy;
    LocalFloat w, e, inv, r;
    Working(w.get(), x, WorkBits(x) + CancellationBits(x));
    ExpPair(e.get(), inv.get(), w.get());
    BigFloat_Sub(r.get(), e.get(), inv.get());
    BigFloat_Scale(r.get(), -1);
    // cosh(|x| + dx) = cosh|x| cosh dx + sinh|x| sinh dx, with sinh|x| from
    // the result (so that a huge x needs no double of its own) and
    // cosh|x| = sqrt(1 + sinh^2).
    double carried = 0.0;
    if (BigFloat_IsFinite(r.get())) {
        double sinhLog = UpperLog2(r.get()), coshLog = 0.5 * Log2Add(0.0, 2.0 * sinhLog), d = std::exp2(dxLog);
        carried = dxLog + Log2Add(coshLog + Log2Cosh(d), sinhLog + Log2Sinh(d));
    }
    Finish(dst, r.get(), carried, kInfinity);
}

// |cosh(x+t) - cosh x| <= dx sinh(|x| + dx).
void BigFloat_Cosh(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatZero) {
        // cosh t <= 1 + t^2 for |t| <= 1, and an interval beyond that says
        // little: cosh dx - 1 <= dx sinh dx.
        double acc = x->accuracy == kInfinity ? kInfinity : -(-x->accuracy + Log2Sinh(std::exp2(-x->accuracy)));
        OneWithAccuracy(dst, acc);
        return;
    }
    if (x->kind == FloatUnderflow) {
        BigFloat_SetSmall(dst, 1);
        return;
    }
    if (x->kind == FloatOverflow || (x->kind > 0 && BigFloat_TopBit(x) >= kExpSaturationBit)) {
        BigFloat_SetSpecial(dst, FloatOverflow, 1);
        return;
    }
    if (x->kind < 0 || IsExact(x)) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    double dxLog = -x->accuracy;
    LocalFloat w, e, inv, r;
    Working(w.get(), x, WorkBits(x));
    LimitTinyArgument(w.get());
    ExpPair(e.get(), inv.get(), w.get());
    BigFloat_Add(r.get(), e.get(), inv.get());
    BigFloat_Scale(r.get(), -1);
    // sinh(|x| + dx) = sinh|x| cosh dx + cosh|x| sinh dx, with cosh|x| from
    // the result and sinh|x| below both it and sinh of |x|'s bound.
    double carried = 0.0;
    if (BigFloat_IsFinite(r.get())) {
        double coshLog = UpperLog2(r.get()), d = std::exp2(dxLog);
        double sinhLog = std::min(coshLog, Log2Sinh(UpperDouble(x)));
        carried = dxLog + Log2Add(sinhLog + Log2Cosh(d), coshLog + Log2Sinh(d));
    }
    Finish(dst, r.get(), carried, kInfinity);
}

// |tanh(x+t) - tanh x| <= dx / cosh^2(max(0, |x| - dx)).
void BigFloat_Tanh(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSmall(dst, x->sign);
        return;
    }
    if (OddSpecial(dst, x)) return;
    if (SmallOdd(dst, x)) return;
    double dxLog = -x->accuracy;
    double low = LowerLog2(x);
    double carried = dxLog - (low == -kInfinity ? 0.0 : 2.0 * Log2Cosh(std::exp2(low)));
    LocalFloat r;
    double w = WorkBits(x) + CancellationBits(x);
    // 1 - tanh|x| < 2 e^(-2|x|): beyond the working precision tanh is +-1.
    double away = 2.0 * std::exp2(x->magnitude - Slack(x->magnitude)) * std::numbers::log2e;
    if (away > w + 4.0) {
        // A finite accuracy even where the bound leaves the double range,
        // so that the value stays inexact.
        BigFloat_SetSmall(r.get(), x->sign);
        BigFloat_SetAccuracy(r.get(), std::min(away - 1.0, 1e300));
        Finish(dst, r.get(), carried, kInfinity);
        return;
    }
    LocalFloat v, e, one, num;
    Working(v.get(), x, w);
    BigFloat_Scale(v.get(), 1);
    ExpStored(e.get(), v.get());
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Sub(num.get(), e.get(), one.get());
    BigFloat_Add(e.get(), e.get(), one.get());
    BigFloat_Div(r.get(), num.get(), e.get());
    Finish(dst, r.get(), carried, kInfinity);
}

// |arsinh(x+t) - arsinh x| <= dx / sqrt(1 + (|x| - dx)^2).
void BigFloat_ArSinh(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, FloatOverflow, x->sign);
        return;
    }
    if (OddSpecial(dst, x)) return;
    if (SmallOdd(dst, x)) return;
    double dxLog = -x->accuracy;
    double low = LowerLog2(x);
    double carried = low == -kInfinity ? dxLog : dxLog - 0.5 * Log2Add(0.0, 2.0 * low);
    // ln(|x| + sqrt(x^2 + 1)), the sign restored after.
    LocalFloat w, s, one, r;
    Working(w.get(), x, WorkBits(x) + CancellationBits(x));
    int64_t sign = w->sign;
    w->sign = 1;
    BigFloat_Mul(s.get(), w.get(), w.get());
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Add(s.get(), s.get(), one.get());
    BigFloat_Sqrt(s.get(), s.get());
    BigFloat_Add(s.get(), s.get(), w.get());
    LogStored(r.get(), s.get());
    if (sign < 0) BigFloat_Negate(r.get(), r.get());
    Finish(dst, r.get(), carried, kInfinity);
}

// With u = x - 1: dx / sqrt((x - dx)^2 - 1) while dx <= u/2, else the
// square-root growth arcosh(1 + v) <= sqrt(2v) for v = u + dx.
void BigFloat_ArCosh(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow && x->sign > 0) {
        BigFloat_SetSpecial(dst, FloatOverflow, 1);
        return;
    }
    if (x->kind <= 0 || x->sign < 0 || IsExact(x)) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    LocalFloat one, u;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Sub(u.get(), x, one.get());
    if (u->kind != FloatZero && u->sign < 0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    double dxLog = -x->accuracy;
    // x's accuracy also bounds u's stored value exactly: x - 1 is exact
    // on the mantissas.
    double uLog = u->kind == FloatZero ? -kInfinity : u->magnitude + Slack(u->magnitude);
    double carried = 0.5 * (1.0 + Log2Add(uLog, dxLog));
    if (dxLog <= uLog - 1.0) {
        // (x - dx)^2 - 1 = (u - dx)(u - dx + 2).
        double low = Log2Sub(uLog - 2.0 * Slack(uLog), dxLog);
        carried = dxLog - 0.5 * (low + Log2Add(low, 1.0));
    }
    // ln(x + sqrt((x - 1)(x + 1))).
    LocalFloat w, a, b, r;
    Working(w.get(), x, WorkBits(x));
    BigFloat_Sub(a.get(), w.get(), one.get());
    BigFloat_Add(b.get(), w.get(), one.get());
    BigFloat_Mul(a.get(), a.get(), b.get());
    BigFloat_Sqrt(a.get(), a.get());
    BigFloat_Add(a.get(), a.get(), w.get());
    LogStored(r.get(), a.get());
    Finish(dst, r.get(), carried, kInfinity);
}

// With u = 1 - |x|: |artanh(x+t) - artanh x| <= dx / (1 - (|x| + dx)^2)
// <= dx / (u - dx); an interval that reaches +-1 is indeterminate.
void BigFloat_ArTanh(BigFloat *dst, const BigFloat *x) {
    if (x->kind == FloatOverflow) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (OddSpecial(dst, x, ArTanhGrowth)) return;
    double dxLog = -x->accuracy, uLog = DistanceToOneLog2(x);
    LocalFloat one, ax;
    BigFloat_SetSmall(one.get(), 1);
    BigFloat_Copy(ax.get(), x);
    ax->sign = 1;
    if (BigFloat_CompareDigits(ax.get(), one.get()) >= 0 || dxLog >= uLog - 1e-9) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (SmallOdd(dst, x)) return;
    double carried = dxLog - Log2Sub(uLog - Slack(uLog), dxLog);
    // ln((1 + |x|)/(1 - |x|)) / 2, the sign restored after.
    LocalFloat w, a, b, r;
    Working(w.get(), x, WorkBits(x) + CancellationBits(x));
    int64_t sign = w->sign;
    w->sign = 1;
    BigFloat_Add(a.get(), one.get(), w.get());
    BigFloat_Sub(b.get(), one.get(), w.get());
    BigFloat_Div(a.get(), a.get(), b.get());
    LogStored(r.get(), a.get());
    BigFloat_Scale(r.get(), -1);
    if (sign < 0) BigFloat_Negate(r.get(), r.get());
    Finish(dst, r.get(), carried, kInfinity);
}

// |(x+t)^(1/n) - x^(1/n)| <= dx/|n| (x - dx)^(1/n - 1) while dx < x/2;
// for n > 0 and a wider interval, (x + dx)^(1/n).
void BigFloat_Root(BigFloat *dst, const BigFloat *x, int64_t n) {
    if (n == 0 || x->kind == FloatIndeterminate || x->sign < 0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    if (n == 1) {
        BigFloat_Copy(dst, x);
        return;
    }
    if (x->kind == FloatZero) {
        if (n < 0)
            BigFloat_SetSpecial(dst, FloatOverflow, 1);
        else
            BigFloat_SetZero(dst, x->accuracy / static_cast<double>(n));
        return;
    }
    if (x->kind == FloatOverflow || x->kind == FloatUnderflow) {
        bool huge = (x->kind == FloatOverflow) == (n > 0);
        BigFloat_SetSpecial(dst, huge ? FloatOverflow : FloatUnderflow, 1);
        return;
    }
    if (IsExact(x)) {
        if (x->kind == FloatUnit)
            BigFloat_SetSmall(dst, 1);
        else
            BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    double dxLog = -x->accuracy, m = x->magnitude;
    double inv = 1.0 / static_cast<double>(n);
    double relLog = dxLog - (m - Slack(m));
    if (relLog >= -1.0 && n < 0) {
        BigFloat_SetSpecial(dst, FloatIndeterminate, 0);
        return;
    }
    LocalFloat w, r;
    double bits = WorkBits(x);
    Working(w.get(), x, bits);
    if (n == 2 || n == -2) {
        BigFloat_Sqrt(r.get(), w.get());
        if (n < 0) {
            LocalFloat one;
            BigFloat_SetSmall(one.get(), 1);
            BigFloat_Div(r.get(), one.get(), r.get());
        }
    } else {
        // e^(ln x / n), ln x taken 32 bits beyond x's precision.
        LocalFloat l;
        Working(w.get(), x, bits + 32.0);
        LogStored(l.get(), w.get());
        BigFloat_DivSmall(l.get(), l.get(), n);
        if (l->kind == FloatZero)
            OneWithAccuracy(r.get(), -LogExpm1(-l->accuracy));
        else
            ExpStored(r.get(), l.get());
    }
    double carried;
    if (relLog < -1.0) {
        double rootLog = m * inv + Slack(m);
        carried = rootLog - std::log2(std::fabs(static_cast<double>(n))) + relLog +
                  (inv - 1.0) * std::log2(1.0 - std::exp2(relLog));
    } else {
        carried = inv * Log2Add(m + Slack(m), dxLog);
    }
    Finish(dst, r.get(), carried, kInfinity);
}
