// BigFloat records and their arithmetic with tracked error bounds. The
// mantissa work is done by the limb primitives (sums, products, long
// division) and by BigInt for the integer square root; this layer aligns
// exponents, propagates the error bounds, decides how many mantissa bits a
// result deserves and handles the special kinds.
#include "number/bigfloat.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "kernel/state.h"
#include "number/bigint.h"

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NAN_VALUE = std::numeric_limits<double>::quiet_NaN();

// Bits of working margin a truncated quotient or root carries beyond the
// precision it claims: the 12 guard bits plus a few for the truncation
// errors themselves.
constexpr int WORK_MARGIN_BITS = BIGFLOAT_GUARD_BITS + 3;

inline bool IsZero(const BigFloat *b) { return b->kind == FloatZero; }
inline bool IsExact(const BigFloat *b) { return b->accuracy == INF; }

// log2(2^x + 2^y) without leaving the logarithmic domain, so that errors far
// below the double range (2^-10^6 and the like) still add correctly. -inf
// stands for a zero term.
double Log2Sum(double x, double y) {
    if (x < y) std::swap(x, y);
    if (y == -INF) return x;
    return x + std::log2(1.0 + std::exp2(y - x));
}

// Gives b's array exactly n limbs, keeping the low limbs and zero-filling
// new ones; top and size follow. Returns false, leaving b unchanged, when
// the allocation fails.
bool Resize(BigFloat *b, int64_t n) {
    if (n * LIMB_BYTES != b->size || !b->limbs) {
        void *p = std::realloc(b->limbs, n * LIMB_BYTES);
        if (!p) return false;
        b->limbs = static_cast<Limb *>(p);
        int64_t old = b->size / LIMB_BYTES;
        if (n > old) std::memset(b->limbs + old, 0, (n - old) * LIMB_BYTES);
        b->size = n * LIMB_BYTES;
    }
    b->top = n - 1;
    return true;
}

// Turns b into a special kind. The limb array is kept (or made one zero
// limb when there is room to allocate it): nothing reads the limbs of a
// special record. FloatOverflow has accuracy -inf and magnitude +inf,
// FloatUnderflow the reverse, FloatIndeterminate NaN for both.
void SetSpecialKind(BigFloat *b, int64_t kind, int64_t sign) {
    if (Resize(b, 1)) b->limbs[0] = 0;
    b->kind = kind;
    b->sign = kind == FloatIndeterminate ? 0 : (sign < 0 ? -1 : 1);
    b->exponent = 0;
    if (kind == FloatOverflow) {
        b->accuracy = -INF;
        b->magnitude = INF;
    } else if (kind == FloatUnderflow) {
        b->accuracy = INF;
        b->magnitude = -INF;
    } else {
        b->accuracy = NAN_VALUE;
        b->magnitude = NAN_VALUE;
    }
}

// The outcome of a failed allocation: like BigInt, the destination becomes
// an infinite (FloatOverflow) value with the sign of the result.
void OutOfMemory(BigFloat *b, int64_t sign) { SetSpecialKind(b, FloatOverflow, sign); }

// Replaces b's limbs by the malloc'd array buf of n limbs holding the
// mantissa of sign * buf * 2^(64*exponent) known to `accuracy` bits, and
// normalises. Takes over buf.
void Install(BigFloat *b, Limb *buf, int64_t n, int64_t exponent, int64_t sign, double accuracy) {
    std::free(b->limbs);
    b->limbs = buf;
    b->size = n * LIMB_BYTES;
    b->top = n - 1;
    b->exponent = exponent;
    b->sign = sign;
    b->kind = FloatRegular;
    b->accuracy = accuracy;
    BigFloat_Normalize(b);
}

// The top 64 significant bits of a finite non-zero mantissa, with the high
// bit set.
uint64_t Top64(const BigFloat *b) {
    Limb hi = b->limbs[b->top];
    int lead = std::countl_zero(hi);
    uint64_t v = hi << lead;
    if (lead != 0 && b->top > 0) v |= b->limbs[b->top - 1] >> (64 - lead);
    return v;
}

// The bit length of b's integer mantissa (finite, non-zero).
int64_t MantissaBits(const BigFloat *b) { return b->top * 64 + (64 - std::countl_zero(b->limbs[b->top])); }

// Accuracy of a sum: absolute errors add.
double SumAccuracy(double a1, double a2) {
    if (a1 == INF && a2 == INF) return INF;
    return -Log2Sum(-a1, -a2);
}

