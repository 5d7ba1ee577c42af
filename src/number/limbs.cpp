// Limb primitives. The carry chains are written with the add-with-carry
// intrinsics and 128-bit products so that the compiler emits plain
// mul/add/adc sequences; the hot loops (add, subtract, the product kernels,
// the multiply-subtract of long division) are unrolled by hand or by
// template expansion.
#include "number/limbs.h"

#include "number/newton_division.h"
#include "number/ntt.h"
#include "number/toom.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

using u128 = unsigned __int128;

inline int64_t Count(int64_t bytes) { return bytes / LIMB_BYTES; }

// ---- Add and subtract -----------------------------------------------------

// d = x + y + c over n limbs: the n mod 8 odd limbs first, then eight
// limbs per round with the carry going from round to round in c. The
// rounds have no jump targets inside, so the compiler keeps the carry in
// the flags through each one instead of saving and restoring it per limb.
inline unsigned char AddN(Limb *d, const Limb *x, const Limb *y, int64_t n, unsigned char c) {
    int64_t i = 0;
    for (int64_t odd = n & 7; i < odd; ++i) c = _addcarry_u64(c, x[i], y[i], &d[i]);
    for (; i < n; i += 8) {
        c = _addcarry_u64(c, x[i + 0], y[i + 0], &d[i + 0]);
        c = _addcarry_u64(c, x[i + 1], y[i + 1], &d[i + 1]);
        c = _addcarry_u64(c, x[i + 2], y[i + 2], &d[i + 2]);
        c = _addcarry_u64(c, x[i + 3], y[i + 3], &d[i + 3]);
        c = _addcarry_u64(c, x[i + 4], y[i + 4], &d[i + 4]);
        c = _addcarry_u64(c, x[i + 5], y[i + 5], &d[i + 5]);
        c = _addcarry_u64(c, x[i + 6], y[i + 6], &d[i + 6]);
        c = _addcarry_u64(c, x[i + 7], y[i + 7], &d[i + 7]);
    }
    return c;
}

// d = x - y - c over n limbs, structured as AddN.
inline unsigned char SubN(Limb *d, const Limb *x, const Limb *y, int64_t n, unsigned char c) {
    int64_t i = 0;
    for (int64_t odd = n & 7; i < odd; ++i) c = _subborrow_u64(c, x[i], y[i], &d[i]);
    for (; i < n; i += 8) {
        c = _subborrow_u64(c, x[i + 0], y[i + 0], &d[i + 0]);
        c = _subborrow_u64(c, x[i + 1], y[i + 1], &d[i + 1]);
        c = _subborrow_u64(c, x[i + 2], y[i + 2], &d[i + 2]);
        c = _subborrow_u64(c, x[i + 3], y[i + 3], &d[i + 3]);
        c = _subborrow_u64(c, x[i + 4], y[i + 4], &d[i + 4]);
        c = _subborrow_u64(c, x[i + 5], y[i + 5], &d[i + 5]);
        c = _subborrow_u64(c, x[i + 6], y[i + 6], &d[i + 6]);
        c = _subborrow_u64(c, x[i + 7], y[i + 7], &d[i + 7]);
    }
    return c;
}

// d[i..n) = x[i..n) + c, copying once the carry dies out; returns the carry.
inline Limb CarryThrough(Limb *d, const Limb *x, int64_t i, int64_t n, Limb c) {
    for (; c && i < n; ++i) {
        d[i] = x[i] + 1;
        c = d[i] == 0;
    }
    if (d != x && i < n) std::memcpy(d + i, x + i, (n - i) * LIMB_BYTES);
    return c;
}

// d[i..n) = x[i..n) - c, as CarryThrough; returns the borrow.
inline Limb BorrowThrough(Limb *d, const Limb *x, int64_t i, int64_t n, Limb c) {
    for (; c && i < n; ++i) {
        c = x[i] == 0;
        d[i] = x[i] - 1;
    }
    if (d != x && i < n) std::memcpy(d + i, x + i, (n - i) * LIMB_BYTES);
    return c;
}

// ---- Division by one limb --------------------------------------------------

// The reciprocal of a normalised divisor d (top bit set):
// floor((2^128 - 1) / d) - 2^64. With it a two-limb by one-limb division
// costs two multiplications instead of a hardware divide.
inline Limb Reciprocal(Limb d) {
    return static_cast<Limb>((static_cast<u128>(~d) << 64 | ~Limb(0)) / d);
}

// Divides (u1, u0) by the normalised d with reciprocal v; requires u1 < d.
// Returns the quotient and stores the remainder.
inline Limb DivPreinv(Limb u1, Limb u0, Limb d, Limb v, Limb *rem) {
    u128 q = static_cast<u128>(v) * u1 + (static_cast<u128>(u1) << 64 | u0);
    Limb q1 = static_cast<Limb>(q >> 64) + 1;
    Limb q0 = static_cast<Limb>(q);
    Limb r = u0 - q1 * d;
    // The first correction is taken about half the time, the second one
    // almost never; both keep q1 exact.
    if (r > q0) {
        --q1;
        r += d;
    }
    if (r >= d) {
        ++q1;
        r -= d;
    }
    *rem = r;
    return q1;
}

// ---- Multiplication kernels -------------------------------------------------

// Adds the product x*y into the column accumulator (acc, r2): acc holds the
// low 128 bits and r2 counts the carries out of it.
[[gnu::always_inline]] inline void Mac(Limb x, Limb y, u128 &acc, Limb &r2) {
    u128 p = static_cast<u128>(x) * y;
    acc += p;
    r2 += acc < p;
}

// Stores the finished column's low limb and moves the accumulator down one
// limb for the next column.
[[gnu::always_inline]] inline void EndColumn(Limb *out, u128 &acc, Limb &r2) {
    *out = static_cast<Limb>(acc);
    acc = (acc >> 64) | (static_cast<u128>(r2) << 64);
    r2 = 0;
}

// Sums ap[-J] * bb[J] for the listed J: one column of the product, where ap
// points at the limb of a that pairs with b[0].
template <size_t... J>
[[gnu::always_inline]] inline void Column(const Limb *ap, const Limb *bb, u128 &acc, Limb &r2,
                                          std::index_sequence<J...>) {
    (Mac(ap[-static_cast<ptrdiff_t>(J)], bb[J], acc, r2), ...);
}

// Sums ae[-I] * bb[T + I]: a column of the tail, where ae points at the top
// limb of a and the low T limbs of b no longer reach a.
template <size_t T, size_t... I>
[[gnu::always_inline]] inline void TailColumn(const Limb *ae, const Limb *bb, u128 &acc, Limb &r2,
                                              std::index_sequence<I...>) {
    (Mac(ae[-static_cast<ptrdiff_t>(I)], bb[T + I], acc, r2), ...);
}

