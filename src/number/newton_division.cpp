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

#include "number/ntt.h"

namespace {

// The scratch limbs of a product of n by k limbs.
inline int64_t MulNeed(int64_t n, int64_t k) { return Limbs_MulScratchBytes(n * LIMB_BYTES, k * LIMB_BYTES) / LIMB_BYTES; }

// dst (n + k limbs) = a (n limbs) * b (k limbs) with scratch of MulNeed
// limbs; a and b are different arrays.
inline void Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch) {
    Limbs_Mul(dst, a, n * LIMB_BYTES, b, k * LIMB_BYTES, scratch);
}

// Whether a product of n by k limbs (n >= k) whose value is known modulo
// B^len - 1 for len = Ntt_WrapLength(need) is better taken that way: when
// both operands are long enough for transforms and the wrapped transform is
// shorter than the full one.
bool UseWrap(int64_t n, int64_t k, int64_t need) {
    return k >= NTT_THRESHOLD / 2 && n >= NTT_THRESHOLD && Ntt_WrapLength(need) < Ntt_Length(n + k);
}

// The split of a reciprocal of m limbs: the low l limbs come from the
// Newton step, the top h from the recursion.
inline int64_t LowPart(int64_t m) { return (m - 1) / 2; }

// How Newton_Divide cuts a quotient of qn limbs by a divisor of n limbs:
// into blocks of k limbs (the first one possibly shorter) estimated from
// the reciprocal of the divisor's top m limbs. A quotient of up to n limbs
// goes in two blocks, because the reciprocal of half the limbs costs half
// as much and its error bound holds for any block up to m - 1 limbs.
struct Plan {
    int64_t blocks, k, first, m;
    Plan(int64_t qn, int64_t n) {
        blocks = qn >= 2 ? std::max<int64_t>(2, (qn + n - 1) / n) : 1;
        k = (qn + blocks - 1) / blocks;
        first = qn - (blocks - 1) * k;
        m = k < n ? k + 1 : n;
    }
};

// The scratch of one block of kk quotient limbs by n: P for the
// estimate's product and then the remainder's product (wrapped or not), F
// for the window folded for the wrapped product, then the products' own
// scratch.
struct BlockLayout {
    bool wrap;
    int64_t len, pl, fl, more;
    BlockLayout(int64_t n, int64_t kk)
        : wrap(UseWrap(n, kk, n + 1)), len(wrap ? Ntt_WrapLength(n + 1) : 0),
          pl(std::max(2 * kk, wrap ? len : n + kk)), fl(len),
          more(std::max(MulNeed(kk, kk), wrap ? Ntt_WrapWorkLimbs(len) : MulNeed(n, kk))) {}
    int64_t Limbs() const { return pl + fl + more; }
};

// Makes the block exact: win (n + kk limbs) holds in its low n + 1 limbs
// the remainder A - Q1 d in two's complement, known to lie in [-d, 6d),
// and qb (kk limbs) holds Q1. Afterwards win[0..n) is the true remainder,
// the limbs above it are zero, and qb the true block.
void Correct(Limb *win, int64_t n, int64_t kk, const Limb *d, Limb *qb) {
    if (win[n] >> 63) {
        // The add-back that carries out of the top ends it.
        do Limbs_SubLimb(qb, qb, kk * LIMB_BYTES, 1);
        while (!Limbs_Add(win, win, (n + 1) * LIMB_BYTES, d, n * LIMB_BYTES));
    } else {
        while (Limbs_Compare(win, (n + 1) * LIMB_BYTES, d, n * LIMB_BYTES) >= 0) {
            Limbs_Sub(win, win, (n + 1) * LIMB_BYTES, d, n * LIMB_BYTES);
            Limbs_AddLimb(qb, qb, kk * LIMB_BYTES, 1);
        }
    }
    if (kk > 1) std::memset(win + n + 1, 0, (kk - 1) * LIMB_BYTES);
}

// The remainder of one block, in the form Correct takes: win (n + kk
// limbs) minus Q1 d, by the wrapped product when that pays. The true
// remainder R is in [-d, 6d), so modulo B^len - 1 with len >= n + 1 it is
// told apart from R + B^len - 1: a non-negative R has nothing above limb n
// but a value below 6, a negative one lifted by B^len - 1 is near B^len.
void BlockRemainder(Limb *win, int64_t n, int64_t kk, const Limb *d, const Limb *qb, const BlockLayout &lay,
                    Limb *P, Limb *F, Limb *more) {
    if (!lay.wrap) {
        Mul(P, d, n, qb, kk, more);
        Limbs_Sub(win, win, (n + kk) * LIMB_BYTES, P, (n + kk) * LIMB_BYTES);
        return;
    }
    int64_t len = lay.len, wl = n + kk;
    Ntt_MulWrapped(P, d, n, qb, kk, len, more);
    // F = the window folded modulo B^len - 1; it has fewer than 2 len limbs.
    if (wl <= len) {
        std::memcpy(F, win, wl * LIMB_BYTES);
        std::memset(F + wl, 0, (len - wl) * LIMB_BYTES);
    } else {
        std::memcpy(F, win, len * LIMB_BYTES);
        Limb c = Limbs_Add(F, F, len * LIMB_BYTES, win + len, (wl - len) * LIMB_BYTES);
        while (c) c = Limbs_AddLimb(F, F, len * LIMB_BYTES, c);
    }
    // F - P modulo B^len - 1: a borrow out of the top took B^len = 1 too
    // many off, and F - P + B^len is at least 1, so taking 1 off settles it.
    if (Limbs_Sub(F, F, len * LIMB_BYTES, P, len * LIMB_BYTES)) Limbs_SubLimb(F, F, len * LIMB_BYTES, 1);
    bool negative = F[n] >= 8;
    for (int64_t i = n + 1; i < len && !negative; ++i) negative = F[i] != 0;
    // R + B^len - 1 plus one is R modulo B^len, whose low n + 1 limbs are
    // R's two's complement.
    if (negative) Limbs_AddLimb(F, F, (n + 1) * LIMB_BYTES, 1);
    std::memcpy(win, F, (n + 1) * LIMB_BYTES);
}

}  // namespace