// Accuracy of a product from the operands' accuracies and magnitudes:
// relative errors add, expressed from the less precise operand.
double ProductAccuracy(const BigFloat *a, const BigFloat *b) {
    if (IsExact(a) && IsExact(b)) return INF;
    double p1 = BigFloat_Precision(a), p2 = BigFloat_Precision(b);
    double l = p1 - p2;
    if (IsExact(a)) l = INF;
    if (IsExact(b)) l = -INF;
    if (l <= 0) return a->accuracy - b->magnitude - std::log2(1.0 + std::exp2(l));
    return b->accuracy - a->magnitude - std::log2(1.0 + std::exp2(-l));
}

// Precision of a quotient (relative errors add); infinite only when both
// operands are exact.
double QuotientPrecision(const BigFloat *a, const BigFloat *b) {
    if (IsExact(a) && IsExact(b)) return INF;
    if (IsExact(a)) return BigFloat_Precision(b);
    if (IsExact(b)) return BigFloat_Precision(a);
    return -Log2Sum(-BigFloat_Precision(a), -BigFloat_Precision(b));
}

// dst = a + bSign * b for bSign = +-1 (the sign flip makes the difference).
void AddSigned(BigFloat *dst, const BigFloat *a, const BigFloat *b, int64_t bSign) {
    int64_t sa = a->sign, sb = b->sign * bSign;
    if (a->kind == FloatIndeterminate || b->kind == FloatIndeterminate) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (a->kind == FloatOverflow || b->kind == FloatOverflow) {
        if (a->kind == FloatOverflow && b->kind == FloatOverflow && sa != sb)
            SetSpecialKind(dst, FloatIndeterminate, 0);
        else
            SetSpecialKind(dst, FloatOverflow, a->kind == FloatOverflow ? sa : sb);
        return;
    }
    if (a->kind == FloatUnderflow || b->kind == FloatUnderflow) {
        // A tiny value vanishes beside any non-zero one; beside a zero or
        // another tiny value the first tiny value stands.
        if (a->kind == FloatUnderflow && (b->kind == FloatUnderflow || IsZero(b))) {
            SetSpecialKind(dst, FloatUnderflow, sa);
        } else if (b->kind == FloatUnderflow && IsZero(a)) {
            SetSpecialKind(dst, FloatUnderflow, sb);
        } else if (a->kind == FloatUnderflow) {
            BigFloat_Copy(dst, b);
            dst->sign = sb;
        } else {
            BigFloat_Copy(dst, a);
        }
        return;
    }
    double acc = SumAccuracy(a->accuracy, b->accuracy);
    // A zero still contributes its error bound: a zero known to 10 bits
    // added to an exact 1 gives 1 known to 10 bits.
    if (IsZero(a) || IsZero(b)) {
        const BigFloat *other = IsZero(a) ? b : a;
        int64_t sign = IsZero(a) ? sb : sa;
        BigFloat_Copy(dst, other);
        if (dst->kind < 0) return;
        if (!IsZero(dst)) dst->sign = sign;
        dst->accuracy = acc;
        BigFloat_Normalize(dst);
        return;
    }
    int64_t topA = a->exponent + a->top, topB = b->exponent + b->top;
    int64_t high = std::max(topA, topB) + 2;  // exclusive, one limb for the carry
    int64_t low = std::min(a->exponent, b->exponent);
    // Limbs below the accuracy and its guard bits (and one limb more) would
    // be dropped by the normalisation anyway; not adding them keeps a sum
    // of operands of very different scales short.
    if (std::isfinite(acc)) {
        double cut = -std::ceil((acc + BIGFLOAT_GUARD_BITS) / 64.0) - 1.0;
        if (cut > static_cast<double>(low)) low = cut >= static_cast<double>(high - 2) ? high - 2 : static_cast<int64_t>(cut);
    }
    int64_t n = high - low;
    auto *buf = static_cast<Limb *>(std::calloc(n, LIMB_BYTES));
    if (!buf) {
        OutOfMemory(dst, sa);
        return;
    }
    // Place a, then add or subtract b's limbs at their offset.
    int64_t skipA = std::max<int64_t>(0, low - a->exponent);
    if (skipA <= a->top)
        std::memcpy(buf + (a->exponent + skipA - low), a->limbs + skipA, (a->top + 1 - skipA) * LIMB_BYTES);
    int64_t sign = sa;
    int64_t skipB = std::max<int64_t>(0, low - b->exponent);
    if (skipB <= b->top) {
        int64_t off = b->exponent + skipB - low, len = b->top + 1 - skipB;
        if (sa == sb) {
            Limbs_Add(buf + off, buf + off, (n - off) * LIMB_BYTES, b->limbs + skipB, len * LIMB_BYTES);
        } else if (Limbs_Sub(buf + off, buf + off, (n - off) * LIMB_BYTES, b->limbs + skipB, len * LIMB_BYTES)) {
            // |b| was the larger: the buffer holds the two's complement.
            Limbs_Negate(buf, buf, n * LIMB_BYTES);
            sign = sb;
        }
    }
    Install(dst, buf, n, low, sign, acc);
}