template <size_t K, size_t... C>
[[gnu::always_inline]] inline void Head(Limb *dst, const Limb *a, const Limb *bb, u128 &acc, Limb &r2,
                                        std::index_sequence<C...>) {
    ((Column(a + C, bb, acc, r2, std::make_index_sequence<C + 1>{}), EndColumn(dst + C, acc, r2)), ...);
}

template <size_t K, size_t... T>
[[gnu::always_inline]] inline void Tail(Limb *dst, const Limb *ae, const Limb *bb, u128 &acc, Limb &r2,
                                        std::index_sequence<T...>) {
    ((TailColumn<T + 1>(ae, bb, acc, r2, std::make_index_sequence<K - 1 - T>{}),
      EndColumn(dst + T, acc, r2)),
     ...);
}

// dst (n + K limbs) = a (n limbs, n >= K) * b (K limbs) by product
// scanning: each column of the result is summed in a three-limb accumulator
// and stored once, with the K limbs of b held fixed for the whole pass. The
// head and tail triangles are expanded at compile time, so a K by K product
// runs without a loop.
template <size_t K>
void MulKernel(Limb *dst, const Limb *a, int64_t n, const Limb *b) {
    if constexpr (K == 1) {
        dst[n] = Limbs_MulLimb(dst, a, n * LIMB_BYTES, b[0]);
    } else {
        Limb bb[K];
        for (size_t j = 0; j < K; ++j) bb[j] = b[j];
        u128 acc = 0;
        Limb r2 = 0;
        Head<K>(dst, a, bb, acc, r2, std::make_index_sequence<K - 1>{});
        for (int64_t c = K - 1; c < n; ++c) {
            Column(a + c, bb, acc, r2, std::make_index_sequence<K>{});
            EndColumn(dst + c, acc, r2);
        }
        Tail<K>(dst + n, a + n - 1, bb, acc, r2, std::make_index_sequence<K - 1>{});
        dst[n + K - 1] = static_cast<Limb>(acc);
    }
}

using Kernel = void (*)(Limb *dst, const Limb *a, int64_t n, const Limb *b);

template <size_t... K>
constexpr auto MakeKernels(std::index_sequence<K...>) {
    return std::array<Kernel, sizeof...(K) + 1>{nullptr, MulKernel<K + 1>...};
}

// The kernels for b of 1 to 19 limbs, indexed by the limb count k; entry 0
// is never used.
constexpr std::array<Kernel, KARATSUBA_THRESHOLD> kKernels =
    MakeKernels(std::make_index_sequence<KARATSUBA_THRESHOLD - 1>{});

// Karatsuba scratch for a longer operand of n limbs: 6*ceil(n/2) limbs. The
// recursion uses at most 2m limbs per level with m halving, which stays
// within 4m plus a few limbs; the rest is headroom.
inline int64_t ScratchLimbs(int64_t n) { return 6 * ((n + 1) / 2); }

// dst = |lo - hi| for the halves of a Karatsuba split, lo of m limbs and hi
// of nh <= m. Returns the difference's length (m, or nh when hi is the
// larger: lo's limbs above nh are then zero) and sets *negative when hi
// was the larger.
int64_t HalfDifference(Limb *dst, const Limb *lo, int64_t m, const Limb *hi, int64_t nh, bool *negative) {
    *negative = Limbs_Compare(lo, m * LIMB_BYTES, hi, nh * LIMB_BYTES) < 0;
    if (*negative) {
        SubN(dst, hi, lo, nh, 0);
        return nh;
    }
    Limbs_Sub(dst, lo, m * LIMB_BYTES, hi, nh * LIMB_BYTES);
    return m;
}

// dst (n + k limbs) = a (n limbs) * b (k limbs), any order of sizes;
// scratch holds ScratchLimbs(max(n, k)) limbs when the product recurses.
void MulRec(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch) {
    if (n < k) {
        std::swap(a, b);
        std::swap(n, k);
    }
    if (k < KARATSUBA_THRESHOLD) {
        kKernels[k](dst, a, n, b);
        return;
    }
    // The split point comes from the longer operand.
    int64_t m = (n + 1) / 2;
    const Limb *a0 = a, *a1 = a + m;
    int64_t na1 = n - m;
    Limb *deeper = scratch + 2 * m;

    if (k <= m) {
        // b is short enough to stay whole: a*b = a1*b*B^m + a0*b.
        MulRec(dst + m, a1, na1, b, k, deeper);
        MulRec(scratch, a0, m, b, k, deeper);
        std::memcpy(dst, scratch, m * LIMB_BYTES);
        Limb c = AddN(dst + m, dst + m, scratch + m, k, 0);
        CarryThrough(dst + m, dst + m, k, n + k - m, c);
        return;
    }

    const Limb *b0 = b, *b1 = b + m;
    int64_t nb1 = k - m;

    // da = |a0 - a1| into dst[0..), db = |b0 - b1| into dst[m..).
    bool aNegative, bNegative;
    int64_t la = HalfDifference(dst, a0, m, a1, na1, &aNegative);
    int64_t lb = HalfDifference(dst + m, b0, m, b1, nb1, &bNegative);
    int sign = aNegative == bNegative ? 1 : -1;

    // scratch[0..2m) = da * db, zero-extended to 2m limbs.
    MulRec(scratch, dst, la, dst + m, lb, deeper);
    if (la + lb < 2 * m) std::memset(scratch + la + lb, 0, (2 * m - la - lb) * LIMB_BYTES);

    // Overwrites da and db, which are no longer needed.
    MulRec(dst, a0, m, b0, m, deeper);
    MulRec(dst + 2 * m, a1, na1, b1, nb1, deeper);

    // Middle term a0*b1 + a1*b0 = a0b0 + a1b1 - (a0 - a1)(b0 - b1), which
    // is never negative; c collects the signed carries above 2m limbs.
    int64_t c;
    if (sign > 0)
        c = -static_cast<int64_t>(SubN(scratch, dst, scratch, 2 * m, 0));
    else
        c = AddN(scratch, dst, scratch, 2 * m, 0);
    c += Limbs_Add(scratch, scratch, 2 * m * LIMB_BYTES, dst + 2 * m, (n + k - 2 * m) * LIMB_BYTES);
    c += AddN(dst + m, dst + m, scratch, 2 * m, 0);
    if (c != 0) Limbs_AddLimb(dst + 3 * m, dst + 3 * m, (n + k - 3 * m) * LIMB_BYTES, static_cast<Limb>(c));
}

}  // namespace

// ---- Add, subtract, compare ---------------------------------------------------

Limb Limbs_Add(Limb *dst, const Limb *x, int64_t xlen, const Limb *y, int64_t ylen) {
    int64_t xn = Count(xlen), yn = Count(ylen);
    Limb c = AddN(dst, x, y, yn, 0);
    return CarryThrough(dst, x, yn, xn, c);
}

