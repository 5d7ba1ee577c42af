// Fixed-point series by rectangular splitting. A value v (0 <= v < 2^32
// here) is the n + 1 limbs of floor(v * 2^(64n)): n fraction limbs and one
// integer limb. Sums, differences and integer divisions work on these
// arrays in place; a product keeps the middle n + 1 limbs of the full
// product. Each truncating step errs by less than one unit of the last
// place (ulp); the error bounds below follow every step in ulps, as
// doubles, and become the result's accuracy at the end.
#include "number/series.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The work area of one series: `count` values of n + 1 limbs, the full
// product and the multiplication's scratch in one allocation, and
// `numberCount` doubles for the error bookkeeping in another.
struct Work {
    int64_t n = 0, len = 0;
    Limb *values = nullptr, *product = nullptr, *scratch = nullptr;
    Limb *memory = nullptr;
    double *numbers = nullptr;

    Work() = default;
    Work(const Work &) = delete;
    Work &operator=(const Work &) = delete;
    ~Work() {
        std::free(memory);
        std::free(numbers);
    }

    bool Allocate(int64_t fractionLimbs, int64_t count, int64_t numberCount) {
        n = fractionLimbs;
        len = n + 1;
        int64_t scratchLimbs = Limbs_MulScratchBytes(len * LIMB_BYTES, len * LIMB_BYTES) / LIMB_BYTES;
        memory = static_cast<Limb *>(std::calloc(count * len + 2 * len + scratchLimbs + 1, LIMB_BYTES));
        numbers = static_cast<double *>(std::calloc(numberCount, sizeof(double)));
        if (!memory || !numbers) return false;
        values = memory;
        product = values + count * len;
        scratch = product + 2 * len;
        return true;
    }
    Limb *Value(int64_t i) const { return values + i * len; }

    // The operations below work on the limbs from `o` up (the top n + 1 - o
    // limbs, a value truncated to a coarser grid): the late blocks of a
    // series weigh so little in the sum that their low limbs do not count.
    // dst = a * b, truncated; dst may be a or b.
    void Mul(Limb *dst, const Limb *a, const Limb *b, int64_t o = 0) {
        int64_t l = len - o;
        Limbs_Mul(product, a + o, l * LIMB_BYTES, b + o, l * LIMB_BYTES, scratch);
        std::memcpy(dst + o, product + l - 1, l * LIMB_BYTES);
    }
    void Add(Limb *dst, const Limb *a, const Limb *b, int64_t o = 0) const {
        Limbs_Add(dst + o, a + o, (len - o) * LIMB_BYTES, b + o, (len - o) * LIMB_BYTES);
    }
    void Sub(Limb *dst, const Limb *a, const Limb *b, int64_t o = 0) const {
        Limbs_Sub(dst + o, a + o, (len - o) * LIMB_BYTES, b + o, (len - o) * LIMB_BYTES);
    }
    void Div(Limb *dst, const Limb *a, Limb d, int64_t o = 0) const {
        Limbs_DivLimb(dst + o, a + o, (len - o) * LIMB_BYTES, d);
    }
    void Copy(Limb *dst, const Limb *a, int64_t o = 0) const { std::memcpy(dst + o, a + o, (len - o) * LIMB_BYTES); }
    void SetOne(Limb *dst, int64_t o = 0) const {
        std::memset(dst + o, 0, (len - o) * LIMB_BYTES);
        dst[n] = 1;
    }
    // The limbs from o up of a value whose weight in the final sum is at
    // most 2^weightLog2: those below carry less than one final ulp.
    int64_t Offset(double weightLog2) const {
        double o = std::floor(-weightLog2 / 64.0);
        return o <= 0.0 ? 0 : std::min<int64_t>(static_cast<int64_t>(o), n - 1);
    }
};

// dst = floor(|x| * 2^(64n - shift)) for a finite x with |x| < 2^32 and
// shift >= 0; tmp holds n + 2 limbs. Returns the error of that value in
// ulps (0 or 1).
double ToFixed(Limb *dst, Limb *tmp, const BigFloat *x, int64_t n, int64_t shift) {
    int64_t len = n + 1;
    std::memset(dst, 0, len * LIMB_BYTES);
    if (x->kind == FloatZero) return 0.0;
    // The mantissa moves by s = 64 (exponent + n) - shift bits: by L limbs
    // and then b bits to the left. tmp[0] stands for the limb just below
    // the grid, which feeds the bit shift.
    int64_t s = 64 * (x->exponent + n) - shift;
    int64_t limbShift = s >= 0 ? s / 64 : -((-s + 63) / 64);
    int bitShift = static_cast<int>(s - 64 * limbShift);
    std::memset(tmp, 0, (len + 1) * LIMB_BYTES);
    bool dropped = false;
    for (int64_t i = 0; i <= x->top; ++i) {
        int64_t at = i + limbShift;
        if (at >= -1 && at < len)
            tmp[at + 1] = x->limbs[i];
        else if (at < -1 && x->limbs[i] != 0)
            dropped = true;
    }
    if (bitShift != 0) Limbs_ShiftLeft(tmp, tmp, (len + 1) * LIMB_BYTES, bitShift);
    if (tmp[0] != 0) dropped = true;
    std::memcpy(dst, tmp + 1, len * LIMB_BYTES);
    return dropped ? 1.0 : 0.0;
}