// Sets up the quotient Q = floor(A' * 2^(64*s) / B') of the top limbs of
// a's and b's mantissas with about qn limbs, installs sign * Q scaled into
// dst with the given accuracy placeholder (infinite), and returns the log2
// of the absolute error of that truncated quotient (from the floor and from
// any truncation of the operands). With `exact` nothing is truncated and
// *remainderZero tells whether the division came out exactly. Returns NaN
// when memory ran out (dst is then FloatOverflow).
double DivideMantissas(BigFloat *dst, const BigFloat *a, const BigFloat *b, int64_t qn, bool exact,
                       bool *remainderZero) {
    int64_t na = a->top + 1, nb = b->top + 1;
    int64_t bt = exact ? nb : std::min(nb, qn + 1);
    int64_t at = exact ? na : std::min(na, qn + bt);
    int64_t s = std::max<int64_t>(qn + bt - at, exact ? 1 : 0);
    const Limb *ap = a->limbs + (na - at), *bp = b->limbs + (nb - bt);
    int64_t eq = a->exponent + (na - at) - s - (b->exponent + (nb - bt));
    int64_t qlen = at + s - bt + 1;
    int64_t sign = a->sign * b->sign;
    auto *q = static_cast<Limb *>(std::malloc(qlen * LIMB_BYTES));
    Limb *rem = exact ? static_cast<Limb *>(std::malloc(bt * LIMB_BYTES)) : nullptr;
    if (!q || (exact && !rem) || Limbs_DivMod(q, ap, at * LIMB_BYTES, bp, bt * LIMB_BYTES, rem, s * LIMB_BYTES) != 1) {
        std::free(q);
        std::free(rem);
        OutOfMemory(dst, sign);
        return NAN_VALUE;
    }
    if (remainderZero) {
        *remainderZero = true;
        for (int64_t i = 0; i < bt; ++i)
            if (rem[i] != 0) *remainderZero = false;
    }
    std::free(rem);
    // Truncating A' makes the quotient low by a relative 2^-(64(at-1)) at
    // most, truncating B' high by 2^-(64(bt-1)); the floor loses one unit.
    double relLog = -INF;
    if (at < na) relLog = Log2Sum(relLog, -64.0 * static_cast<double>(at - 1));
    if (bt < nb) relLog = Log2Sum(relLog, -64.0 * static_cast<double>(bt - 1));
    Install(dst, q, qlen, eq, sign, INF);
    if (dst->kind < 0) return NAN_VALUE;
    double unitLog = 64.0 * static_cast<double>(eq);
    if (IsZero(dst)) return unitLog;
    return Log2Sum(unitLog, static_cast<double>(BigFloat_TopBit(dst) + 1) + relLog);
}

// Limbs needed so that a truncated quotient or root of `bits` significant
// bits carries the working margin: one limb more than the bits fill.
int64_t WorkLimbs(double bits) {
    double b = std::max(bits, 1.0) + WORK_MARGIN_BITS;
    return static_cast<int64_t>(std::ceil(b / 64.0)) + 1;
}

// Fills a BigInt with the integer mantissa of b shifted left by `shift` bits
// (right, truncating, when negative).
bool MantissaToBigInt(BigInt *dst, const BigFloat *b, int64_t shift) {
    BigInt_SetZero(dst);
    void *p = std::malloc((b->top + 1) * LIMB_BYTES);
    if (!p) return false;
    std::free(dst->limbs);
    dst->limbs = static_cast<Limb *>(p);
    std::memcpy(dst->limbs, b->limbs, (b->top + 1) * LIMB_BYTES);
    dst->top = b->top;
    dst->size = (b->top + 1) * LIMB_BYTES;
    dst->sign = 1;
    dst->kind = IntRegular;
    BigInt_Normalize(dst);
    if (shift != 0) BigInt_Shift(dst, dst, shift);
    return dst->kind >= 0;
}