Limb Limbs_Sub(Limb *dst, const Limb *x, int64_t xlen, const Limb *y, int64_t ylen) {
    int64_t xn = Count(xlen), yn = Count(ylen);
    Limb c = SubN(dst, x, y, yn, 0);
    return BorrowThrough(dst, x, yn, xn, c);
}

int Limbs_Compare(const Limb *x, int64_t xlen, const Limb *y, int64_t ylen) {
    int64_t xn = Count(xlen), yn = Count(ylen);
    for (; xn > yn; --xn)
        if (x[xn - 1] != 0) return 1;
    for (; yn > xn; --yn)
        if (y[yn - 1] != 0) return -1;
    for (int64_t i = xn - 1; i >= 0; --i)
        if (x[i] != y[i]) return x[i] > y[i] ? 1 : -1;
    return 0;
}

Limb Limbs_AddLimb(Limb *dst, const Limb *src, int64_t len, Limb v) {
    int64_t n = Count(len);
    if (n == 0) return v != 0;
    Limb s = src[0] + v;
    Limb c = s < v;
    dst[0] = s;
    return CarryThrough(dst, src, 1, n, c);
}

Limb Limbs_SubLimb(Limb *dst, const Limb *src, int64_t len, Limb v) {
    int64_t n = Count(len);
    if (n == 0) return v != 0;
    Limb c = src[0] < v;
    dst[0] = src[0] - v;
    return BorrowThrough(dst, src, 1, n, c);
}

Limb Limbs_Negate(Limb *dst, const Limb *src, int64_t len) {
    int64_t n = Count(len), i = 0;
    // Below the lowest non-zero limb the negation is zero; that limb is
    // negated and every limb above it complemented.
    for (; i < n && src[i] == 0; ++i) dst[i] = 0;
    if (i == n) return 0;
    dst[i] = -src[i];
    for (++i; i < n; ++i) dst[i] = ~src[i];
    return 1;
}

// ---- Single-limb multiply and divide -------------------------------------------

namespace {

// The products src[i..i+4) * m, split into low and high limbs. The four
// multiplications are independent of each other and of any carry.
struct Products4 {
    Limb lo[4], hi[4];
    Products4(const Limb *src, Limb m) {
        for (int j = 0; j < 4; ++j) {
            u128 p = static_cast<u128>(src[j]) * m;
            lo[j] = static_cast<Limb>(p);
            hi[j] = static_cast<Limb>(p >> 64);
        }
    }
};

}  // namespace

// Four limbs per round: the row of products is summed with one carry chain
// (low limb j plus high limb j - 1), so that no multiplication waits for a
// carry. A high limb is at most 2^64 - 2, so adding the last carry to it
// cannot overflow.
Limb Limbs_MulLimb(Limb *dst, const Limb *src, int64_t len, Limb m) {
    int64_t n = Count(len), i = 0;
    Limb carry = 0;
    for (; i + 4 <= n; i += 4) {
        Products4 p(src + i, m);
        unsigned char c = _addcarry_u64(0, p.lo[0], carry, &dst[i]);
        c = _addcarry_u64(c, p.lo[1], p.hi[0], &dst[i + 1]);
        c = _addcarry_u64(c, p.lo[2], p.hi[1], &dst[i + 2]);
        c = _addcarry_u64(c, p.lo[3], p.hi[2], &dst[i + 3]);
        carry = p.hi[3] + c;
    }
    for (; i < n; ++i) {
        u128 p = static_cast<u128>(src[i]) * m + carry;
        dst[i] = static_cast<Limb>(p);
        carry = static_cast<Limb>(p >> 64);
    }
    return carry;
}

// As Limbs_MulLimb, with a second chain that subtracts each summed row
// limb from dst with borrow. Long division spends most of its time here.
Limb Limbs_SubMulLimb(Limb *dst, const Limb *src, int64_t len, Limb m) {
    int64_t n = Count(len), i = 0;
    Limb carry = 0;
    unsigned char borrow = 0;
    for (; i + 4 <= n; i += 4) {
        Products4 p(src + i, m);
        Limb row[4];
        unsigned char c = _addcarry_u64(0, p.lo[0], carry, &row[0]);
        c = _addcarry_u64(c, p.lo[1], p.hi[0], &row[1]);
        c = _addcarry_u64(c, p.lo[2], p.hi[1], &row[2]);
        c = _addcarry_u64(c, p.lo[3], p.hi[2], &row[3]);
        carry = p.hi[3] + c;
        borrow = _subborrow_u64(borrow, dst[i], row[0], &dst[i]);
        borrow = _subborrow_u64(borrow, dst[i + 1], row[1], &dst[i + 1]);
        borrow = _subborrow_u64(borrow, dst[i + 2], row[2], &dst[i + 2]);
        borrow = _subborrow_u64(borrow, dst[i + 3], row[3], &dst[i + 3]);
    }
    carry += borrow;
    for (; i < n; ++i) {
        u128 p = static_cast<u128>(src[i]) * m + carry;
        Limb lo = static_cast<Limb>(p), d = dst[i];
        dst[i] = d - lo;
        carry = static_cast<Limb>(p >> 64) + (d < lo);
    }
    return carry;
}

