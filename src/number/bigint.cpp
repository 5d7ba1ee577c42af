// BigInt records and their arithmetic. The magnitude work is done by the
// limb primitives; this layer handles signs, the special kinds, the exact
// sizing of the limb arrays, the limb limit and aliasing between the
// destination and the operands.
#include "number/bigint.h"

#include "kernel/abort.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "kernel/abort.h"
#include "kernel/state.h"

namespace {

inline int64_t LimbCount(const BigInt *x) { return x->top + 1; }
inline bool IsSpecial(const BigInt *x) { return x->kind < 0; }
inline bool IsZero(const BigInt *x) { return x->kind == IntZero; }

// Turns x into a one-limb IntInfinite record with the given sign: the
// outcome of a resize past the limb limit or of a failed allocation.
void Overflow(BigInt *x, int64_t sign) {
    if (x->size != LIMB_BYTES) {
        // Shrinking cannot fail in practice; if it does, the larger array
        // is kept, which is still correct to free later.
        void *p = std::realloc(x->limbs, LIMB_BYTES);
        if (p) {
            x->limbs = static_cast<Limb *>(p);
            x->size = LIMB_BYTES;
        }
    }
    if (x->limbs) x->limbs[0] = 0;
    x->top = 0;
    x->sign = sign < 0 ? -1 : 1;
    x->kind = IntInfinite;
}

// Gives x's array exactly n limbs, keeping the low limbs and zero-filling
// new ones, and marks x finite (IntRegular) for the caller to fill and
// normalise; x's sign is left alone. Fails, leaving x IntInfinite with its
// current sign, beyond the limb limit or when the allocation fails.
bool Resize(BigInt *x, int64_t n) {
    if (n > kernel.numbers.limbLimit) {
        Overflow(x, x->sign);
        return false;
    }
    int64_t old = x->size / LIMB_BYTES;
    if (n != old || !x->limbs) {
        void *p = std::realloc(x->limbs, n * LIMB_BYTES);
        if (!p) {
            Overflow(x, x->sign);
            return false;
        }
        x->limbs = static_cast<Limb *>(p);
        if (n > old) std::memset(x->limbs + old, 0, (n - old) * LIMB_BYTES);
        x->size = n * LIMB_BYTES;
    }
    x->top = n - 1;
    x->kind = IntRegular;
    return true;
}

// A special value in one limb.
void SetSpecial(BigInt *x, int64_t kind, int64_t sign) {
    if (Resize(x, 1)) x->limbs[0] = 0;
    x->kind = kind;
    x->sign = sign;
}

// A scratch record of the kernel state with room for at least n limbs. Its
// array only grows, and its value fields are not kept up to date: the
// callers use it as a raw buffer.
Limb *ScratchBuffer(int index, int64_t n) {
    BigInt *s = &kernel.numbers.scratch[index];
    if (s->size < n * LIMB_BYTES) {
        void *p = std::realloc(s->limbs, n * LIMB_BYTES);
        if (!p) return nullptr;
        s->limbs = static_cast<Limb *>(p);
        s->size = n * LIMB_BYTES;
    }
    return s->limbs;
}

// dst = a + sb*|b|, where sb is b's sign for addition and its negation for
// subtraction.
void AddSigned(BigInt *dst, const BigInt *a, const BigInt *b, int64_t sb) {
    if (a->kind == IntIndeterminate || b->kind == IntIndeterminate) {
        BigInt_SetIndeterminate(dst);
        return;
    }
    int64_t sa = a->sign;
    if (a->kind == IntInfinite && b->kind == IntInfinite) {
        if (sa == sb)
            BigInt_SetInfinite(dst, sa);
        else
            BigInt_SetIndeterminate(dst);
        return;
    }
    if (a->kind == IntInfinite) return BigInt_SetInfinite(dst, sa);
    if (b->kind == IntInfinite) return BigInt_SetInfinite(dst, sb);
    if (IsZero(b)) return BigInt_Copy(dst, a);
    if (IsZero(a)) {
        BigInt_Copy(dst, b);
        dst->sign = sb;
        return;
    }

    int64_t an = LimbCount(a), bn = LimbCount(b);
    if (sa == sb) {
        // Longer operand first. The carry limb is added only when there is
        // a carry, so that a sum that fits never trips the limb limit and
        // the common case reallocates at most once.
        const BigInt *x = a, *y = b;
        if (an < bn) {
            std::swap(x, y);
            std::swap(an, bn);
        }
        dst->sign = sa;
        if (!Resize(dst, an)) return;
        // Re-read the arrays only now: dst may be x or y, and the resize
        // may have moved it.
        if (Limbs_Add(dst->limbs, x->limbs, an * LIMB_BYTES, y->limbs, bn * LIMB_BYTES)) {
            if (!Resize(dst, an + 1)) return;
            dst->limbs[an] = 1;
        }
    } else {
        int cmp = Limbs_Compare(a->limbs, a->size, b->limbs, b->size);
        if (cmp == 0) return BigInt_SetZero(dst);
        const BigInt *x = a, *y = b;
        int64_t sign = sa;
        if (cmp < 0) {
            std::swap(x, y);
            std::swap(an, bn);
            sign = sb;
        }
        dst->sign = sign;
        if (!Resize(dst, an)) return;
        Limbs_Sub(dst->limbs, x->limbs, an * LIMB_BYTES, y->limbs, bn * LIMB_BYTES);
    }
    BigInt_Normalize(dst);
}

}  // namespace