// The comparison of two special or finite operands where at least one is
// FloatOverflow or FloatUnderflow; `digits` ignores error bounds. Returns
// -1, 0 or +1.
int CompareSpecial(const BigFloat *a, const BigFloat *b, bool digits) {
    // Rank along the number line: -Overflow < finite negative < -Underflow
    // < zero < +Underflow < finite positive < +Overflow.
    auto rank = [](const BigFloat *x) -> int {
        if (x->kind == FloatOverflow) return 3 * static_cast<int>(x->sign);
        if (x->kind == FloatUnderflow) return static_cast<int>(x->sign);
        return 2 * static_cast<int>(x->sign);
    };
    int ra = rank(a), rb = rank(b);
    if (!digits) {
        // A tiny value cannot be told from a zero or a value whose error
        // bound reaches zero.
        auto reachesZero = [](const BigFloat *x) {
            return x->kind >= 0 && !(IsZero(x) && IsExact(x)) && x->magnitude <= -x->accuracy;
        };
        if ((a->kind == FloatUnderflow && reachesZero(b)) || (b->kind == FloatUnderflow && reachesZero(a))) return 0;
    }
    return (ra > rb) - (ra < rb);
}

}  // namespace

// ---- Records -----------------------------------------------------------------

BigFloat *BigFloat_New() {
    auto *b = static_cast<BigFloat *>(Pool_Alloc(&kernel.numbers.bigFloats));
    BigFloat_SetZero(b, INF);
    return b;
}

void BigFloat_Free(BigFloat *b) {
    std::free(b->limbs);
    Pool_Free(&kernel.numbers.bigFloats, b);
}

void BigFloat_DropOwned(void *record) {
    auto *b = static_cast<BigFloat *>(record);
    std::free(b->limbs);
    b->limbs = nullptr;
}

void BigFloat_Release(BigFloat *b) {
    std::free(b->limbs);
    *b = {};
}

// ---- Setting values ------------------------------------------------------------

void BigFloat_Copy(BigFloat *dst, const BigFloat *src) {
    if (dst == src) return;
    int64_t n = std::max<int64_t>(src->size / LIMB_BYTES, 1);
    if (!Resize(dst, n)) {
        OutOfMemory(dst, src->sign);
        return;
    }
    if (src->limbs)
        std::memcpy(dst->limbs, src->limbs, n * LIMB_BYTES);
    else
        dst->limbs[0] = 0;
    dst->sign = src->sign;
    dst->kind = src->kind;
    dst->exponent = src->exponent;
    dst->top = src->limbs ? src->top : 0;
    dst->accuracy = src->accuracy;
    dst->magnitude = src->magnitude;
}

void BigFloat_SetZero(BigFloat *dst, double accuracy) {
    if (!Resize(dst, 1)) {
        OutOfMemory(dst, 1);
        return;
    }
    dst->limbs[0] = 0;
    dst->sign = 0;
    dst->kind = FloatZero;
    dst->exponent = 0;
    dst->accuracy = accuracy;
    dst->magnitude = -accuracy;
}

void BigFloat_SetSmall(BigFloat *dst, int64_t v) {
    if (v == 0) {
        BigFloat_SetZero(dst, INF);
        return;
    }
    if (!Resize(dst, 1)) {
        OutOfMemory(dst, v);
        return;
    }
    // The unsigned negation gives 2^63 for -2^63.
    dst->limbs[0] = v < 0 ? 0 - static_cast<Limb>(v) : static_cast<Limb>(v);
    dst->sign = v < 0 ? -1 : 1;
    dst->kind = FloatRegular;
    dst->exponent = 0;
    dst->accuracy = INF;
    BigFloat_Normalize(dst);
}

void BigFloat_FromBigInt(BigFloat *dst, const BigInt *src) {
    if (src->kind == IntIndeterminate) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (src->kind == IntInfinite) {
        SetSpecialKind(dst, FloatOverflow, src->sign);
        return;
    }
    if (src->kind == IntZero) {
        BigFloat_SetZero(dst, INF);
        return;
    }
    if (!Resize(dst, src->top + 1)) {
        OutOfMemory(dst, src->sign);
        return;
    }
    std::memcpy(dst->limbs, src->limbs, (src->top + 1) * LIMB_BYTES);
    dst->sign = src->sign;
    dst->kind = FloatRegular;
    dst->exponent = 0;
    dst->accuracy = INF;
    BigFloat_Normalize(dst);
}

void BigFloat_SetSpecial(BigFloat *dst, int64_t kind, int64_t sign) { SetSpecialKind(dst, kind, sign); }

