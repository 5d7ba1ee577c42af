// Fixed-point series for the elementary functions. A fixed-point number
// here is an array of f + 2 limbs X standing for X / 2^(64 f): f fraction
// limbs and two integer limbs, room for the block sums of the rectangular
// splitting, which reach a few times 2^64. Every truncating operation
// (product, division by a limb, shift) loses less than one unit of the
// last place, eps = 2^(-64 f); the evaluators count those units as they
// go, so the final bound is exact arithmetic on the counts, not on the
// values.
#include "number/fixed_series.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "number/bigfloat_functions.h"
#include "number/constants.h"

namespace {

using u128 = unsigned __int128;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Bits the fixed-point work carries beyond the request, for the units of
// the last place the evaluators lose.
constexpr double kFixedGuard = 48.0;

// Up to this many bits the logarithm sums the artanh series; beyond, the
// Newton iteration on e^x is faster.
constexpr double kSeriesLogBits = 1200.0;

// log2(2^a + 2^b); -inf stands for a zero term.
double Log2Add(double a, double b) {
    if (a < b) std::swap(a, b);
    if (b == -kInfinity) return a;
    return a + std::log2(1.0 + std::exp2(b - a));
}

int64_t FractionLimbs(double bits);

// The arithmetic of one evaluation: the fraction length, scratch space for
// the products, and the unit of the last place.
struct Fixed {
    int64_t f;  // fraction limbs
    int64_t n;  // f + 2 limbs per number
    std::vector<Limb> product, scratch;

    explicit Fixed(double bits) {
        f = FractionLimbs(bits);
        n = f + 2;
        product.resize(2 * (f + 1));
        scratch.resize(Limbs_MulScratchBytes((f + 1) * LIMB_BYTES, (f + 1) * LIMB_BYTES) / LIMB_BYTES + 1);
    }
    std::vector<Limb> Number() const { return std::vector<Limb>(n, 0); }
    // log2 of the unit of the last place.
    double EpsLog2() const { return -64.0 * static_cast<double>(f); }