// ---- Records -----------------------------------------------------------------

BigInt *BigInt_New() {
    auto *x = static_cast<BigInt *>(Pool_Alloc(&kernel.numbers.bigInts));
    BigInt_SetZero(x);
    return x;
}

void BigInt_Free(BigInt *x) {
    std::free(x->limbs);
    Pool_Free(&kernel.numbers.bigInts, x);
}

void BigInt_DropOwned(void *record) {
    auto *x = static_cast<BigInt *>(record);
    std::free(x->limbs);
    x->limbs = nullptr;
}

void BigInt_Release(BigInt *x) {
    std::free(x->limbs);
    *x = {};
}

// ---- Setting values ------------------------------------------------------------

void BigInt_SetSmall(BigInt *dst, int64_t v) {
    if (!Resize(dst, 1)) return;
    // The unsigned negation gives 2^63 for -2^63.
    dst->limbs[0] = v < 0 ? 0 - static_cast<Limb>(v) : static_cast<Limb>(v);
    dst->sign = (v > 0) - (v < 0);
    BigInt_Normalize(dst);
}

void BigInt_SetUnit(BigInt *dst, int64_t sign) {
    if (sign != 1 && sign != -1) return BigInt_SetIndeterminate(dst);
    BigInt_SetSmall(dst, sign);
}

void BigInt_SetZero(BigInt *dst) { SetSpecial(dst, IntZero, 0); }

void BigInt_SetInfinite(BigInt *dst, int64_t sign) {
    if (sign == 0) return BigInt_SetIndeterminate(dst);
    SetSpecial(dst, IntInfinite, sign < 0 ? -1 : 1);
}

void BigInt_SetIndeterminate(BigInt *dst) { SetSpecial(dst, IntIndeterminate, 0); }

void BigInt_Copy(BigInt *dst, const BigInt *src) {
    if (dst == src) return;
    if (IsSpecial(src)) return SetSpecial(dst, src->kind, src->sign);
    dst->sign = src->sign;
    if (!Resize(dst, LimbCount(src))) return;
    std::memcpy(dst->limbs, src->limbs, src->size);
    dst->kind = src->kind;
}

void BigInt_Negate(BigInt *dst, const BigInt *src) {
    if (src) BigInt_Copy(dst, src);
    dst->sign = -dst->sign;
}

void BigInt_Abs(BigInt *dst, const BigInt *src) {
    if (src) BigInt_Copy(dst, src);
    if (dst->sign < 0) dst->sign = 1;
}

// ---- Arithmetic ------------------------------------------------------------------

void BigInt_Add(BigInt *dst, const BigInt *a, const BigInt *b) { AddSigned(dst, a, b, b->sign); }

void BigInt_Sub(BigInt *dst, const BigInt *a, const BigInt *b) { AddSigned(dst, a, b, -b->sign); }

void BigInt_Mul(BigInt *dst, const BigInt *a, const BigInt *b) {
    if (a->kind == IntIndeterminate || b->kind == IntIndeterminate) return BigInt_SetIndeterminate(dst);
    int64_t sign = a->sign * b->sign;
    if (a->kind == IntInfinite || b->kind == IntInfinite) {
        if (IsZero(a) || IsZero(b)) return BigInt_SetIndeterminate(dst);
        return BigInt_SetInfinite(dst, sign);
    }
    if (IsZero(a) || IsZero(b)) return BigInt_SetZero(dst);
    if (a->kind == IntUnit || b->kind == IntUnit) {
        BigInt_Copy(dst, a->kind == IntUnit ? b : a);
        dst->sign = sign;
        return;
    }

    // The product is written while the operands are read, so an operand
    // that is the destination is read from a copy.
    if (dst == a || dst == b) {
        BigInt *copy = &kernel.numbers.scratch[0];
        BigInt_Copy(copy, dst);
        if (IsSpecial(copy)) return BigInt_SetInfinite(dst, sign);
        if (dst == a) a = copy;
        if (dst == b) b = copy;
    }
    if (a->top < b->top) std::swap(a, b);
    dst->sign = sign;
    if (!Resize(dst, a->top + b->top + 2)) return;
    if (!Limbs_Mul(dst->limbs, a->limbs, a->size, b->limbs, b->size, nullptr)) return Overflow(dst, sign);
    BigInt_Normalize(dst);
}