void BigFloat_FromDouble(BigFloat *dst, double x) {
    if (std::isnan(x)) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (std::isinf(x)) {
        SetSpecialKind(dst, FloatOverflow, x < 0 ? -1 : 1);
        return;
    }
    if (x == 0.0) {
        BigFloat_SetZero(dst, 1023);
        return;
    }
    auto bits = std::bit_cast<uint64_t>(x);
    auto biased = static_cast<int64_t>((bits >> 52) & 0x7FF);
    uint64_t fraction = bits & ((uint64_t(1) << 52) - 1);
    // Normal numbers carry the implicit bit; subnormals share the exponent
    // of the smallest normal number.
    uint64_t mantissa = biased != 0 ? fraction | (uint64_t(1) << 52) : fraction;
    if (biased == 0) biased = 1;
    if (!Resize(dst, 1)) {
        OutOfMemory(dst, x < 0 ? -1 : 1);
        return;
    }
    // The integer mantissa is known to half a unit (the rounding of the
    // double), that is to accuracy 1 bit, before scaling.
    dst->limbs[0] = mantissa;
    dst->sign = x < 0 ? -1 : 1;
    dst->kind = FloatRegular;
    dst->exponent = 0;
    dst->accuracy = 1;
    BigFloat_Normalize(dst);
    BigFloat_Scale(dst, biased - 1075);
}

double BigFloat_ToDouble(const BigFloat *b) {
    switch (b->kind) {
    case FloatIndeterminate:
        return NAN_VALUE;
    case FloatOverflow:
        return b->sign < 0 ? -INF : INF;
    case FloatUnderflow:
        return b->sign < 0 ? -0.0 : 0.0;
    case FloatZero:
        return 0.0;
    default:
        break;
    }
    double sign = b->sign < 0 ? -1.0 : 1.0;
    int64_t t = BigFloat_TopBit(b);
    if (t >= 1024) return sign * INF;
    if (t < -1074) return sign * 0.0;
    // Below 2^-1022 only the bits down to 2^-1074 fit (a subnormal).
    int64_t nbits = t < -1022 ? t + 1075 : 53;
    uint64_t v = Top64(b) >> (64 - nbits);
    return sign * std::ldexp(static_cast<double>(v), static_cast<int>(t - nbits + 1));
}

// ---- Precision -----------------------------------------------------------------

void BigFloat_SetAccuracy(BigFloat *b, double bits) {
    if (b->kind < 0) return;
    b->accuracy = bits;
    BigFloat_Normalize(b);
}

void BigFloat_SetPrecision(BigFloat *b, double p, int base) {
    if (b->kind < 0 || IsZero(b)) return;
    double bits = base == 2 ? p : p * std::log2(static_cast<double>(base));
    BigFloat_SetAccuracy(b, bits - b->magnitude);
}

void BigFloat_Scale(BigFloat *b, int64_t k) {
    if (b->kind < 0) return;
    b->accuracy -= static_cast<double>(k);
    if (IsZero(b)) {
        b->magnitude = -b->accuracy;
        return;
    }
    int64_t limbShift = k >> 6;  // floor(k / 64)
    int bitShift = static_cast<int>(k & 63);
    if (bitShift != 0) {
        int64_t n = b->top + 1;
        if (!Resize(b, n + 1)) {
            OutOfMemory(b, b->sign);
            return;
        }
        b->limbs[n] = Limbs_ShiftLeft(b->limbs, b->limbs, n * LIMB_BYTES, bitShift);
    }
    b->exponent += limbShift;
    BigFloat_Normalize(b);
}