namespace {

// dst (2N limbs) = a (N limbs)^2 by product scanning, as the product
// kernels do, but each column sums the products a[i] * a[j] with i < j only
// once and doubles them before the square on the diagonal joins: about
// half the multiplications of a general product. With N fixed the loops
// unroll completely.
template <int N>
void SqrKernel(Limb *dst, const Limb *a) {
    Limb x[N];
    for (int i = 0; i < N; ++i) x[i] = a[i];
    u128 carry = 0;  // what the columns below leave for this one
#pragma GCC unroll 128
    for (int c = 0; c < 2 * N - 1; ++c) {
        u128 acc = 0;
        Limb r2 = 0;
#pragma GCC unroll 64
        for (int i = c < N ? 0 : c - N + 1; i < c - i; ++i) Mac(x[i], x[c - i], acc, r2);
        r2 = r2 << 1 | static_cast<Limb>(acc >> 127);
        acc <<= 1;
        if ((c & 1) == 0) Mac(x[c / 2], x[c / 2], acc, r2);
        acc += carry;
        r2 += acc < carry;
        dst[c] = static_cast<Limb>(acc);
        carry = acc >> 64 | static_cast<u128>(r2) << 64;
    }
    dst[2 * N - 1] = static_cast<Limb>(carry);
}

using SqrKernelFn = void (*)(Limb *dst, const Limb *a);

template <size_t... N>
constexpr auto MakeSqrKernels(std::index_sequence<N...>) {
    return std::array<SqrKernelFn, sizeof...(N) + 1>{nullptr, SqrKernel<N + 1>...};
}

// The squaring kernels for 1 to SQR_KARATSUBA_THRESHOLD - 1 limbs.
constexpr std::array<SqrKernelFn, SQR_KARATSUBA_THRESHOLD> kSqrKernels =
    MakeSqrKernels(std::make_index_sequence<SQR_KARATSUBA_THRESHOLD - 1>{});

// dst (2n limbs) = a (n limbs)^2 by Karatsuba squaring: with a = a0 + a1 B,
// the middle term 2 a0 a1 is a0^2 + a1^2 - (a0 - a1)^2, so each level
// takes three half-size squares. Scratch as MulRec: ScratchLimbs(n) limbs.
void SqrRec(Limb *dst, const Limb *a, int64_t n, Limb *scratch) {
    if (n < SQR_KARATSUBA_THRESHOLD) return kSqrKernels[n](dst, a);
    int64_t m = (n + 1) / 2, na1 = n - m;
    const Limb *a0 = a, *a1 = a + m;
    Limb *deeper = scratch + 2 * m;
    bool negative;  // squared away
    int64_t la = HalfDifference(dst, a0, m, a1, na1, &negative);
    SqrRec(scratch, dst, la, deeper);
    if (la < m) std::memset(scratch + 2 * la, 0, (2 * m - 2 * la) * LIMB_BYTES);
    SqrRec(dst, a0, m, deeper);
    SqrRec(dst + 2 * m, a1, na1, deeper);
    int64_t c = -static_cast<int64_t>(SubN(scratch, dst, scratch, 2 * m, 0));
    c += Limbs_Add(scratch, scratch, 2 * m * LIMB_BYTES, dst + 2 * m, 2 * na1 * LIMB_BYTES);
    c += AddN(dst + m, dst + m, scratch, 2 * m, 0);
    if (c != 0) Limbs_AddLimb(dst + 3 * m, dst + 3 * m, (2 * n - 3 * m) * LIMB_BYTES, static_cast<Limb>(c));
}

// Whether a transform for a product of total limbs is well used: its length
// doubles at each power of two, so a product just past one pays for twice
// its size, and up to a few thresholds Toom-3 (whose pieces may transform
// again) does better there.
bool TransformFilled(int64_t total) {
    return 8 * (total - 1) >= 5 * Ntt_Length(total);
}

// Which algorithm a product of n by k limbs (n >= k) takes. Toom-3 wants
// the shorter operand cut into three non-empty pieces of the longer one's
// piece length; a product more unbalanced than that is cut into balanced
// blocks first.
//
// Past the threshold a product whose transform would be poorly filled is
// taken modulo B^L - 1 by the transform of half that length, L, which it
// exceeds by s < L/4 limbs, and the low s limbs of a separate short
// product settle the rest (see MulWrapped).
enum class MulPath { Kernel, Karatsuba, Toom3, Blocks, Transform, Wrapped };

MulPath PathFor(int64_t n, int64_t k) {
    if (k < KARATSUBA_THRESHOLD) return MulPath::Kernel;
    if (k >= NTT_THRESHOLD && (k >= 4 * NTT_THRESHOLD || TransformFilled(n + k))) return MulPath::Transform;
    if (k >= NTT_THRESHOLD && 2 * n <= Ntt_Length(n + k)) return MulPath::Wrapped;
    if (k < TOOM3_THRESHOLD) return MulPath::Karatsuba;
    return k > 2 * Toom3_Piece(n) ? MulPath::Toom3 : MulPath::Blocks;
}

// The scratch limbs of MulAny for n by k limbs (n >= k), squares included.
// A path's sub-products need not all take the path of the largest one: a
// transform's length doubles at each power of two, so a slightly smaller
// product may be filled enough for a transform (and want its six arrays)
// where the larger one goes by Toom-3. So the scratch is the most that any
// of the shapes a path multiplies needs: Toom-3's m + 1 and m limb
// products and its top pieces, the blocks' full and last products.
int64_t MulScratchLimbs(int64_t n, int64_t k) {
    switch (PathFor(n, k)) {
    case MulPath::Kernel: return 0;  // squares this small do not recurse either
    case MulPath::Karatsuba: return ScratchLimbs(n);
    case MulPath::Toom3: {
        int64_t m = Toom3_Piece(n), top = std::max(MulScratchLimbs(m + 1, m + 1), MulScratchLimbs(m, m));
        return Toom3_OwnLimbs(n) + std::max(top, MulScratchLimbs(n - 2 * m, k - 2 * m));
    }
    case MulPath::Blocks: {
        int64_t last = n % k, most = MulScratchLimbs(k, k);
        return 2 * k + (last ? std::max(most, MulScratchLimbs(k, last)) : most);
    }
    case MulPath::Transform: return Ntt_WorkLimbs(n, k);
    case MulPath::Wrapped: {
        int64_t len = Ntt_Length(n + k) / 2, low = n + k - len;
        return len + 2 * low + std::max(Ntt_WrapWorkLimbs(len), MulScratchLimbs(low, low));
    }
    }
    return 0;
}

void MulAny(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch);

// dst (n + k limbs) = a (n limbs) * b (k limbs) for n > k, one k by k
// block of a at a time (the last one shorter), each block's product added
// over the top k limbs of the one before. Scratch: 2k limbs for a block's
// product, then the blocks' own scratch.
void MulBlocks(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch) {
    MulAny(dst, a, k, b, k, scratch + 2 * k);
    for (int64_t at = k; at < n; at += k) {
        int64_t c = n - at < k ? n - at : k;
        Limb *p = scratch;
        MulAny(p, b, k, a + at, c, scratch + 2 * k);
        Limb carry = AddN(dst + at, dst + at, p, k, 0);
        std::memcpy(dst + at + k, p + k, c * LIMB_BYTES);
        CarryThrough(dst + at + k, dst + at + k, 0, c, carry);
    }
}

// dst (n + k limbs) = a (n limbs) * b (k limbs) for n >= k, n <= L and
// L < n + k = L + s <= 2L, L = Ntt_Length(n + k) / 2, from W = ab modulo
// B^L - 1 and Z = ab modulo B^s. With ab = X B^L + Y, Y < B^L and X < B^s,
// W = X + Y or X + Y - (B^L - 1) once W is taken in [0, B^L - 1), and Y
// ends in Z, so X is (W - Z) mod B^s in the first case and one less in the
// second; the first holds exactly when that X is at most W (both can hold
// only for X = 0, where the second would put ab above (B^n - 1)(B^k - 1)).
// Scratch: MulScratchLimbs(n, k) limbs.
void MulWrapped(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch) {
    int64_t len = Ntt_Length(n + k) / 2, low = n + k - len;
    Limb *W = scratch, *Z = W + len, *more = Z + 2 * low;
    Ntt_MulWrapped(W, a, n, b, k, len, more);
    MulAny(Z, a, low, b, low, more);
    int64_t i = 0;
    while (i < len && W[i] == ~Limb(0)) ++i;
    if (i == len) std::memset(W, 0, len * LIMB_BYTES);  // B^L - 1 is 0
    Limb *X = dst + len;
    SubN(X, W, Z, low, 0);
    if (Limbs_Compare(X, low * LIMB_BYTES, W, len * LIMB_BYTES) <= 0) {
        Limbs_Sub(dst, W, len * LIMB_BYTES, X, low * LIMB_BYTES);
    } else {
        // Y = W + B^L - 1 - X, which is below B^L: computed modulo B^L.
        Limbs_SubLimb(X, X, low * LIMB_BYTES, 1);
        Limbs_Sub(dst, W, len * LIMB_BYTES, X, low * LIMB_BYTES);
        Limbs_SubLimb(dst, dst, len * LIMB_BYTES, 1);
    }
}

// dst (n + k limbs) = a (n limbs) * b (k limbs), n >= k, with scratch of
// MulScratchLimbs(n, k) limbs; a square when a is b with n == k.
void MulAny(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch) {
    switch (PathFor(n, k)) {
    case MulPath::Transform: return Ntt_Mul(dst, a, n, b, k, scratch);
    case MulPath::Wrapped: return MulWrapped(dst, a, n, b, k, scratch);
    case MulPath::Toom3: return Toom3_Mul(dst, a, n, b, k, scratch, MulAny);
    case MulPath::Blocks: return MulBlocks(dst, a, n, b, k, scratch);
    case MulPath::Karatsuba:
        if (a == b && n == k) return SqrRec(dst, a, n, scratch);
        return MulRec(dst, a, n, b, k, scratch);
    case MulPath::Kernel:
        if (a == b && n == k) return SqrRec(dst, a, n, scratch);
        return kKernels[k](dst, a, n, b);
    }
}

}  // namespace