void BigInt_DivMod(BigInt *quot, const BigInt *a, const BigInt *b, BigInt *rem) {
    auto bothIndeterminate = [&] {
        BigInt_SetIndeterminate(quot);
        if (rem) BigInt_SetIndeterminate(rem);
    };
    if (quot == rem || a->kind == IntIndeterminate || b->kind == IntIndeterminate || IsZero(b))
        return bothIndeterminate();
    int64_t sa = a->sign, sb = b->sign;
    if (a->kind == IntInfinite && b->kind == IntInfinite) return bothIndeterminate();
    if (b->kind == IntInfinite) {
        // The remainder first: quot may be a.
        if (rem) BigInt_Copy(rem, a);
        return BigInt_SetZero(quot);
    }
    if (a->kind == IntInfinite) {
        if (rem) BigInt_SetIndeterminate(rem);
        return BigInt_SetInfinite(quot, sa * sb);
    }
    if (IsZero(a) || b->kind == IntUnit) {
        BigInt_Copy(quot, a);
        quot->sign = sa * sb;
        if (rem) BigInt_SetZero(rem);
        return;
    }
    if (a == b) {
        BigInt_SetSmall(quot, 1);
        if (rem) BigInt_SetZero(rem);
        return;
    }
    if (a->top < b->top) {
        if (rem) BigInt_Copy(rem, a);
        return BigInt_SetZero(quot);
    }

    // The results are written while the operands are read: operands that
    // are also results are read from copies.
    bool aliasA = a == quot || a == rem, aliasB = b == quot || b == rem;
    if (aliasA) {
        BigInt_Copy(&kernel.numbers.scratch[0], a);
        a = &kernel.numbers.scratch[0];
    }
    if (aliasB) {
        BigInt_Copy(&kernel.numbers.scratch[1], b);
        b = &kernel.numbers.scratch[1];
    }
    if (IsSpecial(a) || IsSpecial(b)) {
        // A copy could not be made.
        if (rem) BigInt_SetInfinite(rem, sa);
        return BigInt_SetInfinite(quot, sa * sb);
    }
    quot->sign = sa * sb;
    if (!Resize(quot, a->top - b->top + 1)) {
        if (rem) BigInt_SetInfinite(rem, sa);
        return;
    }
    if (rem) {
        rem->sign = sa;
        if (!Resize(rem, LimbCount(b))) return BigInt_SetInfinite(quot, sa * sb);
    }
    if (Limbs_DivMod(quot->limbs, a->limbs, a->size, b->limbs, b->size, rem ? rem->limbs : nullptr, 0) < 0) {
        if (rem) Overflow(rem, sa);
        return Overflow(quot, sa * sb);
    }
    BigInt_Normalize(quot);
    if (rem) BigInt_Normalize(rem);
}

void BigInt_Shift(BigInt *dst, const BigInt *a, int64_t s) {
    if (s == 0 || IsSpecial(a) || IsZero(a)) return BigInt_Copy(dst, a);
    int64_t n = LimbCount(a), sign = a->sign;
    if (s > 0) {
        int64_t whole = s / LIMB_BITS;
        int bits = static_cast<int>(s % LIMB_BITS);
        Limb out = bits ? a->limbs[n - 1] >> (LIMB_BITS - bits) : 0;
        // Sized exactly: the bits shifted out of the top limb get a limb of
        // their own only when they are not all zero.
        int64_t total = n + whole + (out != 0);
        dst->sign = sign;
        if (!Resize(dst, total)) return;
        // When dst is a, its limbs stayed at the bottom of the grown array.
        std::memmove(dst->limbs + whole, a->limbs, n * LIMB_BYTES);
        std::memset(dst->limbs, 0, whole * LIMB_BYTES);
        if (bits) Limbs_ShiftLeft(dst->limbs + whole, dst->limbs + whole, n * LIMB_BYTES, bits);
        if (out) dst->limbs[n + whole] = out;
    } else {
        // -s computed unsigned, so that the most negative shift works.
        uint64_t r = 0 - static_cast<uint64_t>(s);
        uint64_t whole = r / LIMB_BITS;
        int bits = static_cast<int>(r % LIMB_BITS);
        if (whole >= static_cast<uint64_t>(n)) return BigInt_SetZero(dst);
        int64_t left = n - static_cast<int64_t>(whole);
        if (dst == a) {
            std::memmove(dst->limbs, dst->limbs + whole, left * LIMB_BYTES);
            if (!Resize(dst, left)) return;
        } else {
            dst->sign = sign;
            if (!Resize(dst, left)) return;
            std::memcpy(dst->limbs, a->limbs + whole, left * LIMB_BYTES);
        }
        if (bits) Limbs_ShiftRight(dst->limbs, dst->limbs, left * LIMB_BYTES, bits);
    }
    dst->sign = sign;
    BigInt_Normalize(dst);
}

namespace {

// Euclid on machine words, both non-zero or the result being the other.
Limb WordGcd(Limb x, Limb y) {
    while (y != 0) {
        Limb r = x % y;
        x = y;
        y = r;
    }
    return x;
}

// The 62 bits of x (n limbs) from bit p up; limbs above n count as zero.
int64_t Bits62(const Limb *x, int64_t n, int64_t p) {
    int64_t i = p / LIMB_BITS;
    int s = static_cast<int>(p % LIMB_BITS);
    Limb w = x[i] >> s;
    if (s != 0 && i + 1 < n) w |= x[i + 1] << (LIMB_BITS - s);
    return static_cast<int64_t>(w & ((Limb(1) << 62) - 1));
}

// The run of Euclid quotients that the leading bits of x and y (both n
// limbs, x >= y) determine, as the cofactors of the combined step
// (x, y) -> (a*x + b*y, c*x + d*y). Each quotient is taken only when the
// two extreme values the lower bits allow give the same quotient, so the
// run is exactly the start of the true remainder sequence. Returns false
// when not even one quotient is certain.
bool LehmerCofactors(const Limb *x, const Limb *y, int64_t n, int64_t m[4]) {
    int64_t p = Limbs_HighestBit(x, n * LIMB_BYTES) - 61;
    int64_t xh = Bits62(x, n, p), yh = Bits62(y, n, p);
    int64_t a = 1, b = 0, c = 0, d = 1;
    // The cofactors never exceed the 62-bit leading value, so no sum or
    // product below overflows.
    while (yh + c > 0 && yh + d > 0) {
        int64_t q = (xh + a) / (yh + c);
        if (q != (xh + b) / (yh + d)) break;
        int64_t t = a - q * c;
        a = c;
        c = t;
        t = b - q * d;
        b = d;
        d = t;
        t = xh - q * yh;
        xh = yh;
        yh = t;
    }
    m[0] = a, m[1] = b, m[2] = c, m[3] = d;
    return b != 0;
}

// dst = u*x + v*y over n limbs, where u and v are not both non-zero with
// the same sign (cofactors alternate in sign) and the result is known to
// lie in [0, x].
void Combine(Limb *dst, const Limb *x, const Limb *y, int64_t n, int64_t u, int64_t v) {
    // The non-negative coefficient goes first.
    if (v > 0) {
        std::swap(x, y);
        std::swap(u, v);
    }
    // The carry of the product and the borrow of the subtraction cancel.
    Limbs_MulLimb(dst, x, n * LIMB_BYTES, static_cast<Limb>(u));
    Limbs_SubMulLimb(dst, y, n * LIMB_BYTES, static_cast<Limb>(-v));
}

inline int64_t Trimmed(const Limb *x, int64_t n) {
    while (n > 0 && x[n - 1] == 0) --n;
    return n;
}

}  // namespace