void BigFloat_Normalize(BigFloat *b) {
    if (b->kind < 0) return;
    if (!b->limbs) {
        BigFloat_SetZero(b, b->accuracy);
        return;
    }
    int64_t top = b->top;
    while (top > 0 && b->limbs[top] == 0) --top;
    // Limbs wholly below the accuracy and its guard bits carry nothing the
    // bound vouches for. The top limb always stays.
    int64_t c = 0;
    if (std::isfinite(b->accuracy)) {
        double keep = b->accuracy + BIGFLOAT_GUARD_BITS;
        if ((static_cast<double>(-b->exponent) - 1.0) * 64.0 >= keep) {
            double drop = static_cast<double>(-b->exponent) - std::ceil(keep / 64.0);
            c = drop >= static_cast<double>(top) ? top : static_cast<int64_t>(drop);
        }
    }
    while (c < top && b->limbs[c] == 0) ++c;
    if (c > 0) {
        std::memmove(b->limbs, b->limbs + c, (top - c + 1) * LIMB_BYTES);
        top -= c;
        b->exponent += c;
    }
    if (top != b->top) {
        // Shrinking cannot fail in practice; if it does, the larger array
        // is kept, which is still correct to free later.
        void *p = std::realloc(b->limbs, (top + 1) * LIMB_BYTES);
        if (p) b->limbs = static_cast<Limb *>(p);
        b->top = top;
        b->size = (top + 1) * LIMB_BYTES;
    }
    if (top == 0 && b->limbs[0] == 0) {
        b->sign = 0;
        b->kind = FloatZero;
        b->exponent = 0;
        b->magnitude = -b->accuracy;
        return;
    }
    if (b->exponent + top + 1 > BIGFLOAT_EXPONENT_LIMIT) {
        SetSpecialKind(b, FloatOverflow, b->sign);
        return;
    }
    if (b->exponent < -BIGFLOAT_EXPONENT_LIMIT) {
        SetSpecialKind(b, FloatUnderflow, b->sign);
        return;
    }
    b->kind = top == 0 && b->limbs[0] == 1 && b->exponent == 0 ? FloatUnit : FloatRegular;
    b->magnitude = std::log2(static_cast<double>(Top64(b))) + static_cast<double>(BigFloat_TopBit(b) - 63);
}

int64_t BigFloat_TopBit(const BigFloat *b) {
    return 64 * (b->exponent + b->top) + (63 - std::countl_zero(b->limbs[b->top]));
}

// ---- Arithmetic ------------------------------------------------------------------

void BigFloat_Negate(BigFloat *dst, const BigFloat *src) {
    BigFloat_Copy(dst, src);
    dst->sign = -dst->sign;
}

void BigFloat_Add(BigFloat *dst, const BigFloat *a, const BigFloat *b) { AddSigned(dst, a, b, 1); }

void BigFloat_Sub(BigFloat *dst, const BigFloat *a, const BigFloat *b) { AddSigned(dst, a, b, -1); }

void BigFloat_Mul(BigFloat *dst, const BigFloat *a, const BigFloat *b) {
    int64_t sign = a->sign * b->sign;
    if (a->kind == FloatIndeterminate || b->kind == FloatIndeterminate) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (a->kind == FloatOverflow || b->kind == FloatOverflow) {
        const BigFloat *other = a->kind == FloatOverflow ? b : a;
        if (IsZero(other) || other->kind == FloatUnderflow)
            SetSpecialKind(dst, FloatIndeterminate, 0);
        else
            SetSpecialKind(dst, FloatOverflow, sign);
        return;
    }
    if (a->kind == FloatUnderflow || b->kind == FloatUnderflow) {
        const BigFloat *under = a->kind == FloatUnderflow ? a : b;
        const BigFloat *other = under == a ? b : a;
        SetSpecialKind(dst, FloatUnderflow, IsZero(other) ? under->sign : sign);
        return;
    }
    if (IsZero(a) || IsZero(b)) {
        bool exactZero = (IsZero(a) && IsExact(a)) || (IsZero(b) && IsExact(b));
        BigFloat_SetZero(dst, exactZero ? INF : ProductAccuracy(a, b));
        return;
    }
    double acc = ProductAccuracy(a, b);
    // An operand far longer than the result's precision is cut to the
    // limbs the result can use (its relative truncation error stays far
    // below the guard bits), so an exact integer times a short real costs
    // a short product.
    int64_t ka = a->top + 1, kb = b->top + 1;
    if (std::isfinite(acc)) {
        double bits = acc + a->magnitude + b->magnitude + BIGFLOAT_GUARD_BITS + 64;
        int64_t keep = static_cast<int64_t>(std::ceil(std::max(bits, 64.0) / 64.0)) + 1;
        ka = std::min(ka, keep);
        kb = std::min(kb, keep);
    }
    const Limb *pa = a->limbs + (a->top + 1 - ka), *pb = b->limbs + (b->top + 1 - kb);
    int64_t exponent = a->exponent + (a->top + 1 - ka) + b->exponent + (b->top + 1 - kb);
    auto *buf = static_cast<Limb *>(std::malloc((ka + kb) * LIMB_BYTES));
    if (!buf || !Limbs_Mul(buf, pa, ka * LIMB_BYTES, pb, kb * LIMB_BYTES, nullptr)) {
        std::free(buf);
        OutOfMemory(dst, sign);
        return;
    }
    Install(dst, buf, ka + kb, exponent, sign, acc);
}