Limb Limbs_DivLimb(Limb *dst, const Limb *src, int64_t len, Limb d) {
    int64_t n = Count(len);
    if (n == 0) return 0;
    // Divide src * 2^s by d * 2^s, feeding the shifted limbs in on the fly;
    // the remainder comes out scaled by 2^s.
    int s = __builtin_clzll(d);
    Limb dn = d << s, v = Reciprocal(dn), r;
    if (s == 0) {
        r = 0;
        for (int64_t i = n - 1; i >= 0; --i) dst[i] = DivPreinv(r, src[i], dn, v, &r);
        return r;
    }
    r = src[n - 1] >> (64 - s);
    for (int64_t i = n - 1; i > 0; --i) {
        Limb u0 = src[i] << s | src[i - 1] >> (64 - s);
        dst[i] = DivPreinv(r, u0, dn, v, &r);
    }
    dst[0] = DivPreinv(r, src[0] << s, dn, v, &r);
    return r >> s;
}

// ---- Full multiplication and long division -------------------------------------

int64_t Limbs_MulScratchBytes(int64_t alen, int64_t blen) {
    int64_t n = Count(alen), k = Count(blen);
    if (n < k) std::swap(n, k);
    return MulScratchLimbs(n, k) * LIMB_BYTES;
}

bool Limbs_Mul(Limb *dst, const Limb *a, int64_t alen, const Limb *b, int64_t blen, Limb *scratch) {
    int64_t n = Count(alen), k = Count(blen);
    if (n < k) {
        std::swap(a, b);
        std::swap(n, k);
    }
    int64_t need = MulScratchLimbs(n, k);
    if (scratch || need == 0) {
        MulAny(dst, a, n, b, k, scratch);
        return true;
    }
    // One allocation for the whole recursion; it need not be cleared.
    auto *owned = static_cast<Limb *>(std::malloc(need * LIMB_BYTES));
    if (!owned) return false;
    MulAny(dst, a, n, b, k, owned);
    std::free(owned);
    return true;
}