    // dst = a * b, truncated; a and b below 2^64 (their top limb zero).
    void Mul(Limb *dst, const Limb *a, const Limb *b) {
        Limbs_Mul(product.data(), a, (f + 1) * LIMB_BYTES, b, (f + 1) * LIMB_BYTES,
                  scratch.empty() ? nullptr : scratch.data());
        std::memcpy(dst, product.data() + f, (f + 2) * LIMB_BYTES);
    }
    void SetOne(Limb *dst) const {
        std::memset(dst, 0, n * LIMB_BYTES);
        dst[f] = 1;
    }
    // dst = a / 2^s, truncated.
    void ShiftRight(Limb *dst, const Limb *a, int64_t s) const {
        int64_t limbs = s / 64;
        int bitsOff = static_cast<int>(s % 64);
        for (int64_t i = 0; i < n; ++i) dst[i] = i + limbs < n ? a[i + limbs] : 0;
        if (bitsOff) Limbs_ShiftRight(dst, dst, n * LIMB_BYTES, bitsOff);
    }
};

// X = floor(|v| 2^(64 f - shift)) for a finite v; the caller keeps the
// value below 2^128.
void ToFixed(const Fixed &fx, Limb *X, const BigFloat *v, int64_t shift) {
    std::memset(X, 0, fx.n * LIMB_BYTES);
    if (v->kind == FloatZero) return;
    int64_t total = 64 * (v->exponent + fx.f) - shift;
    int64_t offset = total >> 6;  // floor
    int bit = static_cast<int>(total & 63);
    int64_t len = v->top + 1;
    std::vector<Limb> t(len + 1);
    std::memcpy(t.data(), v->limbs, len * LIMB_BYTES);
    t[len] = bit ? Limbs_ShiftLeft(t.data(), t.data(), len * LIMB_BYTES, bit) : 0;
    for (int64_t j = 0; j < fx.n; ++j) {
        int64_t i = j - offset;
        if (i >= 0 && i <= len) X[j] = t[i];
    }
}

// dst = sign * X / 2^(64 f) known to 2^errLog2.
void FromFixed(BigFloat *dst, const Fixed &fx, const Limb *X, int64_t sign, double errLog2) {
    BigFloat_Release(dst);
    dst->limbs = static_cast<Limb *>(std::malloc(fx.n * LIMB_BYTES));
    if (!dst->limbs) {
        BigFloat_SetSpecial(dst, FloatOverflow, sign);
        return;
    }
    std::memcpy(dst->limbs, X, fx.n * LIMB_BYTES);
    dst->top = fx.n - 1;
    dst->size = fx.n * LIMB_BYTES;
    dst->exponent = -fx.f;
    dst->sign = sign < 0 ? -1 : 1;
    dst->kind = FloatRegular;
    dst->accuracy = -errLog2;
    BigFloat_Normalize(dst);
}

// A hypergeometric series in nested form,
//   S = 1 + r_1 (1 + r_2 (1 + ... (1 + r_N))),  r_l = +-t p(l)/q(l),
// with one-limb integers 0 < p(l) <= q(l) and 0 <= t with every
// |r_l| <= 1/2, so the terms fall at least twofold and the remainder after
// N terms is at most twice the first omitted one.
struct Series {
    bool alternating;
    uint64_t (*p)(int64_t l);
    uint64_t (*q)(int64_t l);
};

uint64_t One(int64_t) { return 1; }
uint64_t Index(int64_t l) { return static_cast<uint64_t>(l); }
uint64_t SinQ(int64_t l) { return static_cast<uint64_t>((2 * l) * (2 * l + 1)); }
uint64_t CosQ(int64_t l) { return static_cast<uint64_t>((2 * l - 1) * (2 * l)); }
uint64_t VersQ(int64_t l) { return static_cast<uint64_t>((2 * l + 1) * (2 * l + 2)); }
uint64_t OddBelow(int64_t l) { return static_cast<uint64_t>(2 * l - 1); }
uint64_t OddAbove(int64_t l) { return static_cast<uint64_t>(2 * l + 1); }

const Series kExpSeries = {false, One, Index};
const Series kExpNegSeries = {true, One, Index};
const Series kSinSeries = {true, One, SinQ};
const Series kCosSeries = {true, One, CosQ};
const Series kVersSeries = {true, One, VersQ};  // (1 - cos w)/(w^2/2)
const Series kAtanhSeries = {false, OddBelow, OddAbove};  // artanh z / z in t = z^2

// log2 |T_n| of the n-th term, T_n = prod_{l <= n} t p(l)/q(l), for
// t = 2^tLog2, and, when target is finite, the first n with
// log2 |T_n| < target instead (returned as n with *termLog2 set). The
// product runs in a double with a separate binary exponent, a few
// nanoseconds per term, so choosing the parameters costs little beside the
// series itself.
int64_t ScanTerms(const Series &s, double tLog2, double target, int64_t upTo, double *termLog2) {
    double whole = std::floor(tLog2), frac = std::exp2(tLog2 - whole);
    double v = 1.0, e = 0.0;
    int64_t l = 1;
    for (; l <= upTo; ++l) {
        v *= frac * static_cast<double>(s.p(l)) / static_cast<double>(s.q(l));
        e += whole;
        if (v < 1e-100) {
            int ex;
            v = std::frexp(v, &ex);
            e += ex;
        }
        // v >= 2^-333 after the renormalisation, so the test can only pass
        // once e is near the target.
        if (e - 340.0 < target && e + std::log2(v) < target) break;
    }
    *termLog2 = e + std::log2(v) + 0.01;
    return l;
}

// The number of terms N after which the first omitted term lies below
// 2^target.
int64_t TermsFor(const Series &s, double tLog2, double target) {
    double ignored;
    return ScanTerms(s, tLog2, target, 100000000, &ignored) - 1;
}

// The block length for N terms: about sqrt(N), and short enough that the
// product of the q(l) over the last block fits one limb.
int64_t BlockFor(const Series &s, int64_t terms) {
    int64_t m = std::max<int64_t>(1, static_cast<int64_t>(std::sqrt(static_cast<double>(terms))));
    for (; m > 1; --m) {
        int64_t last = (terms + m - 1) / m * m;
        u128 prod = 1;
        bool fits = true;
        for (int64_t l = last - m + 1; l <= last && fits; ++l) {
            prod *= s.q(l);
            fits = prod <= std::numeric_limits<uint64_t>::max();
        }
        if (fits) break;
    }
    return m;
}

// Fraction limbs for a working precision in bits.
int64_t FractionLimbs(double bits) { return static_cast<int64_t>(std::ceil(std::max(bits, 64.0) / 64.0)); }

// A rough cost of a series in full products of f fraction limbs: a
// one-limb multiple costs about 1/f of a product.
double SeriesCost(int64_t f, int64_t terms, int64_t m) {
    double linear = 3.0 / static_cast<double>(std::max<int64_t>(f, 1));
    return static_cast<double>(m) + static_cast<double>((terms + m - 1) / m) * (1.0 + linear) +
           static_cast<double>(terms) * linear;
}

// The number of halvings (or squarings) for a series in t = arg^termScale,
// arg = 2^argLog2 before the halvings, where each one costs `stepCost`
// products and `extraPerStep` more bits of working precision: the best of
// a few candidates by steps plus series cost.
int64_t ChooseHalvings(const Series &s, double argLog2, double termScale, double bits, double extraPerStep,
                       double stepCost, int64_t minimum) {
    int64_t best = minimum;
    double bestCost = kInfinity;
    for (int64_t h = minimum, step = 1; h <= minimum + 128; h += step, step *= 2) {
        double work = bits + extraPerStep * static_cast<double>(h) + kFixedGuard;
        int64_t f = FractionLimbs(work);
        double tLog2 = termScale * (argLog2 - static_cast<double>(h));
        int64_t terms = TermsFor(s, tLog2, -work);
        double cost = stepCost * static_cast<double>(h) + SeriesCost(f, terms, BlockFor(s, terms));
        if (cost < bestCost) {
            bestCost = cost;
            best = h;
        }
        if (terms <= 2) break;
    }
    return best;
}

// out = S for t (< 1, top limb zero), N terms in blocks of m. Returns
// log2 of the bound on |out - S_exact| in value units: the units of the last
// place lost plus the truncated remainder.
double SumSeries(Fixed &fx, Limb *out, const Series &s, const Limb *t, double tLog2, int64_t terms, int64_t m) {
    int64_t blocks = std::max<int64_t>(1, (terms + m - 1) / m);
    int64_t total = blocks * m;
    std::vector<std::vector<Limb>> power(m + 1, fx.Number());
    fx.SetOne(power[0].data());
    std::memcpy(power[1].data(), t, fx.n * LIMB_BYTES);
    for (int64_t i = 2; i <= m; ++i) fx.Mul(power[i].data(), power[i - 1].data(), t);
    std::vector<Limb> acc = fx.Number(), pos = fx.Number(), neg = fx.Number(), tmp = fx.Number();
    fx.SetOne(acc.data());
    std::vector<uint64_t> pl(m + 1), ql(m + 1);
    for (int64_t b = blocks - 1; b >= 0; --b) {
        int64_t k = b * m;
        for (int64_t i = 1; i <= m; ++i) {
            pl[i] = s.p(k + i);
            ql[i] = s.q(k + i);
        }
        // C_i = p(k+1)...p(k+i) * q(k+i+1)...q(k+m), all at most Q.
        std::fill(pos.begin(), pos.end(), 0);
        std::fill(neg.begin(), neg.end(), 0);
        uint64_t prefix = 1, Q = 1;
        for (int64_t i = 1; i <= m; ++i) Q *= ql[i];
        for (int64_t i = 0; i <= m; ++i) {
            uint64_t suffix = 1;
            for (int64_t j = i + 1; j <= m; ++j) suffix *= ql[j];
            uint64_t c = prefix * suffix;
            Limb *into = s.alternating && (i & 1) ? neg.data() : pos.data();
            if (i < m) {
                Limbs_MulLimb(tmp.data(), power[i].data(), fx.n * LIMB_BYTES, c);
            } else {
                // The inner value enters through t^m: one full product.
                fx.Mul(tmp.data(), power[m].data(), acc.data());
                Limbs_MulLimb(tmp.data(), tmp.data(), fx.n * LIMB_BYTES, c);
            }
            Limbs_Add(into, into, fx.n * LIMB_BYTES, tmp.data(), fx.n * LIMB_BYTES);
            if (i < m) prefix *= pl[i + 1];
        }
        Limbs_Sub(acc.data(), pos.data(), fx.n * LIMB_BYTES, neg.data(), fx.n * LIMB_BYTES);
        Limbs_DivLimb(acc.data(), acc.data(), fx.n * LIMB_BYTES, Q);
    }
    std::memcpy(out, acc.data(), fx.n * LIMB_BYTES);
    // Per block: the powers are off by at most i units each, weighted by
    // C_i/Q <= 1; the inner product and the division lose one unit each.
    double md = static_cast<double>(m);
    double units = static_cast<double>(blocks) * (md * md + 2.0 * md + 3.0);
    double tail;
    ScanTerms(s, tLog2, -kInfinity, total + 1, &tail);
    return Log2Add(fx.EpsLog2() + std::log2(units), tail + 1.0);
}

// log2 |b| bound from above for a finite non-zero b.
double UpperLog2(const BigFloat *b) { return b->magnitude + 1e-9 * (1.0 + std::fabs(b->magnitude)); }

// A copy of b with its stored digits taken as exact.
void ExactCopy(BigFloat *dst, const BigFloat *b) {
    BigFloat_Copy(dst, b);
    if (dst->kind > 0) dst->accuracy = kInfinity;
}

// The precisions of a Newton iteration that doubles its bits from a
// machine start: target, target/2 + 8, ... down to about 45 bits, in
// rising order.
std::vector<double> NewtonSteps(double target) {
    std::vector<double> steps;
    for (double w = target; w > 45.0; w = w / 2.0 + 8.0) steps.push_back(w);
    if (steps.empty()) steps.push_back(target);
    std::reverse(steps.begin(), steps.end());
    return steps;
}

// Cuts the stored digits of an exact y to about `bits` bits of accuracy
// and keeps it exact; returns log2 of the bound on what was cut.
double KeepDigits(BigFloat *y, double bits) {
    BigFloat_SetAccuracy(y, bits);
    y->accuracy = kInfinity;
    return -bits;
}

}  // namespace