void BigFloat_Div(BigFloat *dst, const BigFloat *a, const BigFloat *b) {
    int64_t sign = a->sign * b->sign;
    if (a->kind == FloatIndeterminate || b->kind == FloatIndeterminate) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (IsZero(b)) {
        if (IsZero(a) || a->kind == FloatUnderflow)
            SetSpecialKind(dst, FloatIndeterminate, 0);
        else
            SetSpecialKind(dst, FloatOverflow, a->sign);
        return;
    }
    if (a->kind < 0 || b->kind < 0) {
        // Overflow over Overflow and Underflow over Underflow are
        // undefined; otherwise the saturated operand decides.
        if (a->kind == b->kind) {
            SetSpecialKind(dst, FloatIndeterminate, 0);
        } else if (a->kind == FloatOverflow || b->kind == FloatUnderflow) {
            if (IsZero(a))
                BigFloat_Copy(dst, a);
            else
                SetSpecialKind(dst, FloatOverflow, sign);
        } else if (IsZero(a)) {
            BigFloat_Copy(dst, a);
        } else {
            SetSpecialKind(dst, FloatUnderflow, sign);
        }
        return;
    }
    if (IsZero(a)) {
        // The dividend's error bound shrinks or grows with the divisor.
        double acc = IsExact(a) ? INF : a->accuracy + b->magnitude - std::log2(1.0 + std::exp2(-BigFloat_Precision(b)));
        BigFloat_SetZero(dst, acc);
        return;
    }
    double resultMagnitude = a->magnitude - b->magnitude;
    if (IsExact(a) && IsExact(b)) {
        double p = static_cast<double>(std::max<int64_t>({MantissaBits(a), MantissaBits(b), 64}) + 64);
        bool remainderZero = false;
        double errLog = DivideMantissas(dst, a, b, WorkLimbs(p), true, &remainderZero);
        if (std::isnan(errLog) || remainderZero) return;
        BigFloat_SetAccuracy(dst, std::min(p - dst->magnitude, -errLog));
        return;
    }
    double precision = QuotientPrecision(a, b);
    double errLog = DivideMantissas(dst, a, b, WorkLimbs(precision), false, nullptr);
    if (std::isnan(errLog)) return;
    BigFloat_SetAccuracy(dst, -Log2Sum(resultMagnitude - precision, errLog));
}

void BigFloat_Sqrt(BigFloat *dst, const BigFloat *src) {
    if (src->kind == FloatIndeterminate || src->sign < 0) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (src->kind < 0) {
        SetSpecialKind(dst, src->kind, 1);
        return;
    }
    if (IsZero(src)) {
        BigFloat_SetZero(dst, src->accuracy / 2);
        return;
    }
    bool exact = IsExact(src);
    double p = BigFloat_Precision(src), rootPrecision;
    if (exact) {
        rootPrecision = static_cast<double>(std::max<int64_t>(MantissaBits(src), 64) + 64);
    } else {
        // A relative error d of the operand becomes at most
        // d / (1 + sqrt(1 - d)) in the root: about one bit more.
        rootPrecision = p > 0 ? p + std::log2(1.0 + std::sqrt(1.0 - std::exp2(-p))) : p;
    }
    double rootMagnitude = src->magnitude / 2;
    int64_t srcExponent = src->exponent;  // src may be dst, which is rewritten below
    // N = mantissa * 2^(2t) has twice the root bits the result needs; the
    // value's exponent 64*e is even, so sqrt(value) = sqrt(N) * 2^(32e - t).
    int64_t rootBits = (WorkLimbs(rootPrecision) - 1) * 64;
    int64_t t = (2 * rootBits - MantissaBits(src) + 1) / 2;
    if (exact) t = std::max<int64_t>(t, 0);
    // Only an exact operand asks whether the root came out exactly.
    BigInt n{}, r{}, rem{};
    bool ok = MantissaToBigInt(&n, src, 2 * t);
    if (ok) {
        BigInt_Root(&r, exact ? &rem : nullptr, &n, 2);
        ok = r.kind > 0;
    }
    bool square = exact && rem.kind == IntZero;
    if (ok) BigFloat_FromBigInt(dst, &r);
    BigInt_Release(&n);
    BigInt_Release(&r);
    BigInt_Release(&rem);
    if (!ok) {
        OutOfMemory(dst, 1);
        return;
    }
    int64_t unit = 32 * srcExponent - t;
    BigFloat_Scale(dst, unit);
    if (dst->kind < 0) return;
    // The floor loses under one unit, the truncation of N (when t < 0) a
    // fraction of one more.
    double errLog = static_cast<double>(unit) + 1.0;
    if (exact) {
        if (!square) BigFloat_SetAccuracy(dst, std::min(rootPrecision - dst->magnitude, -errLog));
        else BigFloat_SetAccuracy(dst, INF);
        return;
    }
    BigFloat_SetAccuracy(dst, -Log2Sum(rootMagnitude - rootPrecision, errLog));
}