namespace {

// Schoolbook long division of W[0..L] by b (B limbs, top limb non-zero),
// one quotient limb per step from the top. Requires W[L-B+1..L] < b, so
// that every quotient limb fits in one limb. quot, when not null, receives
// the L - B + 1 quotient limbs; afterwards W[0..B) holds the remainder and
// the limbs above it are zero.
void SchoolbookDivide(Limb *quot, Limb *W, int64_t L, const Limb *b, int64_t B) {
    // The divisor is normalised without moving it: only its top 64 bits,
    // shifted so that the top bit is set, take part in the estimates.
    int s = __builtin_clzll(b[B - 1]);
    Limb D = b[B - 1] << s;
    if (s != 0 && B >= 2) D |= b[B - 2] >> (64 - s);
    Limb v = Reciprocal(D);

    for (int64_t t = L; t >= B; --t) {
        // The top 128 bits of the window W[t-B..t], shifted like D.
        Limb w1 = W[t], w0 = W[t - 1];
        Limb n1 = w1, n0 = w0;
        if (s != 0) {
            n1 = w1 << s | w0 >> (64 - s);
            n0 = w0 << s | (t >= 2 ? W[t - 2] >> (64 - s) : 0);
        }
        Limb r;
        Limb qhat = n1 >= D ? ~Limb(0) : DivPreinv(n1, n0, D, v, &r);
        if (qhat != 0) {
            Limb *win = W + t - B;
            Limb borrow = Limbs_SubMulLimb(win, b, B * LIMB_BYTES, qhat);
            // The window's top limb ends at 0, or at -1 when qhat was too
            // large. The estimate is at most two too large, so one or two
            // add-backs of b restore the window; the one that carries out
            // of the low limbs brings the top limb back to 0.
            auto top = static_cast<int64_t>(w1 - borrow);
            while (top < 0) {
                top += static_cast<int64_t>(AddN(win, win, b, B, 0));
                --qhat;
            }
            W[t] = static_cast<Limb>(top);
        }
        if (quot) quot[t - B] = qhat;
    }
}

// Divide-and-conquer division (Burnikel and Ziegler): a quotient block is
// estimated by dividing the top of the dividend by the top half of the
// divisor recursively, then corrected with one product by the lower half.
// Every divisor d below has its top bit set, which bounds each block
// estimate to at most two above the true block.

// Scratch limbs the recursion needs for a divisor of n limbs: an n-limb
// product and the product's own Karatsuba scratch. Every level reuses the
// same area, because a level's product is formed only after the levels
// below it have returned.
inline int64_t DivScratchLimbs(int64_t n) { return n + MulScratchLimbs(n, n); }

void DivideHigh(Limb *q, Limb *a, const Limb *d, int64_t n, int64_t k, Limb *scratch);

// q (n limbs) = a (2n limbs) / d (n limbs, top bit set), requiring
// a[n..2n) < d. The remainder replaces a[0..n); a[n..2n) is left undefined.
// None of q, a, d, scratch overlap; scratch holds DivScratchLimbs(n) limbs.
void DivideRec(Limb *q, Limb *a, const Limb *d, int64_t n, Limb *scratch) {
    if (n < DIV_DC_THRESHOLD) {
        SchoolbookDivide(q, a, 2 * n - 1, d, n);
        return;
    }
    int64_t lo = n / 2, hi = n - lo;
    DivideHigh(q + lo, a + lo, d, n, hi, scratch);
    DivideHigh(q, a, d, n, lo, scratch);
}

// q (k limbs) = a (n + k limbs) / d (n limbs, top bit set), for
// 1 <= k <= n, requiring a[k..n+k) < d. The remainder replaces a[0..n);
// a[n..n+k) is left undefined. Aliasing and scratch as DivideRec.
void DivideHigh(Limb *q, Limb *a, const Limb *d, int64_t n, int64_t k, Limb *scratch) {
    if (k == n) {
        DivideRec(q, a, d, n, scratch);
        return;
    }
    // Estimate from the top 2k limbs of a and the top k limbs dh of d. The
    // precondition gives a[n..n+k) <= dh; when they are equal the block
    // would not fit in k limbs, and the estimate is 2^(64k) - 1, whose
    // remainder is a[n-k..n) + dh (with a carry c into limb n).
    const Limb *dh = d + (n - k);
    Limb *top = a + (n - k);
    Limb c = 0;
    if (Limbs_Compare(top + k, k * LIMB_BYTES, dh, k * LIMB_BYTES) < 0) {
        DivideRec(q, top, dh, k, scratch);
    } else {
        std::memset(q, 0xFF, k * LIMB_BYTES);
        c = AddN(top, top, dh, k, 0);
    }
    // The partial remainder c*2^(64n) + a[0..n) - q * d[0..n-k) is negative
    // exactly when the estimate was too large; each add-back of d lowers q
    // by one, and the add-back that carries out of the top limb ends it.
    Limb *prod = scratch;
    if (k >= n - k)
        MulAny(prod, q, k, d, n - k, scratch + n);
    else
        MulAny(prod, d, n - k, q, k, scratch + n);
    auto rest = static_cast<int64_t>(c) - static_cast<int64_t>(SubN(a, a, prod, n, 0));
    while (rest < 0) {
        rest += static_cast<int64_t>(AddN(a, a, d, n, 0));
        Limbs_SubLimb(q, q, k * LIMB_BYTES, 1);
    }
}

// q (wn - B limbs) = W (wn limbs) / d (B limbs, top bit set), requiring
// W[wn-B..wn) < d; the remainder replaces W[0..B). The quotient is taken in
// blocks of at most B limbs from the top, the first block holding the odd
// limbs. Scratch holds DivScratchLimbs(B) limbs.
void DivideLarge(Limb *q, Limb *W, int64_t wn, const Limb *d, int64_t B, Limb *scratch) {
    for (int64_t qn = wn - B; qn > 0;) {
        int64_t k = (qn - 1) % B + 1;
        qn -= k;
        DivideHigh(q + qn, W + qn, d, B, k, scratch);
    }
}

// Whether W (wn limbs) divided by a normalised divisor of B limbs, B >=
// DIV_DC_THRESHOLD, takes Newton's reciprocal: once both the divisor and
// the quotient are long enough for its products to pay for the
// reciprocal.
bool UseNewton(int64_t wn, int64_t B) { return B >= DIV_NEWTON_THRESHOLD && wn - B >= DIV_NEWTON_THRESHOLD; }

// The scratch limbs of DivideNormalised.
int64_t DivNormalisedScratchLimbs(int64_t wn, int64_t B) {
    return UseNewton(wn, B) ? Newton_DivideScratchLimbs(wn, B) : DivScratchLimbs(B);
}

// DivideLarge's division (contract and all) by whichever method suits the
// sizes; scratch holds DivNormalisedScratchLimbs(wn, B) limbs.
void DivideNormalised(Limb *q, Limb *W, int64_t wn, const Limb *d, int64_t B, Limb *scratch) {
    if (UseNewton(wn, B))
        Newton_Divide(q, W, wn, d, B, scratch);
    else
        DivideLarge(q, W, wn, d, B, scratch);
}

}  // namespace

int Limbs_DivModInPlace(Limb *quot, Limb *W, int64_t wlen, const Limb *b, int64_t blen) {
    int64_t B = Count(blen), L = Count(wlen) - 1;
    if (b[B - 1] == 0) return 0;
    SchoolbookDivide(quot, W, L, b, B);
    return 1;
}

int Limbs_DivMod(Limb *quot, const Limb *a, int64_t alen, const Limb *b, int64_t blen, Limb *rem,
                 int64_t shift) {
    int64_t B = Count(blen);
    if (b[B - 1] == 0) return 0;
    // W = a * 2^(8*shift) with one zero limb on top.
    int64_t wn = Count(alen + shift) + 1, sl = Count(shift), qn = wn - B;
    bool large = B >= DIV_DC_THRESHOLD;
    // The divide-and-conquer path works on a normalised copy of b and needs
    // a quotient array even when the caller wants none; all of it, with the
    // recursion's scratch, comes from the one allocation.
    int64_t extra = large ? B + (quot ? 0 : qn) + DivNormalisedScratchLimbs(wn, B) : 0;
    auto *W = static_cast<Limb *>(std::malloc((wn + extra) * LIMB_BYTES));
    if (!W) return -1;
    std::memset(W, 0, sl * LIMB_BYTES);
    std::memcpy(W + sl, a, alen);
    W[wn - 1] = 0;
    if (!large) {
        Limbs_DivModInPlace(quot, W, wn * LIMB_BYTES, b, blen);
        if (rem) std::memcpy(rem, W, blen);
        std::free(W);
        return 1;
    }
    // Shifting W and b left by the same s bits leaves the quotient as it is
    // and scales the remainder by 2^s. W's top limb stays below 2^s, hence
    // below the top limb of the shifted divisor, as DivideLarge requires.
    Limb *d = W + wn, *q = quot ? quot : d + B, *scratch = quot ? d + B : d + B + qn;
    int s = __builtin_clzll(b[B - 1]);
    if (s != 0) {
        Limbs_ShiftLeft(d, b, blen, s);
        Limbs_ShiftLeft(W, W, wn * LIMB_BYTES, s);
    } else {
        std::memcpy(d, b, blen);
    }
    DivideNormalised(q, W, wn, d, B, scratch);
    if (rem) {
        if (s != 0)
            Limbs_ShiftRight(rem, W, blen, s);
        else
            std::memcpy(rem, W, blen);
    }
    std::free(W);
    return 1;
}

// ---- Square root -----------------------------------------------------------------