// dst = the fixed value v (n + 1 limbs) known to within errUlps ulps.
void FromFixed(BigFloat *dst, const Limb *v, int64_t n, double errUlps) {
    int64_t len = n + 1;
    auto *limbs = static_cast<Limb *>(std::malloc(len * LIMB_BYTES));
    if (!limbs) {
        BigFloat_SetSpecial(dst, FloatOverflow, 1);
        return;
    }
    std::memcpy(limbs, v, len * LIMB_BYTES);
    BigFloat_Release(dst);
    dst->limbs = limbs;
    dst->size = len * LIMB_BYTES;
    dst->top = len - 1;
    dst->exponent = -n;
    dst->sign = 1;
    dst->kind = FloatRegular;
    dst->accuracy = 64.0 * static_cast<double>(n) - std::log2(std::max(errUlps, 1.0));
    BigFloat_Normalize(dst);
}

// The divisor of term i from term i - 1 in the ratio-form series.
enum class Ratio { Exp, Sin, Cos };

Limb Divisor(Ratio kind, int64_t i) {
    auto u = static_cast<Limb>(i);
    switch (kind) {
    case Ratio::Exp:
        return u;
    case Ratio::Sin:
        return (2 * u) * (2 * u + 1);
    case Ratio::Cos:
        return (2 * u - 1) * (2 * u);
    }
    return 1;
}

// The number of terms after which |term| < 2^-(64n + 2) for x <= 2^xLog2.
int64_t RatioTerms(Ratio kind, double xLog2, int64_t n) {
    double target = -(64.0 * static_cast<double>(n) + 2.0), t = 0.0;
    int64_t i = 0;
    while (t >= target) {
        ++i;
        t += xLog2 - std::log2(static_cast<double>(Divisor(kind, i)));
    }
    return std::max<int64_t>(i, 1);
}