int64_t Newton_ReciprocalScratchLimbs(int64_t m) {
    if (m < NEWTON_RECIPROCAL_BASE) return 2 * m + 1;
    int64_t l = LowPart(m), h = m - l;
    int64_t tl = m + h + 1, tmul = MulNeed(m, h + 1);
    if (UseWrap(m, h + 1, m + 2)) {
        tl = Ntt_WrapLength(m + 2);
        tmul = Ntt_WrapWorkLimbs(tl);
    }
    int64_t own = tl + (2 * h + 2) + std::max(tmul, MulNeed(h + 1, h + 1));
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
    // T = d Xh lies within 2d of B^(m+h) on either side, so V = T -
    // B^(m+h) is in (-2 B^m, 2 B^m) and its low m + 1 limbs in two's
    // complement are those of T. The wrapped product, modulo B^len - 1 for
    // len >= m + 2, knows T well enough: V is what is left after taking
    // B^(m+h) off, read as negative when it comes out near B^len.
    bool wrap = UseWrap(m, h + 1, m + 2);
    int64_t tl = wrap ? Ntt_WrapLength(m + 2) : m + h + 1;
    Limb *T = scratch, *U = T + tl, *more = U + 2 * h + 2;
    if (wrap) {
        Ntt_MulWrapped(T, d, m, xh, h + 1, tl, more);
        int64_t j = (m + h) % tl;
        if (Limbs_SubLimb(T + j, T + j, (tl - j) * LIMB_BYTES, 1)) Limbs_SubLimb(T, T, tl * LIMB_BYTES, 1);
        if (T[tl - 1] != 0) Limbs_AddLimb(T, T, (m + 1) * LIMB_BYTES, 1);
    } else {
        Mul(T, d, m, xh, h + 1, more);
    }
    // From above, d Xh is brought below B^(m+h) by lowering Xh, at most
    // four times.
    while (!(T[m] >> 63)) {
        Limbs_SubLimb(xh, xh, (h + 1) * LIMB_BYTES, 1);
        Limbs_Sub(T, T, (m + 1) * LIMB_BYTES, d, m * LIMB_BYTES);
    }
    // -V = B^(m+h) - d Xh, in (0, 2d], so m + 1 limbs; its top h + 1
    // limbs (from l on) times Xh give the correction, scaled by B^(l - 2h).
    Limbs_Negate(T, T, (m + 1) * LIMB_BYTES);
    Mul(U, T + l, h + 1, xh, h + 1, more);
    std::memcpy(x, U + 2 * h - l, l * LIMB_BYTES);
    Limbs_Add(xh, xh, (h + 1) * LIMB_BYTES, U + 2 * h, 2 * LIMB_BYTES);
}

int64_t Newton_BlockScratchLimbs(int64_t n, int64_t kk) { return BlockLayout(n, kk).Limbs(); }

void Newton_DivideBlock(Limb *q, Limb *win, const Limb *d, int64_t n, int64_t kk, const Limb *X, int64_t m,
                        Limb *scratch) {
    BlockLayout lay(n, kk);
    Limb *P = scratch, *F = P + lay.pl, *more = F + lay.fl;
    const Limb *a1 = win + n;
    // Q1 = floor(A1 (B^kk + Ik) / B^kk) = A1 + the high half of A1 Ik. A
    // value of B^kk or more can only be Q + 1 = B^kk, one above the largest
    // block.
    Mul(P, a1, kk, X + (m - kk), kk, more);
    if (Limbs_Add(q, P + kk, kk * LIMB_BYTES, a1, kk * LIMB_BYTES)) std::memset(q, 0xFF, kk * LIMB_BYTES);
    BlockRemainder(win, n, kk, d, q, lay, P, F, more);
    Correct(win, n, kk, d, q);
}

int64_t Newton_DivideScratchLimbs(int64_t wn, int64_t n) {
    Plan plan(wn - n, n);
    int64_t blocks = std::max(Newton_BlockScratchLimbs(n, plan.k), Newton_BlockScratchLimbs(n, plan.first));
    return (plan.m + 1) + std::max(Newton_ReciprocalScratchLimbs(plan.m), blocks);
}

void Newton_Divide(Limb *q, Limb *W, int64_t wn, const Limb *d, int64_t n, Limb *scratch) {
    Plan plan(wn - n, n);
    Limb *X = scratch, *rest = scratch + plan.m + 1;
    Newton_Reciprocal(X, d + (n - plan.m), plan.m, rest);
    // Blocks from the top, the first one holding the odd limbs.
    for (int64_t pos = wn - n, kk = plan.first; pos > 0; kk = plan.k) {
        pos -= kk;
        Newton_DivideBlock(q + pos, W + pos, d, n, kk, X, plan.m, rest);
    }
}