namespace {

// s = floor(sqrt(u1 * 2^64 + u0)) for u1 >= 2^62; the remainder (at most
// 2s, so 65 bits) goes to *r with its bit above the limb returned. The
// 64-bit mantissa of the machine's long double puts the estimate within a
// unit or two of the root, and exact 128-bit squares settle it.
Limb SqrtRemTwo(Limb *s, Limb *r, Limb u1, Limb u0) {
    u128 v = static_cast<u128>(u1) << 64 | u0;
    long double e = std::sqrt(static_cast<long double>(v));
    Limb x = e >= 0x1p64L ? ~Limb(0) : static_cast<Limb>(e);
    while (static_cast<u128>(x) * x > v) --x;
    while (x != ~Limb(0) && static_cast<u128>(x + 1) * (x + 1) <= v) ++x;
    u128 rem = v - static_cast<u128>(x) * x;
    *s = x;
    *r = static_cast<Limb>(rem);
    return static_cast<Limb>(rem >> 64);
}

// Scratch limbs SqrtRemRec needs for a root of n limbs: the larger of what
// the top half's root needs, the divide-and-conquer division's, and the
// square of the low quotient with its own scratch. Every level reuses the
// same area, one after the other.
int64_t SqrtScratchLimbs(int64_t n) {
    if (n < 2) return 0;
    int64_t l = n / 2, h = n - l;
    int64_t need = std::max(SqrtScratchLimbs(h), 2 * l + MulScratchLimbs(l, l));
    if (h >= DIV_DC_THRESHOLD) need = std::max(need, DivNormalisedScratchLimbs(n, h));
    return need;
}

// s (n limbs) = floor(sqrt(a)) for a of 2n limbs with a[2n-1] >= 2^62,
// by Zimmermann's recursive square root. With a split into quarters of l
// limbs below and h = n - l above (l <= h), the root s' and remainder r'
// of the top half give the next l root limbs as the quotient q of
// r' * B^l + (the next quarter) by 2s'; then s = s' B^l + q and r = u B^l
// + (the low quarter) - q^2 with u the division's remainder, and one
// correction at most when r came out negative. The remainder a - s^2 (at
// most 2s) replaces a[0..n), its bit above n limbs is returned, and
// a[n..2n) is left undefined. s, a and scratch do not overlap; scratch
// holds SqrtScratchLimbs(n) limbs. Without `remainder` the caller wants
// the root alone: when the top limbs show that the remainder is positive,
// q^2 is never formed, a[0..n) is left undefined and the return is 2.
Limb SqrtRemRec(Limb *s, Limb *a, int64_t n, Limb *scratch, bool remainder) {
    if (n == 1) return SqrtRemTwo(s, a, a[1], a[0]);
    int64_t l = n / 2, h = n - l;
    Limb *sh = s + l, *top = a + 2 * l;
    Limb c = SqrtRemRec(sh, top, h, scratch, true);

    // The division by 2s' is taken as one by s' (normalised, so the
    // division needs no shifts) whose quotient q0 is halved. The multiples
    // of s' above the division's range come off first: r' <= 2s', so at
    // most two, and qhi counts them.
    Limb qhi = 0;
    while (c != 0 || Limbs_Compare(top, h * LIMB_BYTES, sh, h * LIMB_BYTES) >= 0) {
        c -= SubN(top, top, sh, h, 0);
        ++qhi;
    }
    if (h < DIV_DC_THRESHOLD)
        SchoolbookDivide(s, a + l, n - 1, sh, h);
    else
        DivideNormalised(s, a + l, n, sh, h, scratch);
    // q = q0 / 2 with q0 = qhi B^l + s[0..l); the remainder of r' B^l +
    // a[l..2l) by 2s' is a[l..n) plus s' when q0 is odd. q reaches B^l
    // (qhi = 2) only when r' = 2s', and then s[0..l) ends up zero.
    Limb odd = s[0] & 1;
    Limbs_ShiftRight(s, s, l * LIMB_BYTES, 1);
    s[l - 1] |= (qhi & 1) << 63;
    Limb qtop = qhi >> 1;
    Limb cu = odd ? AddN(a + l, a + l, sh, h, 0) : 0;

    // r = a[0..n) + cu B^n - q^2, kept as a[0..n) with a signed top. With
    // Q the top limb of q, q^2 < (Q + 1)^2 B^(2l-2), so r is positive when
    // the limbs of a from 2l - 2 up (two or three, with cu) reach (Q + 1)^2:
    // all but certain for the root alone, whose remainder is then not
    // needed.
    if (!remainder && !qtop && s[l - 1] != ~Limb(0)) {
        u128 bound = static_cast<u128>(s[l - 1] + 1) * (s[l - 1] + 1);
        bool above = cu != 0 || (n > 2 * l && a[n - 1] != 0) ||
                     (static_cast<u128>(a[2 * l - 1]) << 64 | a[2 * l - 2]) >= bound;
        if (above) return 2;
    }
    Limb borrow;
    if (qtop) {
        borrow = 2 * l < n ? Limbs_SubLimb(a + 2 * l, a + 2 * l, (n - 2 * l) * LIMB_BYTES, 1) : 1;
    } else {
        Limb *sq = scratch;
        MulAny(sq, s, l, s, l, scratch + 2 * l);
        borrow = BorrowThrough(a, a, 2 * l, n, SubN(a, a, sq, 2 * l, 0));
    }
    // s = s' B^l + q; stop is its limb above n, set only when s' is all
    // ones and q = B^l, where the correction below takes it off again.
    Limb stop = qtop ? Limbs_AddLimb(sh, sh, h * LIMB_BYTES, 1) : 0;
    auto rtop = static_cast<int64_t>(cu) - static_cast<int64_t>(borrow);
    if (rtop < 0) {
        // r + 2s - 1 = (r + s) + (s - 1), and s - 1 is the root.
        rtop += static_cast<int64_t>(AddN(a, a, s, n, 0) + stop);
        stop -= Limbs_SubLimb(s, s, n * LIMB_BYTES, 1);
        rtop += static_cast<int64_t>(AddN(a, a, s, n, 0));
    }
    return static_cast<Limb>(rtop);
}

}  // namespace