// e^x = 2^k e^r with r = x - k ln 2, |r| <= ln 2/2 (ln 2 from its cache at
// the bits r needs), and e^r = (e^(r/2^s))^(2^s). The squarings double the
// relative error s times, which the fixed point pays for with s more bits.
void FixedSeries_Exp(BigFloat *dst, const BigFloat *x, double bits) {
    if (x->kind == FloatZero) {
        BigFloat_SetSmall(dst, 1);
        return;
    }
    double xd = BigFloat_ToDouble(x);
    if (!(std::fabs(xd) < 0x1p62)) {
        BigFloat_SetSpecial(dst, xd < 0 ? FloatUnderflow : FloatOverflow, 1);
        return;
    }
    LocalFloat r, ln2, kb;
    ExactCopy(r.get(), x);
    // k from the double, corrected once more when |x| is beyond the
    // double's 53 bits of the quotient.
    int64_t k = 0;
    double ln2Bits = bits + std::log2(std::fabs(xd) + 1.0) + kFixedGuard;
    for (double rd = xd; std::fabs(rd) >= 0.35; rd = BigFloat_ToDouble(r.get())) {
        auto step = static_cast<int64_t>(std::llround(rd * std::numbers::log2e));
        if (step == 0) break;
        k += step;
        Constant_Ln2(ln2.get(), ln2Bits);
        BigFloat_SetSmall(kb.get(), step);
        BigFloat_Mul(ln2.get(), ln2.get(), kb.get());
        BigFloat_Sub(r.get(), r.get(), ln2.get());
    }
    if (r->kind == FloatZero) {
        BigFloat_SetSmall(dst, 1);
        BigFloat_AddError(dst, -r->accuracy + 1.0);
        BigFloat_Scale(dst, k);
        return;
    }
    double rLog2 = std::min(UpperLog2(r.get()), -0.5);
    double rErrLog2 = -r->accuracy;  // -inf when k = 0
    int64_t s = ChooseHalvings(kExpSeries, rLog2, 1.0, bits, 1.0, 1.0, 0);
    Fixed fx(bits + static_cast<double>(s) + kFixedGuard);
    std::vector<Limb> y = fx.Number(), e = fx.Number();
    ToFixed(fx, y.data(), r.get(), s);
    double yLog2 = rLog2 - static_cast<double>(s);
    const Series &series = r->sign < 0 ? kExpNegSeries : kExpSeries;
    int64_t terms = TermsFor(series, yLog2, -(bits + static_cast<double>(s) + kFixedGuard));
    double err = SumSeries(fx, e.data(), series, y.data(), yLog2, terms, BlockFor(series, terms));
    // The argument's truncation (one unit) and r's own bound, through a
    // derivative e^y < 2.
    err = Log2Add(err, 1.0 + Log2Add(fx.EpsLog2(), rErrLog2 - static_cast<double>(s)));
    // Squaring a value below e^(ln 2/2) < 1.42 turns an error d into
    // d (2.84 + d) plus one unit.
    double grow = std::log2(r->sign < 0 ? 2.0 : 2.84);
    for (int64_t i = 0; i < s; ++i) {
        fx.Mul(e.data(), e.data(), e.data());
        err = Log2Add(err + Log2Add(grow, err), fx.EpsLog2());
    }
    FromFixed(dst, fx, e.data(), 1, err);
    BigFloat_Scale(dst, k);
}