// The rectangular splitting of sum_(i < N) t_i with t_0 = 1 and t_i =
// t_(i-1) * s x / d(i), s = -1 when `alternating`, for the fixed x in
// w.Value(1) (0 <= x <= 2^xLog2 <= 1, error e1 ulps). The powers x^2..x^m
// go into values 2..m; value 0 receives the sum, and values m+1, m+2 are
// temporaries. Block b (terms bm to bm + m - 1) is the tail
// sum_(i >= bm) t_i / t_bm; its errors reach the sum multiplied by
// |t_bm|, so it is computed on the grid that |t_bm| allows. The errors are
// counted in final ulps: one unit of block b's grid weighs at most one,
// and the error a block inherits from the next passes unchanged (the
// factor x^m / (d(bm+1) ... d(bm+m)) that joins them is what the weights
// already divide out). Returns the sum's error in ulps; sMax bounds the
// tails.
double RatioSum(Work &w, Ratio kind, bool alternating, int64_t terms, int64_t m, double xLog2, double e1, double sMax) {
    // The powers' errors e[j] and, per block, log2 of the bound of |t_bm|.
    double *e = w.numbers, *weight = w.numbers + m + 1;
    e[1] = e1;
    for (int64_t j = 2; j <= m; ++j) {
        w.Mul(w.Value(j), w.Value(j - 1), w.Value(1));
        e[j] = e[j - 1] + e1 + 1.0;
    }
    int64_t blocks = (terms + m - 1) / m;
    double lw = 0.0;
    for (int64_t b = 0; b < blocks; ++b) {
        weight[b] = lw;
        for (int64_t j = 1; j <= m; ++j) lw += xLog2 - std::log2(static_cast<double>(Divisor(kind, b * m + j)));
    }
    Limb *sum = w.Value(0), *u = w.Value(m + 1), *t = w.Value(m + 2);
    double sumErr = 0.0;
    int64_t previous = w.n;
    for (int64_t b = blocks - 1; b >= 0; --b) {
        int64_t base = b * m, o = w.Offset(weight[b]);
        // The block's inner sum 1 +- x/d1 (1 +- x/d2 (1 +- ...)); every
        // power read on the coarser grid errs by one more unit.
        double uErr = 0.0;
        if (m > 1) {
            w.Copy(u, w.Value(m - 1), o);
            uErr = e[m - 1] + 1.0;
            for (int64_t j = m - 1; j >= 2; --j) {
                w.Div(u, u, Divisor(kind, base + j), o);
                if (alternating)
                    w.Sub(u, w.Value(j - 1), u, o);
                else
                    w.Add(u, u, w.Value(j - 1), o);
                uErr = uErr / static_cast<double>(Divisor(kind, base + j)) + 2.0 + e[j - 1];
            }
            w.Div(u, u, Divisor(kind, base + 1), o);
            uErr = uErr / static_cast<double>(Divisor(kind, base + 1)) + 1.0;
        } else {
            std::memset(u + o, 0, (w.len - o) * LIMB_BYTES);
        }
        w.SetOne(t, o);
        if (alternating)
            w.Sub(t, t, u, o);
        else
            w.Add(t, t, u, o);
        if (b == blocks - 1) {
            w.Copy(sum, t, o);
            sumErr = uErr;
            previous = o;
            continue;
        }
        // sum = t +- x^m / (d(base+1) ... d(base+m)) * sum, the divisors
        // packed into words; the sum so far had a coarser grid.
        if (o < previous) std::memset(sum + o, 0, (previous - o) * LIMB_BYTES);
        previous = o;
        w.Mul(u, sum, w.Value(m), o);
        double err = sMax * (e[m] + 1.0) + 1.0;
        Limb packed = 1;
        for (int64_t j = 1; j <= m; ++j) {
            Limb d = Divisor(kind, base + j);
            if (packed > ~Limb(0) / d) {
                w.Div(u, u, packed, o);
                err = err / static_cast<double>(packed) + 1.0;
                packed = 1;
            }
            packed *= d;
        }
        w.Div(u, u, packed, o);
        err = err / static_cast<double>(packed) + 1.0;
        if (alternating && (m & 1))
            w.Sub(sum, t, u, o);
        else
            w.Add(sum, t, u, o);
        sumErr += err + uErr;
    }
    // The omitted terms: below 2 * 2^-(64n + 2), half an ulp.
    return sumErr + 1.0;
}

// The block length of a series of N terms: about sqrt(N).
int64_t BlockLength(int64_t terms) {
    return std::max<int64_t>(1, static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(terms)))));
}

}  // namespace

void Series_Exp(BigFloat *dst, const BigFloat *r, double bits) {
    // A saturated argument comes only from an allocation that failed
    // before; it passes on.
    if (!BigFloat_IsFinite(r)) {
        BigFloat_Copy(dst, r);
        return;
    }
    // k halvings cost k squarings and save terms; about sqrt(bits)/4 of
    // them balance the two.
    int64_t k = static_cast<int64_t>(std::sqrt(std::max(bits, 1.0)) / 4.0);
    double estimate = bits / static_cast<double>(k + 1) + 16.0;
    double guard = static_cast<double>(k) + std::log2(48.0 * estimate) + 8.0;
    auto n = static_cast<int64_t>(std::ceil((bits + guard) / 64.0));
    double xLog2 = r->kind == FloatZero ? -64.0 * static_cast<double>(n)
                                        : std::min(r->magnitude + 1e-9, 0.0) - static_cast<double>(k);
    int64_t terms = RatioTerms(Ratio::Exp, xLog2, n);
    int64_t m = BlockLength(terms);
    Work w;
    if (!w.Allocate(n, m + 3, m + 2 + (terms + m - 1) / m)) {
        BigFloat_SetSpecial(dst, FloatOverflow, 1);
        return;
    }
    double e1 = ToFixed(w.Value(1), w.product, r, n, k);
    double err = RatioSum(w, Ratio::Exp, false, terms, m, xLog2, e1, 3.0);
    // Each squaring doubles the relative error: err' = 2 v err + err^2 + 1
    // ulps for the value v < e^(2^(i - k)) before it.
    Limb *v = w.Value(0);
    double ulp = std::exp2(-64.0 * static_cast<double>(n));
    for (int64_t i = 0; i < k; ++i) {
        w.Mul(v, v, v);
        double vMax = std::exp(std::exp2(static_cast<double>(i - k))) * (1.0 + 1e-15);
        err = 2.0 * vMax * err + err * err * ulp + 1.0;
    }
    FromFixed(dst, v, n, err);
}

