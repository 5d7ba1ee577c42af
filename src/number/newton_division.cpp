// Newton's reciprocal and Barrett's division. B = 2^64 throughout.
//
// The reciprocal follows the classic recursion: the reciprocal Xh of the
// top h limbs of d, about half of them, is correct to about h limbs; one
// Newton step X = Xh + Xh (1 - d Xh), scaled to fixed point, doubles that.
// The step is taken with h >= m - h + 1, which leaves room for the errors
// of the truncations so that the result keeps the contract of
// Newton_Reciprocal exactly: d X < B^(2m) <= d (X + 2).
//
// The division estimates each block of k quotient limbs from the top k
// limbs A1 of its window and the top k limbs of the reciprocal: with
// Xk = floor(X / B^(m-k)) (X of the divisor's top m limbs, m = n or
// m >= k + 1), Q1 = floor(A1 Xk / B^k) lies between Q - 5 and Q + 1 for
// the true block Q (the error of X, the truncations of Xk and of A, and,
// when m < n, the divisor's cut-off limbs, which make Xk at most 4/B too
// large). So the remainder A - Q1 d is in [-d, 6d) and at most six
// corrections, nearly always none, make the block exact.
#include "number/newton_division.h"

#include <algorithm>
#include <cstring>

namespace {

// The scratch limbs of a product of n by k limbs.
inline int64_t MulNeed(int64_t n, int64_t k) { return Limbs_MulScratchBytes(n * LIMB_BYTES, k * LIMB_BYTES) / LIMB_BYTES; }

// dst (n + k limbs) = a (n limbs) * b (k limbs) with scratch of MulNeed
// limbs; a and b are different arrays.
inline void Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch) {
    Limbs_Mul(dst, a, n * LIMB_BYTES, b, k * LIMB_BYTES, scratch);
}

// The split of a reciprocal of m limbs: the low l limbs come from the
// Newton step, the top h from the recursion.
inline int64_t LowPart(int64_t m) { return (m - 1) / 2; }

// The quotient limbs of the largest block, and the reciprocal's length,
// for wn limbs divided by n.
inline int64_t BlockLimbs(int64_t wn, int64_t n) { return std::min(wn - n, n); }
inline int64_t ReciprocalLimbs(int64_t wn, int64_t n) { return wn - n >= n ? n : wn - n + 1; }

}  // namespace

int64_t Newton_ReciprocalScratchLimbs(int64_t m) {
    if (m < NEWTON_RECIPROCAL_BASE) return 2 * m + 1;
    int64_t l = LowPart(m), h = m - l;
    int64_t own = (m + h + 1) + (2 * h + 2) + std::max(MulNeed(m, h + 1), MulNeed(h + 1, h + 1));
    return std::max(own, Newton_ReciprocalScratchLimbs(h));
}

void Newton_Reciprocal(Limb *x, const Limb *d, int64_t m, Limb *scratch) {
    if (m < NEWTON_RECIPROCAL_BASE) {
        // floor((B^(2m) - 1) / d) itself, whose quotient has m + 1 limbs.
        std::memset(scratch, 0xFF, 2 * m * LIMB_BYTES);
        scratch[2 * m] = 0;
        Limbs_DivModInPlace(x, scratch, (2 * m + 1) * LIMB_BYTES, d, m * LIMB_BYTES);
        return;
    }
    int64_t l = LowPart(m), h = m - l;
    // Xh (h + 1 limbs) goes straight to the top of x, where the step adds
    // its correction below and into it.
    Limb *xh = x + l;
    Newton_Reciprocal(xh, d + l, h, scratch);
    Limb *T = scratch, *U = T + m + h + 1, *more = U + 2 * h + 2;
    // T = d Xh lies within 2d of B^(m+h) on either side; from above it is
    // brought below by lowering Xh, at most four times.
    Mul(T, d, m, xh, h + 1, more);
    while (T[m + h] != 0) {
        Limbs_SubLimb(xh, xh, (h + 1) * LIMB_BYTES, 1);
        Limbs_Sub(T, T, (m + h + 1) * LIMB_BYTES, d, m * LIMB_BYTES);
    }
    // T = B^(m+h) - d Xh, in (0, 2d], so m + 1 limbs; its top h + 1 limbs
    // (from l on) times Xh give the correction, scaled by B^(l - 2h).
    Limbs_Negate(T, T, (m + h) * LIMB_BYTES);
    Mul(U, T + l, h + 1, xh, h + 1, more);
    std::memcpy(x, U + 2 * h - l, l * LIMB_BYTES);
    Limbs_Add(xh, xh, (h + 1) * LIMB_BYTES, U + 2 * h, 2 * LIMB_BYTES);
}

int64_t Newton_DivideScratchLimbs(int64_t wn, int64_t n) {
    int64_t qn = wn - n, m = ReciprocalLimbs(wn, n), kmax = BlockLimbs(wn, n);
    // The first block is the shorter one; the others are full.
    int64_t first = (qn - 1) % n + 1;
    int64_t mul = std::max(MulNeed(first, first), MulNeed(n, first));
    if (first != kmax) mul = std::max({mul, MulNeed(kmax, kmax), MulNeed(n, kmax)});
    int64_t blocks = 2 * kmax + (n + kmax) + mul;
    return (m + 1) + std::max(Newton_ReciprocalScratchLimbs(m), blocks);
}

void Newton_Divide(Limb *q, Limb *W, int64_t wn, const Limb *d, int64_t n, Limb *scratch) {
    int64_t qn = wn - n, m = ReciprocalLimbs(wn, n), kmax = BlockLimbs(wn, n);
    Limb *X = scratch, *rest = scratch + m + 1;
    Newton_Reciprocal(X, d + (n - m), m, rest);
    Limb *P = rest, *prod = P + 2 * kmax, *more = prod + n + kmax;
    // Blocks of at most n limbs from the top, the first one holding the odd
    // limbs; each window is n + k limbs whose top n are below d.
    for (int64_t pos = qn; pos > 0;) {
        int64_t k = (pos - 1) % n + 1;
        pos -= k;
        Limb *win = W + pos, *qb = q + pos;
        const Limb *a1 = win + n;
        // Q1 = floor(A1 (B^k + Ik) / B^k) = A1 + the high half of A1 Ik. A
        // value of B^k or more can only be Q + 1 = B^k, one above the
        // largest block.
        Mul(P, a1, k, X + (m - k), k, more);
        if (Limbs_Add(qb, P + k, k * LIMB_BYTES, a1, k * LIMB_BYTES)) std::memset(qb, 0xFF, k * LIMB_BYTES);
        Mul(prod, d, n, qb, k, more);
        if (Limbs_Sub(win, win, (n + k) * LIMB_BYTES, prod, (n + k) * LIMB_BYTES)) {
            // Q1 was too large: the window holds A - Q1 d + B^(n+k), and
            // the add-back that carries out of the top ends it.
            do Limbs_SubLimb(qb, qb, k * LIMB_BYTES, 1);
            while (!Limbs_Add(win, win, (n + k) * LIMB_BYTES, d, n * LIMB_BYTES));
        } else {
            while (Limbs_Compare(win, (n + k) * LIMB_BYTES, d, n * LIMB_BYTES) >= 0) {
                Limbs_Sub(win, win, (n + k) * LIMB_BYTES, d, n * LIMB_BYTES);
                Limbs_AddLimb(qb, qb, k * LIMB_BYTES, 1);
            }
        }
    }
}