// ln x = e ln 2 + ln m with x = m 2^e, 0.75 <= m < 1.5. Up to a few
// hundred digits, ln m = 2 artanh z with z = (m - 1)/(m + 1), |z| <= 1/5,
// by its series in z^2; beyond, Newton's iteration y <- y + m e^-y - 1 from
// the machine logarithm. With y = ln m - d, m e^-y = e^d, so a step leaves
// e^d - 1 - d <= d^2 e^|d|/2 plus the error of the computed e^-y: each step
// doubles the bits and runs at the precision it can reach.
void FixedSeries_Log(BigFloat *dst, const BigFloat *x, double bits) {
    int64_t e = BigFloat_TopBit(x);
    int64_t below = e - 1 - x->exponent * LIMB_BITS;
    if (below >= 0 && Limbs_TestBit(x->limbs, below)) ++e;
    LocalFloat m, y, ey, z, one;
    ExactCopy(m.get(), x);
    BigFloat_Scale(m.get(), -e);
    BigFloat_SetSmall(one.get(), 1);
    double target = bits + 16.0;
    if (target <= kSeriesLogBits) {
        // z and its bound from claimed-precision operands; 2 artanh z =
        // 2 z S(z^2), and z's error moves it by 2/(1 - z^2) < 2.1 times.
        LocalFloat num, den;
        BigFloat_Sub(num.get(), m.get(), one.get());
        BigFloat_Add(den.get(), m.get(), one.get());
        if (num->kind == FloatZero) {
            BigFloat_SetZero(y.get(), kInfinity);
        } else {
            BigFloat_SetPrecision(num.get(), target + kFixedGuard, 2);
            BigFloat_Div(z.get(), num.get(), den.get());
            Fixed fx(target + kFixedGuard);
            std::vector<Limb> u = fx.Number(), t = fx.Number(), out = fx.Number();
            ToFixed(fx, u.data(), z.get(), 0);
            fx.Mul(t.data(), u.data(), u.data());
            double tLog2 = 2.0 * std::min(UpperLog2(z.get()), -2.0);
            int64_t terms = TermsFor(kAtanhSeries, tLog2, -(target + kFixedGuard));
            double err = SumSeries(fx, out.data(), kAtanhSeries, t.data(), tLog2, terms, BlockFor(kAtanhSeries, terms));
            // t: u's truncation through 2|z| < 1 and the product's unit; the
            // series moves by at most 1.1 times t's error.
            FromFixed(y.get(), fx, out.data(), 1, Log2Add(err, fx.EpsLog2() + 1.2));
            BigFloat_Mul(y.get(), y.get(), z.get());
            BigFloat_Scale(y.get(), 1);
        }
    } else {
        BigFloat_FromDouble(y.get(), std::log(BigFloat_ToDouble(m.get())));
        y->accuracy = kInfinity;
        double dLog2 = -48.0;  // the machine logarithm of the 53-bit m
        for (double w : NewtonSteps(target)) {
            LocalFloat negY;
            BigFloat_Negate(negY.get(), y.get());
            FixedSeries_Exp(ey.get(), negY.get(), w + 8.0);
            BigFloat_Mul(z.get(), ey.get(), m.get());
            BigFloat_Sub(z.get(), z.get(), one.get());
            double zErr = -z->accuracy;
            z->accuracy = kInfinity;
            BigFloat_Add(y.get(), y.get(), z.get());
            double d = std::exp2(std::min(dLog2, 0.0));
            dLog2 = Log2Add(Log2Add(2.0 * dLog2 - 1.0 + d * std::numbers::log2e, zErr), KeepDigits(y.get(), w + 8.0));
        }
        y->accuracy = -dLog2;
        BigFloat_Normalize(y.get());
    }
    if (e != 0) {
        LocalFloat ln2, eb;
        Constant_Ln2(ln2.get(), target + std::log2(std::fabs(static_cast<double>(e))) + 8.0);
        BigFloat_SetSmall(eb.get(), e);
        BigFloat_Mul(ln2.get(), ln2.get(), eb.get());
        BigFloat_Add(y.get(), y.get(), ln2.get());
    }
    BigFloat_Copy(dst, y.get());
}