int64_t Limbs_SqrtRem(Limb *root, Limb *rem, const Limb *a, int64_t alen) {
    int64_t n = Count(alen), rn = (n + 1) / 2, tn = 2 * rn;
    // The recursion wants an even number of limbs with one of the top two
    // bits set: T = a * 2^(2k), padded with a zero limb below when n is
    // odd. Its root S is floor(sqrt(a)) * 2^k + s0 with s0 < 2^k, k <= 63.
    int c = __builtin_clzll(a[n - 1]) / 2;
    int64_t odd = n & 1;
    int k = c + 32 * static_cast<int>(odd);
    // T has two limbs more for the remainder's correction below, and the
    // scratch room for the product in it.
    int64_t scratchLimbs = std::max(SqrtScratchLimbs(rn), rn + 1);
    auto *T = static_cast<Limb *>(std::malloc((tn + 2 + scratchLimbs) * LIMB_BYTES));
    if (!T) return -1;
    Limb *scratch = T + tn + 2;
    T[0] = 0;
    if (c != 0)
        Limbs_ShiftLeft(T + odd, a, alen, 2 * c);
    else
        std::memcpy(T + odd, a, alen);
    Limb rtop = SqrtRemRec(root, T, rn, scratch, rem != nullptr);
    if (rtop == 2) {
        // The remainder of T is positive, so a's is too (see below).
        if (k != 0) Limbs_ShiftRight(root, root, rn * LIMB_BYTES, k);
        std::free(T);
        return LIMB_BYTES;
    }
    T[rn] = rtop;
    int64_t len = rn + 1;
    if (k != 0) {
        // a - s^2 = (R + s0 (2S - s0)) / 2^(2k) for the remainder R of T,
        // which saves squaring the root again; 2 s0 fits in a limb.
        Limb s0 = root[0] & ((Limb(1) << k) - 1);
        T[rn + 1] = 0;
        scratch[rn] = Limbs_MulLimb(scratch, root, rn * LIMB_BYTES, 2 * s0);
        Limbs_Add(T, T, (rn + 2) * LIMB_BYTES, scratch, (rn + 1) * LIMB_BYTES);
        u128 sq = static_cast<u128>(s0) * s0;
        Limb sql[2] = {static_cast<Limb>(sq), static_cast<Limb>(sq >> 64)};
        Limbs_Sub(T, T, (rn + 2) * LIMB_BYTES, sql, 2 * LIMB_BYTES);
        int64_t whole = 2 * k / LIMB_BITS;
        int bits = 2 * k % LIMB_BITS;
        len = rn + 2 - whole;
        if (bits != 0) Limbs_ShiftRight(T + whole, T + whole, len * LIMB_BYTES, bits);
        std::memmove(T, T + whole, len * LIMB_BYTES);
        Limbs_ShiftRight(root, root, rn * LIMB_BYTES, k);
    }
    while (len > 0 && T[len - 1] == 0) --len;
    if (rem) {
        std::memcpy(rem, T, len * LIMB_BYTES);
        std::memset(rem + len, 0, (n - len) * LIMB_BYTES);
    }
    std::free(T);
    return len * LIMB_BYTES;
}

// ---- Shifts and bits ------------------------------------------------------------

Limb Limbs_ShiftLeft(Limb *dst, const Limb *src, int64_t len, int s) {
    int64_t n = Count(len);
    if (n == 0) return 0;
    // From the top down, so that dst may be src.
    Limb out = src[n - 1] >> (64 - s);
    for (int64_t i = n - 1; i > 0; --i) dst[i] = src[i] << s | src[i - 1] >> (64 - s);
    dst[0] = src[0] << s;
    return out;
}

Limb Limbs_ShiftRight(Limb *dst, const Limb *src, int64_t len, int s) {
    int64_t n = Count(len);
    if (n == 0) return 0;
    Limb out = src[0] << (64 - s);
    for (int64_t i = 0; i + 1 < n; ++i) dst[i] = src[i] >> s | src[i + 1] << (64 - s);
    dst[n - 1] = src[n - 1] >> s;
    return out;
}

int64_t Limbs_HighestBit(const Limb *x, int64_t len) {
    for (int64_t i = Count(len) - 1; i >= 0; --i)
        if (x[i] != 0) return i * LIMB_BITS + 63 - __builtin_clzll(x[i]);
    return -1;
}

int Limbs_TestBit(const Limb *x, int64_t bit) { return static_cast<int>(x[bit / LIMB_BITS] >> (bit % LIMB_BITS) & 1); }

int64_t Limbs_DifferenceBits(const Limb *x, int64_t xlen, const Limb *y, int64_t ylen, int64_t e) {
    // Limb i of the aligned terms is X(i) = x[i - sx] and Y(i) = y[i - sy],
    // zero outside the arrays.
    int64_t sx = e < 0 ? -e : 0, sy = e > 0 ? e : 0;
    int64_t xn = Count(xlen), yn = Count(ylen);
    int64_t n = xn + sx > yn + sy ? xn + sx : yn + sy;
    auto X = [&](int64_t i) { return i >= sx && i - sx < xn ? x[i - sx] : Limb(0); };
    auto Y = [&](int64_t i) { return i >= sy && i - sy < yn ? y[i - sy] : Limb(0); };

    int order = 0;
    for (int64_t i = n - 1; i >= 0 && order == 0; --i)
        if (X(i) != Y(i)) order = X(i) > Y(i) ? 1 : -1;
    if (order == 0) return 0;

    // Subtract the smaller from the larger from the bottom up, remembering
    // the highest non-zero limb of the difference: no buffer is needed.
    Limb borrow = 0;
    int64_t bits = 0;
    for (int64_t i = 0; i < n; ++i) {
        Limb hi = order > 0 ? X(i) : Y(i), lo = order > 0 ? Y(i) : X(i);
        Limb d = hi - lo - borrow;
        borrow = hi < lo || (hi == lo && borrow);
        if (d != 0) bits = i * LIMB_BITS + 64 - __builtin_clzll(d);
    }
    return order * bits;
}

// ---- Byte-wise logic -------------------------------------------------------------

namespace {

// Runs op over len bytes: 8-byte words through memcpy (the buffers need not
// be aligned), then the remaining bytes one by one.
template <typename Op>
inline void BytesApply(void *dst, const void *x, const void *y, int64_t len, Op op) {
    auto *d = static_cast<unsigned char *>(dst);
    auto *p = static_cast<const unsigned char *>(x);
    auto *q = static_cast<const unsigned char *>(y);
    int64_t i = 0;
    for (; i + 8 <= len; i += 8) {
        Limb u, w;
        std::memcpy(&u, p + i, 8);
        std::memcpy(&w, q + i, 8);
        u = op(u, w);
        std::memcpy(d + i, &u, 8);
    }
    for (; i < len; ++i) d[i] = static_cast<unsigned char>(op(p[i], q[i]));
}

}  // namespace

void Bytes_And(void *dst, const void *x, const void *y, int64_t len) {
    BytesApply(dst, x, y, len, [](Limb u, Limb w) { return u & w; });
}

void Bytes_Or(void *dst, const void *x, const void *y, int64_t len) {
    BytesApply(dst, x, y, len, [](Limb u, Limb w) { return u | w; });
}

void Bytes_Xor(void *dst, const void *x, const void *y, int64_t len) {
    BytesApply(dst, x, y, len, [](Limb u, Limb w) { return u ^ w; });
}

void Bytes_Not(void *dst, const void *src, int64_t len) {
    BytesApply(dst, src, src, len, [](Limb u, Limb) { return ~u; });
}