void Series_SinCos(BigFloat *dst, const BigFloat *z, bool cosine, double bits) {
    // A saturated argument comes only from an allocation that failed
    // before; it passes on.
    if (!BigFloat_IsFinite(z)) {
        BigFloat_Copy(dst, z);
        return;
    }
    Ratio kind = cosine ? Ratio::Cos : Ratio::Sin;
    double estimate = bits / 4.0 + 16.0;
    auto n = static_cast<int64_t>(std::ceil((bits + std::log2(16.0 * estimate) + 6.0) / 64.0));
    double xLog2 = z->kind == FloatZero ? -64.0 * static_cast<double>(n) : std::min(z->magnitude + 1e-9, 0.0);
    int64_t terms = RatioTerms(kind, xLog2, n);
    int64_t m = BlockLength(terms);
    Work w;
    if (!w.Allocate(n, m + 3, m + 2 + (terms + m - 1) / m)) {
        BigFloat_SetSpecial(dst, FloatOverflow, 1);
        return;
    }
    double e1 = ToFixed(w.Value(1), w.product, z, n, 0);
    double err = RatioSum(w, kind, true, terms, m, xLog2, e1, 1.0);
    FromFixed(dst, w.Value(0), n, err);
}

void Series_ArcTan(BigFloat *dst, const BigFloat *z, double bits, bool hyperbolic) {
    // A saturated argument comes only from an allocation that failed
    // before; it passes on.
    if (!BigFloat_IsFinite(z)) {
        BigFloat_Copy(dst, z);
        return;
    }
    double estimate = bits / 2.0 + 16.0;
    auto n = static_cast<int64_t>(std::ceil((bits + std::log2(16.0 * estimate) + 6.0) / 64.0));
    double zLog2 = z->kind == FloatZero ? -64.0 * static_cast<double>(n) : std::min(z->magnitude + 1e-9, -2.0);
    // z^N / (2N + 1) < 2^-(64n + 2).
    auto terms = std::max<int64_t>(1, static_cast<int64_t>(std::ceil((64.0 * static_cast<double>(n) + 2.0) / -zLog2)));
    int64_t m = BlockLength(terms);
    Work w;
    if (!w.Allocate(n, m + 4, m + 1)) {
        BigFloat_SetSpecial(dst, FloatOverflow, 1);
        return;
    }
    double e1 = ToFixed(w.Value(1), w.product, z, n, 0);
    double *e = w.numbers;
    e[1] = e1;
    for (int64_t j = 2; j <= m; ++j) {
        w.Mul(w.Value(j), w.Value(j - 1), w.Value(1));
        e[j] = e[j - 1] + e1 + 1.0;
    }
    int64_t blocks = (terms + m - 1) / m;
    Limb *sum = w.Value(0), *pos = w.Value(m + 1), *neg = w.Value(m + 2), *t = w.Value(m + 3);
    double sumErr = 0.0;
    int64_t previous = n;
    for (int64_t b = blocks - 1; b >= 0; --b) {
        // Block b weighs at most z^(bm) in the sum (see RatioSum).
        int64_t base = b * m, o = w.Offset(static_cast<double>(base) * zLog2);
        // The block's terms (-1)^j z^j / (2(base + j) + 1), the positive
        // and the negative ones summed apart.
        w.SetOne(pos, o);
        w.Div(pos, pos, static_cast<Limb>(2 * base + 1), o);
        std::memset(neg + o, 0, (w.len - o) * LIMB_BYTES);
        double blockErr = 1.0;
        for (int64_t j = 1; j < m; ++j) {
            auto c = static_cast<Limb>(2 * (base + j) + 1);
            w.Div(t, w.Value(j), c, o);
            Limb *side = j & 1 && !hyperbolic ? neg : pos;
            w.Add(side, side, t, o);
            blockErr += (e[j] + 1.0) / static_cast<double>(c) + 1.0;
        }
        w.Sub(pos, pos, neg, o);
        if (b == blocks - 1) {
            w.Copy(sum, pos, o);
            sumErr = blockErr;
            previous = o;
            continue;
        }
        // sum = block +- z^m * sum.
        if (o < previous) std::memset(sum + o, 0, (previous - o) * LIMB_BYTES);
        previous = o;
        w.Mul(t, sum, w.Value(m), o);
        if (m & 1 && !hyperbolic)
            w.Sub(sum, pos, t, o);
        else
            w.Add(sum, pos, t, o);
        sumErr = blockErr + e[m] + 1.0 + sumErr + 1.0;
    }
    FromFixed(dst, sum, n, sumErr + 1.0);
}