// Euclid's algorithm on limb buffers. A step that divides replaces x by
// x mod y in place and swaps the buffers' roles. While x and y have the
// same length, Lehmer's method finds a run of the next quotients from the
// leading bits alone and applies them in one combined step, two passes
// over each number instead of one division per quotient; it produces the
// same remainders, skipping only the ones inside the run.
void BigInt_Gcd(BigInt *dst, const BigInt *a, const BigInt *b) {
    if (a->kind == IntIndeterminate || b->kind == IntIndeterminate) return BigInt_SetIndeterminate(dst);
    if (IsZero(a) || a->kind == IntInfinite) return BigInt_Abs(dst, b);
    if (IsZero(b) || b->kind == IntInfinite) return BigInt_Abs(dst, a);

    if (Limbs_Compare(a->limbs, a->size, b->limbs, b->size) < 0) std::swap(a, b);
    int64_t xn = LimbCount(a), yn = LimbCount(b);
    // Four buffers with a limb of headroom, which the in-place division
    // needs; no step copies or allocates.
    Limb *x = ScratchBuffer(2, xn + 1), *y = ScratchBuffer(3, xn + 1);
    Limb *u = ScratchBuffer(4, xn + 1), *v = ScratchBuffer(5, xn + 1);
    if (!x || !y || !u || !v) return Overflow(dst, 1);
    std::memcpy(x, a->limbs, a->size);
    std::memcpy(y, b->limbs, b->size);

    int64_t m[4];
    while (yn > 1) {
        if (xn == yn && LehmerCofactors(x, y, xn, m)) {
            Combine(u, x, y, xn, m[0], m[1]);
            Combine(v, x, y, xn, m[2], m[3]);
            std::swap(x, u);
            std::swap(y, v);
            xn = Trimmed(x, xn);
            yn = Trimmed(y, xn);
        } else {
            x[xn] = 0;
            Limbs_DivModInPlace(nullptr, x, (xn + 1) * LIMB_BYTES, y, yn * LIMB_BYTES);
            int64_t rn = Trimmed(x, yn);
            std::swap(x, y);
            xn = yn;
            yn = rn;
        }
        if (yn == 0) {
            // y divided x: x is the gcd.
            dst->sign = 1;
            if (!Resize(dst, xn)) return;
            std::memcpy(dst->limbs, x, xn * LIMB_BYTES);
            return BigInt_Normalize(dst);
        }
    }
    // Once the smaller number fits a word, one division by it and Euclid on
    // words finish the same sequence of remainders.
    Limb g = WordGcd(y[0], Limbs_DivLimb(x, x, xn * LIMB_BYTES, y[0]));
    dst->sign = 1;
    if (!Resize(dst, 1)) return;
    dst->limbs[0] = g;
    BigInt_Normalize(dst);
}