// Without halvings: sin y = y S(y^2) and cos y by its own series. With s
// halvings of w = y/2^s: v = 1 - cos w = (w^2/2) V(w^2), doubled s times by
// 1 - cos 2a = 2v(2 - v) (four times the error, two bits, per step, and no
// cancellation), then cos y = 1 - v and sin y = sqrt(v (2 - v)).
void FixedSeries_SinCos(BigFloat *sine, BigFloat *cosine, const BigFloat *y, double bits) {
    double yLog2 = std::min(UpperLog2(y), 0.0);
    double sinBits = bits + std::max(0.0, -yLog2);
    // A halving costs one product here, and the square root at the end
    // about ten; a direct evaluation of both functions costs two series.
    int64_t s = ChooseHalvings(kVersSeries, yLog2, 2.0, sinBits, 2.0, 1.0, 0);
    int64_t directTerms = TermsFor(kSinSeries, 2.0 * yLog2, -(bits + kFixedGuard));
    double direct = SeriesCost(FractionLimbs(bits + kFixedGuard), directTerms, BlockFor(kSinSeries, directTerms)) *
                    (sine && cosine ? 2.0 : 1.0);
    double halvedBits = sinBits + 2.0 * static_cast<double>(s) + kFixedGuard;
    int64_t halvedTerms = TermsFor(kVersSeries, 2.0 * (yLog2 - static_cast<double>(s)), -halvedBits);
    double halved = static_cast<double>(s) +
                    SeriesCost(FractionLimbs(halvedBits), halvedTerms, BlockFor(kVersSeries, halvedTerms)) +
                    (sine ? 10.0 : 0.0);
    LocalFloat exact;
    ExactCopy(exact.get(), y);
    if (s == 0 || direct <= halved || yLog2 < -8.0) {
        Fixed fx(bits + kFixedGuard);
        std::vector<Limb> u = fx.Number(), t = fx.Number(), out = fx.Number();
        ToFixed(fx, u.data(), y, 0);
        fx.Mul(t.data(), u.data(), u.data());
        double tLog2 = 2.0 * yLog2;
        // t is off by under three units (u's truncation twice and the
        // product's); the series move by less than t's error.
        double tErr = fx.EpsLog2() + std::log2(3.0);
        if (sine) {
            int64_t terms = TermsFor(kSinSeries, tLog2, -(bits + kFixedGuard));
            double err = SumSeries(fx, out.data(), kSinSeries, t.data(), tLog2, terms, BlockFor(kSinSeries, terms));
            FromFixed(sine, fx, out.data(), 1, Log2Add(err, tErr));
            BigFloat_Mul(sine, sine, exact.get());
        }
        if (cosine) {
            int64_t terms = TermsFor(kCosSeries, tLog2, -(bits + kFixedGuard));
            double err = SumSeries(fx, out.data(), kCosSeries, t.data(), tLog2, terms, BlockFor(kCosSeries, terms));
            FromFixed(cosine, fx, out.data(), 1, Log2Add(err, tErr));
        }
        return;
    }
    Fixed fx(halvedBits);
    std::vector<Limb> w = fx.Number(), t = fx.Number(), v = fx.Number(), sq = fx.Number();
    ToFixed(fx, w.data(), y, s);
    fx.Mul(t.data(), w.data(), w.data());
    double tLog2 = 2.0 * (yLog2 - static_cast<double>(s));
    double err = SumSeries(fx, v.data(), kVersSeries, t.data(), tLog2, halvedTerms, BlockFor(kVersSeries, halvedTerms));
    // v = (t/2) V: V's error times t/2 < 1, t's three units times V/2 < 1,
    // and the product's unit.
    fx.Mul(v.data(), v.data(), t.data());
    fx.ShiftRight(v.data(), v.data(), 1);
    err = Log2Add(Log2Add(err + tLog2, fx.EpsLog2() + 2.0), fx.EpsLog2() + 1.0);
    for (int64_t i = 0; i < s; ++i) {
        // v <- 4v - 2v^2.
        fx.Mul(sq.data(), v.data(), v.data());
        Limbs_ShiftLeft(sq.data(), sq.data(), fx.n * LIMB_BYTES, 1);
        Limbs_ShiftLeft(v.data(), v.data(), fx.n * LIMB_BYTES, 2);
        Limbs_Sub(v.data(), v.data(), fx.n * LIMB_BYTES, sq.data(), fx.n * LIMB_BYTES);
        err = Log2Add(err + 2.0, fx.EpsLog2() + 1.0);
    }
    if (cosine) {
        std::vector<Limb> c = fx.Number();
        fx.SetOne(c.data());
        Limbs_Sub(c.data(), c.data(), fx.n * LIMB_BYTES, v.data(), fx.n * LIMB_BYTES);
        FromFixed(cosine, fx, c.data(), 1, err);
    }
    if (sine) {
        // v (2 - v): the derivative 2 - 2v is at most 2, plus one unit.
        std::vector<Limb> c = fx.Number();
        fx.SetOne(c.data());
        Limbs_ShiftLeft(c.data(), c.data(), fx.n * LIMB_BYTES, 1);
        Limbs_Sub(c.data(), c.data(), fx.n * LIMB_BYTES, v.data(), fx.n * LIMB_BYTES);
        fx.Mul(sq.data(), v.data(), c.data());
        FromFixed(sine, fx, sq.data(), 1, Log2Add(err + 1.0, fx.EpsLog2()));
        BigFloat_Sqrt(sine, sine);
        if (y->sign < 0) sine->sign = -sine->sign;
    }
}