void BigFloat_PowerSmall(BigFloat *dst, const BigFloat *base, int64_t n) {
    if (base->kind == FloatIndeterminate) {
        SetSpecialKind(dst, FloatIndeterminate, 0);
        return;
    }
    if (n == 0) {
        BigFloat_SetSmall(dst, 1);
        return;
    }
    uint64_t m = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    // An exact power is computed exactly, so one that could not fit in the
    // limb limit is refused up front, as a BigInt refuses it.
    if (base->kind > 0 && IsExact(base) &&
        static_cast<double>(MantissaBits(base) - 1) * static_cast<double>(m) >
            64.0 * static_cast<double>(kernel.numbers.limbLimit)) {
        int64_t sign = base->sign < 0 && (m & 1) ? -1 : 1;
        SetSpecialKind(dst, n > 0 ? FloatOverflow : FloatUnderflow, sign);
        return;
    }
    BigFloat power{}, result{};
    BigFloat_Copy(&power, base);
    BigFloat_SetSmall(&result, 1);
    while (m != 0) {
        if (m & 1) BigFloat_Mul(&result, &result, &power);
        m >>= 1;
        if (m != 0) BigFloat_Mul(&power, &power, &power);
    }
    if (n < 0) {
        BigFloat_SetSmall(&power, 1);
        BigFloat_Div(dst, &power, &result);
    } else {
        BigFloat_Copy(dst, &result);
    }
    BigFloat_Release(&power);
    BigFloat_Release(&result);
}

// ---- Comparison ------------------------------------------------------------------

int BigFloat_Compare(const BigFloat *a, const BigFloat *b) {
    if (a->kind == FloatIndeterminate || b->kind == FloatIndeterminate) return -2;
    if (a->kind < 0 || b->kind < 0) return CompareSpecial(a, b, false);
    double errLog = -SumAccuracy(a->accuracy, b->accuracy);
    // Operands of very different scales are told apart from their top bits
    // alone: |a - b| is then at least half the larger one.
    if (!IsZero(a) && !IsZero(b)) {
        int64_t ta = BigFloat_TopBit(a), tb = BigFloat_TopBit(b);
        if (ta > tb + 2 && static_cast<double>(ta - 1) > errLog) return static_cast<int>(a->sign);
        if (tb > ta + 2 && static_cast<double>(tb - 1) > errLog) return static_cast<int>(-b->sign);
    }
    BigFloat d{};
    BigFloat_Sub(&d, a, b);
    int result;
    if (d.kind < 0)
        result = d.kind == FloatIndeterminate ? -2 : static_cast<int>(d.sign);
    else if (IsZero(&d) || d.magnitude <= errLog)
        result = 0;
    else
        result = static_cast<int>(d.sign);
    BigFloat_Release(&d);
    return result;
}

int BigFloat_CompareDigits(const BigFloat *a, const BigFloat *b) {
    if (a->kind == FloatIndeterminate || b->kind == FloatIndeterminate) return -2;
    if (a->kind < 0 || b->kind < 0) return CompareSpecial(a, b, true);
    if (a->sign != b->sign) return a->sign > b->sign ? 1 : -1;
    if (a->sign == 0) return 0;
    int64_t ta = BigFloat_TopBit(a), tb = BigFloat_TopBit(b);
    int magnitude;
    if (ta != tb) {
        magnitude = ta > tb ? 1 : -1;
    } else {
        // Equal top bits put the top limbs at the same position; walk down
        // from there, a missing limb counting as zero.
        magnitude = 0;
        int64_t pos = a->exponent + a->top;
        int64_t end = std::min(a->exponent, b->exponent);
        for (; pos >= end && magnitude == 0; --pos) {
            Limb x = pos >= a->exponent ? a->limbs[pos - a->exponent] : 0;
            Limb y = pos >= b->exponent ? b->limbs[pos - b->exponent] : 0;
            if (x != y) magnitude = x > y ? 1 : -1;
        }
    }
    return magnitude * static_cast<int>(a->sign);
}