namespace {

// x is a power of two: one set bit, in the top limb.
bool IsPowerOfTwo(const BigInt *x) {
    for (int64_t i = 0; i < x->top; ++i)
        if (x->limbs[i] != 0) return false;
    Limb t = x->limbs[x->top];
    return (t & (t - 1)) == 0;
}

// dst = dst * m for a word m >= 2, in place; the array grows only when
// the product needs another limb.
void MulWord(BigInt *dst, Limb m) {
    int64_t n = LimbCount(dst);
    Limb carry = Limbs_MulLimb(dst->limbs, dst->limbs, n * LIMB_BYTES, m);
    if (carry == 0) return;
    if (!Resize(dst, n + 1)) return;
    dst->limbs[n] = carry;
}

// One step of Newton's iteration for the k-th root of m from x > 0:
// next = floor(((k - 1) x + floor(m / x^(k-1))) / k). Whatever x is, the
// result is at least the root's integer part, and below x when x is above
// it. t is a work record.
void RootStep(BigInt *next, const BigInt *x, const BigInt *m, uint64_t k, BigInt *t) {
    BigInt_Power(t, x, k - 1);
    BigInt_DivMod(t, m, t, nullptr);
    BigInt_Copy(next, x);
    if (k > 2) MulWord(next, k - 1);
    BigInt_Add(next, next, t);
    WordInt kr(k);
    BigInt_DivMod(next, next, &kr.rec, nullptr);
}

// A starting point for Newton's iteration close to the k-th root of m (m of
// more than one limb, k no larger than its highest bit index): from the
// leading 53 bits, m = f * 2^t, the root is 2^((t + log2 f) / k), split into
// a 53-bit integer and a power of two.
void RootEstimate(BigInt *x, const BigInt *m, uint64_t k) {
    int64_t high = Limbs_HighestBit(m->limbs, m->size);
    int64_t t = high - 52, i = t / LIMB_BITS;
    int bit = static_cast<int>(t % LIMB_BITS);
    Limb f = m->limbs[i] >> bit;
    if (bit != 0 && i < m->top) f |= m->limbs[i + 1] << (LIMB_BITS - bit);
    f &= (Limb(1) << 53) - 1;
    auto kk = static_cast<int64_t>(k);
    double e = (static_cast<double>(t % kk) + std::log2(static_cast<double>(f))) / static_cast<double>(kk);
    double whole = std::floor(e);
    auto w = static_cast<int64_t>(std::exp2(e - whole) * 0x1p52);
    BigInt_SetSmall(x, w);
    BigInt_Shift(x, x, t / kk + static_cast<int64_t>(whole) - 52);
    if (x->kind == IntZero) BigInt_SetSmall(x, 1);
}

// root = floor(sqrt(a)) and, when rem is not null, rem = a - root^2, for
// a positive finite a, by the limb square root. The results are built in
// records of their own and moved into root and rem at the end, so either
// may be a. A failed allocation leaves root infinite and rem indeterminate.
void SquareRoot(BigInt *root, BigInt *rem, const BigInt *a) {
    int64_t n = LimbCount(a);
    BigInt r{}, m{};
    r.sign = m.sign = 1;
    bool ok = Resize(&r, (n + 1) / 2) && (!rem || Resize(&m, n)) &&
              Limbs_SqrtRem(r.limbs, rem ? m.limbs : nullptr, a->limbs, a->size) >= 0;
    if (!ok) {
        BigInt_SetInfinite(root, 1);
        if (rem) BigInt_SetIndeterminate(rem);
    } else {
        BigInt_Normalize(&r);
        std::swap(*root, r);
        if (rem) {
            BigInt_Normalize(&m);
            std::swap(*rem, m);
        }
    }
    BigInt_Release(&r);
    BigInt_Release(&m);
}

}  // namespace

void BigInt_Power(BigInt *dst, const BigInt *a, uint64_t n) {
    if (a->kind == IntIndeterminate) return BigInt_SetIndeterminate(dst);
    int64_t sign = a->sign < 0 && (n & 1) ? -1 : 1;
    if (a->kind == IntInfinite) return n == 0 ? BigInt_SetIndeterminate(dst) : BigInt_SetInfinite(dst, sign);
    if (n == 0) return BigInt_SetSmall(dst, 1);
    if (IsZero(a)) return BigInt_SetZero(dst);
    if (a->kind == IntUnit) return BigInt_SetSmall(dst, sign);

    // |a| >= 2^high, so the power has more than n * high bits: past the
    // limit that settles the overflow before any work is done.
    auto high = static_cast<uint64_t>(Limbs_HighestBit(a->limbs, a->size));
    uint64_t limitBits = static_cast<uint64_t>(kernel.numbers.limbLimit) * LIMB_BITS;
    if (n > limitBits / high) return BigInt_SetInfinite(dst, sign);

    // The last squaring needs the result and a work record of up to
    // n * (high + 1) bits each. When memory cannot hold them, the power
    // overflows now instead of after the long squarings that lead there.
    uint64_t finalLimbs = n * (high + 1) / LIMB_BITS + 2;
    if (void *probe = std::malloc(2 * finalLimbs * LIMB_BYTES)) std::free(probe);
    else return BigInt_SetInfinite(dst, sign);

    if (IsPowerOfTwo(a)) {
        WordInt one(1);
        BigInt_Shift(dst, &one.rec, static_cast<int64_t>(n * high));
        dst->sign = sign;
        return;
    }

    // The powering runs in dst with a work record, swapping the two after
    // each product so that no product has an aliased operand. The locals
    // free their limbs also when the host aborts between two squarings;
    // squarings from kAbortLimbs limbs on are long enough to poll before.
    constexpr int64_t kAbortLimbs = 1024;
    LocalInt baseLocal, workLocal;
    BigInt &base = baseLocal.value, &work = workLocal.value;
    BigInt_Abs(&base, a);
    BigInt_Copy(dst, &base);
    bool word = base.top == 0;
    for (int bit = 62 - __builtin_clzll(n); bit >= 0 && dst->kind != IntInfinite; --bit) {
        if (dst->top >= kAbortLimbs) Abort_Check();
        BigInt_Mul(&work, dst, dst);
        std::swap(*dst, work);
        if (!((n >> bit) & 1) || dst->kind == IntInfinite) continue;
        if (word) {
            MulWord(dst, base.limbs[0]);
        } else {
            BigInt_Mul(&work, dst, &base);
            std::swap(*dst, work);
        }
    }
    if (base.kind == IntInfinite) BigInt_SetInfinite(dst, sign);
    dst->sign = sign;
}

Limb BigInt_RootWord(Limb a, uint64_t k) {
    if (k == 1 || a < 2) return a;
    if (k >= LIMB_BITS) return 1;
    // x^k > a, without overflowing.
    auto exceeds = [a, k](Limb x) {
        Limb p = 1;
        for (uint64_t i = 0; i < k; ++i)
            if (__builtin_mul_overflow(p, x, &p) || p > a) return true;
        return false;
    };
    // The machine root is within a step or two of the true one.
    auto r = static_cast<Limb>(std::pow(static_cast<double>(a), 1.0 / static_cast<double>(k)));
    if (r == 0) r = 1;
    while (r > 1 && exceeds(r)) --r;
    while (!exceeds(r + 1)) ++r;
    return r;
}