// arctan x = +-pi/2 - arctan(1/|x|) for |x| > 1, and arctan a for
// 0 < a <= 1 by Newton's iteration on tan: y <- g(y) = y - cos y (sin y -
// a cos y). g'(y) vanishes at the root and |g''| <= 2 + 2a <= 4, so a step
// leaves at most 2 d^2 of an error d, plus the error of sin and cos (which
// the BigFloat arithmetic of the step tracks).
void FixedSeries_ArcTan(BigFloat *dst, const BigFloat *x, double bits) {
    LocalFloat a, one, y, s, c, t, pi;
    double work = bits + kFixedGuard;
    BigFloat_Copy(a.get(), x);
    a->sign = 1;
    a->accuracy = kInfinity;
    BigFloat_SetSmall(one.get(), 1);
    bool inverted = BigFloat_CompareDigits(a.get(), one.get()) > 0;
    double aErrLog2 = -kInfinity;
    if (inverted) {
        // 1/a to the working precision; its error moves arctan by no more
        // (the derivative is below 1).
        BigFloat_SetPrecision(a.get(), work, 2);
        BigFloat_Div(a.get(), one.get(), a.get());
        aErrLog2 = -a->accuracy;
        a->accuracy = kInfinity;
    }
    BigFloat_FromDouble(y.get(), std::atan(BigFloat_ToDouble(a.get())));
    y->accuracy = kInfinity;
    double dLog2 = -48.0;  // the machine arctangent of the 53-bit a
    // The steps' bits are absolute; arctan a is about a, so a small a needs
    // as many more as it has leading zeros.
    double lead = std::max(0.0, -std::floor(a->magnitude));
    for (double w : NewtonSteps(bits + 16.0 + lead)) {
        FixedSeries_SinCos(s.get(), c.get(), y.get(), w + 8.0);
        BigFloat_Mul(t.get(), a.get(), c.get());
        BigFloat_Sub(t.get(), s.get(), t.get());
        BigFloat_Mul(t.get(), t.get(), c.get());
        double stepErr = -t->accuracy;
        t->accuracy = kInfinity;
        BigFloat_Sub(y.get(), y.get(), t.get());
        dLog2 = Log2Add(Log2Add(2.0 * dLog2 + 1.0, stepErr), KeepDigits(y.get(), w + 8.0));
    }
    y->accuracy = -Log2Add(dLog2, aErrLog2);
    BigFloat_Normalize(y.get());
    if (inverted) {
        Constant_Pi(pi.get(), work + 2.0);
        BigFloat_Scale(pi.get(), -1);
        BigFloat_Sub(y.get(), pi.get(), y.get());
    }
    if (x->sign < 0) y->sign = -y->sign;
    BigFloat_Copy(dst, y.get());
}