void BigInt_Root(BigInt *root, BigInt *rem, const BigInt *a, uint64_t k) {
    if (root == rem || k == 0 || a->kind == IntIndeterminate || (a->sign < 0 && k % 2 == 0)) {
        BigInt_SetIndeterminate(root);
        if (rem) BigInt_SetIndeterminate(rem);
        return;
    }
    int64_t sign = a->sign;
    if (a->kind == IntInfinite) {
        if (rem) BigInt_SetIndeterminate(rem);
        return BigInt_SetInfinite(root, sign);
    }
    if (IsZero(a) || k == 1) {
        BigInt_Copy(root, a);
        if (rem) BigInt_SetZero(rem);
        return;
    }
    if (k == 2) return SquareRoot(root, rem, a);

    BigInt m{}, x{}, y{}, t{};
    BigInt_Abs(&m, a);
    if (m.kind == IntInfinite) {
        // The copy could not be made.
        BigInt_SetInfinite(root, sign);
        if (rem) BigInt_SetIndeterminate(rem);
        BigInt_Release(&m);
        return;
    }
    auto high = static_cast<uint64_t>(Limbs_HighestBit(m.limbs, m.size));
    if (m.top == 0) {
        BigInt_SetSmall(&x, static_cast<int64_t>(BigInt_RootWord(m.limbs[0], k)));
    } else if (k > high) {
        // 1 <= |a| < 2^(high + 1) <= 2^k.
        BigInt_SetSmall(&x, 1);
    } else {
        // From any start the first step lands at or above the root; from
        // there every step descends until the root repeats itself.
        RootEstimate(&y, &m, k);
        RootStep(&x, &y, &m, k, &t);
        for (;;) {
            RootStep(&y, &x, &m, k, &t);
            if (y.kind < 0 || BigInt_Compare(&y, &x, false) >= 0) break;
            std::swap(x, y);
        }
    }
    if (rem) {
        BigInt_Power(&y, &x, k);
        BigInt_Sub(rem, &m, &y);
        if (sign < 0) BigInt_Negate(rem);
    }
    BigInt_Copy(root, &x);
    if (sign < 0) BigInt_Negate(root);
    BigInt_Release(&m);
    BigInt_Release(&x);
    BigInt_Release(&y);
    BigInt_Release(&t);
}

int64_t BigInt_BitLength(const BigInt *x) {
    return x->kind == IntZero ? 0 : Limbs_HighestBit(x->limbs, x->size) + 1;
}

int BigInt_Compare(const BigInt *a, const BigInt *b, bool isSigned) {
    if (a->kind == IntIndeterminate || b->kind == IntIndeterminate) return -2;
    bool ia = a->kind == IntInfinite, ib = b->kind == IntInfinite;
    if (!isSigned) {
        if (ia || ib) return ia - ib;
        return Limbs_Compare(a->limbs, a->size, b->limbs, b->size);
    }
    if (a->sign != b->sign) return a->sign < b->sign ? -1 : 1;
    // Same sign from here on; the magnitude order is flipped for negatives.
    int mag = (ia || ib) ? ia - ib : Limbs_Compare(a->limbs, a->size, b->limbs, b->size);
    return a->sign < 0 ? -mag : mag;
}

// ---- Bitwise logic ---------------------------------------------------------------

namespace {

// The low n limbs of x's two's complement form (n is above x's limb count,
// so the top limb carries the sign).
void TwosComplement(Limb *dst, const BigInt *x, int64_t n) {
    std::memset(dst, 0, size_t(n) * LIMB_BYTES);
    if (IsZero(x)) return;
    std::memcpy(dst, x->limbs, size_t(LimbCount(x)) * LIMB_BYTES);
    if (x->sign < 0) Limbs_Negate(dst, dst, n * LIMB_BYTES);
}

}  // namespace

void BigInt_Logic(BigInt *dst, const BigInt *a, const BigInt *b, BigIntLogic op) {
    if (IsSpecial(a) || IsSpecial(b)) return BigInt_SetIndeterminate(dst);
    // One limb above the longer operand holds the sign of every operand and
    // of the result, so n limbs represent all three exactly.
    int64_t n = std::max(LimbCount(a), LimbCount(b)) + 1;
    int64_t bytes = n * LIMB_BYTES;
    auto *x = static_cast<Limb *>(std::malloc(size_t(2 * bytes)));
    if (!x) return Overflow(dst, 1);
    Limb *y = x + n;
    TwosComplement(x, a, n);
    TwosComplement(y, b, n);
    if (op == BIGINT_AND) Bytes_And(x, x, y, bytes);
    else if (op == BIGINT_OR) Bytes_Or(x, x, y, bytes);
    else Bytes_Xor(x, x, y, bytes);
    int64_t sign = (x[n - 1] >> (LIMB_BITS - 1)) ? -1 : 1;
    if (sign < 0) Limbs_Negate(x, x, bytes);
    dst->sign = sign;
    if (Resize(dst, n)) {
        std::memcpy(dst->limbs, x, size_t(bytes));
        BigInt_Normalize(dst);
    }
    std::free(x);
}

// ---- Conversions -----------------------------------------------------------------

bool BigInt_FitsSmall(const BigInt *x) {
    if (IsSpecial(x) || x->top != 0) return false;
    Limb v = x->limbs[0];
    return v < (Limb(1) << 63) || (x->sign < 0 && v == Limb(1) << 63);
}

int64_t BigInt_ToSmall(const BigInt *x) {
    if (x->kind == IntIndeterminate) return std::numeric_limits<int64_t>::min();
    if (!BigInt_FitsSmall(x)) return x->sign < 0 ? -std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::max();
    Limb v = x->limbs[0];
    return static_cast<int64_t>(x->sign < 0 ? 0 - v : v);
}

double BigInt_ToDouble(const BigInt *x) {
    if (x->kind == IntIndeterminate) return std::numeric_limits<double>::quiet_NaN();
    double sign = x->sign < 0 ? -1.0 : 1.0;
    if (x->kind == IntInfinite) return sign * std::numeric_limits<double>::infinity();
    if (IsZero(x)) return 0.0;
    int64_t h = Limbs_HighestBit(x->limbs, x->size);
    if (h >= 1024) return sign * std::numeric_limits<double>::infinity();
    if (h < 53) return sign * static_cast<double>(x->limbs[0]);
    // The 53 bits from h down to p = h - 52, which may straddle two limbs;
    // the bits below p are dropped (truncation).
    int64_t p = h - 52, i = p / LIMB_BITS;
    int bit = static_cast<int>(p % LIMB_BITS);
    Limb m = x->limbs[i] >> bit;
    if (bit != 0 && i < x->top) m |= x->limbs[i + 1] << (LIMB_BITS - bit);
    m &= (Limb(1) << 53) - 1;
    return sign * std::ldexp(static_cast<double>(m), static_cast<int>(p));
}

void BigInt_Normalize(BigInt *x) {
    if (IsSpecial(x)) {
        if (x->top != 0) SetSpecial(x, x->kind, x->sign);
        return;
    }
    int64_t n = LimbCount(x);
    while (n > 1 && x->limbs[n - 1] == 0) --n;
    // Shrinking never exceeds the limit and does not fail in practice.
    if (n != LimbCount(x)) Resize(x, n);
    if (n == 1 && x->limbs[0] == 0) {
        x->kind = IntZero;
        x->sign = 0;
    } else {
        x->kind = n == 1 && x->limbs[0] == 1 ? IntUnit : IntRegular;
    }
}

// ---- Modular powers ----------------------------------------------------------------

namespace {

// dst += src * v over n limbs; returns the carry limb.
Limb AddMulLimb(Limb *dst, const Limb *src, int64_t n, Limb v) {
    Limb carry = 0;
    for (int64_t i = 0; i < n; ++i) {
        unsigned __int128 t = static_cast<unsigned __int128>(src[i]) * v + dst[i] + carry;
        dst[i] = static_cast<Limb>(t);
        carry = static_cast<Limb>(t >> 64);
    }
    return carry;
}

// Montgomery arithmetic modulo an odd m of n limbs, with R = 2^(64n):
// residues are kept as x*R mod m, and a product of two of them is reduced
// by adding multiples of m that clear its low limbs, with no division.
struct Montgomery {
    const Limb *m;
    int64_t n;
    Limb inverse;     // -m^-1 mod 2^64
    Limb *product;    // 2n + 1 limbs
    Limb *scratch;    // for Limbs_Mul, or null when it needs none

    // r = a*b/R mod m for a, b < m; r may be a or b.
    void Multiply(Limb *r, const Limb *a, const Limb *b) {
        Limbs_Mul(product, a, n * LIMB_BYTES, b, n * LIMB_BYTES, scratch);
        Reduce(r);
    }

    // r = product/R mod m, for a product below m*R.
    void Reduce(Limb *r) {
        product[2 * n] = 0;
        for (int64_t i = 0; i < n; ++i) {
            Limb c = AddMulLimb(product + i, m, n, product[i] * inverse);
            Limbs_AddLimb(product + i + n, product + i + n, (n + 1 - i) * LIMB_BYTES, c);
        }
        // The sum is below 2m: one subtraction at most.
        Limb *high = product + n;
        if (high[n] || Limbs_Compare(high, n * LIMB_BYTES, m, n * LIMB_BYTES) >= 0)
            Limbs_Sub(r, high, n * LIMB_BYTES, m, n * LIMB_BYTES);
        else
            std::memcpy(r, high, n * LIMB_BYTES);
    }
};

// The window width of the sliding-window powering for an exponent of the
// given bit count: wider windows need more precomputed powers and save
// more products.
int WindowBits(int64_t bits) {
    if (bits <= 24) return 1;
    if (bits <= 96) return 3;
    if (bits <= 384) return 4;
    if (bits <= 1536) return 5;
    return 6;
}

// |base|^e mod m into out (n limbs) for an odd m of n limbs (top limb
// non-zero) and e > 0; negate asks for the residue of the negative base.
// False when the work space could not be allocated.
bool MontgomeryPower(Limb *out, const BigInt *base, bool negate, const BigInt *e, const Limb *m, int64_t n) {
    int64_t ebits = Limbs_HighestBit(e->limbs, e->size) + 1;
    int k = WindowBits(ebits);
    int64_t powers = int64_t(1) << (k - 1);
    int64_t scratchLimbs = (Limbs_MulScratchBytes(n * LIMB_BYTES, n * LIMB_BYTES) + LIMB_BYTES - 1) / LIMB_BYTES;
    int64_t total = (powers + 2) * n + (2 * n + 1) + scratchLimbs;
    auto *work = static_cast<Limb *>(std::malloc(total * LIMB_BYTES));
    if (!work) return false;
    Limb *table = work, *x = table + powers * n, *square = x + n;
    Montgomery mont{m, n, 0, square + n, scratchLimbs ? square + n + 2 * n + 1 : nullptr};
    // Newton's iteration for the inverse of m mod 2^64 doubles the correct
    // low bits each step; m itself is right to 3 bits.
    Limb inv = m[0];
    for (int i = 0; i < 5; ++i) inv *= 2 - m[0] * inv;
    mont.inverse = 0 - inv;

    // table[0] = base*R mod m, by one long division of base shifted by R.
    if (Limbs_DivMod(nullptr, base->limbs, base->size, m, n * LIMB_BYTES, table, n * LIMB_BYTES) < 0) {
        std::free(work);
        return false;
    }
    if (negate && Limbs_HighestBit(table, n * LIMB_BYTES) >= 0) Limbs_Sub(table, m, n * LIMB_BYTES, table, n * LIMB_BYTES);
    // table[i] = base^(2i + 1), in Montgomery form.
    mont.Multiply(square, table, table);
    for (int64_t i = 1; i < powers; ++i) mont.Multiply(table + i * n, table + (i - 1) * n, square);

    // Left to right: runs of zero bits are squarings; a window of up to k
    // bits that starts and ends with a one is one product by a table entry.
    bool started = false;
    int64_t bit = ebits - 1;
    while (bit >= 0) {
        if (!Limbs_TestBit(e->limbs, bit)) {
            mont.Multiply(x, x, x);
            --bit;
            continue;
        }
        int64_t low = std::max<int64_t>(bit - k + 1, 0);
        while (!Limbs_TestBit(e->limbs, low)) ++low;
        Limb window = 0;
        for (int64_t b = bit; b >= low; --b) window = (window << 1) | Limb(Limbs_TestBit(e->limbs, b));
        const Limb *entry = table + static_cast<int64_t>(window >> 1) * n;
        if (started) {
            for (int64_t b = bit; b >= low; --b) mont.Multiply(x, x, x);
            mont.Multiply(x, x, entry);
        } else {
            std::memcpy(x, entry, n * LIMB_BYTES);
            started = true;
        }
        bit = low - 1;
    }
    // Out of Montgomery form: x/R mod m.
    std::memcpy(mont.product, x, n * LIMB_BYTES);
    std::memset(mont.product + n, 0, (n + 1) * LIMB_BYTES);
    mont.Reduce(out);
    std::free(work);
    return true;
}

// dst = |base|^e mod |m| (with the residue of -|base| when negate) for an
// even m >= 2 and e > 0: binary powering with division after each product.
// dst is not an operand.
void PlainPowerMod(BigInt *dst, const BigInt *base, bool negate, const BigInt *e, const BigInt *m) {
    BigInt b{}, t{}, q{};
    BigInt_Abs(&b, base);
    BigInt_DivMod(&q, &b, m, &b);
    if (negate && b.kind > IntZero) BigInt_Sub(&b, m, &b);
    BigInt_Copy(dst, &b);
    for (int64_t bit = Limbs_HighestBit(e->limbs, e->size) - 1; bit >= 0 && dst->kind >= IntZero; --bit) {
        BigInt_Mul(&t, dst, dst);
        BigInt_DivMod(&q, &t, m, dst);
        if (Limbs_TestBit(e->limbs, bit)) {
            BigInt_Mul(&t, dst, &b);
            BigInt_DivMod(&q, &t, m, dst);
        }
    }
    BigInt_Release(&b);
    BigInt_Release(&t);
    BigInt_Release(&q);
}

}  // namespace

void BigInt_PowerMod(BigInt *dst, const BigInt *base, const BigInt *e, const BigInt *m) {
    if (IsSpecial(base) || IsSpecial(e) || IsSpecial(m) || IsZero(m) || e->sign < 0)
        return BigInt_SetIndeterminate(dst);
    if (m->kind == IntUnit) return BigInt_SetZero(dst);
    if (IsZero(e)) return BigInt_SetSmall(dst, 1);
    if (IsZero(base)) return BigInt_SetZero(dst);
    bool negate = base->sign < 0;
    // The operands are read from copies when one of them is dst.
    BigInt copies[3] = {};
    const BigInt *ops[3] = {base, e, m};
    for (int i = 0; i < 3; ++i) {
        if (ops[i] != dst) continue;
        BigInt_Copy(&copies[i], ops[i]);
        ops[i] = &copies[i];
    }
    base = ops[0], e = ops[1], m = ops[2];
    if (IsSpecial(base) || IsSpecial(e) || IsSpecial(m)) {
        BigInt_SetInfinite(dst, 1);
    } else if (m->limbs[0] & 1) {
        int64_t n = LimbCount(m);
        dst->sign = 1;
        if (Resize(dst, n)) {
            if (MontgomeryPower(dst->limbs, base, negate, e, m->limbs, n)) BigInt_Normalize(dst);
            else Overflow(dst, 1);
        }
    } else {
        BigInt mag{};
        BigInt_Abs(&mag, m);
        PlainPowerMod(dst, base, negate, e, &mag);
        BigInt_Release(&mag);
    }
    for (BigInt &c : copies) BigInt_Release(&c);
}
